#include "libraries/support/XException.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

XException::XException(std::string message, int code, void* value)
    : m_message(std::move(message)), m_code(code), m_value(value) {}

const char* XException::what() const noexcept {
    return m_message.c_str();
}

void XException::raise(int code, const char* format, ...) {
    char buffer[1025];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (written < 0) {
        buffer[0] = '\0';
    }
    throw XException(buffer, code);
}
