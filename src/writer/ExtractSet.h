// The files of one full extract (the table files and the main file), held back under their temporary names
// until the whole set is complete and then moved into place together: the tables first, the main file last.
//
// While a set is collecting, every StagedFile that commits hands its complete, synced file to the set
// instead of renaming it, so each table step (through WriteTable or its own StagedFile) joins the set
// without code of its own. publish() first removes the previous main file, so that at every moment of the
// moves the folder holds either the previous complete set with its main file or no main file at all: a run
// that dies never leaves a main file beside tables of another run.
//
// Owns: the temporary files handed to it; those not published are deleted by the destructor.
// REQUIRES: one set collects at a time (the process is single-threaded); it lives on the writer that
// started it.
#pragma once

#include "libraries/support/XFileSpec.h"

#include <vector>

class ExtractSet {
  public:
    // Starts collecting; mainFile is the final name of the set's main file, moved last.
    explicit ExtractSet(const XFileSpec& mainFile);
    ~ExtractSet();
    ExtractSet(const ExtractSet&) = delete;
    ExtractSet& operator=(const ExtractSet&) = delete;

    // The set that is collecting, or null.
    static ExtractSet* collecting();

    // Whether a file of that final name belongs to the set (it is in the set's folder).
    bool holds(const XFileSpec& final) const;
    // Takes over the complete temporary file for final (a file handed over again for the same final name
    // replaces the earlier one).
    void add(const XFileSpec& temporary, const XFileSpec& final);
    // Stops collecting and moves every file into place, the main file last. Raises "Error closing file: %s"
    // (the final path) when a move fails; the files not yet moved are then deleted.
    void publish();

  private:
    struct Entry {
        XFileSpec temporary;
        XFileSpec final;
    };
    void dropPending() noexcept;

    XFileSpec m_mainFile;
    std::vector<Entry> m_entries;
};
