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
#include "engine/cut/CueSheet.h"
#include "engine/cut/CutPlans.h"
#include "engine/cut/SilenceDetector.h"
#include "engine/base/Messages.h"
#include "engine/mp3/SourceFacts.h"
#include "engine/mp3/SourceInfo.h"

namespace corvane::cli {
namespace {

enum class Rule { None, Size, Count, Time, Points, Range, Silence, Cue };

constexpr int64_t kMillisecondsPerTenth = 100;

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
    double silenceDb = kDefaultSilenceThresholdDb;
    double silenceSeconds = kDefaultSilenceSeconds;
    std::string cueSheet;
    CutterOptions options;
    bool quiet = false;
    char pathEnd = kPathEndLine;
    int jobs = DefaultJobs();
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
    auto setRule = [&](Rule rule) {
        r.rule = rule;
        ++rules;
    };
    CEncodingArgs encoding(r.options.encoding.sampleRate, r.options.encoding.bitrate, r.options.encoding.channelMode);
    CArgWalker walker(args);
    int status = 0;
    while (walker.NextOption(r.files, encoding, status)) {
        const std::string a = walker.Text();
        std::string v;
        if (a == "--size") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (!ParseSizeOption(v, r.sizeText, r.sizeUnit)) return walker.BadValue(v);
            setRule(Rule::Size);
        } else if (a == "--count") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (!ParseCount(v, r.count)) return walker.BadValue(v);
            setRule(Rule::Count);
        } else if (a == "--time") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (!ParseMinutesSeconds(v, r.minutes, r.seconds)) return walker.BadValue(v);
            setRule(Rule::Time);
        } else if (a == "--points") {
            if (batch) return UsageError("--points is for cut only");
            if (!walker.TakeValue(v)) return walker.MissingValue();
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
            setRule(Rule::Points);
        } else if (a == "--silence") {
            if (walker.TakeOptionalValue(v, IsSilenceValue) && !ParseSilence(v, r.silenceDb, r.silenceSeconds)) {
                return walker.BadValue(v);
            }
            setRule(Rule::Silence);
        } else if (a == "--cue") {
            if (batch) return UsageError("--cue is for cut only");
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (v.empty()) return walker.BadValue(v);
            r.cueSheet = v;
            setRule(Rule::Cue);
        } else if (a == "--only") {
            if (batch) return UsageError("--only is for cut only");
            if (!walker.TakeValue(v)) return walker.MissingValue();
            r.only.clear();
            for (const std::string& part : SplitList(v)) {
                int row = 0;
                if (!ParseCount(part, row) || row < 1) return walker.BadValue(v);
                r.only.push_back(row);
            }
        } else if (a == "--range") {
            if (!batch) return UsageError("--range is for batch-cut only");
            if (!walker.TakeValue(v)) return walker.MissingValue();
            const size_t colon = v.find(':');
            r.beginText = v.substr(0, colon);
            r.lengthText = colon == std::string::npos ? "0" : v.substr(colon + 1);
            int check = 0;
            if (!ParseTenths(r.beginText, check) || !ParseTenths(r.lengthText, check)) return walker.BadValue(v);
            setRule(Rule::Range);
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
            r.quiet = true;
        } else if (a == "--null" || a == "-0") {
            r.pathEnd = kPathEndNul;
        } else {
            return UsageError("unknown option for " + command + ": " + a);
        }
    }
    if (status != 0) return status;
    if (rules != 1) return UsageError(command + " needs exactly one rule (--size, --count, --time, " +
                                      (batch ? "--range, --silence" : "--points, --silence, --cue") + ")");
    if (!r.only.empty() && r.rule != Rule::Points) return UsageError("--only goes with --points");
    if (r.files.empty()) return UsageError(command + " needs a FILE");
    if (!batch && r.files.size() > 1) return UsageError("cut takes one FILE; use batch-cut for several");
    if ((status = encoding.Check()) != 0) return status;
    if (encoding.Given() == 3) {
        r.options.reencode = true;
        r.options.sameParams = false;
    }
    return 0;
}

// The plans' context for one source: the request's options, the terminal's progress.
CutContext MakeContext(const CutRequest& r, CTerminalProgress& progress) {
    CutContext ctx;
    ctx.options = r.options;
    ctx.dialog = &progress;
    ctx.jobs = r.jobs;
    return ctx;
}

// After a plan: clears the progress line and, unless the plan was cancelled (false), prints
// the full paths of the pieces written, also of pieces placed beside a source given by a
// relative path. A plan that ended Done is reported so even when a signal came after its
// last piece was written: what is printed matches what is on disk.
bool Settle(const Outcome& outcome, const CutContext& ctx, const CutRequest& r, CTerminalProgress& progress) {
    progress.Clear();
    if (outcome.cancelled()) return false;
    for (const std::string& piece : ctx.createdPieces) PrintWrittenPath(piece, r.pathEnd);
    return true;
}

int RunSingle(CutRequest& r) {
    const std::string& source = r.files.front();
    CTerminalProgress progress(!r.quiet && isatty(STDERR_FILENO));
    progress.ReceiveSignals();
    CutContext ctx = MakeContext(r, progress);

    SourceFacts facts;
    uint64_t fileSize = 0;
    if (!ReadSourceFacts(source, facts) || !GetFileSize64(source, fileSize)) {
        std::cerr << LoadFileFailure(source) << "\n";
        return kExitFailure;
    }
    const int64_t lengthTenths = facts.milliseconds / kMillisecondsPerTenth;
    Outcome outcome = Outcome::Failed({});
    switch (r.rule) {
        case Rule::Size: outcome = CutFileBySize(ctx, source, lengthTenths, fileSize, r.sizeText, r.sizeUnit); break;
        case Rule::Count: outcome = CutFileByCount(ctx, source, lengthTenths, r.count); break;
        case Rule::Time: outcome = CutFileByTime(ctx, source, lengthTenths, r.minutes, r.seconds); break;
        case Rule::Points: {
            std::vector<PieceEntry> rows;
            int start = 0;
            for (const int point : r.points) {
                rows.push_back({start, point, true, {}, {}, -1, {}});
                start = point;
            }
            const int end = static_cast<int>(std::clamp<int64_t>(lengthTenths, start, INT_MAX));
            rows.push_back({start, end, true, {}, {}, -1, {}});
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
        case Rule::Silence: outcome = CutFileAtSilences(ctx, source, r.silenceDb, r.silenceSeconds); break;
        case Rule::Cue: {
            CuePieces cue;
            outcome = LoadCuePieces(r.cueSheet, source, cue);
            if (outcome.done()) outcome = CutFileByPieces(ctx, source, cue.rows);
            break;
        }
        default: break;
    }
    if (!Settle(outcome, ctx, r, progress)) return InterruptedExitStatus();
    if (outcome.failed()) {
        std::cerr << outcome.message << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

// Reports each file of a batch as it is settled, in list order: the pieces' paths on stdout,
// the file's line on stderr.
class CBatchCutReporter : public IBatchCutObserver {
public:
    CBatchCutReporter(const CutRequest& request, CTerminalProgress& progress) : r_(request), progress_(progress) {}

    void OnFileStarted(size_t index) override { progress_.SetStatusText(r_.files[index]); }

    void OnFileDone(size_t index, const Outcome& outcome, const std::vector<std::string>& pieces) override {
        progress_.Clear();
        if (outcome.cancelled()) return;
        for (const std::string& piece : pieces) PrintWrittenPath(piece, r_.pathEnd);
        const std::string& source = r_.files[index];
        if (outcome.done()) {
            if (!r_.quiet) std::cerr << source << ": " << pieces.size() << " piece(s)\n";
        } else {
            allOk = false;
            std::cerr << source << ": Failure: " << outcome.message << "\n";
        }
    }

    bool allOk = true;

private:
    const CutRequest& r_;
    CTerminalProgress& progress_;
};

int RunBatch(CutRequest& r) {
    CTerminalProgress progress(!r.quiet && isatty(STDERR_FILENO));
    progress.ReceiveSignals();
    BatchCutRequest request;
    switch (r.rule) {
        case Rule::Size: request.rule = BatchRule::Size; break;
        case Rule::Count: request.rule = BatchRule::Count; break;
        case Rule::Time: request.rule = BatchRule::Time; break;
        case Rule::Silence: request.rule = BatchRule::Silence; break;
        default: request.rule = BatchRule::Range; break;
    }
    request.sizeText = r.sizeText;
    request.sizeUnit = r.sizeUnit;
    request.count = r.count;
    request.minutes = r.minutes;
    request.seconds = r.seconds;
    request.beginText = r.beginText;
    request.lengthText = r.lengthText;
    request.silenceDb = r.silenceDb;
    request.silenceSeconds = r.silenceSeconds;
    // A source the reader refuses has no length for the rule to check against.
    std::vector<BatchSource> files;
    for (const std::string& source : r.files) {
        SourceFacts facts;
        BatchSource file;
        file.path = source;
        file.loadable = ReadSourceFacts(source, facts);
        file.seconds = facts.seconds;
        file.fileSize = facts.fileSize;
        files.push_back(file);
    }
    // One run over the batch: no piece replaces a source of the batch, nor another piece.
    CutContext ctx = MakeContext(r, progress);
    CBatchCutReporter reporter(r, progress);
    const Outcome outcome = RunBatchCut(ctx, request, files, reporter);
    progress.Clear();
    if (outcome.cancelled()) return InterruptedExitStatus();
    return reporter.allOk ? kExitOk : kExitFailure;
}

}  // namespace

int RunCut(const Args& args, bool batch) {
    CutRequest request;
    if (const int status = ParseCutArgs(args, batch, request); status != 0) return status;
    return batch ? RunBatch(request) : RunSingle(request);
}

}  // namespace corvane::cli
