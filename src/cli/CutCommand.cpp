// corvane-cli cut and batch-cut: the cut plans from the command line.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <iostream>

#include "cli/ArgParse.h"
#include "cli/Commands.h"
#include "cli/PathOutput.h"
#include "cli/TerminalProgress.h"
#include "cli/TextEscape.h"
#include "engine/Cut.h"

namespace corvane::cli {
namespace {

// A cut as the command line asks for it: the engine's request and how to report it.
struct CutCommand {
    CutRequest cut;
    bool quiet = false;
    char pathEnd = kPathEndLine;
};

// "1.5MB" -> "1.5" and the MB unit; false when the number or the unit is not readable.
bool ParseSizeOption(const std::string& text, std::string& number, SizeUnit& unit) {
    size_t i = 0;
    while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.')) ++i;
    number = text.substr(0, i);
    if (number.empty() || std::count(number.begin(), number.end(), '.') > 1 || number == ".") return false;
    std::string suffix = text.substr(i);
    for (char& c : suffix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (suffix.empty() || suffix == "MB") unit = SizeUnit::MB;
    else if (suffix == "KB") unit = SizeUnit::KB;
    else if (suffix == "GB") unit = SizeUnit::GB;
    else if (suffix == "TB") unit = SizeUnit::TB;
    else return false;
    return true;
}

// Parses the arguments of cut (batch false) or batch-cut. Returns 0 when they are good, else
// the exit status of the usage error already reported.
int ParseCutArgs(const Args& args, bool batch, CutCommand& command) {
    CutRequest& r = command.cut;
    CutRule& rule = r.rule;
    std::vector<std::string> files;
    const std::string name = batch ? "batch-cut" : "cut";
    int rules = 0;
    auto setRule = [&](CutRule::Kind kind) {
        rule.kind = kind;
        ++rules;
    };
    CEncodingArgs encoding(r.options.encoding.sampleRate, r.options.encoding.bitrate, r.options.encoding.channelMode);
    CArgWalker walker(args);
    int status = 0;
    while (walker.NextOption(files, encoding, status)) {
        const std::string a = walker.Text();
        std::string v;
        if (a == "--size") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (!ParseSizeOption(v, rule.sizeText, rule.sizeUnit)) return walker.BadValue(v);
            setRule(CutRule::Kind::Size);
        } else if (a == "--count") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (!ParseCount(v, rule.count)) return walker.BadValue(v);
            setRule(CutRule::Kind::Count);
        } else if (a == "--time") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (!ParseMinutesSeconds(v, rule.minutes, rule.seconds)) return walker.BadValue(v);
            setRule(CutRule::Kind::Time);
        } else if (a == "--points") {
            if (batch) return UsageError("--points is for cut only");
            if (!walker.TakeValue(v)) return walker.MissingValue();
            rule.points.clear();
            if (!v.empty()) {
                for (const std::string& part : SplitList(v)) {
                    int tenths = 0;
                    if (!ParseTenths(part, tenths) || tenths <= 0 || (!rule.points.empty() && tenths <= rule.points.back())) {
                        return UsageError("--points needs increasing positions above 0: " + v);
                    }
                    rule.points.push_back(tenths);
                }
            }
            setRule(CutRule::Kind::Points);
        } else if (a == "--silence") {
            if (walker.TakeOptionalValue(v, IsSilenceValue) && !ParseSilence(v, rule.silence.thresholdDb, rule.silence.minSeconds)) {
                return UsageError("invalid value for --silence: " + v + " (" + SilenceValueFault(v) + ")");
            }
            setRule(CutRule::Kind::Silence);
        } else if (a == "--cue") {
            if (batch) return UsageError("--cue is for cut only");
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (v.empty()) return walker.BadValue(v);
            rule.cueSheet = v;
            setRule(CutRule::Kind::Cue);
        } else if (a == "--chapters") {
            setRule(CutRule::Kind::Chapters);
        } else if (a == "--only") {
            if (batch) return UsageError("--only is for cut only");
            if (!walker.TakeValue(v)) return walker.MissingValue();
            rule.only.clear();
            for (const std::string& part : SplitList(v)) {
                int row = 0;
                if (!ParseCount(part, row) || row < 1) return walker.BadValue(v);
                rule.only.push_back(row);
            }
        } else if (a == "--range") {
            if (!batch) return UsageError("--range is for batch-cut only");
            if (!walker.TakeValue(v)) return walker.MissingValue();
            const size_t colon = v.find(':');
            rule.beginText = v.substr(0, colon);
            rule.lengthText = colon == std::string::npos ? "0" : v.substr(colon + 1);
            int check = 0;
            if (!ParseTenths(rule.beginText, check) || !ParseTenths(rule.lengthText, check)) return walker.BadValue(v);
            setRule(CutRule::Kind::Range);
        } else if (a == "-d" || a == "--output-dir") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            r.options.placement.folder = OutputFolder::Specific;
            r.options.placement.specificFolder = v;
        } else if (a == "--tree") {
            r.options.placement.treeFolders = true;
        } else if (a == "--folder-per-file") {
            r.options.folderPerSource = true;
        } else if (a == "--name") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (v.empty()) return walker.BadValue(v);
            r.options.nameTemplate = v;
        } else if (a == "--name-digits" || a == "--title-digits") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            int digits = 0;
            if (!ParseCount(v, digits) || digits > kMaxDigitNumber) return walker.BadValue(v);
            (a == "--name-digits" ? r.options.nameDigits : r.options.titleDigits) = digits;
        } else if (a == "--if-exists") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (!ParseTargetExists(v, r.options.placement.ifExists)) return walker.BadValue(v);
        } else if (a == "--no-tag") {
            r.options.keepTag = false;
        } else if (a == "--title") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            r.options.titleTemplate = v;
        } else if (a == "--track") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (v == "none") r.options.trackNumbers = TrackNumber::None;
            else if (v == "original") r.options.trackNumbers = TrackNumber::Original;
            else if (v == "sequence") r.options.trackNumbers = TrackNumber::Sequence;
            else return walker.BadValue(v);
        } else if (a == "--reencode") {
            r.options.reencode = true;
        } else if (a == "--fade-in" || a == "--fade-out" || a == "--forward-overlap" || a == "--backward-overlap") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            int tenths = 0;
            if (!ParseTenths(v, tenths)) return walker.BadValue(v);
            if (a == "--fade-in") r.options.fadeInTenths = tenths;
            else if (a == "--fade-out") r.options.fadeOutTenths = tenths;
            else if (a == "--forward-overlap") r.options.forwardOverlapTenths = tenths;
            else r.options.backwardOverlapTenths = tenths;
        } else if (a == "--first") {
            if (!batch) return UsageError("--first is for batch-cut only");
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (!ParseCount(v, r.options.firstPieces) || r.options.firstPieces < 1) return walker.BadValue(v);
            r.options.firstPiecesOnly = true;
        } else if (a == "--jobs") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (!ParseJobs(v, r.jobs)) return walker.BadValue(v);
        } else if (a == "--quiet" || a == "-q") {
            command.quiet = true;
        } else if (a == "--null" || a == "-0") {
            command.pathEnd = kPathEndNul;
        } else {
            return UsageError("unknown option for " + name + ": " + a);
        }
    }
    if (status != 0) return status;
    if (rules != 1) return UsageError(name + " needs exactly one rule (--size, --count, --time, " +
                                      (batch ? "--range, --silence, --chapters" : "--points, --silence, --cue, --chapters") + ")");
    if (!rule.only.empty() && rule.kind != CutRule::Kind::Points) return UsageError("--only goes with --points");
    if (files.empty()) return UsageError(name + " needs a FILE");
    if (!batch && files.size() > 1) return UsageError("cut takes one FILE; use batch-cut for several");
    if ((status = encoding.Check()) != 0) return status;
    if (encoding.Given() == 3) {
        r.options.reencode = true;
        r.options.sameParams = false;
    }
    const size_t rows = rule.points.size() + 1;
    for (const int k : rule.only) {
        if (k > static_cast<int>(rows)) {
            return UsageError("--only names row " + std::to_string(k) + " of " + std::to_string(rows));
        }
    }
    r.batch = batch;
    for (const std::string& file : files) r.sources.push_back({file, {}});
    return 0;
}

// Reports each source of a cut as it is settled, in order: the pieces' paths on stdout, and
// in a batch the source's line on stderr. A source that ended Done is reported so even when a
// signal came after its last piece was written: what is printed matches what is on disk.
class CCutReporter : public ICutObserver {
public:
    CCutReporter(const CutCommand& command, CTerminalProgress& progress) : command_(command), progress_(progress) {}

    void OnSourceStarted(size_t index) override {
        if (command_.cut.batch) progress_.SetStatusText(command_.cut.sources[index].path);
    }

    void OnSourceDone(size_t index, const Outcome& outcome, const std::vector<std::string>& pieces) override {
        progress_.Clear();
        if (outcome.cancelled()) return;
        for (const std::string& piece : pieces) PrintWrittenPath(piece, command_.pathEnd);
        if (!command_.cut.batch) return;
        const std::string& source = command_.cut.sources[index].path;
        if (outcome.done()) {
            if (!command_.quiet) std::cerr << TerminalText(source) << ": " << pieces.size() << " piece(s)\n";
        } else {
            allOk = false;
            std::cerr << TerminalText(source) << ": Failure: " << TerminalText(outcome.message) << "\n";
        }
    }

    bool allOk = true;

private:
    const CutCommand& command_;
    CTerminalProgress& progress_;
};

}  // namespace

int RunCut(const Args& args, bool batch) {
    CutCommand command;
    if (const int status = ParseCutArgs(args, batch, command); status != 0) return status;
    CTerminalProgress progress(!command.quiet && isatty(STDERR_FILENO));
    progress.ReceiveSignals();
    CCutReporter reporter(command, progress);
    const Outcome outcome = corvane::RunCut(command.cut, &progress, &reporter);
    progress.Clear();
    if (outcome.cancelled()) return InterruptedExitStatus();
    if (outcome.failed()) {
        std::cerr << TerminalText(outcome.message) << "\n";
        return kExitFailure;
    }
    return reporter.allOk ? kExitOk : kExitFailure;
}

}  // namespace corvane::cli
