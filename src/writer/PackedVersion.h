// A version a.b.c.d packed into 32 bits, as the "minversion" pragma carries it: a in bits 27-31, b in bits
// 22-26, c in bits 16-21, d in bits 0-15. Parts too large for their bits are cut to them.
#pragma once

#include "libraries/support/XString.h"

#include <cstdint>

namespace PackedVersion {

// Dotted text to packed; missing parts are 0 ("7.5.0" is 7.5.0.0).
uint32_t Parse(const XString& text);
// The four numbers joined by ".".
XString Format(uint32_t version);

}  // namespace PackedVersion
