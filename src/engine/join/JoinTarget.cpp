// MakeJoinTarget: the batch joiner's target folders, names and target-exists rules.
#include "engine/join/JoinTarget.h"

#include "app/core/PathUtil.h"
#include "engine/cut/PieceNaming.h"

namespace corvane {
namespace {

// The part of a file name replaced by the target's own extension: ".mp3".
constexpr size_t kExtensionLength = 4;
constexpr const char* kTargetExtension = ".mp3";

std::string WithoutExtension(const std::string& text) {
    return text.substr(0, text.size() >= kExtensionLength ? text.size() - kExtensionLength : 0);
}

std::string Quoted(const char* message, const std::string& value) {
    return std::string(message) + "\"" + value + "\"";
}

}  // namespace

bool MakeJoinTarget(const JoinerOptions& options, const std::string& sourcePath, std::string& outPath,
                    std::string& error) {
    static constexpr const char* kFailedFile = "Failed to create file ";

    std::string base;
    if (options.outputFolderOpt == kOutputFolderSpecific) {
        if (!PrepareSpecifiedFolder(options.specifiedOutputFolder, options.createTreeDirs, sourcePath, base, error)) {
            return false;
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

    if (!ProveTargetCreatable(candidate)) {
        error = Quoted(kFailedFile, candidate);
        return false;
    }
    outPath = candidate;
    return true;
}

}  // namespace corvane
