// Parsing of the command-line tool's values: numbers, times, lists.
#pragma once

#include <string>
#include <vector>

namespace corvane::cli {

// A whole number 0 or more, nothing else in the text. False when text is not one.
bool ParseCount(const std::string& text, int& value);

// A time in tenths of a second: seconds with at most one decimal ("90", "12.5") or minutes
// and seconds ("1:30", "2:05.5"). False when text is not one.
bool ParseTenths(const std::string& text, int& tenths);

// A duration of whole seconds ("90") or minutes and seconds ("1:30").
bool ParseMinutesSeconds(const std::string& text, int& minutes, int& seconds);

// Splits "a,b,c" at commas.
std::vector<std::string> SplitList(const std::string& text);

}  // namespace corvane::cli
