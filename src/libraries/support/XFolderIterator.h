// Walks the entries of one folder whose names match a wildcard pattern (without regard to case).
//
// Files are always yielded; folders only when kinds includes Folders, and then not those whose name starts
// with ".". A link counts as what it points at (a link to a folder is yielded as a folder spec; removing
// that spec removes the link); other entries (devices, sockets, broken links) are passed over. Entries come
// in name order. The entry list is read once by first(); changes to the folder after that are not seen.
// Names stay native: an entry named in any script is the entry yielded.
#pragma once

#include "libraries/support/XFileSpec.h"
#include "libraries/support/XString.h"

#include <QStringList>

class XFolderIterator {
  public:
    static constexpr int Folders = 0x10;

    // pattern: "*" any run, "?" one character, "*.*" every name.
    XFolderIterator(const XFileSpec& folder, const XString& pattern = "*.*", int kinds = 0);

    // The first matching entry (a file spec, or a folder spec ending in "/"); false when there is none or
    // the folder cannot be read.
    bool first(XFileSpec& entry);
    // The next matching entry; false when no entry is left.
    bool next(XFileSpec& entry);

  private:
    bool yield(XFileSpec& entry);

    XFileSpec m_folder;
    QString m_pattern;
    int m_kinds;
    QStringList m_names;  // matching entry names; folders end in "/"
    int m_index = 0;
};
