#include "libraries/support/XTextFile.h"

#include "libraries/platform/CodePage.h"
#include "libraries/support/XException.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr size_t ReadBufferSize = 1024;
constexpr size_t WriteBlockSize = 64 * 1024;
constexpr size_t DetectionBytes = 1023;

bool holds(const std::string& set, int c) {
    return c > 0 && set.find(static_cast<char>(c)) != std::string::npos;
}

XString macRomanToWorking(const XString& text) {
    QStringDecoder decoder("macintosh");
    return XString(decoder.decode(QByteArrayView(text.c_str(), text.length())));
}

XString workingToMacRoman(const XString& text) {
    QStringEncoder encoder("macintosh");
    QByteArray bytes = encoder.encode(text.toQString());
    bytes.replace('\x1a', '?');
    return XString(bytes.constData(), static_cast<int>(bytes.size()));
}

}  // namespace

XTextFile::XTextFile(char separator, const char* openQuotes, const char* closeQuotes,
                     const char* ignoredQuotes, int detection)
    : m_separator(separator),
      m_openQuotes(openQuotes ? openQuotes : ""),
      m_closeQuotes(closeQuotes ? closeQuotes : ""),
      m_ignoredQuotes(ignoredQuotes ? ignoredQuotes : ""),
      m_detection(detection) {}

XTextFile::~XTextFile() {
    try {
        close();
    } catch (const XException&) {
        // A destructor cannot report; callers who care call close().
    }
}

void XTextFile::open(const XFileSpec& spec, int mode, bool buffered) {
    if (isOpen()) {
        close();
    }
    if (!spec.hasFileName()) {
        XException::raise(0, "Can't open non-file: %s", spec.path().c_str());
    }
    const bool reading = (mode & Read) != 0;
    // Append without Write would open a file that cannot be appended to.
    const bool writing = (mode & (Write | Append)) != 0;
    int flags = O_CLOEXEC;
    if (reading && writing) {
        flags |= O_RDWR;
    } else if (writing) {
        flags |= O_WRONLY;
    } else {
        flags |= O_RDONLY;
    }
    if (writing) {
        // Reading alone creates nothing: a missing file is an error, not a new empty file.
        flags |= O_CREAT;
        if (mode == Write) {
            flags |= O_TRUNC;
        }
        if ((mode & Exclusive) != 0) {
            flags |= O_EXCL | O_NOFOLLOW;
        }
        const XFileSpec folder = spec.folder();
        if (!folder.exists()) {
            folder.create();
        }
    }
    const int fd = ::open(spec.native().constData(), flags, 0666);
    if (fd < 0) {
        const int error = errno;
        XException::raise(error, "Could not open file ( %d ): %s", error, spec.path().c_str());
    }
    m_fd = fd;
    m_spec = spec;
    m_mode = mode;
    m_buffered = buffered;
    m_position = 0;
    m_size = 0;
    m_buffer.clear();
    m_bufferStart = 0;
    m_out.clear();
    m_outStart = 0;
    m_lineEnd = LineEndUnknown;
    m_convert = 0;
    m_firstField = true;
    if (reading || (mode & Append)) {
        struct stat info {};
        if (::fstat(m_fd, &info) != 0) {
            const int error = errno;
            ::close(m_fd);
            m_fd = -1;
            XException::raise(error, "Error getting file position: %s", spec.path().c_str());
        }
        m_size = info.st_size;
    }
    if (mode & Append) {
        m_position = m_size;
    }
    if (reading && m_detection != 0) {
        detectLineEnd();
    }
}

void XTextFile::detectLineEnd() {
    std::string head;
    while (head.size() < DetectionBytes) {
        const int c = peekByte();
        if (c < 0) {
            break;
        }
        head.push_back(static_cast<char>(c));
        skipByte();
    }
    if (head.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        m_lineEnd = LineEndLF;
    } else if (head.find("\r\n") != std::string::npos) {
        m_lineEnd = LineEndCRLF;
    } else if (head.find('\r') != std::string::npos) {
        m_lineEnd = LineEndCR;
    } else if (head.find('\n') != std::string::npos) {
        m_lineEnd = LineEndLF;
    }
    if (m_detection == 2 && m_lineEnd == LineEndCR) {
        m_convert = 2;
    } else if (m_detection == 3 && m_lineEnd == LineEndCRLF) {
        m_convert = 3;
    }
    m_position = 0;
}

void XTextFile::close() {
    if (!isOpen()) {
        return;
    }
    int error = 0;
    try {
        flush();
    } catch (const XException&) {
        ::close(m_fd);
        m_fd = -1;
        throw;
    }
    if (::close(m_fd) != 0) {
        error = errno;
    }
    m_fd = -1;
    m_buffer.clear();
    if (error != 0) {
        XException::raise(error, "Error closing file: %s", m_spec.path().c_str());
    }
}

void XTextFile::writeField(const XString& text) {
    writeField(text.c_str(), text.length());
}

void XTextFile::writeField(const char* bytes, int length) {
    if (!m_firstField) {
        writeBytes(&m_separator, 1);
    }
    writeBytes(bytes, length);
    m_firstField = false;
}

void XTextFile::endLine() {
    writeBytes("\r\n", 2);
    m_firstField = true;
}

void XTextFile::writeText(const XString& text) {
    writeBytes(text.c_str(), text.length());
}

void XTextFile::writeText(const char* bytes, int length) {
    if (bytes && length > 0) {
        writeBytes(bytes, length);
    }
}

void XTextFile::writeBytes(const char* bytes, qint64 length) {
    if (!isOpen() || !(m_mode & (Write | Append))) {
        XException::raise(EBADF, "Error writing to file: %s", m_spec.path().c_str());
    }
    if (length <= 0) {
        return;
    }
    if (!m_out.empty() && m_outStart + static_cast<qint64>(m_out.size()) != m_position) {
        flush();
    }
    if (m_out.empty()) {
        m_outStart = m_position;
    }
    m_out.append(bytes, static_cast<size_t>(length));
    m_position += length;
    m_size = std::max(m_size, m_position);
    // Read-ahead bytes may now be stale.
    m_buffer.clear();
    if (m_out.size() >= WriteBlockSize) {
        flush();
    }
}

void XTextFile::flush() {
    size_t done = 0;
    while (done < m_out.size()) {
        const ssize_t n = ::pwrite(m_fd, m_out.data() + done, m_out.size() - done,
                                   static_cast<off_t>(m_outStart + static_cast<qint64>(done)));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            m_out.clear();
            XException::raise(error, "Error writing to file: %s", m_spec.path().c_str());
        }
        done += static_cast<size_t>(n);
    }
    m_out.clear();
}

int XTextFile::peekByte() {
    const qint64 end = m_bufferStart + static_cast<qint64>(m_buffer.size());
    if (m_position >= m_bufferStart && m_position < end) {
        return static_cast<unsigned char>(m_buffer[static_cast<size_t>(m_position - m_bufferStart)]);
    }
    if (!isOpen()) {
        return -1;
    }
    if (!m_out.empty()) {
        flush();
    }
    const size_t chunk = m_buffered ? ReadBufferSize : 1;
    m_buffer.resize(chunk);
    ssize_t n;
    do {
        n = ::pread(m_fd, m_buffer.data(), chunk, static_cast<off_t>(m_position));
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        const int error = errno;
        m_buffer.clear();
        XException::raise(error, "Error reading from file: %s", m_spec.path().c_str());
    }
    m_buffer.resize(static_cast<size_t>(n));
    m_bufferStart = m_position;
    return n == 0 ? -1 : static_cast<unsigned char>(m_buffer[0]);
}

void XTextFile::skipByte() {
    ++m_position;
}

bool XTextFile::atEnd() {
    return peekByte() < 0;
}

void XTextFile::skipLine() {
    for (int c = peekByte(); c >= 0; c = peekByte()) {
        skipByte();
        if (c == '\n') {
            return;
        }
        if (c == '\r') {
            if (peekByte() == '\n') {
                skipByte();
            }
            return;
        }
    }
}

bool XTextFile::readToken(const char* delimiters, XString& token) {
    token = XString();
    if (peekByte() < 0) {
        return false;
    }
    const std::string delims(delimiters ? delimiters : "");
    if (delims.find(' ') == std::string::npos) {
        while (peekByte() == ' ') {
            skipByte();
        }
    }
    std::string out;
    bool readSomething = false;
    bool started = false;  // a character or a quote belongs to the token
    bool quoting = false;
    int closeQuote = -1;
    int ender = -1;
    for (int c = peekByte(); c >= 0; c = peekByte()) {
        if (!quoting) {
            if (holds(delims, c)) {
                skipByte();
                readSomething = true;
                ender = c;
                break;
            }
            const size_t quote = m_openQuotes.find(static_cast<char>(c));
            if (c != 0 && quote != std::string::npos && (!started || !holds(m_ignoredQuotes, c))) {
                closeQuote =
                    quote < m_closeQuotes.size() ? static_cast<unsigned char>(m_closeQuotes[quote]) : c;
                quoting = true;
                started = true;
                readSomething = true;
                skipByte();
                continue;
            }
        } else if (c == closeQuote) {
            quoting = false;
            readSomething = true;
            skipByte();
            continue;
        }
        if (c == '\r' || c == '\n') {
            break;
        }
        if (c == '\t' || c >= 32) {
            out.push_back(static_cast<char>(c));
            started = true;
        }
        readSomething = true;
        skipByte();
    }
    token = XString(out);
    if (m_convert == 2) {
        token = macRomanToWorking(token);
    } else if (m_convert == 3) {
        token = workingToMacRoman(token);
    }
    if (m_separator == '\0' && ender > 0) {
        m_separator = static_cast<char>(ender);
    }
    return readSomething;
}
