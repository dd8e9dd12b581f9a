#include "libraries/support/ByteBuffer.h"

#include <cstring>

ByteBuffer::ByteBuffer(int granularity) : m_granularity(granularity <= 0 ? 1 : granularity) {}

ByteBuffer::ByteBuffer(const ByteBuffer& other) : m_granularity(other.m_granularity) {
    assign(other.data(), other.m_length);
}

ByteBuffer& ByteBuffer::operator=(const ByteBuffer& other) {
    if (this != &other) {
        assign(other.data(), other.m_length);
    }
    return *this;
}

void ByteBuffer::resize(int length) {
    if (length < 0) {
        length = 0;
    }
    const int allocatedNow = allocated();
    if (length > allocatedNow || length <= allocatedNow - m_granularity) {
        const int granules = (length + m_granularity - 1) / m_granularity;
        m_bytes.resize(static_cast<size_t>(granules) * static_cast<size_t>(m_granularity));
        m_bytes.shrink_to_fit();
    }
    m_length = length;
}

void ByteBuffer::assign(const void* bytes, int length) {
    if (!bytes || length <= 0) {
        resize(0);
        return;
    }
    const auto* from = static_cast<const unsigned char*>(bytes);
    if (from >= m_bytes.data() && from < m_bytes.data() + m_bytes.size()) {
        // A part of this buffer: resize may move it.
        const std::vector<unsigned char> copy(from, from + length);
        resize(length);
        std::memcpy(m_bytes.data(), copy.data(), copy.size());
        return;
    }
    resize(length);
    std::memcpy(m_bytes.data(), from, static_cast<size_t>(length));
}

void ByteBuffer::append(const void* bytes, int length) {
    if (!bytes || length <= 0) {
        return;
    }
    const int old = m_length;
    // bytes may point into this buffer, which resize can move.
    std::vector<unsigned char> copy(static_cast<const unsigned char*>(bytes),
                                    static_cast<const unsigned char*>(bytes) + length);
    resize(old + length);
    std::memcpy(m_bytes.data() + old, copy.data(), copy.size());
}

QByteArray ByteBuffer::toByteArray() const {
    return QByteArray(reinterpret_cast<const char*>(m_bytes.data()), m_length);
}
