#include "libraries/support/XTextFile.h"

#include "libraries/support/XException.h"

XTextFile::XTextFile(char separator, const char* openQuotes, const char* closeQuotes,
                     const char* ignoredQuotes, int detection)
    : m_separator(separator),
      m_openQuotes(openQuotes ? openQuotes : ""),
      m_closeQuotes(closeQuotes ? closeQuotes : ""),
      m_ignoredQuotes(ignoredQuotes ? ignoredQuotes : ""),
      m_detection(detection) {}

XTextFile::~XTextFile() = default;

void XTextFile::open(const XFileSpec& spec, int mode, bool buffered) {
    m_spec = spec;
    m_mode = mode;
    m_buffered = buffered;
    XException::raise(0, "Could not open file ( %d ): %s", 0, spec.c_str());
}

void XTextFile::close() {}
void XTextFile::writeField(const XString&) {}
void XTextFile::endLine() {}
void XTextFile::writeText(const XString&) {}
void XTextFile::writeText(const char*, int) {}
bool XTextFile::readToken(const char*, XString&) {
    return false;
}
void XTextFile::writeBytes(const char*, qint64) {}
int XTextFile::peekByte() {
    return -1;
}
void XTextFile::skipByte() {}
void XTextFile::seekTo(qint64) {}
void XTextFile::detectLineEnd() {}
