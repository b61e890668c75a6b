// MakePieceTarget: where a cut writes each piece, and under which name.
#pragma once

#include <string>

#include "engine/cut/CutterOptions.h"

namespace corvane {

// Chooses and prepares the full path of piece index of count (sequence: the batch's running
// number, else index) under the options' folder, name template and target-exists rule. May
// create folders (the specified folder, the tree below it, the per-source folder). With
// "Overwrite" an existing target other than the source is left in place, its replacement
// being the cutter's; a target that does not exist yet is created and deleted again to prove
// the name usable. True: outPath holds the path, nothing is left at it that was not there
// before. False: error holds one of "Failed to create folder \"<folder>\"", "Target exists
// and skipped", "Target file name is same as original file", "Failed to create file
// \"<path>\"", and outPath is unchanged.
bool MakePieceTarget(const CutterOptions& options, const std::string& sourcePath, int index, int count,
                     int sequence, std::string& outPath, std::string& error);

}  // namespace corvane
