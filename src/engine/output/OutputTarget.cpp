// Output folders, the target-exists rule and the proof that a name can be written.
#include "engine/output/OutputTarget.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <utility>

#include "engine/base/Messages.h"
#include "engine/base/PathUtil.h"
#include "engine/output/OutputRun.h"

namespace corvane {
namespace {

// The longest file name (bytes) the file systems we write to take.
constexpr size_t kMaxNameBytes = NAME_MAX;


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
    // Only the source's part is cleaned; the specified folder is the user's, kept as typed.
    // Its leading separator (and any doubled one) is dropped, as the folder ends with one.
    for (const char c : DirectoryOf(absolute.string())) {
        if (c == ':') continue;
        if (c == kPathSeparator && folder.back() == kPathSeparator) continue;
        folder += c;
    }
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

bool IsReplaceableTarget(const std::string& path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return true;
    return S_ISREG(info.st_mode) || S_ISLNK(info.st_mode);
}

std::string NumberedCandidate(const std::string& path, int n) {
    const size_t nameStart = DirectoryOf(path).size();
    const size_t dot = path.rfind('.');
    const size_t at = dot == std::string::npos || dot < nameStart ? path.size() : dot;
    return path.substr(0, at) + "_" + std::to_string(n) + path.substr(at);
}

bool SettleTarget(TargetExists rule, COutputRun& run, std::string path, std::string& outPath, std::string& error) {
    const std::string name = FileNameOf(path);
    const std::string folder = DirectoryOf(path);
    if (name.empty() || name == "." || name == ".." || name.size() > kMaxNameBytes ||
        ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0) {
        error = UnusableTargetFailure(path);
        return false;
    }
    const bool exists = PathExists(path);
    if (exists || run.IsReserved(path)) {
        bool numbered = rule == TargetExists::Rename;
        if (rule == TargetExists::Skip) {
            error = kTargetExistsSkipped;
            return false;
        }
        if (rule == TargetExists::Overwrite) {
            if (run.IsSource(path)) {
                error = kTargetSameAsSource;
                return false;
            }
            if (run.IsReserved(path)) {
                numbered = true;  // the run's own output: never replaced by another of the run
            } else if (!IsReplaceableTarget(path)) {
                error = UnusableTargetFailure(path);
                return false;
            }
        }
        if (numbered) {
            std::string candidate;
            int n = 1;
            for (; n <= kMaxNumberedCandidates; ++n) {
                candidate = NumberedCandidate(path, n);
                if (!PathExists(candidate) && !run.IsReserved(candidate)) break;
            }
            if (n > kMaxNumberedCandidates || FileNameOf(candidate).size() > kMaxNameBytes) {
                error = UnusableTargetFailure(path);
                return false;
            }
            path = std::move(candidate);
        }
    }
    run.Reserve(path);
    outPath = std::move(path);
    return true;
}

}  // namespace corvane
