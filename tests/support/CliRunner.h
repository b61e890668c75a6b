// Helpers for end-to-end tests of corvane-cli: running it, reading its JSON and tags.
#pragma once

#include <string>
#include <vector>

#include "support/Mp3Factory.h"

namespace corvane::test {

// Runs corvane-cli with args.
ProcessResult RunCli(const std::vector<std::string>& args);

// The raw JSON value of "key" in text, starting the search at from (a string value keeps its
// quotes); "" when absent. Enough for the flat objects corvane-cli prints.
std::string JsonValue(const std::string& text, const std::string& key, size_t from = 0);

// Lines of text without their newlines.
std::vector<std::string> Lines(const std::string& text);

// Tag fields of path as mutagen (an independent reader) sees them, "KEY=value" lines with
// newlines in values written as "\n".
std::string MutagenTags(const std::string& path);

}  // namespace corvane::test
