// Output folders, the target-exists rule and the proof that a name can be written.
#include "engine/output/OutputTarget.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <utility>

#include "engine/base/Messages.h"
#include "engine/base/PathUtil.h"

namespace corvane {
namespace {

// The part of a file name before which the rename rule inserts its number: ".mp3".
constexpr size_t kExtensionLength = 4;

// Permissions of the probe file before the umask.
constexpr mode_t kFileMode = 0666;

}  // namespace

bool PrepareSpecifiedFolder(const std::string& specified, bool createTree, const std::string& sourcePath,
                            std::string& folder, std::string& error) {
    if (specified.empty() || !CreateDirectoryTree(specified)) {
        error = CreateFolderFailure(specified);
        return false;
    }
    folder = specified;
    if (folder.back() != kPathSeparator) folder += kPathSeparator;
    if (!createTree) return true;
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(sourcePath, ignored).lexically_normal();
    std::string tree;
    for (const char c : folder + DirectoryOf(absolute.string())) {
        if (c == ':') continue;
        if (c == kPathSeparator && !tree.empty() && tree.back() == kPathSeparator) continue;
        tree += c;
    }
    folder = tree;
    if (!CreateDirectoryTree(folder)) {
        error = CreateFolderFailure(folder);
        return false;
    }
    return true;
}

bool ChooseOutputFolder(OutputFolder folderOption, const std::string& specified, bool createTree,
                        const std::string& sourcePath, std::string& folder, std::string& error) {
    if (folderOption == OutputFolder::Specific) {
        return PrepareSpecifiedFolder(specified, createTree, sourcePath, folder, error);
    }
    folder = DirectoryOf(sourcePath);
    return true;
}

std::string NumberedCandidate(const std::string& path, int n) {
    const size_t at = path.size() >= kExtensionLength ? path.size() - kExtensionLength : 0;
    return path.substr(0, at) + "_" + std::to_string(n) + path.substr(at);
}

bool ProveTargetCreatable(const std::string& path) {
    const bool existed = PathExists(path);
    const int flags = existed ? O_WRONLY | O_CLOEXEC : O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    const int fd = ::open(path.c_str(), flags, kFileMode);
    if (fd < 0) return false;
    ::close(fd);
    if (!existed) ::unlink(path.c_str());
    return true;
}

bool SettleTarget(TargetExists rule, const std::string& sourcePath, std::string path, std::string& outPath,
                  std::string& error) {
    if (PathExists(path)) {
        if (rule == TargetExists::Skip) {
            error = kTargetExistsSkipped;
            return false;
        }
        if (rule == TargetExists::Overwrite) {
            if (IsSameFile(path, sourcePath)) {
                error = kTargetSameAsSource;
                return false;
            }
        } else {
            std::string candidate;
            for (int n = 1;; ++n) {
                candidate = NumberedCandidate(path, n);
                if (!PathExists(candidate)) break;
            }
            path = std::move(candidate);
        }
    }
    if (!ProveTargetCreatable(path)) {
        error = UnusableTargetFailure(path);
        return false;
    }
    outPath = std::move(path);
    return true;
}

}  // namespace corvane
