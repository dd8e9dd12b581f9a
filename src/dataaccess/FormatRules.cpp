#include "dataaccess/FormatRules.h"

XString FormatRules::oneLine(const XString& text) {
    if (text.find('\t') < 0 && text.find('\r') < 0 && text.find('\n') < 0) {
        return text;
    }
    std::string bytes = text.toStdString();
    for (char& c : bytes) {
        if (c == '\t' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return XString(bytes);
}

XString FormatRules::columnText(const XString& text) {
    return oneLine(text.trimmed());
}

XString FormatRules::noZero(const XString& text) {
    return text == XString("0") ? XString() : text;
}

XString FormatRules::noNA(const XString& text) {
    return text == XString("N/A") ? XString() : text;
}

XString FormatRules::flag(const XString& text) {
    if (text.isEmpty() || text == XString("1") || text == XString("0")) {
        return text;
    }
    if (text.equalsNoCase("yes") || text.equalsNoCase("y")) {
        return "1";
    }
    if (text.equalsNoCase("no") || text.equalsNoCase("n")) {
        return "0";
    }
    return XString();
}

bool FormatRules::isTextTrue(const XString& text) {
    return text == XString("1") || text.equalsNoCase("yes") || text.equalsNoCase("y");
}

XString FormatRules::activityKind(const XString& text) {
    for (const char* kind : {"activity", "athletic", "class", "enrollment", "lunch", "transit"}) {
        if (text.equalsNoCase(kind)) {
            return kind;
        }
    }
    return text;
}
