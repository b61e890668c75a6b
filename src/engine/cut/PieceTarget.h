// MakePieceTarget: where a cut writes each piece, and under which name.
#pragma once

#include <string>

#include "engine/Options.h"
#include "engine/Facts.h"

namespace corvane {

class COutputRun;

// Chooses and prepares the full path of piece index of count (sequence: the batch's running
// number, else index) under the options' folder, name template and target-exists rule. May
// create folders (the specified folder, the tree below it, the per-source folder, named
// after the base name made safe, so "...mp3" cannot climb out). The name is settled under
// the target-exists rule against the disk and the run's reserved names and sources
// (SettleTarget), and reserved in run; nothing is created at it. True: outPath holds the
// path. False: error holds one of "Failed to create folder \"<folder>\"", "Target exists
// and skipped", "Target file name is same as original file", "Failed to create file
// \"<path>\"", and outPath is unchanged. pieceTags, when not null, fill the name's tag
// placeholders instead of the source's tag (a piece with its own record).
bool MakePieceTarget(const CutterOptions& options, COutputRun& run, const std::string& sourcePath, int index,
                     int count, int sequence, std::string& outPath, std::string& error,
                     const TagFields* pieceTags = nullptr);

}  // namespace corvane
