// A narrow text value: bytes of the working code page (Windows-1252), always zero-terminated.
//
// The layers below the application frame carry every text in this type because that is what the extract
// files, SchoolConfig.xml and the attendance cache hold byte for byte. Conversion to and from Qt's Unicode
// text goes through the platform code page functions (unmappable characters become "?").
//
// Invariant: c_str() is never null and c_str()[length()] == '\0'; an empty string has length 0.
// The text may hold zero bytes inside when built from a (pointer, length) pair; C-string operations then see
// only the part before the first one.
// Case operations (upper, lower, case-insensitive comparison) work on the ASCII letters only, as the C
// locale does.
// Failures to allocate raise XException "Failed to allocate memory.".
#pragma once

#include <QString>
#include <cstdint>
#include <iosfwd>
#include <string>

class XString {
  public:
    XString();
    XString(const char* text);  // NOLINT: implicit on purpose, literals are the usual argument; null is ""
    XString(const char* text, int length);
    XString(const std::string& text);  // NOLINT: implicit on purpose
    explicit XString(std::string&& text) noexcept;
    explicit XString(const QString& text);
    XString(const XString& other);
    XString(XString&& other) noexcept;
    explicit XString(char c);
    explicit XString(int value);
    explicit XString(long value);
    explicit XString(long long value);
    // Fixed-point text with the given number of decimals ("%.*f").
    XString(double value, int decimals);
    virtual ~XString();

    XString& operator=(const XString& other);
    XString& operator=(XString&& other) noexcept;
    XString& operator=(const char* text);

    // Access.
    const char* c_str() const { return m_text.c_str(); }
    int length() const { return static_cast<int>(m_text.size()); }
    bool isEmpty() const { return m_text.empty(); }
    // REQUIRES: 0 <= index < length().
    char at(int index) const { return m_text[static_cast<size_t>(index)]; }
    char operator[](int index) const { return at(index); }
    const std::string& toStdString() const { return m_text; }
    QString toQString() const;

    // Changes in place; each returns *this.
    XString& assign(const char* text);
    XString& assign(const char* text, int length);
    XString& append(const char* text);
    XString& append(const char* text, int length);
    XString& append(const XString& text);
    XString& append(char c);
    XString& operator+=(const XString& text) { return append(text); }
    XString& operator+=(const char* text) { return append(text); }
    XString& operator+=(char c) { return append(c); }
    // Inserts text before position (clamped to 0..length()).
    XString& insert(int position, const XString& text);
    // Cuts the text to length bytes; a length at or beyond the current one leaves it unchanged.
    XString& truncate(int length);
    XString& makeUpper();
    XString& makeLower();
    // Removes blanks, TAB, CR, LF, VT and FF at both ends.
    XString& trim();
    // Removes every byte that occurs in set.
    XString& removeChars(const char* set);
    // Removes every byte whose unsigned value lies in first..last (both included).
    XString& removeCharRange(unsigned char first, unsigned char last);
    // Removes count bytes from position (both clamped to the text).
    XString& remove(int position, int count);
    // Removes trailing bytes that occur in set.
    XString& removeTrailing(const char* set);
    // Removes every occurrence of part (left to right, not overlapping); an empty part removes nothing.
    XString& removeAll(const char* part);
    // Replaces every occurrence of from (left to right, not overlapping) by to; an empty from does nothing.
    XString& replaceAll(const char* from, const char* to);
    // printf-style assignment. format() takes the whole result; formatLimited() cuts it to limit - 1
    // bytes, as a buffer of limit bytes would.
    XString& format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    XString& formatLimited(int limit, const char* format, ...) __attribute__((format(printf, 3, 4)));
    static XString formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

    // Copies.
    XString toUpper() const;
    XString toLower() const;
    XString trimmed() const;
    // count < 0 means to the end; both are clamped to the text.
    XString mid(int position, int count = -1) const;
    XString left(int count) const;
    XString right(int count) const;

    // Byte-wise order of signed chars (a byte above 0x7F sorts before ASCII): < 0, 0, > 0.
    int compare(const XString& other) const;
    // The same with ASCII letters folded to lower case.
    int compareNoCase(const XString& other) const;
    bool equalsNoCase(const XString& other) const { return compareNoCase(other) == 0; }
    bool startsWith(const XString& prefix, bool caseSensitive = true) const;
    bool endsWith(const XString& suffix, bool caseSensitive = true) const;
    // Position of the first occurrence at or after from, -1 when none.
    int find(char c, int from = 0) const;
    int find(const XString& part, int from = 0) const;
    // Position of the last occurrence, -1 when none.
    int findLast(char c) const;
    bool contains(const XString& part) const { return find(part) >= 0; }

    // Conversions with the C library rules (atoi, atoll, atof): leading blanks skipped, conversion stops at
    // the first unfit character, 0 when nothing converts.
    int toInt() const;
    long long toInt64() const;
    double toDouble() const;

    friend bool operator==(const XString& a, const XString& b) { return a.m_text == b.m_text; }
    friend bool operator!=(const XString& a, const XString& b) { return a.m_text != b.m_text; }
    friend bool operator<(const XString& a, const XString& b) { return a.compare(b) < 0; }
    friend bool operator>(const XString& a, const XString& b) { return a.compare(b) > 0; }
    friend bool operator<=(const XString& a, const XString& b) { return a.compare(b) <= 0; }
    friend bool operator>=(const XString& a, const XString& b) { return a.compare(b) >= 0; }
    friend XString operator+(const XString& a, const XString& b);
    friend XString operator+(const XString& a, const char* b);
    friend XString operator+(const char* a, const XString& b);
    friend XString operator+(const XString& a, char b);

  private:
    std::string m_text;
};

// Writes the bytes as they are (test output, diagnostics).
std::ostream& operator<<(std::ostream& out, const XString& text);
