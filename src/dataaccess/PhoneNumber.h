// Formats a phone number as the import expects it: digits grouped by their count, an extension after " x".
// Text that is not a phone number is kept as it is, with a complaint text the caller logs.
#pragma once

#include "libraries/support/XString.h"

class PhoneNumber {
  public:
    // The formatted number; complaint receives the reason when the number could not be formatted (and is
    // emptied otherwise). "(555) 123-4567 ext 89" gives "555 123-4567 x89".
    static XString format(const XString& text, XString& complaint);
};
