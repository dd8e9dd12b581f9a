#include "messages/LineField.h"

namespace linefield {

QString oneLine(const QString& text) {
    QString line = text;
    for (QChar& c : line) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('\t')) {
            c = QLatin1Char(' ');
        }
    }
    return line;
}

}  // namespace linefield
