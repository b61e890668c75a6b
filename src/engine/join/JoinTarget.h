// MakeJoinTarget: where a batch join writes the target of one main file, and under which name.
#pragma once

#include <string>

#include "engine/Options.h"

namespace corvane {

class COutputRun;

// Chooses and proves the target path of the main file at sourcePath:
// - "Specific folder": the specified folder (created with its parents when missing), with
//   CreateTreeDirs the main file's absolute folder below it (colons removed, runs of "/"
//   collapsed, created too); otherwise the main file's own folder;
// - the main file's name without its extension (PieceBaseName), "_joined" with
//   AddPostfixAtEndOfFile, then ".mp3";
// - when that name is taken (on disk, or reserved by the run): Overwrite keeps it unless it
//   is a source of the run; Skip fails; Rename tries "<base>_1.mp3", "<base>_2.mp3", ...
//   until one is free (SettleTarget);
// - the name is reserved in run; nothing is created at it.
// True: outPath holds the target. False:
// outPath is unchanged and error holds one of "Failed to create folder \"<folder>\"",
// "Target file name is same as original file", "Target exists and skipped",
// "Failed to create file \"<path>\"".
bool MakeJoinTarget(const JoinerOptions& options, COutputRun& run, const std::string& sourcePath,
                    std::string& outPath, std::string& error);

}  // namespace corvane
