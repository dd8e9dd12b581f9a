// Writes a file under a temporary name beside its final name and moves it into place only when it is
// complete: commit() closes the file, syncs it to disk, renames it over the final name (atomic on one file
// system) and syncs the folder. Until then readers of the final name see the previous complete file or none,
// whatever happens to this process (a crash, a kill, a full disk).
//
// Does not own the XTextFile; it owns the temporary file on disk: one not committed is deleted again
// (abandon(), discard(), or the destructor).
// REQUIRES: the XTextFile is not open when open() is called, and it outlives the staging unless discard()
// was called first.
#pragma once

#include "libraries/support/XFileSpec.h"

class XTextFile;

class StagedFile {
  public:
    explicit StagedFile(XTextFile& file);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Opens the file for writing (created anew, missing folders created) under the temporary name of
    // finalSpec. A failure raises the file layer's message naming finalSpec.
    void open(const XFileSpec& finalSpec);
    // Closes, syncs and renames into place. Raises "Error closing file: %s" (final path) when any of it
    // fails; the temporary file is then deleted.
    void commit();
    // Closes and deletes the temporary file, ignoring errors. Nothing when not open.
    void abandon() noexcept;
    // Deletes the temporary file without touching the XTextFile, for when that object may already be gone
    // (its own destructor closes what it holds). Nothing when not open.
    void discard() noexcept;

    bool isOpen() const { return m_staged; }
    const XFileSpec& finalSpec() const { return m_final; }
    // The temporary sibling of finalSpec: the same folder, "." + name + ".part".
    static XFileSpec temporarySpec(const XFileSpec& finalSpec);

  private:
    XTextFile& m_file;
    XFileSpec m_final;
    XFileSpec m_temporary;
    bool m_staged = false;
};
