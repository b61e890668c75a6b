// The failure texts that name a file or a folder, written once for every caller.
//
// The file texts end with a full stop; the target-naming texts ("Failed to create folder",
// and "Failed to create file" when a name is proved unusable before anything is written) do
// not. Paths are shown as given, in double quotes.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// before, then value in double quotes, then after.
std::string QuotedText(std::string_view before, std::string_view value, std::string_view after = {});

// "Failed to create file \"path\"."
std::string CreateFileFailure(std::string_view path);
// "Failed to write file \"path\"."
std::string WriteFileFailure(std::string_view path);
// "Failed to open file \"path\"."
std::string OpenFileFailure(std::string_view path);
// "Failed to read file \"path\"." (a read that failed halfway, not the end of the data)
std::string ReadFileFailure(std::string_view path);
// "Failed to load file \"path\"."
std::string LoadFileFailure(std::string_view path);
// "Failed to create folder \"folder\"" (no full stop)
std::string CreateFolderFailure(std::string_view folder);
// "Failed to create file \"path\"" (no full stop): a target name that cannot be used.
std::string UnusableTargetFailure(std::string_view path);

}  // namespace corvane
