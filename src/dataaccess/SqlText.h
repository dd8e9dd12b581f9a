// Text that this layer places inside SQL: quoted string literals.
//
// Every value the layer or the engine puts between apostrophes in a query (a school number, a table or
// column name in a catalogue probe) goes through quoted(), so that an apostrophe in the value doubles and
// cannot end the literal early and change the statement.
#pragma once

#include "libraries/support/XString.h"

class SqlText {
  public:
    // value with every apostrophe doubled: O'Neil -> O''Neil.
    static XString escaped(const XString& value);
    // value as a string literal: O'Neil -> 'O''Neil'.
    static XString quoted(const XString& value);
};
