// One user-defined source field offered to the importing application, with the directive that says where
// the importer shows it ("#custombasicfield" ...), its key, its proposed title and a format text.
#pragma once

#include "libraries/support/XString.h"

class SISExpCustomField {
  public:
    SISExpCustomField(const XString& name, const XString& title, const XString& kind, const XString& format,
                      int active = 1);
    virtual ~SISExpCustomField() = default;
    SISExpCustomField(const SISExpCustomField&) = delete;
    SISExpCustomField& operator=(const SISExpCustomField&) = delete;

    const XString& name() const { return m_name; }
    const XString& title() const { return m_title; }
    const XString& kind() const { return m_kind; }
    const XString& format() const { return m_format; }
    int active() const { return m_active; }

    // The field's line of the main file: kind "name" "title" "format" with CR LF. Double quotes inside the
    // texts are removed, since the line has no way to escape them.
    XString Line() const;

  private:
    XString m_name;
    XString m_title;
    XString m_kind;
    XString m_format;
    int m_active;
};
