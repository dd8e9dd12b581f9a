// What every fuzz target shares: the input cut into parts, and a check that ends the run as a finding.
//
// A target reads its input as parts separated by NUL bytes (a command line's arguments, a pattern and a
// text), so that a seed file stays readable. A failed check prints what failed and aborts, which libFuzzer
// reports like a crash and keeps the input as an artifact.
// REQUIRES: nothing; header only, for the fuzz targets alone.
#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// The input's parts between NUL bytes (an input without NUL is one part).
inline QList<QByteArray> parts(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)).split('\0');
}

[[noreturn]] inline void fail(const char* file, int line, const char* what) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

}  // namespace fuzz

#define FUZZ_CHECK(condition)                             \
    do {                                                  \
        if (!(condition)) {                               \
            ::fuzz::fail(__FILE__, __LINE__, #condition); \
        }                                                 \
    } while (false)
