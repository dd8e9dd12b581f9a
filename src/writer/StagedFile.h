// Writes a file under a temporary name beside its final name and moves it into place only when it is
// complete: commit() closes the file, syncs it to disk, renames it over the final name (atomic on one file
// system) and syncs the folder. Until then readers of the final name see the previous complete file or none,
// whatever happens to this process (a crash, a kill, a full disk).
//
// The temporary file is created anew under an unpredictable name ("." + name + "." + 16 random hex digits +
// ".part"): an existing path is never opened and a symbolic link never followed, so nothing planted in the
// folder can redirect the writing into another file.
//
// While an ExtractSet is collecting (see ExtractSet.h), commit() hands the complete, synced file to the set
// instead of renaming it: the set moves all its files into place together.
//
// Does not own the XTextFile; it owns the temporary file on disk: one not committed is deleted again
// (abandon(), discard(), or the destructor).
// REQUIRES: the XTextFile is not open when open() is called, and it outlives the staging unless discard()
// was called first.
#pragma once

#include "libraries/support/XFileSpec.h"

#include <QByteArray>

class XTextFile;

class StagedFile {
  public:
    explicit StagedFile(XTextFile& file);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Opens the file for writing (created anew, missing folders created) under a new temporary name beside
    // finalSpec. A failure raises the file layer's message naming finalSpec.
    void open(const XFileSpec& finalSpec);
    // Closes and syncs the file under its temporary name, complete but not yet in place, so that what
    // depends on its publication can be recorded first. Raises "Error closing file: %s" (final path) when
    // either fails; the temporary file is then deleted.
    void seal();
    // Seals (unless sealed already) and renames into place (or hands the file to the collecting extract
    // set). Raises "Error closing file: %s" (final path) when any of it fails; the temporary file is then
    // deleted.
    void commit();
    // Whether the last commit's rename is on disk: the folder was synced after it. A rename that is not
    // may be lost with the power, and the file with it.
    bool placedDurably() const { return m_placedDurably; }
    // Closes and deletes the temporary file, ignoring errors. Nothing when not open.
    void abandon() noexcept;
    // Deletes the temporary file without touching the XTextFile, for when that object may already be gone
    // (its own destructor closes what it holds). Nothing when not open.
    void discard() noexcept;

    bool isOpen() const { return m_staged; }
    const XFileSpec& finalSpec() const { return m_final; }
    const XFileSpec& temporarySpec() const { return m_temporary; }

    // Writes bytes as the whole new content of finalSpec the same way (exclusive temporary file, sync,
    // rename, folder sync), never through an extract set. False with errno set when any step fails; the
    // previous file is then unchanged and no temporary file is left.
    static bool writeWhole(const XFileSpec& finalSpec, const QByteArray& bytes);
    // The same for a file that is written once: finalSpec is created complete or not at all, and anything
    // already at its name (a link included) is left as it is: false with errno EEXIST then.
    static bool writeNew(const XFileSpec& finalSpec, const QByteArray& bytes);
    // Deletes the temporary files that a process which died while writing left in folder. Only for a folder
    // that no other process is writing into (its run lock is held).
    static void removeLeftovers(const XFileSpec& folder);
    // Renames from over to, then syncs the folder of to. False with errno set when the rename fails;
    // durable, when given, tells whether the folder sync succeeded too.
    static bool moveIntoPlace(const XFileSpec& from, const XFileSpec& to, bool* durable = nullptr);

  private:
    XTextFile& m_file;
    XFileSpec m_final;
    XFileSpec m_temporary;
    // Writes bytes through a staging that extract sets never collect; keep says whether an existing file at
    // the final name stays (writeNew) or is replaced (writeWhole).
    static bool writeStandalone(const XFileSpec& finalSpec, const QByteArray& bytes, bool keep);
    // Gives from the name to when nothing is there yet, then syncs the folder of to. False with errno set
    // (EEXIST when something is at to) otherwise; from is then left.
    static bool placeNew(const XFileSpec& from, const XFileSpec& to);
    // Deletes the temporary file, then raises "Error closing file: %s" with error.
    [[noreturn]] void fail(int error);

    bool m_staged = false;
    bool m_sealed = false;
    bool m_placedDurably = false;
    bool m_collectable = true;
    bool m_keepExisting = false;
};
