// MakeJoinTarget: the batch joiner's target folders and names over the shared output rules.
#include "engine/join/JoinTarget.h"

#include "engine/base/PathUtil.h"
#include "engine/output/OutputTarget.h"
#include "engine/output/PieceNaming.h"

namespace corvane {
namespace {

constexpr const char* kTargetExtension = ".mp3";

}  // namespace

bool MakeJoinTarget(const JoinerOptions& options, COutputRun& run, const std::string& sourcePath,
                    std::string& outPath, std::string& error) {
    std::string base;
    if (!ChooseOutputFolder(options.placement.folder, options.placement.specificFolder, options.placement.treeFolders,
                            sourcePath, base, error)) {
        return false;
    }
    // The main file's name without its extension, in the chosen folder.
    base += PieceBaseName(sourcePath);
    if (options.joinedPostfix) base += kJoinedPostfix;
    return SettleTarget(options.placement.ifExists, run, base + kTargetExtension, outPath, error);
}

}  // namespace corvane
