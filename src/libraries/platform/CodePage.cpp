#include "libraries/platform/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace platform {

QByteArray toWorkingCodePage(const QString& text) {
    const QString composed = text.normalized(QString::NormalizationForm_C);
    QStringEncoder encoder("windows-1252");
    QByteArray bytes = encoder.encode(composed);
    // ICU writes the substitution character 0x1A for an unmapped character; the system's convention is "?".
    // A real 0x1A in the source is a control character that never belongs in an extract either.
    bytes.replace('\x1a', '?');
    return bytes;
}

QString fromWorkingCodePage(const QByteArray& bytes) {
    return fromWorkingCodePage(bytes.constData(), bytes.size());
}

QString fromWorkingCodePage(const char* bytes, qsizetype length) {
    QStringDecoder decoder("windows-1252");
    return decoder.decode(QByteArrayView(bytes, length));
}

}  // namespace platform
