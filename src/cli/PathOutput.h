// The paths of written files on stdout: full paths, each ended by a newline or, with -0, a NUL.
#pragma once

#include <string>

namespace corvane::cli {

// What ends each printed path: a newline, or a NUL byte for `xargs -0` (`-0`, `--null`).
constexpr char kPathEndLine = '\n';
constexpr char kPathEndNul = '\0';

// The full, normalized path of path (a relative path is taken from the current folder);
// path itself when the current folder cannot be read.
std::string FullPath(const std::string& path);

// Prints FullPath(path) and end on stdout and flushes it, so that a reader sees each file as
// soon as it is written.
void PrintWrittenPath(const std::string& path, char end);

}  // namespace corvane::cli
