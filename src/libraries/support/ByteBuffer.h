// A growable block of bytes (binary field values, for example).
//
// The allocated size is the length rounded up to a multiple of the granularity fixed at construction. A
// resize reallocates only when the new length exceeds the allocated size or lies at least one granule below
// it, so small changes around one size do not reallocate.
// Invariant: length() <= allocated(); allocated() is a multiple of granularity(); bytes past length() are
// unspecified.
// Copying a buffer copies its length in bytes; copying an empty buffer empties the target.
#pragma once

#include <QByteArray>
#include <vector>

class ByteBuffer {
  public:
    // granularity <= 0 is taken as 1.
    explicit ByteBuffer(int granularity = 50);
    ByteBuffer(const ByteBuffer& other);
    ByteBuffer& operator=(const ByteBuffer& other);
    ByteBuffer(ByteBuffer&& other) noexcept = default;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept = default;
    ~ByteBuffer() = default;

    int length() const { return m_length; }
    bool isEmpty() const { return m_length == 0; }
    int allocated() const { return static_cast<int>(m_bytes.size()); }
    int granularity() const { return m_granularity; }
    unsigned char* data() { return m_bytes.data(); }
    const unsigned char* data() const { return m_bytes.data(); }

    // Sets the length (negative is taken as 0); bytes up to the old length are kept.
    void resize(int length);
    void assign(const void* bytes, int length);
    void append(const void* bytes, int length);
    void clear() { resize(0); }
    QByteArray toByteArray() const;

  private:
    std::vector<unsigned char> m_bytes;
    int m_length = 0;
    int m_granularity;
};
