#include "writer/SISExpCustomField.h"

SISExpCustomField::SISExpCustomField(const XString& name, const XString& title, const XString& kind,
                                     const XString& format, int active)
    : m_name(name), m_title(title), m_kind(kind), m_format(format), m_active(active) {}

XString SISExpCustomField::Line() const {
    auto unquoted = [](XString text) { return text.removeChars("\""); };
    return unquoted(m_kind) + " \"" + unquoted(m_name) + "\" \"" + unquoted(m_title) + "\" \"" +
           unquoted(m_format) + "\"\r\n";
}
