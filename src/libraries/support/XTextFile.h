// One open text file that writes separated fields line by line and reads delimited tokens with quoting.
//
// Every file writer of the system uses separator TAB, no quotes and no line-end detection; the XML reader
// uses separator blank and the double quote as opening and closing quote. Bytes are written exactly as the
// XString holds them; end of line is always CR LF.
// Owns the file descriptor; the destructor closes it (ignoring errors: call close() to see them). Written
// bytes are collected in memory and handed to the system in blocks and on close(), so a write error may
// surface there.
// Every failure raises XException with the path in its message and the system error number as its code.
// Not copyable.
#pragma once

#include "libraries/support/XFileSpec.h"
#include "libraries/support/XString.h"

#include <QtGlobal>
#include <string>

class XTextFile {
  public:
    enum Mode { Read = 1, Write = 2, Append = 4, Exclusive = 8 };
    enum LineEnd { LineEndUnknown = 0, LineEndLF = 1, LineEndCRLF = 2, LineEndCR = 3 };

    // separator: written between fields; '\0' means "none yet": the first token read sets it.
    // openQuotes / closeQuotes: the n-th closing quote belongs to the n-th opening quote.
    // ignoredQuotes: quote characters that do not open quoting inside a token.
    // detection: 0 off; otherwise the line end is detected on open for reading; 2 also converts text of a
    // CR file from Mac Roman to Windows-1252, 3 text of a CR LF file from Windows-1252 to Mac Roman.
    explicit XTextFile(char separator = '\t', const char* openQuotes = "", const char* closeQuotes = "",
                       const char* ignoredQuotes = "", int detection = 0);
    XTextFile(const XTextFile&) = delete;
    XTextFile& operator=(const XTextFile&) = delete;
    virtual ~XTextFile();

    // Opens spec with mode bits (Read, Write, Append; several may be set). Exactly Write creates the file
    // anew (truncating it); any mode with Write or Append opens or creates it, creating missing folders; Read
    // alone needs an existing file. Append moves to the end. Raises "Can't open non-file: %s" for a folder
    // spec, "Could not open file ( %d ): %s" when the system refuses. Exclusive with Write creates a new file
    // only: an existing path, a symbolic link included, is refused (EEXIST) and never opened or followed.
    // buffered: read through a 1024-byte buffer.
    // REQUIRES: not open.
    void open(const XFileSpec& spec, int mode, bool buffered = true);
    bool isOpen() const { return m_fd >= 0; }
    // Closes; raises "Error closing file: %s". Nothing when not open.
    void close();

    // Writes the separator unless this is the first field of the line, then the text's bytes.
    void writeField(const XString& text);
    void writeField(const char* bytes, int length);
    // Writes "\r\n"; the next field is the first of its line.
    void endLine();
    // Writes the bytes as they are.
    void writeText(const XString& text);
    void writeText(const char* bytes, int length);

    // Reads the next token up to a delimiter (consumed), CR or LF (left unread), with quoting; see the
    // source for the exact rules. False at end of file or when nothing was read.
    bool readToken(const char* delimiters, XString& token);
    // True when no byte is left to read.
    bool atEnd();
    // Consumes the rest of the current line and its line end (CR LF, LF or CR).
    void skipLine();

    const XFileSpec& spec() const { return m_spec; }
    qint64 position() const { return m_position; }
    // The largest position reached (the file's size after open for read or append).
    qint64 size() const { return m_size; }
    char separator() const { return m_separator; }
    int lineEnd() const { return m_lineEnd; }

  private:
    void writeBytes(const char* bytes, qint64 length);
    void flush();
    // The next byte without consuming it; -1 at end of file.
    int peekByte();
    void skipByte();
    void detectLineEnd();

    int m_fd = -1;
    XFileSpec m_spec;
    int m_mode = 0;
    qint64 m_position = 0;
    qint64 m_size = 0;
    bool m_buffered = false;
    std::string m_buffer;  // read-ahead bytes starting at m_bufferStart
    qint64 m_bufferStart = 0;
    std::string m_out;  // bytes written but not yet handed to the system, starting at m_outStart
    qint64 m_outStart = 0;
    char m_separator;
    std::string m_openQuotes;
    std::string m_closeQuotes;
    std::string m_ignoredQuotes;
    int m_detection;
    int m_lineEnd = LineEndUnknown;
    int m_convert = 0;  // 0 none, 2 Mac Roman -> 1252, 3 1252 -> Mac Roman
    bool m_firstField = true;
};
