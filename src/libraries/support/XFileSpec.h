// A path value that knows whether it names a folder or a file, with the file operations on it.
//
// Paths are native: absolute, "/" as the only separator, held as Unicode text and handed to the file system
// in its own encoding, so a folder named in any script is the folder used. A "\" is an ordinary character of
// a name, as it is for the system. A path ending in "/" is a folder spec; otherwise the name position marks
// where the file name starts. Texts in the working code page (XString) are accepted and given back for names
// and messages; a character that code page lacks reads as "?" there, never in the path itself.
// Removal never follows a symbolic link at the path or inside a folder it deletes: a link is removed as a
// link, and what it points at is left alone. The folders above the path are the caller's.
// Every failure raises XException with a formatted message; where the system gave an error number it is the
// exception's code.
// Invariant: the path's native form is shorter than PATH_MAX; an empty spec has no name.
#pragma once

#include "libraries/support/XString.h"

#include <QByteArray>
#include <QString>

class XFileSpec {
  public:
    XFileSpec();
    // set(path).
    explicit XFileSpec(const XString& path);
    explicit XFileSpec(const QString& path);
    explicit XFileSpec(const char* path) : XFileSpec(XString(path)) {}

    // Copies path. Raises "No support for relative paths: %s" unless the path is empty or starts with "/",
    // and "Path length (%u) exceeds maximum %u: %s" when its native form does not fit.
    void set(const QString& path);
    void set(const XString& path) { set(path.toQString()); }
    void set(const char* path) { set(XString(path)); }
    // Replaces the file name, or appends name after the folder (adding "/" when the path has none). Raises
    // "Appended length (%u) would make path length exceed maximum %u." with the name's length and the room
    // left when the result does not fit.
    void setFileName(const QString& name);
    void setFileName(const XString& name) { setFileName(name.toQString()); }
    void setFileName(const char* name) { setFileName(XString(name)); }
    // As setFileName, then adds "/": the spec names the folder name inside the old folder.
    void appendFolder(const QString& name);
    void appendFolder(const XString& name) { appendFolder(name.toQString()); }
    void appendFolder(const char* name) { appendFolder(XString(name)); }
    // Drops the last character, then cuts after the last "/": a file spec gives the folder holding the file,
    // a folder spec its parent. The root stays the root.
    XFileSpec folder() const;
    static XFileSpec folderOf(const XFileSpec& spec) { return spec.folder(); }

    // The path in the working code page, for messages and for texts written into files.
    XString path() const { return XString(m_path); }
    // The path as Qt and the file system take it.
    const QString& toQString() const { return m_path; }
    // The path in the file system's encoding, for system calls.
    QByteArray native() const;
    bool isEmpty() const { return m_path.isEmpty(); }
    bool isFolder() const;
    bool hasFileName() const { return m_namePos >= 0; }
    // The file name ("" for a folder spec).
    QString nativeFileName() const;
    XString fileName() const { return XString(nativeFileName()); }
    // The text after the last "." of the file name ("" when it has none).
    XString extension() const;

    // Whether something exists at the path (a file, a folder or a link, wherever the link points).
    bool exists() const;
    // Whether the path itself (without a trailing "/") is a symbolic link.
    bool isLink() const;
    // Creates the folder (with its missing parents), or for a file spec the missing folders and an empty
    // file. An existing path is left alone. Raises "Error creating folder: %s" / "Error creating spec: %s".
    void create() const;
    // Deletes the file or link, or the folder with all of its content. A path that does not exist is no
    // error. Raises "Could not delete spec: %s" when an entry cannot be deleted; a folder that cannot be
    // removed after its content was deleted is left without error.
    void remove() const;
    // Deletes every file (not folder) of folder whose name matches the wildcard pattern, without regard to
    // case ("*" any run, "?" one character; "*.*" matches every name). A missing folder is no error.
    static void deleteMatching(const XFileSpec& folder, const XString& pattern = "*.*");
    // The wildcard rule above, on Unicode names.
    static bool matchesWildcard(const QString& name, const QString& pattern);

    friend bool operator==(const XFileSpec& a, const XFileSpec& b) { return a.m_path == b.m_path; }
    friend bool operator!=(const XFileSpec& a, const XFileSpec& b) { return a.m_path != b.m_path; }

  private:
    void updateNamePos();
    // The path without the trailing "/" of a folder spec (the root stays "/"), in the system's encoding.
    QByteArray nativeEntry() const;

    QString m_path;
    int m_namePos = -1;  // start of the file name inside m_path, -1 for a folder or empty spec
};
