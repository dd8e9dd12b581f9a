#include "writer/SISExpCustomFieldList.h"

SISExpCustomFieldList::SISExpCustomFieldList(const XString& title, const XString& fileName,
                                             const XString& text, int kind)
    : XVectorOf<SISExpCustomField>(20),
      m_names(20, [](const XString& a, const XString& b) { return a.compare(b); }),
      m_header(title, fileName, 0),
      m_text(text),
      m_kind(kind) {}

SISExpCustomFieldList::~SISExpCustomFieldList() {
    DeleteFields();
}

bool SISExpCustomFieldList::AddField(const XString& name, const XString& title, const XString& kind,
                                     const XString& format) {
    if (m_names.find(name) != nullptr) {
        return false;
    }
    m_names.append(new XString(name));
    append(new SISExpCustomField(name, title, kind, format, 1));
    return true;
}

void SISExpCustomFieldList::DeleteFields() {
    deleteAll();
    m_names.deleteAll();
}
