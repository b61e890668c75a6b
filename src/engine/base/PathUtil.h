// Path helpers on UTF-8 paths with "/" as the separator.
//
// The names work on the text of a path; only PathExists, IsDirectory, IsRegularFile,
// EnsureDirectory, CreateDirectoryTree, IsSameFile and ProgramDirectory look at the file
// system. UTF-8 never puts a "/" or "." byte inside a multi-byte character, so plain byte
// searches are exact.
#pragma once

#include <string>

namespace corvane {

// The path separator.
constexpr char kPathSeparator = '/';

// The text after the last "/", or the whole path when it has none ("a/b.mp3" gives "b.mp3",
// "a/" gives "").
std::string FileNameOf(const std::string& path);

// The path up to and including its last "/" ("/m/live.mp3" gives "/m/"); "" when the path
// has no "/" (a directory with its separator is never empty, so "" means none).
std::string DirectoryOf(const std::string& path);

// The last "." after the last "/" and everything after it (".mp3"), or "" when there is
// none. When the path has no "/", the search starts at its second character, so a bare
// ".hidden" has no extension.
std::string ExtensionOf(const std::string& path);

// The absolute, lexically normal form of path ("a/./b" and "/cwd/a/b" give one text); path
// itself made normal when the working folder cannot be read. Symbolic links stay as they are.
std::string AbsoluteNormal(const std::string& path);

// True when something is at path: a file, a directory, or a symbolic link (even one that
// points nowhere, so a name taken by a dangling link counts as taken).
bool PathExists(const std::string& path);

// True when path exists and is a directory (links followed).
bool IsDirectory(const std::string& path);

// True when path exists and is a regular file (links followed): not a directory, named pipe,
// device or socket. Looks at the file without opening it, so it never waits on a pipe; a
// reader should still check the descriptor it opens (the path may change in between).
bool IsRegularFile(const std::string& path);

// True when path is a directory; otherwise, when create is set, the result of
// CreateDirectoryTree (path), else false.
bool EnsureDirectory(const std::string& path, bool create);

// Creates the directory path and every missing directory above it. Walks the path from its
// start: every prefix that ends just before a "/" must be a directory when it exists and is
// created when it is missing. A path that ends in "/" is then done; otherwise its last
// component is created when missing, accepted when it is a directory and refused when it is
// anything else. True when the whole path is a directory at the end; false on the first
// failure (a file in the way, no permission), leaving the directories created so far. An
// empty path gives false.
bool CreateDirectoryTree(const std::string& path);

// True when a and b name the same file: both exist and the file system says they are one
// (hard links, symbolic links and "x/../" spellings included); otherwise their absolute,
// lexically normal forms are compared as texts.
bool IsSameFile(const std::string& a, const std::string& b);

// The running program's directory with a trailing "/"; false when it cannot be learnt.
bool ProgramDirectory(std::string& out);

}  // namespace corvane
