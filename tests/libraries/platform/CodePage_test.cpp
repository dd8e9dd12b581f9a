#include "libraries/platform/CodePage.h"

#include <gtest/gtest.h>

namespace {

struct CodePageCase {
    const char16_t* unicode;
    const char* windows1252;
};

TEST(CodePage, EncodesToWindows1252) {
    const CodePageCase cases[] = {
        {u"plain", "plain"},
        {u"Ren\u00e9e M\u00fcller", "Ren\xe9" "e M\xfcller"},   // é ü
        {u"Rene\u0301e", "Ren\xe9" "e"},                          // decomposed é is composed first
        {u"\u20ac 5", "\x80 5"},                                  // euro sign lives at 0x80
        {u"\u0141ukasz", "?ukasz"},                               // Ł has no Windows-1252 mapping
        {u"O'Brien\tx", "O'Brien\tx"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::toWorkingCodePage(QString::fromUtf16(c.unicode)), QByteArray(c.windows1252))
            << QString::fromUtf16(c.unicode).toStdString();
    }
}

TEST(CodePage, DecodesWindows1252) {
    EXPECT_EQ(platform::fromWorkingCodePage(QByteArray("Ren\xe9" "e \x80")), QString::fromUtf16(u"Ren\u00e9e \u20ac"));
}

}  // namespace
