// The status files of an output folder: what each one promises the host, who may write it and when, and
// how they are written, read and removed.
//
// What each file promises:
//   "BridgeStatus.tmp"          the time the last run started and "Extract Running". Written by a run, and
//                               only by a run, once it holds the folder.
//   appType_ + "Status.tmp"     how the last command that had this folder ended: time, "Succeeded" and
//                               "Succeeded", or time, "Failed" and the reason. Never the outcome of a run
//                               that did not finish: a run removes it when it starts.
//   appFinishedFile_            "finished": that command is over (removed and written with the file above).
//   "finished.tmp"              the importer's marker; a run removes it when it starts.
//
// Who may write them, and when:
//   - A run holds the folder's lock (FolderLock) for its whole life. It removes the outcome files when it
//     starts and writes its outcome when it ends, also when it fails, is stopped by a signal or meets a
//     silent source. While it holds the lock nobody else writes or removes any of them.
//   - A run that cannot start (a password file or an option refused, a value missing, a lock file that
//     cannot be used) records "Failed" and why, so that the night never reads as the last good one;
//     unless another run holds the folder: then the files are that run's, and it touches none of them. It
//     never makes the folder for that.
//   - Any other command (test, params, version, defaults) takes the lock only for a moment: at its start,
//     to remove the outcome files and note their state, and at its end, to write its outcome. It writes
//     only when it could take the lock at both moments and the state is still the one it noted: a run (or
//     another command) that began in the folder in between owns the folder's status. So a command that
//     outlasts a run never turns a failed or killed night into a success, nor a good one into a failure.
//   - A run killed outright (SIGKILL, a power cut) leaves no outcome file: the host reads a missing one as
//     "did not finish", never as success.
//
// Each status file holds one line ending in CR LF and is replaced whole (written under a temporary name,
// synced, renamed), so a reader sees the previous line or the new one, never a torn or empty file, and a
// link planted under its name is replaced, not written through.
//
// Owns nothing; every operation works on the folder it is given.
// REQUIRES: nothing; an empty folder means the documents folder + "/Velmora Software/Logs".
#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

class StatusFiles {
  public:
    // The file a run writes when it starts.
    static constexpr char kRunStarted[] = "BridgeStatus.tmp";

    // Which files stand at a set of names: one entry per name (absent, or the file's device, inode and
    // change time, which a file written anew under the name never shares with the one it replaced while
    // that one is noted).
    using State = std::vector<std::array<qint64, 5>>;
    static State stateOf(const QString& folder, const QStringList& names);

    // The folder the status files of folder live in: folder itself, or the documents folder's log folder
    // when it is empty.
    static QString folderOf(const QString& folder);

    // Writes text and CR LF as the whole content of name in folder (created first with its parents); false
    // with errno set when that fails, the previous file then unchanged.
    static bool write(const QString& folder, const QString& name, const QString& text);
    // True when name in folder is a regular file whose text contains "Succeeded" (any letter case).
    static bool succeeded(const QString& folder, const QString& name);
    // Deletes name in folder (a link as a link); true when it did.
    static bool remove(const QString& folder, const QString& name);
};
