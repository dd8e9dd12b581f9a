#include "writer/SchoolConfig.h"

#include "libraries/platform/RegularFile.h"

#include "libraries/support/XTextFile.h"
#include "writer/StagedFile.h"

#include <QFile>
#include <cstring>

namespace SchoolConfig {

namespace {

const char* attributeOf(const XString& key) {
    for (const Key& known : Keys) {
        if (key == known.key) {
            return known.attribute;
        }
    }
    return nullptr;
}

// A byte cursor over the file's text with the reader's few moves.
class Scanner {
  public:
    explicit Scanner(const XString& text) : m_text(text) {}

    bool atEnd() const { return m_pos >= m_text.length(); }
    char peek() const { return atEnd() ? '\0' : m_text.at(m_pos); }
    bool atLineEnd() const { return atEnd() || peek() == '\r' || peek() == '\n'; }

    // Moves just past the next "<"; false when there is none.
    bool nextElement() {
        const int open = m_text.find('<', m_pos);
        if (open < 0) {
            m_pos = m_text.length();
            return false;
        }
        m_pos = open + 1;
        return true;
    }
    void skipLine() {
        while (!atEnd() && peek() != '\r' && peek() != '\n') {
            ++m_pos;
        }
    }
    void skipBlanks() {
        while (!atLineEnd() && (peek() == ' ' || peek() == '\t')) {
            ++m_pos;
        }
    }
    // Bytes up to (not including) one of stops, the line end or the end.
    XString readUntil(const char* stops) {
        const int start = m_pos;
        while (!atLineEnd() && std::strchr(stops, peek()) == nullptr) {
            ++m_pos;
        }
        return m_text.mid(start, m_pos - start);
    }
    void skip() { ++m_pos; }

  private:
    const XString& m_text;
    int m_pos = 0;
};

}  // namespace

XFileSpec FileIn(const XFileSpec& folder) {
    XFileSpec file = folder;
    file.setFileName(FileName);
    return file;
}

bool Parse(const XString& bytes, Entries& entries) {
    entries.clear();
    Scanner scan(bytes);
    // The first element (after any declaration or comment lines) must be the root.
    bool accepted = false;
    while (scan.nextElement()) {
        if (scan.peek() == '?' || scan.peek() == '!') {
            scan.skipLine();
            continue;
        }
        accepted = scan.readUntil(" \t>") == "SchoolConfig";
        scan.skipLine();
        break;
    }
    if (!accepted) {
        return false;
    }
    while (scan.nextElement()) {
        if (scan.peek() == '/' || scan.peek() == '?') {
            scan.skipLine();
            continue;
        }
        // Blanks and TABs around the name, the attribute and "=" are allowed, as a hand edit leaves them.
        const XString name = scan.readUntil(" \t/>");
        scan.skipBlanks();
        const XString attribute = scan.readUntil(" \t=/>");
        scan.skipBlanks();
        XString value;
        const bool hasValue = scan.peek() == '=';
        if (hasValue) {
            scan.skip();
            scan.skipBlanks();
            if (scan.peek() == '"') {
                scan.skip();
                value = scan.readUntil("\"");
            } else {
                value = scan.readUntil(" />");
            }
        }
        scan.skipLine();
        const char* known = attributeOf(name);
        if (hasValue && known != nullptr && attribute == known) {
            entries[name] = value;
        }
    }
    return true;
}

bool Read(const XFileSpec& folder, Entries& entries) {
    entries.clear();
    // The file is small: a link, a FIFO (which would hold the run and its folder lock) or a file of a size
    // no configuration has reads as no configuration, as a missing or malformed one does.
    const std::optional<QByteArray> bytes =
        platform::readRegularFile(FileIn(folder).toQString(), SizeLimit, false);
    if (!bytes || bytes->size() > SizeLimit) {
        return false;
    }
    return Parse(XString(bytes->constData(), static_cast<int>(bytes->size())), entries);
}

XString Value(const XFileSpec& folder, const char* key) {
    Entries entries;
    Read(folder, entries);
    const auto found = entries.find(key);
    return found == entries.end() ? XString() : found->second;
}

XDate UpdateDate(const XFileSpec& folder) {
    XDate date;
    date.Parse(UpdateDatePattern, Value(folder, "UpdateDate"));
    return date;
}

XDateTime UpdateDateTime(const XFileSpec& folder) {
    XDateTime dateTime;
    dateTime.Parse(UpdateDateTimePattern, Value(folder, "UpdateDateTime"));
    return dateTime;
}

XString Serialize(const Entries& entries) {
    XString text("<SchoolConfig>\r\n");
    for (const auto& [key, value] : entries) {
        const char* attribute = attributeOf(key);
        if (attribute != nullptr) {
            text += "<" + key + " " + attribute + "=\"" + value + "\"/>\r\n";
        }
    }
    text += "</SchoolConfig>\r\n";
    return text;
}

void Write(const XFileSpec& folder, const Entries& entries) {
    XTextFile file;
    StagedFile staged(file);
    staged.open(FileIn(folder));
    file.writeText(Serialize(entries));
    staged.commit();
}

}  // namespace SchoolConfig
