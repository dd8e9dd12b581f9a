// The custom fields of a run, in the order they were first offered, each name once.
//
// The list is an XVector of its fields (unsorted, in offer order); beside it a sorted set of the names
// answers "offered already?". The embedded header names the list (title and file name) for the main file.
//
// Owns its fields and the name copies.
// Invariant: every field's name is in the name set exactly once, and every name there has one field.
#pragma once

#include "libraries/support/XString.h"
#include "libraries/support/XVector.h"
#include "writer/SISExpCustomField.h"
#include "writer/SISExpHeader.h"

class SISExpCustomFieldList : public XVectorOf<SISExpCustomField> {
  public:
    SISExpCustomFieldList(const XString& title, const XString& fileName, const XString& text, int kind);
    ~SISExpCustomFieldList() override;
    SISExpCustomFieldList(const SISExpCustomFieldList&) = delete;
    SISExpCustomFieldList& operator=(const SISExpCustomFieldList&) = delete;

    // Appends a new field unless name was offered before; true when it was added. The first offer's
    // title, kind and format stay.
    bool AddField(const XString& name, const XString& title, const XString& kind, const XString& format);
    // Deletes every field and name.
    void DeleteFields();

    const SISExpHeader& header() const { return m_header; }
    const XString& text() const { return m_text; }
    int kind() const { return m_kind; }

  private:
    XVectorOf<XString> m_names;
    SISExpHeader m_header;
    XString m_text;
    int m_kind;
};
