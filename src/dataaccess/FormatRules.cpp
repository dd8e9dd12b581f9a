#include "dataaccess/FormatRules.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

XString FormatRules::oneLine(XString text) {
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

void FormatRules::trimEnds(XString& text) {
    if (!text.isEmpty() && (isBlank(text[0]) || isBlank(text[text.length() - 1]))) {
        text.trim();
    }
}

XString FormatRules::columnText(XString text) {
    trimEnds(text);
    return oneLine(std::move(text));
}

XString FormatRules::date(const XDate& date, const XString& pattern) {
    if (date.DayNumber() < 0 || !pattern.equalsNoCase("mm/dd/yyyy")) {
        return date.Format(pattern);
    }
    int year = 0;
    int month = 0;
    int day = 0;
    date.GetParts(year, month, day);
    return XString::formatted("%02d/%02d/%d", month, day, year);
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
