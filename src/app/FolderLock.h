// The exclusive claim of one process on its output folder: an advisory lock (flock) on the lock file
// ".norv-extract.lock" in the folder. A run holds it for its whole length; any other command holds it only
// while it writes the folder's status files, and leaves them alone while a run holds it. The kernel releases
// it when the process ends, however it ends, so a killed run never leaves its folder locked; the file itself
// stays (removing it would let two runs lock two different files of the same name).
//
// Owns: the open lock file while the lock is held.
// REQUIRES: nothing; one object per claim. Two claims on one folder conflict within a process too.
#pragma once

#include <QString>

#include <chrono>

class FolderLock {
  public:
    enum class Result {
        Locked,         // the lock is held
        HeldElsewhere,  // another claim holds it
        NoFolder,       // the folder cannot be created (a file in the way, no right to create it)
        Unavailable,    // the lock file cannot be opened or locked (a folder or a link at its name, a file
                        // this user may not even read)
    };

    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Creates the folder when missing and takes the lock, trying again for up to patience while another
    // claim holds it. The lock file is opened without following a link; read-only when this user may not
    // write it.
    Result lock(const QString& folder, std::chrono::milliseconds patience = std::chrono::milliseconds(0));
    // Whether a run holds the folder now, asked without creating or changing anything in it: HeldElsewhere
    // when one does, Locked when none does (no lock file, or a lock taken and let go at once), NoFolder when
    // the folder is missing, Unavailable when the lock file cannot be used. Holds nothing afterwards.
    static Result probe(const QString& folder, int* error = nullptr);
    bool held() const { return fd_ >= 0; }
    // The system's error number of the last NoFolder or Unavailable result.
    int error() const { return error_; }

    static QString fileName() { return QStringLiteral(".norv-extract.lock"); }

  private:
    int fd_ = -1;
    int error_ = 0;
};
