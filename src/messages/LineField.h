// The text of one field of a host line or of a log file line.
//
// Hosts split what they read at line ends and TABs; a driver's message, an option value or a configuration
// attribute may hold either. Inside a field each CR, LF and TAB therefore becomes one blank, so a value can
// neither shift the host's fields nor start a line of its own that would read as a real message.
#pragma once

#include <QString>

namespace linefield {

// text with every CR, LF and TAB replaced by one blank; everything else unchanged.
QString oneLine(const QString& text);

}  // namespace linefield
