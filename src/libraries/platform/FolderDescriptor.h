// An open descriptor of a folder, and a short path through it to an entry of that folder.
//
// A library with a path limit of its own below the system's (SQLite takes 512 bytes, the system 4096) can
// then reach a file in a folder of any length the system takes, through "/proc/self/fd/N/NAME". The path
// also stays on the folder first opened: a link put in place of the folder's name afterwards changes
// nothing for the entries reached through it.
//
// Owns the descriptor (closed by close() or the destructor). Movable, not copyable.
// REQUIRES: the process does not close the descriptor behind this object's back.
#pragma once

#include "libraries/platform/Descriptor.h"

#include <QString>

namespace platform {

class FolderDescriptor {
  public:
    FolderDescriptor() = default;

    // Opens the folder at path, with or without a trailing "/" (closing the one held). False with errno set
    // when path is missing, is no folder (ENOTDIR) or is itself a symbolic link (ELOOP; links among the
    // folders above it are followed).
    bool open(const QString& path);
    void close() noexcept { m_fd.reset(); }
    // Gives up the descriptor without closing it: for an owner that may still reach the folder after this
    // object is gone. The descriptor then stays open to the end of the process.
    void release() noexcept { m_fd.release(); }

    // "/proc/self/fd/N/" + name (one component), the path of name inside the folder; empty when the process's
    // descriptors are not visible there (no /proc, or one of another process namespace).
    // REQUIRES: open.
    QString shortPathTo(const QString& name) const;

  private:
    Descriptor m_fd;
};

}  // namespace platform
