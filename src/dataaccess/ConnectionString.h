// The ADO-style connection string of each database type.
//
// A pure text builder: it knows the spelling every driver or provider expects ("User ID" against "User Id",
// which strings end in ";") and nothing of connecting. The result holds the password in clear, so callers
// must never log it or put it into a message.
#pragma once

#include "libraries/support/XString.h"

#include <optional>

class ConnectionString {
  public:
    // The connection string for type. dataSource, user and password are the texts given by the caller
    // (user and password may be absent, which differs from empty for some types); memberDataSource is the
    // layer's own data source text, which type 1 uses instead of dataSource.
    // Throws XException "Can't build connection string for unknown database type." for type 0 and
    // "Database type not yet defined for BuildConnectionString, please define." for 17 and unknown types.
    static XString build(int type, const XString& memberDataSource, const XString& dataSource,
                         const std::optional<XString>& user, const std::optional<XString>& password);
};
