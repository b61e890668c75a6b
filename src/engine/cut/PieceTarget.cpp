// MakePieceTarget: the cut's folders and names over the shared output rules.
#include "engine/cut/PieceTarget.h"

#include "engine/base/PathUtil.h"
#include "engine/output/OutputTarget.h"
#include "engine/output/PieceNaming.h"

namespace corvane {

bool MakePieceTarget(const CutterOptions& options, COutputRun& run, const std::string& sourcePath, int index,
                     int count, int sequence, std::string& outPath, std::string& error,
                     const TagFields* pieceTags) {
    const int digits = options.nameDigits > 0 ? options.nameDigits : AutomaticDigits(count);
    const std::string baseName = PieceBaseName(sourcePath);

    std::string folder;
    if (!ChooseOutputFolder(options.placement.folder, options.placement.specificFolder, options.placement.treeFolders,
                            sourcePath, folder, error)) {
        return false;
    }
    if (options.folderPerSource) {
        folder += SafeNameComponent(baseName);
        folder += kPathSeparator;
        CreateDirectoryTree(folder);  // a failure shows when the name is settled
    }
    const std::string path =
        folder + (pieceTags != nullptr
                      ? ExpandNameTemplate(options.nameTemplate, baseName, *pieceTags, index, count, sequence, digits)
                      : ExpandNameTemplate(options.nameTemplate, baseName, &sourcePath, index, count, sequence,
                                           digits));
    return SettleTarget(options.placement.ifExists, run, path, outPath, error);
}

}  // namespace corvane
