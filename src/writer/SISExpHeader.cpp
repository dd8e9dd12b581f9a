#include "writer/SISExpHeader.h"

#include "libraries/support/XTextFile.h"
#include "writer/SISExpCustomFieldList.h"

SISExpHeader::SISExpHeader(const XString& title, const XString& fileName, int includeKind)
    : m_title(title), m_fileName(fileName), m_includeKind(includeKind) {}

SISExpHeader::~SISExpHeader() {
    m_fields.deleteAll();
    m_customLists.deleteAll();
}

void SISExpHeader::WriteHead(XTextFile& file) const {
    file.writeText("// " + m_title + "\r\n");
    XString line;
    for (int i = 0; i < m_fields.count(); ++i) {
        if (i > 0) {
            line += '\t';
        }
        line += m_fields.at(i)->name();
    }
    file.writeText(line + "\r\n");
}

void SISExpHeader::WriteSection(XTextFile& file) const {
    WriteHead(file);
    file.writeText((m_includeKind == 0 ? "#include \"" : "#safeinclude \"") + m_fileName + "\"\r\n");
    file.writeText("*\r\n\r\n");
}
