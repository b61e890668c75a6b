// corvane-cli cut and batch-cut: the cut plans from the command line.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>

#include "cli/ArgParse.h"
#include "cli/Commands.h"
#include "cli/TerminalProgress.h"
#include "engine/cut/CutPlans.h"
#include "engine/base/Messages.h"
#include "engine/mp3/SourceFacts.h"
#include "engine/mp3/SourceInfo.h"

namespace corvane::cli {
namespace {

enum class Rule { None, Size, Count, Time, Points, Range };

struct CutRequest {
    Rule rule = Rule::None;
    std::string sizeText;
    SizeUnit sizeUnit = SizeUnit::MB;
    int count = 0;
    int minutes = 0;
    int seconds = 0;
    std::vector<int> points;          // tenths
    std::vector<int> only;            // 1-based rows
    std::string beginText;
    std::string lengthText = "0";
    CutterOptions options;
    bool encodingGiven[3] = {false, false, false};
    bool quiet = false;
    std::vector<std::string> files;
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
int ParseCutArgs(const Args& args, bool batch, CutRequest& r) {
    const std::string command = batch ? "batch-cut" : "cut";
    int rules = 0;
    CArgWalker walker(args);
    while (walker.Next()) {
        if (walker.IsFile()) {
            r.files.push_back(walker.Text());
            continue;
        }
        const std::string a = walker.Text();
        auto next = [&](std::string& out) { return walker.TakeValue(out); };
        auto needValue = [&]() { return UsageError(a + " needs a value"); };
        auto badValue = [&](const std::string& v) { return UsageError("invalid value for " + a + ": " + v); };
        std::string v;
        if (a == "--size") {
            if (!next(v)) return needValue();
            if (!ParseSizeOption(v, r.sizeText, r.sizeUnit)) return badValue(v);
            r.rule = Rule::Size;
            ++rules;
        } else if (a == "--count") {
            if (!next(v)) return needValue();
            if (!ParseCount(v, r.count)) return badValue(v);
            r.rule = Rule::Count;
            ++rules;
        } else if (a == "--time") {
            if (!next(v)) return needValue();
            if (!ParseMinutesSeconds(v, r.minutes, r.seconds)) return badValue(v);
            r.rule = Rule::Time;
            ++rules;
        } else if (a == "--points") {
            if (batch) return UsageError("--points is for cut only");
            if (!next(v)) return needValue();
            r.points.clear();
            if (!v.empty()) {
                for (const std::string& part : SplitList(v)) {
                    int tenths = 0;
                    if (!ParseTenths(part, tenths) || tenths <= 0 || (!r.points.empty() && tenths <= r.points.back())) {
                        return UsageError("--points needs increasing positions above 0: " + v);
                    }
                    r.points.push_back(tenths);
                }
            }
            r.rule = Rule::Points;
            ++rules;
        } else if (a == "--only") {
            if (batch) return UsageError("--only is for cut only");
            if (!next(v)) return needValue();
            r.only.clear();
            for (const std::string& part : SplitList(v)) {
                int row = 0;
                if (!ParseCount(part, row) || row < 1) return badValue(v);
                r.only.push_back(row);
            }
        } else if (a == "--range") {
            if (!batch) return UsageError("--range is for batch-cut only");
            if (!next(v)) return needValue();
            const size_t colon = v.find(':');
            r.beginText = v.substr(0, colon);
            r.lengthText = colon == std::string::npos ? "0" : v.substr(colon + 1);
            int check = 0;
            if (!ParseTenths(r.beginText, check) || !ParseTenths(r.lengthText, check)) return badValue(v);
            r.rule = Rule::Range;
            ++rules;
        } else if (a == "-d" || a == "--output-dir") {
            if (!next(v)) return needValue();
            r.options.outputFolderOpt = OutputFolder::Specific;
            r.options.specifiedOutputFolder = v;
        } else if (a == "--tree") {
            r.options.createTreeDirs = true;
        } else if (a == "--folder-per-file") {
            r.options.createFolderForEachMP3 = true;
        } else if (a == "--name") {
            if (!next(v)) return needValue();
            if (v.empty()) return badValue(v);
            r.options.outputFileName = v;
        } else if (a == "--name-digits" || a == "--title-digits") {
            if (!next(v)) return needValue();
            int digits = 0;
            if (!ParseCount(v, digits) || digits > kMaxDigitNumber) return badValue(v);
            (a == "--name-digits" ? r.options.filenameDigitNumber : r.options.titleDigitNumber) = digits;
        } else if (a == "--if-exists") {
            if (!next(v)) return needValue();
            if (!ParseTargetExists(v, r.options.targetExistsOpt)) return badValue(v);
        } else if (a == "--no-tag") {
            r.options.keepID3tag = false;
        } else if (a == "--title") {
            if (!next(v)) return needValue();
            r.options.id3TitleFormat = v;
        } else if (a == "--track") {
            if (!next(v)) return needValue();
            if (v == "none") r.options.id3TrackNumType = TrackNumber::None;
            else if (v == "original") r.options.id3TrackNumType = TrackNumber::Original;
            else if (v == "sequence") r.options.id3TrackNumType = TrackNumber::Sequence;
            else return badValue(v);
        } else if (a == "--reencode") {
            r.options.reencodePieces = true;
        } else if (a == "--rate") {
            if (!next(v)) return needValue();
            if (!ParseCount(v, r.options.mp3SampleRate) || r.options.mp3SampleRate == 0) return badValue(v);
            r.encodingGiven[0] = true;
        } else if (a == "--bitrate") {
            if (!next(v)) return needValue();
            if (!ParseCount(v, r.options.mp3BitRate) || r.options.mp3BitRate == 0) return badValue(v);
            r.encodingGiven[1] = true;
        } else if (a == "--mode") {
            if (!next(v)) return needValue();
            if (!ParseMode(v, r.options.mp3ChannelMode)) return badValue(v);
            r.encodingGiven[2] = true;
        } else if (a == "--fade-in" || a == "--fade-out" || a == "--forward-overlap" || a == "--backward-overlap") {
            if (!next(v)) return needValue();
            int tenths = 0;
            if (!ParseTenths(v, tenths)) return badValue(v);
            if (a == "--fade-in") r.options.fadeInLen = tenths;
            else if (a == "--fade-out") r.options.fadeOutLen = tenths;
            else if (a == "--forward-overlap") r.options.forwardOverlap = tenths;
            else r.options.backwardOverlap = tenths;
        } else if (a == "--first") {
            if (!batch) return UsageError("--first is for batch-cut only");
            if (!next(v)) return needValue();
            if (!ParseCount(v, r.options.firstPiecesNumber) || r.options.firstPiecesNumber < 1) return badValue(v);
            r.options.splitFirstNPieces = true;
        } else if (a == "--quiet" || a == "-q") {
            r.quiet = true;
        } else {
            return UsageError("unknown option for " + command + ": " + a);
        }
    }
    if (rules != 1) return UsageError(command + " needs exactly one rule (--size, --count, --time, " +
                                      (batch ? "--range" : "--points") + ")");
    if (!r.only.empty() && r.rule != Rule::Points) return UsageError("--only goes with --points");
    if (r.files.empty()) return UsageError(command + " needs a FILE");
    if (!batch && r.files.size() > 1) return UsageError("cut takes one FILE; use batch-cut for several");
    const int given = r.encodingGiven[0] + r.encodingGiven[1] + r.encodingGiven[2];
    if (given != 0 && given != 3) return UsageError("--rate, --bitrate and --mode go together");
    if (given == 3) {
        r.options.reencodePieces = true;
        r.options.useSameParams = false;
    }
    return 0;
}

// Full paths, also of pieces placed beside a source given by a relative path.
void PrintPaths(const std::vector<std::string>& paths) {
    for (const std::string& p : paths) {
        std::error_code ignored;
        std::cout << std::filesystem::absolute(p, ignored).lexically_normal().string() << "\n";
    }
    std::cout.flush();
}

int RunSingle(CutRequest& r) {
    const std::string& source = r.files.front();
    CTerminalProgress progress(!r.quiet && isatty(STDERR_FILENO));
    progress.CatchInterrupt();
    CutContext ctx;
    ctx.options = r.options;
    ctx.dialog = &progress;

    SourceFacts facts;
    uint64_t fileSize = 0;
    if (!ReadSourceFacts(source, facts) || !GetFileSize64(source, fileSize)) {
        std::cerr << LoadFileFailure(source) << "\n";
        return kExitFailure;
    }
    const int lengthTenths = facts.lengthTenths();
    Outcome outcome = Outcome::Failed({});
    switch (r.rule) {
        case Rule::Size: outcome = CutFileBySize(ctx, source, lengthTenths, fileSize, r.sizeText, r.sizeUnit); break;
        case Rule::Count: outcome = CutFileByCount(ctx, source, lengthTenths, r.count); break;
        case Rule::Time: outcome = CutFileByTime(ctx, source, lengthTenths, r.minutes, r.seconds); break;
        case Rule::Points: {
            std::vector<PieceEntry> rows;
            int start = 0;
            for (const int point : r.points) {
                rows.push_back({start, point, true, {}, {}});
                start = point;
            }
            rows.push_back({start, std::max(start, lengthTenths), true, {}, {}});
            if (!r.only.empty()) {
                for (PieceEntry& row : rows) row.checked = false;
                for (const int k : r.only) {
                    if (k > static_cast<int>(rows.size())) {
                        return UsageError("--only names row " + std::to_string(k) + " of " + std::to_string(rows.size()));
                    }
                    rows[static_cast<size_t>(k - 1)].checked = true;
                }
            }
            outcome = CutFileByPieces(ctx, source, rows);
            break;
        }
        default: break;
    }
    progress.Clear();
    if (outcome.cancelled()) return kExitInterrupted;
    PrintPaths(ctx.createdPieces);
    if (outcome.failed()) {
        std::cerr << outcome.message << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

int RunBatch(CutRequest& r) {
    CTerminalProgress progress(!r.quiet && isatty(STDERR_FILENO));
    progress.CatchInterrupt();
    int sequence = 1;
    bool allOk = true;
    for (const std::string& source : r.files) {
        CutContext ctx;
        ctx.options = r.options;
        ctx.dialog = &progress;
        SourceFacts facts;
        ReadSourceFacts(source, facts);  // a refused source fails in the plan with its message
        const int seconds = static_cast<int>(facts.seconds);
        const uint64_t fileSize = facts.fileSize;
        progress.SetStatusText(source);
        Outcome outcome = Outcome::Failed({});
        switch (r.rule) {
            case Rule::Size:
                outcome = BatchCutBySize(ctx, source, seconds, fileSize, r.sizeText, r.sizeUnit, sequence);
                break;
            case Rule::Count: outcome = BatchCutByCount(ctx, source, seconds, r.count, sequence); break;
            case Rule::Time: outcome = BatchCutByTime(ctx, source, seconds, r.minutes, r.seconds, sequence); break;
            case Rule::Range:
                outcome = BatchCutRange(ctx, source, seconds, r.beginText, r.lengthText, sequence);
                break;
            default: break;
        }
        progress.Clear();
        if (outcome.cancelled()) return kExitInterrupted;
        PrintPaths(ctx.createdPieces);
        if (outcome.done()) {
            if (!r.quiet) std::cerr << source << ": " << ctx.createdPieces.size() << " piece(s)\n";
        } else {
            allOk = false;
            std::cerr << source << ": Failure: " << outcome.message << "\n";
        }
    }
    return allOk ? kExitOk : kExitFailure;
}

}  // namespace

int RunCut(const Args& args, bool batch) {
    CutRequest request;
    if (const int status = ParseCutArgs(args, batch, request); status != 0) return status;
    return batch ? RunBatch(request) : RunSingle(request);
}

}  // namespace corvane::cli
