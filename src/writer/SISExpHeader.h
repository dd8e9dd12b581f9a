// One output table: its title, the name of the table file that holds its rows, and its field names in
// declaration order. The writer lists every header that has fields in the main extract file, and writes the
// title and field lines of a table in front of its rows in an update file.
//
// Owns its fields and its custom field lists (deleted with the header).
#pragma once

#include "libraries/support/XString.h"
#include "libraries/support/XVector.h"
#include "writer/SISExpHeaderField.h"

class SISExpCustomFieldList;
class XTextFile;

class SISExpHeader {
  public:
    // includeKind 0: the main file references the table file with "#include", otherwise "#safeinclude".
    SISExpHeader(const XString& title, const XString& fileName, int includeKind);
    virtual ~SISExpHeader();
    SISExpHeader(const SISExpHeader&) = delete;
    SISExpHeader& operator=(const SISExpHeader&) = delete;

    const XString& title() const { return m_title; }
    const XString& fileName() const { return m_fileName; }
    int includeKind() const { return m_includeKind; }
    void setTitle(const XString& title) { m_title = title; }
    void setFileName(const XString& fileName) { m_fileName = fileName; }

    // Takes ownership of field.
    void addField(SISExpHeaderField* field) { m_fields.append(field); }
    const XVectorOf<SISExpHeaderField>& fields() const { return m_fields; }
    int fieldCount() const { return m_fields.count(); }

    // "// " + title line and the TAB-separated field line: the head of a table in an update file.
    void WriteHead(XTextFile& file) const;
    // The table's section of the main file: the head, the include line and the "*" line with a blank line.
    void WriteSection(XTextFile& file) const;

  private:
    XVectorOf<SISExpHeaderField> m_fields{1};
    XString m_title;
    XString m_fileName;
    int m_includeKind;
    XVectorOf<SISExpCustomFieldList> m_customLists{5};
};
