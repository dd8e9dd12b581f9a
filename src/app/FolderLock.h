// The exclusive claim of one run on its output folder: an advisory lock (flock) on the lock file
// ".norv-extract.lock" in the folder. The kernel releases it when the process ends, however it ends, so a
// killed run never leaves its folder locked; the file itself stays (removing it would let two runs lock two
// different files of the same name).
//
// Owns: the open lock file while the lock is held.
// REQUIRES: nothing; one object per claim.
#pragma once

#include <QString>

class FolderLock {
  public:
    enum class Result { Locked, HeldElsewhere, Unavailable };

    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Creates the folder when missing and takes the lock without waiting. HeldElsewhere: another process
    // holds it. Unavailable: the lock file cannot be opened (the folder cannot be created or written).
    Result lock(const QString& folder);

    static QString fileName() { return QStringLiteral(".norv-extract.lock"); }

  private:
    int fd_ = -1;
};
