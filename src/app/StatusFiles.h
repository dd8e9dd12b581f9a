// The status files of an output folder: how they are written, read and removed.
//
// Each status file holds one line ending in CR LF and is replaced whole (written under a temporary name,
// synced, renamed), so a reader sees the previous line or the new one, never a torn or empty file, and a
// link planted under its name is replaced, not written through.
//
// Owns nothing; every operation works on the folder it is given.
// REQUIRES: nothing; an empty folder means the documents folder + "/Velmora Software/Logs".
#pragma once

#include <QString>

class StatusFiles {
  public:
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
