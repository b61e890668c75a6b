// corvane-cli join and batch-join: the join jobs and the batch join loop from the command line.
#include <unistd.h>

#include <climits>
#include <iostream>

#include "cli/ArgParse.h"
#include "cli/Commands.h"
#include "cli/PathOutput.h"
#include "cli/TerminalProgress.h"
#include "cli/TextEscape.h"
#include "engine/Facts.h"
#include "engine/Join.h"
#include "engine/base/PathUtil.h"

namespace corvane::cli {
namespace {

// What a failed join prints before its message.
constexpr const char* kJoinFailurePrefix = "Join failure. ";
// What a row of batch-join prints after its path when it was not joined.
constexpr const char* kCancelledText = "Cancelled";

// The arguments: the engine's request, and what only the command uses.
struct JoinArgs {
    JoinRequest request;             // its inputs (join) or joined files (batch-join) come from below
    std::vector<std::string> with;   // batch-join: the joined files
    std::vector<std::string> files;  // join: the inputs; batch-join: the main files
    bool noTag = false;
    bool quiet = false;
    char pathEnd = kPathEndLine;
};

// The track number of a tag text as the joiner takes it: the value of its leading digits, 0
// when it does not start with a digit.
int TrackNumberOf(const std::string& text) {
    constexpr int kDecimal = 10;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') break;
        value = value > (INT_MAX - (c - '0')) / kDecimal ? INT_MAX : value * kDecimal + (c - '0');
    }
    return value;
}

// Parses the arguments of join (batch false) or batch-join. Returns 0 when they are good,
// else the exit status of the usage error already reported.
int ParseJoinArgs(const Args& args, bool batch, JoinArgs& parsed) {
    JoinRequest& r = parsed.request;
    const std::string command = batch ? "batch-join" : "join";
    bool autoGiven = false;
    bool presetGiven = false;
    CEncodingArgs encoding(r.options.encoding.sampleRate, r.options.encoding.bitrate, r.options.encoding.channelMode);
    bool insertGiven = false;
    bool appendGiven = false;
    CArgWalker walker(args);
    int status = 0;
    while (walker.NextOption(parsed.files, encoding, status)) {
        const std::string a = walker.Text();
        auto onlyFor = [&](bool forBatch) {
            return UsageError(a + " is for " + (forBatch ? "batch-join" : "join") + " only");
        };
        std::string v;
        if (a == "-o" || a == "--output") {
            if (batch) return onlyFor(false);
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (v.empty()) return walker.BadValue(v);
            r.target = v;
        } else if (a == "--auto") {
            autoGiven = true;
        } else if (a == "--preset") {
            if (!walker.TakeValue(v)) return walker.MissingValue();
            int preset = 0;
            if (!ParseCount(v, preset) || preset < 1 || preset > static_cast<int>(kEncodingPresets.size())) {
                return walker.BadValue(v);
            }
            const EncodingParams& params = kEncodingPresets[static_cast<size_t>(preset - 1)].params;
            r.options.encoding.sampleRate = params.sampleRate;
            r.options.encoding.bitrate = params.bitrate;
            r.options.encoding.channelMode = params.channelMode;
            presetGiven = true;
        } else if (a == "--title" || a == "--artist" || a == "--album" || a == "--year" || a == "--genre" ||
                   a == "--comment" || a == "--track") {
            if (batch) return onlyFor(false);
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (a == "--title") r.tag.title = v;
            else if (a == "--artist") r.tag.artist = v;
            else if (a == "--album") r.tag.album = v;
            else if (a == "--year") r.tag.year = v;
            else if (a == "--genre") r.tag.genre = v;
            else if (a == "--comment") r.tag.comment = v;
            else r.tag.track = TrackNumberOf(v);
        } else if (a == "--insert" || a == "--append") {
            if (!batch) return onlyFor(true);
            (a == "--insert" ? insertGiven : appendGiven) = true;
            r.joinType = a == "--insert" ? JoinType::InsertAtBeginning : JoinType::AppendToEnd;
        } else if (a == "--with") {
            if (!batch) return onlyFor(true);
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (v.empty()) return walker.BadValue(v);
            parsed.with.push_back(v);
        } else if (a == "-d" || a == "--output-dir") {
            if (!batch) return onlyFor(true);
            if (!walker.TakeValue(v)) return walker.MissingValue();
            r.options.placement.folder = OutputFolder::Specific;
            r.options.placement.specificFolder = v;
        } else if (a == "--tree") {
            if (!batch) return onlyFor(true);
            r.options.placement.treeFolders = true;
        } else if (a == "--no-postfix") {
            if (!batch) return onlyFor(true);
            r.options.joinedPostfix = false;
        } else if (a == "--if-exists") {
            if (!batch) return onlyFor(true);
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (!ParseTargetExists(v, r.options.placement.ifExists)) return walker.BadValue(v);
        } else if (a == "--no-tag") {
            if (!batch) return onlyFor(true);
            parsed.noTag = true;
            r.options.writeChapters = false;  // no tag, so no chapters either
        } else if (a == "--no-chapters") {
            r.options.writeChapters = false;
        } else if (a == "--jobs") {
            // A join encodes one stream; the value matters to batch-join only.
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (!ParseJobs(v, r.jobs)) return walker.BadValue(v);
        } else if (a == "--quiet" || a == "-q") {
            parsed.quiet = true;
        } else if (a == "--null" || a == "-0") {
            parsed.pathEnd = kPathEndNul;
        } else {
            return UsageError("unknown option for " + command + ": " + a);
        }
    }
    if (status != 0) return status;
    if ((status = encoding.Check()) != 0) return status;
    const int given = encoding.Given();
    if (autoGiven + presetGiven + (given == 3) > 1) {
        return UsageError("choose one of --auto, --preset and --rate/--bitrate/--mode");
    }
    r.options.autoParams = !presetGiven && given == 0;
    if (insertGiven && appendGiven) return UsageError("choose one of --insert and --append");
    if (batch) {
        if (parsed.with.empty()) return UsageError("batch-join needs at least one --with FILE");
        if (parsed.files.empty()) return UsageError("batch-join needs a MAIN file");
    } else {
        if (r.target.empty()) return UsageError("join needs -o TARGET");
        if (parsed.files.size() < 2) return UsageError("join needs at least two FILEs");
    }
    return 0;
}

int RunSingle(JoinArgs& r) {
    CTerminalProgress progress(!r.quiet && isatty(STDERR_FILENO));
    progress.ReceiveSignals();

    r.request.inputs = r.files;
    const Outcome outcome = JoinFiles(r.request, &progress);
    progress.Clear();
    // Done is reported as done even when a signal came after the target was committed.
    if (outcome.done()) {
        PrintWrittenPath(r.request.target, r.pathEnd);
        return kExitOk;
    }
    if (outcome.cancelled()) return InterruptedExitStatus();
    std::cerr << kJoinFailurePrefix << TerminalText(outcome.message) << "\n";
    return kExitFailure;
}

// Prints each row's result as it is settled: the target on stdout, the row's line on stderr.
class CBatchReporter : public IBatchJoinObserver {
public:
    CBatchReporter(const std::vector<BatchJoinRow>& rows, CTerminalProgress& progress, const JoinArgs& args)
        : rows_(rows), progress_(progress), quiet_(args.quiet), pathEnd_(args.pathEnd) {}

    void OnRowChanged(size_t index) override {
        const BatchJoinRow& row = rows_[index];
        switch (row.state) {
        case JoinRowState::Waiting:
            return;
        case JoinRowState::Joining:
            progress_.SetStatusText(row.facts.path);
            return;
        case JoinRowState::Joined:
            progress_.Clear();
            PrintWrittenPath(row.targetPath, pathEnd_);
            if (!quiet_) std::cerr << TerminalText(row.facts.path) << ": " << TerminalText(FileNameOf(row.targetPath)) << "\n";
            return;
        case JoinRowState::Failed:
            progress_.Clear();
            std::cerr << TerminalText(row.facts.path) << ": " << kJoinFailurePrefix << TerminalText(row.failure) << "\n";
            return;
        case JoinRowState::Cancelled:
            progress_.Clear();
            std::cerr << TerminalText(row.facts.path) << ": " << kCancelledText << "\n";
            return;
        }
    }

private:
    const std::vector<BatchJoinRow>& rows_;
    CTerminalProgress& progress_;
    bool quiet_;
    char pathEnd_;
};

int RunBatch(JoinArgs& r) {
    CTerminalProgress progress(!r.quiet && isatty(STDERR_FILENO));
    progress.ReceiveSignals();

    r.request.joined.resize(r.with.size());
    for (size_t i = 0; i < r.with.size(); ++i) ReadJoinInputFacts(r.with[i], r.request.joined[i]);

    std::vector<BatchJoinRow> rows(r.files.size());
    for (size_t i = 0; i < r.files.size(); ++i) {
        ReadJoinInputFacts(r.files[i], rows[i].facts);
        if (!r.noTag) ReadTags(r.files[i], rows[i].tag);
    }

    CBatchReporter reporter(rows, progress, r);
    const Outcome outcome = RunBatchJoin(r.request, rows, &progress, &reporter);
    progress.Clear();
    if (outcome.cancelled()) return InterruptedExitStatus();
    return outcome.failed() ? kExitFailure : kExitOk;
}

}  // namespace

int RunJoinCommand(const Args& args, bool batch) {
    JoinArgs parsed;
    if (const int status = ParseJoinArgs(args, batch, parsed); status != 0) return status;
    return batch ? RunBatch(parsed) : RunSingle(parsed);
}

}  // namespace corvane::cli
