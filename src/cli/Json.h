// A small JSON writer for the command-line tool's machine-readable output.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::cli {

// text as a JSON string literal (quotes included); bytes >= 0x80 pass through as UTF-8.
std::string JsonString(const std::string& text);

}  // namespace corvane::cli
