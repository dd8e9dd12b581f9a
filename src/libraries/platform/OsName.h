// The operating system's name for the log header.
#pragma once

#include <QString>

namespace platform {

// The distribution's pretty name ("Debian GNU/Linux 12 (bookworm)"); "No OS set." when unknown.
QString osName();

}  // namespace platform
