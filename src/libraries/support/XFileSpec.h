// A path value that knows whether it names a folder or a file, with the file operations on it.
//
// Paths are absolute and use "/" as separator; a "\" in input becomes "/" so that Windows-style values given
// by a host still work. A path ending in "/" is a folder spec; otherwise the name position marks where the
// file name starts. Path text is held in the working code page (XString) and converted to the file system's
// encoding for each system call.
// Every failure raises XException with a formatted message; where the system gave an error number it is the
// exception's code.
// Invariant: path().length() < PATH_MAX; an empty spec has no name.
#pragma once

#include "libraries/support/XString.h"

#include <QString>

class XFileSpec {
  public:
    XFileSpec();
    // set(path).
    explicit XFileSpec(const XString& path);
    explicit XFileSpec(const QString& path);
    explicit XFileSpec(const char* path) : XFileSpec(XString(path)) {}

    // Copies path, turning every "\" into "/". Raises "No support for relative paths: %s" unless the path
    // is empty or starts with "/", and "Path length (%u) exceeds maximum %u: %s" when it does not fit.
    void set(const XString& path);
    // Replaces the file name, or appends name after the folder (adding "/" when the path has none). Raises
    // "Appended length (%u) would make path length exceed maximum %u." with the name's length and the room
    // left when the result does not fit.
    void setFileName(const XString& name);
    // As setFileName, then adds "/": the spec names the folder name inside the old folder.
    void appendFolder(const XString& name);
    // Drops the last character, then cuts after the last "/": a file spec gives the folder holding the file,
    // a folder spec its parent. The root stays the root.
    XFileSpec folder() const;
    static XFileSpec folderOf(const XFileSpec& spec) { return spec.folder(); }

    const XString& path() const { return m_path; }
    const char* c_str() const { return m_path.c_str(); }
    // The path decoded to Unicode, as Qt and the file system take it.
    QString toQString() const { return m_path.toQString(); }
    bool isEmpty() const { return m_path.isEmpty(); }
    bool isFolder() const;
    bool hasFileName() const { return m_namePos >= 0; }
    // The file name ("" for a folder spec).
    XString fileName() const;
    // The text after the last "." of the file name ("" when it has none).
    XString extension() const;

    // Whether something exists at the path (a file or a folder).
    bool exists() const;
    // Creates the folder (with its missing parents), or for a file spec the missing folders and an empty
    // file. An existing path is left alone. Raises "Error creating folder: %s" / "Error creating spec: %s".
    void create() const;
    // Deletes the file, or the folder with all of its content. A path that does not exist is no error.
    // Raises "Could not delete spec: %s" when a file cannot be deleted; a folder that cannot be removed
    // after its content was deleted is left without error.
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

    XString m_path;
    int m_namePos = -1;  // start of the file name inside m_path, -1 for a folder or empty spec
};
