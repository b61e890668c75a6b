// MakeJoinTarget: the batch joiner's target folders, names and target-exists rules.
#include "engine/join/JoinTarget.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "app/core/PathUtil.h"

namespace corvane {
namespace {

// The part of a file name replaced by the target's own extension: ".mp3".
constexpr size_t kExtensionLength = 4;
constexpr const char* kTargetExtension = ".mp3";

// Permissions of the probe file before the umask.
constexpr mode_t kFileMode = 0666;

std::string WithoutExtension(const std::string& text) {
    return text.substr(0, text.size() >= kExtensionLength ? text.size() - kExtensionLength : 0);
}

std::string Quoted(const char* message, const std::string& value) {
    return std::string(message) + "\"" + value + "\"";
}

// Removes every ":" and collapses each run of "/" into one.
std::string CleanTreePath(const std::string& path) {
    std::string result;
    for (char c : path) {
        if (c == ':') continue;
        if (c == kPathSeparator && !result.empty() && result.back() == kPathSeparator) continue;
        result += c;
    }
    return result;
}

// Proves that a target can be written at path. A free path is created and deleted again; an
// existing file is only opened for writing, so it stays as it was until the join replaces it.
bool ProbeTarget(const std::string& path) {
    const bool existed = PathExists(path);
    const int flags = existed ? O_WRONLY | O_CLOEXEC : O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    const int fd = ::open(path.c_str(), flags, kFileMode);
    if (fd < 0) return false;
    ::close(fd);
    if (!existed) ::unlink(path.c_str());
    return true;
}

}  // namespace

bool MakeJoinTarget(const JoinerOptions& options, const std::string& sourcePath, std::string& outPath,
                    std::string& error) {
    static constexpr const char* kFailedFolder = "Failed to create folder ";
    static constexpr const char* kFailedFile = "Failed to create file ";

    std::string base;
    if (options.outputFolderOpt == kOutputFolderSpecific) {
        const std::string& specified = options.specifiedOutputFolder;
        if (specified.empty() || !CreateDirectoryTree(specified)) {
            error = Quoted(kFailedFolder, specified);
            return false;
        }
        base = specified;
        if (base.back() != kPathSeparator) base += kPathSeparator;
        if (options.createTreeDirs) {
            // The main file's folder from the root, so "../" can never climb out of the
            // specified folder.
            std::error_code ignored;
            const std::filesystem::path absolute = std::filesystem::absolute(sourcePath, ignored).lexically_normal();
            base = CleanTreePath(base + DirectoryOf(absolute.string()));
            if (!CreateDirectoryTree(base)) {
                error = Quoted(kFailedFolder, base);
                return false;
            }
        }
        base += WithoutExtension(FileNameOf(sourcePath));
    } else {
        base = WithoutExtension(sourcePath);
    }
    if (options.addPostfixAtEndOfFile) base += kJoinedPostfix;

    std::string candidate = base + kTargetExtension;
    if (PathExists(candidate)) {
        if (options.targetExistsOpt == kTargetExistsOverwrite) {
            if (IsSameFile(candidate, sourcePath)) {
                error = "Target file name is same as original file";
                return false;
            }
        } else if (options.targetExistsOpt == kTargetExistsSkip) {
            error = "Target exists and skipped";
            return false;
        } else {
            for (int n = 1;; ++n) {
                candidate = base + "_" + std::to_string(n) + kTargetExtension;
                if (!PathExists(candidate)) break;
            }
        }
    }

    if (!ProbeTarget(candidate)) {
        error = Quoted(kFailedFile, candidate);
        return false;
    }
    outPath = candidate;
    return true;
}

}  // namespace corvane
