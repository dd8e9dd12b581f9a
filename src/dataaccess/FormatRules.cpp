#include "dataaccess/FormatRules.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

void FormatRules::appendDigits(int value, int width, std::string& out) {
    char digits[12];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0 || count < width);
    while (count > 0) {
        out += digits[--count];
    }
}

template <typename Char>
void FormatRules::appendRuled(const Char* text, std::size_t length, TextRule rule, std::string& out) {
    // Trimmed, the text begins and ends with a character that is no blank and no TAB, so removing the inner
    // TABs leaves nothing more to trim: one pass over the part between the ends.
    std::size_t begin = 0;
    std::size_t end = length;
    while (begin < end && isBlank(static_cast<char>(text[begin]))) {
        ++begin;
    }
    while (end > begin && isBlank(static_cast<char>(text[end - 1]))) {
        --end;
    }
    const bool column = rule == TextRule::Column;
    for (std::size_t i = begin; i < end; ++i) {
        const char c = static_cast<char>(text[i]);
        if (c == '\t') {
            continue;
        }
        out += (column && (c == '\r' || c == '\n')) ? ' ' : c;
    }
}

template void FormatRules::appendRuled<char>(const char*, std::size_t, TextRule, std::string&);
template void FormatRules::appendRuled<char16_t>(const char16_t*, std::size_t, TextRule, std::string&);

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
    std::string text;
    appendDate(date, pattern, text);
    return XString(std::move(text));
}

void FormatRules::appendDate(const XDate& date, const XString& pattern, std::string& out) {
    if (date.DayNumber() < 0 || !pattern.equalsNoCase("mm/dd/yyyy")) {
        out += date.Format(pattern).toStdString();
        return;
    }
    int year = 0;
    int month = 0;
    int day = 0;
    date.GetParts(year, month, day);
    appendDigits(month, 2, out);
    out += '/';
    appendDigits(day, 2, out);
    out += '/';
    appendDigits(year, 1, out);  // a day number from 0 is a year from 1600
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
