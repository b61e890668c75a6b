// The failure texts that name a file or a folder.
#include "engine/base/Messages.h"

namespace corvane {

std::string QuotedText(std::string_view before, std::string_view value, std::string_view after) {
    std::string text;
    text.reserve(before.size() + value.size() + after.size() + 2);
    text.append(before).append(1, '"').append(value).append(1, '"').append(after);
    return text;
}

std::string CreateFileFailure(std::string_view path) { return QuotedText("Failed to create file ", path, "."); }
std::string WriteFileFailure(std::string_view path) { return QuotedText("Failed to write file ", path, "."); }
std::string OpenFileFailure(std::string_view path) { return QuotedText("Failed to open file ", path, "."); }
std::string ReadFileFailure(std::string_view path) { return QuotedText("Failed to read file ", path, "."); }
std::string LoadFileFailure(std::string_view path) { return QuotedText("Failed to load file ", path, "."); }
std::string CreateFolderFailure(std::string_view folder) { return QuotedText("Failed to create folder ", folder); }
std::string UnusableTargetFailure(std::string_view path) { return QuotedText("Failed to create file ", path); }

}  // namespace corvane
