// Where cut pieces and joined targets land: the output folder, the target-exists rule and the
// proof that a chosen name can be written. Shared by the cut and the join.
//
// Stored option values keep their numbers in the settings file (199/299, 11/22/33), so the
// enums below carry them; a value read from a file that is none of them is corrected by the
// settings store, never here.
#pragma once

#include <string>

namespace corvane {

// OutputFolderOpt.
enum class OutputFolder { SameAsSource = 199, Specific = 299 };  // "Same as source file", "Specific folder"

// TargetExistsOpt: what happens when the chosen name is taken.
enum class TargetExists {
    Rename = 11,     // "Rename automatically (add number at end of file name)"
    Overwrite = 22,  // "Overwrite"
    Skip = 33,       // "Skip (not cut)"; the batch joiner shows "Skip (not join)"
};

inline constexpr const char* kTargetExistsSkipped = "Target exists and skipped";
inline constexpr const char* kTargetSameAsSource = "Target file name is same as original file";

// The folder of outputs placed in the user's specified folder: the folder itself (created,
// with a trailing "/"), and with createTree the source's folder path rebuilt under it
// (created; "//" collapsed, ":" removed, taken from the absolute path so "../" cannot climb
// out). False with error "Failed to create folder \"<folder>\"" when a folder cannot be made.
bool PrepareSpecifiedFolder(const std::string& specified, bool createTree, const std::string& sourcePath,
                            std::string& folder, std::string& error);

// The folder an output of sourcePath goes to under folderOption: the prepared specified
// folder (see PrepareSpecifiedFolder), or the source's own folder (with a trailing "/").
// False with error set when the specified folder cannot be made.
bool ChooseOutputFolder(OutputFolder folderOption, const std::string& specified, bool createTree,
                        const std::string& sourcePath, std::string& folder, std::string& error);

// path with "_n" inserted before its last four characters ("a/x.mp3", 2 gives "a/x_2.mp3").
std::string NumberedCandidate(const std::string& path, int n);

// Proves that an output can be written at path: a free path is created and deleted again;
// an existing file is only opened for writing, so it stays as it was until replaced.
bool ProveTargetCreatable(const std::string& path);

// Settles the name path of an output of sourcePath. A free name is kept. A taken one: Skip
// fails with "Target exists and skipped"; Overwrite keeps it unless it names the source
// ("Target file name is same as original file"); Rename takes the first free
// NumberedCandidate from 1 on. The settled name is then proved (ProveTargetCreatable);
// a name that cannot be written fails with "Failed to create file \"<path>\"". True: outPath
// holds the name and nothing is left at it that was not there before. False: error holds the
// text and outPath is unchanged.
bool SettleTarget(TargetExists rule, const std::string& sourcePath, std::string path, std::string& outPath,
                  std::string& error);

}  // namespace corvane
