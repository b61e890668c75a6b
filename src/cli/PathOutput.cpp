// Printing the paths of written files.
#include "cli/PathOutput.h"

#include <filesystem>
#include <iostream>
#include <system_error>

namespace corvane::cli {

std::string FullPath(const std::string& path) {
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    return absolute.empty() ? path : absolute.lexically_normal().string();
}

void PrintWrittenPath(const std::string& path, char end) {
    std::cout << FullPath(path) << end;
    std::cout.flush();
}

}  // namespace corvane::cli
