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

#include <QString>

namespace platform {

class FolderDescriptor {
  public:
    FolderDescriptor() = default;
    ~FolderDescriptor();
    FolderDescriptor(FolderDescriptor&& other) noexcept;
    FolderDescriptor& operator=(FolderDescriptor&& other) noexcept;
    FolderDescriptor(const FolderDescriptor&) = delete;
    FolderDescriptor& operator=(const FolderDescriptor&) = delete;

    // Opens the folder at path, with or without a trailing "/" (closing the one held). False with errno set
    // when path is missing, is no folder (ENOTDIR) or is itself a symbolic link (ELOOP; links among the
    // folders above it are followed).
    bool open(const QString& path);
    void close() noexcept;
    // Gives up the descriptor without closing it: for an owner that may still reach the folder after this
    // object is gone. The descriptor then stays open to the end of the process.
    void release() noexcept;
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

    // "/proc/self/fd/N/" + name (one component), the path of name inside the folder; empty when the process's
    // descriptors are not visible there (no /proc, or one of another process namespace).
    // REQUIRES: isOpen().
    QString shortPathTo(const QString& name) const;

  private:
    int m_fd = -1;
};

}  // namespace platform
