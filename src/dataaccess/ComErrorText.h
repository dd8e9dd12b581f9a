// The message text of a failed source-database operation, and its classification.
//
// The text lists the connection's diagnostic records ("Error number: ..."), then the error code, its meaning,
// the error's source and description. It is what every failure of this layer reports and throws, so it
// carries the driver's reason and nothing else: the access layer keeps connection strings and passwords out
// of its errors, and nothing here adds them.
#pragma once

#include "libraries/ado/ComError.h"
#include "libraries/support/XString.h"

#include <QList>
#include <cstdint>

class ComErrorText {
  public:
    // What a failure means for the run: an ordinary error, or a lost or timed-out Oracle connection after
    // which the layer reconnects and skips the table.
    enum Class : int { Fatal = 1, ConnectionLost = 1629, ConnectTimeout = 12170 };

    // The full text. connectionErrors (the connection's error list) is null when no connection is at hand;
    // its lines are then left out.
    static XString build(const QList<ado::ErrorRecord>* connectionErrors, const ado::ComError& error);

    // The meaning of an error code: its system text, "IDispatch error #n" for the interface range without
    // one, else "Unknown error 0x...".
    static XString codeMeaning(ado::HResult code);

    // ConnectionLost for ORA-03135 and ORA-03113, ConnectTimeout for ORA-12170, else Fatal.
    static int classify(const XString& text);
};
