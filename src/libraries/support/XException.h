// The one exception type of the layers below the application frame.
//
// It carries the text that callers report (what()), an int code (a system error code, an SQLite result code,
// or 0) and one untyped value that a thrower may attach for its catcher. The value is never owned or read by
// the exception itself.
#pragma once

#include <exception>
#include <string>

class XException : public std::exception {
  public:
    explicit XException(std::string message, int code = 0, void* value = nullptr);
    ~XException() override = default;

    const char* what() const noexcept override;
    const std::string& message() const { return m_message; }
    int code() const { return m_code; }
    void* value() const { return m_value; }
    void setValue(void* value) { m_value = value; }

    // Formats the message with printf rules into a 1025-byte buffer (a longer text is cut after 1024
    // characters) and throws it with code.
    // REQUIRES: format and the arguments match as for printf.
    [[noreturn]] static void raise(int code, const char* format, ...) __attribute__((format(printf, 2, 3)));

  private:
    std::string m_message;
    int m_code;
    void* m_value;
};
