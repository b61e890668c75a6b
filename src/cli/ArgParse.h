// Parsing of the command-line tool's values: numbers, times, lists.
#pragma once

#include <string>
#include <vector>

#include "engine/output/OutputTarget.h"

namespace corvane::cli {

// Walks a command's arguments: options ("--name", "--name=value", "-d") and the files. After
// "--" every argument is a file; so are "-" and the empty text.
class CArgWalker {
public:
    explicit CArgWalker(const std::vector<std::string>& args) : args_(args) {}

    // Moves to the next argument; false after the last.
    bool Next();
    bool IsFile() const { return isFile_; }
    // The file, or the option's name without any "=value".
    const std::string& Text() const { return text_; }
    // The option's value: its "=value" part, else the next argument (consumed). False when
    // there is none.
    bool TakeValue(std::string& value);

private:
    const std::vector<std::string>& args_;
    size_t next_ = 0;
    bool onlyFiles_ = false;
    bool isFile_ = false;
    bool hasInlineValue_ = false;
    std::string text_;
    std::string inlineValue_;
};

// A whole number 0 or more, nothing else in the text. False when text is not one.
bool ParseCount(const std::string& text, int& value);

// A time in tenths of a second: seconds with at most one decimal ("90", "12.5") or minutes
// and seconds ("1:30", "2:05.5"). False when text is not one.
bool ParseTenths(const std::string& text, int& tenths);

// A duration of whole seconds ("90") or minutes and seconds ("1:30").
bool ParseMinutesSeconds(const std::string& text, int& minutes, int& seconds);

// "joint", "stereo" or "mono" as an MPEG channel mode (1, 0, 3).
bool ParseMode(const std::string& text, int& mode);

// "rename", "overwrite" or "skip" as a target-exists rule (11, 22, 33).
bool ParseTargetExists(const std::string& text, TargetExists& rule);

// Splits "a,b,c" at commas.
std::vector<std::string> SplitList(const std::string& text);

}  // namespace corvane::cli
