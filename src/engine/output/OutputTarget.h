// Where cut pieces and joined targets land: the output folder, the target-exists rule and the
// proof that a chosen name can be written. Shared by the cut and the join.
//
#pragma once

#include <string>

#include "engine/Options.h"

namespace corvane {

class COutputRun;

inline constexpr const char* kTargetExistsSkipped = "Target exists and skipped";
inline constexpr const char* kTargetSameAsSource = "Target file name is same as original file";

// The folder of outputs placed in the user's specified folder: the folder itself (created,
// with a trailing "/"), and with createTree the source's folder path rebuilt under it
// (created; taken from the absolute path so "../" cannot climb out, with "//" collapsed and
// ":" removed in that part only: the specified folder is kept as given). False with error
// "Failed to create folder \"<folder>\"" when a folder cannot be made.
bool PrepareSpecifiedFolder(const std::string& specified, bool createTree, const std::string& sourcePath,
                            std::string& folder, std::string& error);

// The folder an output of sourcePath goes to under folderOption: the prepared specified
// folder (see PrepareSpecifiedFolder), or the source's own folder (with a trailing "/").
// False with error set when the specified folder cannot be made.
bool ChooseOutputFolder(OutputFolder folderOption, const std::string& specified, bool createTree,
                        const std::string& sourcePath, std::string& folder, std::string& error);

// True when what stands at path may be replaced by an output: nothing, a file, or a
// symbolic link (the link is replaced, never what it points to); false for a folder, a
// device, a pipe or a socket.
bool IsReplaceableTarget(const std::string& path);

// How far the rename rule counts before it gives up on a name.
inline constexpr int kMaxNumberedCandidates = 1000000;

// path with "_n" inserted into its file name, before the extension (the last "." of the
// file name), or at the end when the name has no "." ("a/x.mp3", 2 gives "a/x_2.mp3";
// "a/b.c/x", 2 gives "a/b.c/x_2"). The folder part is never touched.
std::string NumberedCandidate(const std::string& path, int n);

// Settles the name path of an output of the run. A free name is kept. A taken one (a file,
// a directory, a link, or a name the run reserved before): Skip fails with "Target exists
// and skipped"; Overwrite keeps it unless it names a source of the run ("Target file name is
// same as original file") or something that is not a file or a symbolic link (a folder, a
// device, a pipe: "Failed to create file \"<path>\""), and takes the next free numbered name
// when the run itself reserved it; Rename takes the first free NumberedCandidate from 1 on.
// A name that cannot be used (empty, "." or "..", longer than the file system allows, or in
// a folder that is missing or not writable) fails with "Failed to create file \"<path>\"".
// Nothing is created or opened: the output is written under a temporary name and reaches
// this name only when complete (COutputSet). True: outPath holds the name, reserved in run.
// False: error holds the text and outPath is unchanged.
bool SettleTarget(TargetExists rule, COutputRun& run, std::string path, std::string& outPath, std::string& error);

}  // namespace corvane
