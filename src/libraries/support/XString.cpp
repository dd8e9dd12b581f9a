#include "libraries/support/XString.h"

#include <charconv>

#include "libraries/platform/CodePage.h"
#include "libraries/support/XException.h"

#include <locale.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>
#include <utility>

namespace {

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Signed-char order, as the original byte comparison of the stored files and sorted sets uses.
int compareBytes(const std::string& a, const std::string& b, bool foldCase) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        signed char x = static_cast<signed char>(foldCase ? asciiLower(a[i]) : a[i]);
        signed char y = static_cast<signed char>(foldCase ? asciiLower(b[i]) : b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

bool isTrimSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Runs an operation that may allocate, turning exhaustion into the library's own exception.
template <typename F>
void guarded(F&& operation) {
    try {
        operation();
    } catch (const std::bad_alloc&) {
        throw XException("Failed to allocate memory.");
    } catch (const std::length_error&) {
        throw XException("Failed to allocate memory.");
    }
}

// printf and strtod follow LC_NUMERIC, which QCoreApplication sets from the environment; files and SQL need
// the "." of the C locale whatever the user's locale is.
locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

class CLocaleScope {
  public:
    CLocaleScope() : m_previous(uselocale(cLocale())) {}
    ~CLocaleScope() { uselocale(m_previous); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    locale_t m_previous;
};

std::string vformat(const char* format, va_list args) {
    CLocaleScope cScope;
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) {
        return std::string();
    }
    std::string out;
    guarded([&] { out.resize(static_cast<size_t>(needed)); });
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}

}  // namespace

XString::XString() = default;

XString::XString(const char* text) {
    assign(text);
}

XString::XString(const char* text, int length) {
    assign(text, length);
}

XString::XString(const std::string& text) {
    guarded([&] { m_text = text; });
}

XString::XString(std::string&& text) noexcept : m_text(std::move(text)) {}

XString::XString(const QString& text) {
    const QByteArray bytes = platform::toWorkingCodePage(text);
    assign(bytes.constData(), static_cast<int>(bytes.size()));
}

XString::XString(const XString& other) {
    guarded([&] { m_text = other.m_text; });
}

XString::XString(XString&& other) noexcept : m_text(std::move(other.m_text)) {
    other.m_text.clear();
}

XString::XString(char c) {
    append(c);
}

XString::XString(int value) : XString(static_cast<long long>(value)) {}

XString::XString(long value) : XString(static_cast<long long>(value)) {}

XString::XString(long long value) {
    // Decimal digits as printf's %lld gives them, without its formatting machinery (counts and keys of every
    // row go through here).
    char digits[24];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
    append(digits, static_cast<int>(end.ptr - digits));
}

XString::XString(double value, int decimals) {
    format("%.*f", decimals < 0 ? 0 : decimals, value);
}

XString::~XString() = default;

XString& XString::operator=(const XString& other) {
    if (this != &other) {
        guarded([&] { m_text = other.m_text; });
    }
    return *this;
}

XString& XString::operator=(XString&& other) noexcept {
    if (this != &other) {
        m_text = std::move(other.m_text);
        other.m_text.clear();
    }
    return *this;
}

XString& XString::operator=(const char* text) {
    return assign(text);
}

QString XString::toQString() const {
    return platform::fromWorkingCodePage(m_text.data(), static_cast<qsizetype>(m_text.size()));
}

XString& XString::assign(const char* text) {
    return assign(text, text ? static_cast<int>(std::strlen(text)) : 0);
}

XString& XString::assign(const char* text, int length) {
    if (!text || length <= 0) {
        m_text.clear();
        return *this;
    }
    // The source may lie inside this string.
    std::string copy;
    guarded([&] { copy.assign(text, static_cast<size_t>(length)); });
    m_text.swap(copy);
    return *this;
}

XString& XString::append(const char* text) {
    return append(text, text ? static_cast<int>(std::strlen(text)) : 0);
}

XString& XString::append(const char* text, int length) {
    if (text && length > 0) {
        guarded([&] { m_text.append(text, static_cast<size_t>(length)); });
    }
    return *this;
}

XString& XString::append(const XString& text) {
    if (&text == this) {
        const std::string copy = m_text;
        guarded([&] { m_text += copy; });
    } else {
        guarded([&] { m_text += text.m_text; });
    }
    return *this;
}

XString& XString::append(char c) {
    guarded([&] { m_text.push_back(c); });
    return *this;
}

XString& XString::insert(int position, const XString& text) {
    const size_t at = position < 0 ? 0 : std::min(static_cast<size_t>(position), m_text.size());
    const std::string copy = text.m_text;
    guarded([&] { m_text.insert(at, copy); });
    return *this;
}

XString& XString::truncate(int length) {
    if (length < 0) {
        length = 0;
    }
    if (static_cast<size_t>(length) < m_text.size()) {
        m_text.resize(static_cast<size_t>(length));
    }
    return *this;
}

XString& XString::makeUpper() {
    for (char& c : m_text) {
        c = asciiUpper(c);
    }
    return *this;
}

XString& XString::makeLower() {
    for (char& c : m_text) {
        c = asciiLower(c);
    }
    return *this;
}

XString& XString::trim() {
    size_t end = m_text.size();
    while (end > 0 && isTrimSpace(m_text[end - 1])) {
        --end;
    }
    size_t begin = 0;
    while (begin < end && isTrimSpace(m_text[begin])) {
        ++begin;
    }
    m_text = m_text.substr(begin, end - begin);
    return *this;
}

XString& XString::removeChars(const char* set) {
    if (!set || !*set) {
        return *this;
    }
    std::erase_if(m_text, [set](char c) { return c != '\0' && std::strchr(set, c) != nullptr; });
    return *this;
}

XString& XString::removeCharRange(unsigned char first, unsigned char last) {
    std::erase_if(m_text, [first, last](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= first && u <= last;
    });
    return *this;
}

XString& XString::remove(int position, int count) {
    if (position < 0 || count <= 0 || static_cast<size_t>(position) >= m_text.size()) {
        return *this;
    }
    m_text.erase(static_cast<size_t>(position), static_cast<size_t>(count));
    return *this;
}

XString& XString::removeTrailing(const char* set) {
    if (!set || !*set) {
        return *this;
    }
    while (!m_text.empty() && m_text.back() != '\0' && std::strchr(set, m_text.back()) != nullptr) {
        m_text.pop_back();
    }
    return *this;
}

XString& XString::removeAll(const char* part) {
    return replaceAll(part, "");
}

XString& XString::replaceAll(const char* from, const char* to) {
    if (!from || !*from) {
        return *this;
    }
    const std::string needle(from);
    const std::string replacement(to ? to : "");
    std::string out;
    size_t pos = 0;
    guarded([&] {
        for (size_t hit = m_text.find(needle); hit != std::string::npos; hit = m_text.find(needle, pos)) {
            out.append(m_text, pos, hit - pos);
            out += replacement;
            pos = hit + needle.size();
        }
        out.append(m_text, pos, std::string::npos);
    });
    m_text.swap(out);
    return *this;
}

XString& XString::format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = vformat(format, args);
    va_end(args);
    m_text.swap(out);
    return *this;
}

XString& XString::formatLimited(int limit, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = vformat(format, args);
    va_end(args);
    if (limit <= 0) {
        out.clear();
    } else if (out.size() > static_cast<size_t>(limit - 1)) {
        out.resize(static_cast<size_t>(limit - 1));
    }
    m_text.swap(out);
    return *this;
}

XString XString::formatted(const char* format, ...) {
    va_list args;
    va_start(args, format);
    XString result(vformat(format, args));
    va_end(args);
    return result;
}

XString XString::toUpper() const {
    return XString(*this).makeUpper();
}

XString XString::toLower() const {
    return XString(*this).makeLower();
}

XString XString::trimmed() const {
    return XString(*this).trim();
}

XString XString::mid(int position, int count) const {
    if (position < 0) {
        position = 0;
    }
    if (static_cast<size_t>(position) >= m_text.size()) {
        return XString();
    }
    const size_t n = count < 0 ? std::string::npos : static_cast<size_t>(count);
    return XString(m_text.substr(static_cast<size_t>(position), n));
}

XString XString::left(int count) const {
    return mid(0, count < 0 ? 0 : count);
}

XString XString::right(int count) const {
    if (count <= 0) {
        return XString();
    }
    return count >= length() ? *this : mid(length() - count);
}

int XString::compare(const XString& other) const {
    return compareBytes(m_text, other.m_text, false);
}

int XString::compareNoCase(const XString& other) const {
    return compareBytes(m_text, other.m_text, true);
}

bool XString::startsWith(const XString& prefix, bool caseSensitive) const {
    if (prefix.length() > length()) {
        return false;
    }
    const XString head = left(prefix.length());
    return caseSensitive ? head == prefix : head.equalsNoCase(prefix);
}

bool XString::endsWith(const XString& suffix, bool caseSensitive) const {
    if (suffix.length() > length()) {
        return false;
    }
    const XString tail = right(suffix.length());
    return caseSensitive ? tail == suffix : tail.equalsNoCase(suffix);
}

int XString::find(char c, int from) const {
    if (from < 0) {
        from = 0;
    }
    const size_t hit = m_text.find(c, static_cast<size_t>(from));
    return hit == std::string::npos ? -1 : static_cast<int>(hit);
}

int XString::find(const XString& part, int from) const {
    if (from < 0) {
        from = 0;
    }
    const size_t hit = m_text.find(part.m_text, static_cast<size_t>(from));
    return hit == std::string::npos ? -1 : static_cast<int>(hit);
}

int XString::findLast(char c) const {
    const size_t hit = m_text.rfind(c);
    return hit == std::string::npos ? -1 : static_cast<int>(hit);
}

int XString::toInt() const {
    return std::atoi(c_str());
}

long long XString::toInt64() const {
    return std::atoll(c_str());
}

double XString::toDouble() const {
    return strtod_l(c_str(), nullptr, cLocale());
}

XString operator+(const XString& a, const XString& b) {
    XString result(a);
    result.append(b);
    return result;
}

XString operator+(const XString& a, const char* b) {
    XString result(a);
    result.append(b);
    return result;
}

XString operator+(const char* a, const XString& b) {
    XString result(a);
    result.append(b);
    return result;
}

XString operator+(const XString& a, char b) {
    XString result(a);
    result.append(b);
    return result;
}

std::ostream& operator<<(std::ostream& out, const XString& text) {
    return out << text.toStdString();
}
