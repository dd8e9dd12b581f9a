// Conversion between Qt's Unicode text and the working code page.
//
// The working code page is Windows-1252: extract files, SchoolConfig.xml and the attendance cache hold
// its bytes, because that is what the importing application reads. Console lines and log files are
// UTF-8 and need no conversion here. Every conversion between the two worlds goes through this file.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Text normalised to NFC, then encoded in Windows-1252; a character without a mapping becomes "?".
QByteArray toWorkingCodePage(const QString& text);

// Windows-1252 bytes decoded to Unicode (bytes 0x81, 0x8D, 0x8F, 0x90, 0x9D map to the C1 controls).
QString fromWorkingCodePage(const QByteArray& bytes);
QString fromWorkingCodePage(const char* bytes, qsizetype length);

}  // namespace platform
