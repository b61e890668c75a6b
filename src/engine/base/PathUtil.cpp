// Path helpers on UTF-8 paths with "/" as the separator.
#include "engine/base/PathUtil.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace corvane {

namespace fs = std::filesystem;

namespace {

// Permissions of created directories before the process's umask.
constexpr mode_t kDirectoryMode = 0777;

// Makes one directory; true when it was made or a directory already stands there.
bool MakeOneDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), kDirectoryMode) == 0) return true;
    // Another process may have made it meanwhile; only a directory is acceptable.
    return errno == EEXIST && IsDirectory(path);
}

// The prefix (or the whole path) is an existing directory or was just created.
bool HandleComponent(const std::string& prefix) {
    if (PathExists(prefix)) return IsDirectory(prefix);
    return MakeOneDirectory(prefix);
}

}  // namespace

std::string AbsoluteNormal(const std::string& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(fs::path(path), error);
    if (error) absolute = fs::path(path);
    return absolute.lexically_normal().string();
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.rfind(kPathSeparator);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind(kPathSeparator);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtensionOf(const std::string& path) {
    const size_t slash = path.rfind(kPathSeparator);
    const size_t start = slash == std::string::npos ? 1 : slash + 1;
    if (start >= path.size()) return std::string();
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < start) return std::string();
    return path.substr(dot);
}

bool PathExists(const std::string& path) {
    if (path.empty()) return false;
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
    if (path.empty()) return false;
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
    if (path.empty()) return false;
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool EnsureDirectory(const std::string& path, bool create) {
    if (IsDirectory(path)) return true;
    return create && CreateDirectoryTree(path);
}

bool CreateDirectoryTree(const std::string& path) {
    if (path.empty()) return false;
    if (IsDirectory(path)) return true;
    for (size_t slash = path.find(kPathSeparator); slash != std::string::npos;
         slash = path.find(kPathSeparator, slash + 1)) {
        // The root ("/") and the empty parts of "a//b" are not components of their own.
        if (slash == 0 || path[slash - 1] == kPathSeparator) continue;
        if (!HandleComponent(path.substr(0, slash))) return false;
    }
    if (path.back() == kPathSeparator) return true;
    return HandleComponent(path);
}

bool IsSameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    if (fs::exists(fs::path(a), error) && fs::exists(fs::path(b), error)) {
        const bool same = fs::equivalent(fs::path(a), fs::path(b), error);
        if (!error) return same;
    }
    return AbsoluteNormal(a) == AbsoluteNormal(b);
}

bool ProgramDirectory(std::string& out) {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error) return false;
    const std::string directory = DirectoryOf(executable.string());
    if (directory.empty()) return false;
    out = directory;
    return true;
}

}  // namespace corvane
