// Parsing of the command-line tool's values: numbers, times, lists.
#pragma once

#include <string>
#include <vector>

#include "engine/Options.h"

namespace corvane::cli {

class CEncodingArgs;

// Walks a command's arguments: options ("--name", "--name=value", "-d") and the files. After
// "--" every argument is a file; so are "-" and the empty text.
class CArgWalker {
public:
    explicit CArgWalker(const std::vector<std::string>& args) : args_(args) {}

    // Moves to the next argument; false after the last.
    bool Next();
    bool IsFile() const { return isFile_; }
    // Moves to the next option, appending the files on the way to files and taking the
    // re-encoding options into encoding. False after the last argument, or when a
    // re-encoding option has a usage error: status is then its exit status (else 0).
    bool NextOption(std::vector<std::string>& files, CEncodingArgs& encoding, int& status);
    // The file, or the option's name without any "=value".
    const std::string& Text() const { return text_; }
    // The option's value: its "=value" part, else the next argument (consumed). False when
    // there is none.
    bool TakeValue(std::string& value);
    // An optional value: the "=value" part (true), else the next argument when accepts says
    // it is one (consumed, true); false, with nothing consumed, when there is none.
    bool TakeOptionalValue(std::string& value, bool (*accepts)(const std::string&));
    // Report the option's usage errors ("<option> needs a value", "invalid value for
    // <option>: <value>") and return their exit status.
    int MissingValue() const;
    int BadValue(const std::string& value) const;

private:
    const std::vector<std::string>& args_;
    size_t next_ = 0;
    bool onlyFiles_ = false;
    bool isFile_ = false;
    bool hasInlineValue_ = false;
    std::string text_;
    std::string inlineValue_;
};

// The re-encoding options --rate HZ, --bitrate KBPS and --mode joint|stereo|mono, which
// go together: all three or none.
class CEncodingArgs {
public:
    // The values go to rate (Hz), kbps and mode (as ParseMode gives it).
    CEncodingArgs(int& rate, int& kbps, int& mode) : rate_(rate), kbps_(kbps), mode_(mode) {}

    // When the walker stands on one of the three options: takes its value and returns true,
    // with status 0, or with the exit status of the usage error reported for a missing or
    // bad value (a rate or bit rate must be a whole number above 0). False for any other
    // option.
    bool Take(CArgWalker& walker, int& status);
    // How many of the three were given.
    int Given() const { return given_[0] + given_[1] + given_[2]; }
    // 0 when none or all three were given; else reports "--rate, --bitrate and --mode go
    // together" and returns its exit status.
    int Check() const;

private:
    int& rate_;
    int& kbps_;
    int& mode_;
    bool given_[3] = {false, false, false};
};

// A whole number 0 or more, nothing else in the text. False when text is not one.
bool ParseCount(const std::string& text, int& value);

// A time in tenths of a second: seconds with at most one decimal ("90", "12.5") or minutes
// and seconds ("1:30", "2:05.5"). False when text is not one.
bool ParseTenths(const std::string& text, int& tenths);

// A duration of whole seconds ("90") or minutes and seconds ("1:30").
bool ParseMinutesSeconds(const std::string& text, int& minutes, int& seconds);

// The value of --jobs: how many worker threads re-encode at once, a whole number from 1 to
// kMaxJobs. False when text is not one.
constexpr int kMaxJobs = 256;
bool ParseJobs(const std::string& text, int& jobs);

// The value of --silence: a threshold in dBFS, 0 or below ("-48", "-40.5"), optionally
// followed by ":" and the shortest silence in seconds above 0 ("-40:1.5"). False when text
// is not one; db and seconds are then unchanged.
bool ParseSilence(const std::string& text, double& db, double& seconds);
// True when text has the form of a --silence value (numbers, either sign): the option takes
// it as its value, and ParseSilence judges it.
bool IsSilenceValue(const std::string& text);
// What is wrong with a value IsSilenceValue takes that ParseSilence refuses; empty when nothing.
std::string SilenceValueFault(const std::string& text);

// "joint", "stereo" or "mono" as an MPEG channel mode (1, 0, 3).
bool ParseMode(const std::string& text, int& mode);

// "rename", "overwrite" or "skip" as a target-exists rule (11, 22, 33).
bool ParseTargetExists(const std::string& text, TargetExists& rule);

// Splits "a,b,c" at commas.
std::vector<std::string> SplitList(const std::string& text);

}  // namespace corvane::cli
