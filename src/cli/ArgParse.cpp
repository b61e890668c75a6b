// Parsing of numbers, times and lists given on the command line.
#include "cli/ArgParse.h"

#include <cctype>
#include <climits>

#include "cli/Commands.h"
#include "engine/Options.h"

namespace corvane::cli {

bool CArgWalker::Next() {
    for (;;) {
        if (next_ >= args_.size()) return false;
        text_ = args_[next_++];
        hasInlineValue_ = false;
        if (!onlyFiles_ && text_ == "--") {
            onlyFiles_ = true;
            continue;
        }
        isFile_ = onlyFiles_ || text_.empty() || text_[0] != '-' || text_ == "-";
        if (!isFile_ && text_.rfind("--", 0) == 0) {
            if (const size_t eq = text_.find('='); eq != std::string::npos) {
                inlineValue_ = text_.substr(eq + 1);
                text_.resize(eq);
                hasInlineValue_ = true;
            }
        }
        return true;
    }
}

bool CArgWalker::NextOption(std::vector<std::string>& files, CEncodingArgs& encoding, int& status) {
    status = 0;
    while (Next()) {
        if (isFile_) {
            files.push_back(text_);
            continue;
        }
        if (!encoding.Take(*this, status)) return true;
        if (status != 0) return false;
    }
    return false;
}

int CArgWalker::MissingValue() const { return UsageError(text_ + " needs a value"); }

int CArgWalker::BadValue(const std::string& value) const {
    return UsageError("invalid value for " + text_ + ": " + value);
}

bool CEncodingArgs::Take(CArgWalker& walker, int& status) {
    const std::string& a = walker.Text();
    const int which = a == "--rate" ? 0 : a == "--bitrate" ? 1 : a == "--mode" ? 2 : -1;
    if (which < 0) return false;
    std::string v;
    bool good = false;
    if (!walker.TakeValue(v)) {
        status = walker.MissingValue();
        return true;
    }
    if (which == 2) {
        good = ParseMode(v, mode_);
    } else {
        int& value = which == 0 ? rate_ : kbps_;
        good = ParseCount(v, value) && value != 0;
    }
    status = good ? 0 : walker.BadValue(v);
    given_[which] = given_[which] || good;
    return true;
}

int CEncodingArgs::Check() const {
    const int given = Given();
    return given != 0 && given != 3 ? UsageError("--rate, --bitrate and --mode go together") : 0;
}

bool CArgWalker::TakeValue(std::string& value) {
    if (hasInlineValue_) {
        value = inlineValue_;
        hasInlineValue_ = false;
        return true;
    }
    if (next_ >= args_.size()) return false;
    value = args_[next_++];
    return true;
}

bool CArgWalker::TakeOptionalValue(std::string& value, bool (*accepts)(const std::string&)) {
    if (hasInlineValue_) return TakeValue(value);
    if (next_ >= args_.size() || onlyFiles_ || !accepts(args_[next_])) return false;
    value = args_[next_++];
    return true;
}

namespace {

// A decimal number: an optional sign, digits, at most one "." with digits around it or not,
// at least one digit, nothing else.
bool ReadPlainDecimal(const std::string& text, double& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    double whole = 0;
    double scale = 1;
    int digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
        } else if (std::isdigit(static_cast<unsigned char>(c)) && digits < 9) {
            ++digits;
            if (point) scale /= 10;
            whole = whole * 10 + (c - '0');
        } else {
            return false;
        }
    }
    if (digits == 0) return false;
    value = (negative ? -whole : whole) * scale;
    return true;
}

}  // namespace

bool ParseSilence(const std::string& text, double& db, double& seconds) {
    const size_t colon = text.find(':');
    double level = 0;
    if (!ReadPlainDecimal(text.substr(0, colon), level) || level > 0) return false;
    double length = seconds;
    if (colon != std::string::npos && (!ReadPlainDecimal(text.substr(colon + 1), length) || length <= 0)) {
        return false;
    }
    db = level;
    seconds = length;
    return true;
}

bool IsSilenceValue(const std::string& text) {
    const size_t colon = text.find(':');
    double value = 0;
    return ReadPlainDecimal(text.substr(0, colon), value) &&
           (colon == std::string::npos || ReadPlainDecimal(text.substr(colon + 1), value));
}

std::string SilenceValueFault(const std::string& text) {
    double db = 0;
    double seconds = 1;
    if (ParseSilence(text, db, seconds)) return {};
    const size_t colon = text.find(':');
    double level = 0;
    ReadPlainDecimal(text.substr(0, colon), level);
    return level > 0 ? "the level is in dBFS, 0 or below" : "the shortest silence must last longer than 0 seconds";
}

bool ParseCount(const std::string& text, int& value) {
    if (text.empty() || text.size() > 9) return false;
    long long v = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        v = v * 10 + (c - '0');
    }
    value = static_cast<int>(v);
    return true;
}

namespace {

// "12" or "12.5" as tenths.
bool ParseSecondsTenths(const std::string& text, int& tenths) {
    const size_t dot = text.find('.');
    int whole = 0;
    int fraction = 0;
    if (!ParseCount(text.substr(0, dot), whole)) return false;
    if (dot != std::string::npos) {
        const std::string rest = text.substr(dot + 1);
        if (rest.size() != 1 || !ParseCount(rest, fraction)) return false;
    }
    if (whole > INT_MAX / 10 - 1) return false;
    tenths = whole * 10 + fraction;
    return true;
}

}  // namespace

bool ParseTenths(const std::string& text, int& tenths) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return ParseSecondsTenths(text, tenths);
    int minutes = 0;
    int secondTenths = 0;
    const std::string seconds = text.substr(colon + 1);
    if (!ParseCount(text.substr(0, colon), minutes) || seconds.size() < 2 || !ParseSecondsTenths(seconds, secondTenths) ||
        secondTenths >= 600 || minutes > 3000000) {
        return false;
    }
    tenths = minutes * 600 + secondTenths;
    return true;
}

bool ParseMinutesSeconds(const std::string& text, int& minutes, int& seconds) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        minutes = 0;
        return ParseCount(text, seconds) && seconds < 100000000;
    }
    return ParseCount(text.substr(0, colon), minutes) && ParseCount(text.substr(colon + 1), seconds) && seconds < 60 &&
           minutes < 3000000;
}

bool ParseJobs(const std::string& text, int& jobs) {
    int value = 0;
    if (!ParseCount(text, value) || value < 1 || value > kMaxJobs) return false;
    jobs = value;
    return true;
}

bool ParseMode(const std::string& text, int& mode) {
    if (text == "joint") mode = kChannelModeJointStereo;
    else if (text == "stereo") mode = kChannelModeStereo;
    else if (text == "mono") mode = kChannelModeMono;
    else return false;
    return true;
}

bool ParseTargetExists(const std::string& text, TargetExists& rule) {
    if (text == "rename") rule = TargetExists::Rename;
    else if (text == "overwrite") rule = TargetExists::Overwrite;
    else if (text == "skip") rule = TargetExists::Skip;
    else return false;
    return true;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t comma = text.find(',', from);
        parts.push_back(text.substr(from, comma - from));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return parts;
}

}  // namespace corvane::cli
