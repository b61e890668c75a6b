// corvane-cli join and batch-join: the join jobs and the batch join loop from the command line.
#include <unistd.h>

#include <climits>
#include <iostream>

#include "cli/ArgParse.h"
#include "cli/Commands.h"
#include "cli/PathOutput.h"
#include "cli/TerminalProgress.h"
#include "engine/join/BatchJoin.h"
#include "engine/join/JoinDecision.h"
#include "engine/join/JoinJob.h"
#include "engine/mp3/SourceInfo.h"

namespace corvane::cli {
namespace {

struct JoinRequest {
    JoinerOptions options;
    JoinType joinType = JoinType::InsertAtBeginning;
    std::string target;
    std::vector<std::string> with;   // batch-join: the joined files
    std::vector<std::string> files;  // join: the inputs; batch-join: the main files
    TagFields tag;
    bool tagGiven = false;
    bool noTag = false;
    bool quiet = false;
    char pathEnd = kPathEndLine;
    int jobs = DefaultJobs();
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
int ParseJoinArgs(const Args& args, bool batch, JoinRequest& r) {
    const std::string command = batch ? "batch-join" : "join";
    bool autoGiven = false;
    bool presetGiven = false;
    CEncodingArgs encoding(r.options.encoding.sampleRate, r.options.encoding.bitrate, r.options.encoding.channelMode);
    bool insertGiven = false;
    bool appendGiven = false;
    CArgWalker walker(args);
    int status = 0;
    while (walker.NextOption(r.files, encoding, status)) {
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
            r.tagGiven = true;
        } else if (a == "--insert" || a == "--append") {
            if (!batch) return onlyFor(true);
            (a == "--insert" ? insertGiven : appendGiven) = true;
            r.joinType = a == "--insert" ? JoinType::InsertAtBeginning : JoinType::AppendToEnd;
        } else if (a == "--with") {
            if (!batch) return onlyFor(true);
            if (!walker.TakeValue(v)) return walker.MissingValue();
            if (v.empty()) return walker.BadValue(v);
            r.with.push_back(v);
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
            r.noTag = true;
        } else if (a == "--jobs") {
            // A join encodes one stream; the value matters to batch-join only.
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
    if ((status = encoding.Check()) != 0) return status;
    const int given = encoding.Given();
    if (autoGiven + presetGiven + (given == 3) > 1) {
        return UsageError("choose one of --auto, --preset and --rate/--bitrate/--mode");
    }
    r.options.autoParams = !presetGiven && given == 0;
    if (insertGiven && appendGiven) return UsageError("choose one of --insert and --append");
    if (batch) {
        if (r.with.empty()) return UsageError("batch-join needs at least one --with FILE");
        if (r.files.empty()) return UsageError("batch-join needs a MAIN file");
    } else {
        if (r.target.empty()) return UsageError("join needs -o TARGET");
        if (r.files.size() < 2) return UsageError("join needs at least two FILEs");
    }
    return 0;
}

int RunSingle(JoinRequest& r) {
    CTerminalProgress progress(!r.quiet && isatty(STDERR_FILENO));
    progress.ReceiveSignals();

    CJoinJob job;
    job.AddFiles(r.files);
    if (r.tagGiven) {
        job.MakeTag(r.tag.title, r.tag.artist, r.tag.album, r.tag.year, r.tag.comment, r.tag.genre, r.tag.track);
    }

    JoinWay way;
    if (r.options.autoParams) {
        std::vector<JoinInputFacts> facts(r.files.size());
        for (size_t i = 0; i < r.files.size(); ++i) {
            if (!ReadJoinInputFacts(r.files[i], facts[i])) {
                std::cerr << kJoinFailurePrefix << "Failed to open file \"" << r.files[i] << "\".\n";
                return kExitFailure;
            }
        }
        way = ChooseJoinWay(r.options, facts);
    } else {
        way = ChooseJoinWay(r.options, {});
    }

    const Outcome outcome = RunJoin(job, way, r.target, &progress);
    progress.Clear();
    // Done is reported as done even when a signal came after the target was committed.
    if (outcome.done()) {
        PrintWrittenPath(r.target, r.pathEnd);
        return kExitOk;
    }
    if (outcome.cancelled()) return InterruptedExitStatus();
    std::cerr << kJoinFailurePrefix << outcome.message << "\n";
    return kExitFailure;
}

// Prints each row's result as it is settled: the target on stdout, the row's line on stderr.
class CBatchReporter : public IBatchJoinObserver {
public:
    CBatchReporter(const std::vector<BatchJoinRow>& rows, CTerminalProgress& progress, const JoinRequest& request)
        : rows_(rows), progress_(progress), quiet_(request.quiet), pathEnd_(request.pathEnd) {}

    void OnOverall(const std::string&, int, int) override {}

    void OnRowChanged(size_t index) override {
        const BatchJoinRow& row = rows_[index];
        if (row.output == kJoiningText) {
            progress_.SetStatusText(row.facts.path);
            return;
        }
        progress_.Clear();
        if (!row.targetPath.empty()) {
            PrintWrittenPath(row.targetPath, pathEnd_);
            if (!quiet_) std::cerr << row.facts.path << ": " << row.output << "\n";
            return;
        }
        std::cerr << row.facts.path << ": " << row.output << "\n";
    }

private:
    const std::vector<BatchJoinRow>& rows_;
    CTerminalProgress& progress_;
    bool quiet_;
    char pathEnd_;
};

int RunBatch(JoinRequest& r) {
    CTerminalProgress progress(!r.quiet && isatty(STDERR_FILENO));
    progress.ReceiveSignals();

    std::vector<JoinInputFacts> joined(r.with.size());
    for (size_t i = 0; i < r.with.size(); ++i) ReadJoinInputFacts(r.with[i], joined[i]);

    std::vector<BatchJoinRow> rows(r.files.size());
    for (size_t i = 0; i < r.files.size(); ++i) {
        ReadJoinInputFacts(r.files[i], rows[i].facts);
        if (!r.noTag) ReadTags(r.files[i], rows[i].tag);
    }

    CBatchReporter reporter(rows, progress, r);
    const Outcome outcome = RunBatchJoin(r.options, r.joinType, rows, joined, &progress, &reporter, r.jobs);
    progress.Clear();
    if (outcome.cancelled()) return InterruptedExitStatus();
    return outcome.failed() ? kExitFailure : kExitOk;
}

}  // namespace

int RunJoinCommand(const Args& args, bool batch) {
    JoinRequest request;
    if (const int status = ParseJoinArgs(args, batch, request); status != 0) return status;
    return batch ? RunBatch(request) : RunSingle(request);
}

}  // namespace corvane::cli
