// The cut plans: a whole source cut by size, by count, by time or by custom pieces, and the
// batch variants, each as a sequence of cutter calls with its validation messages.
//
// The pieces of a source are written under temporary names and take their names together
// when the source is done (COutputSet), so files that stood at those names stay untouched
// until then, and a cancel or a failure leaves the folder as it was.
//
// Lengths are tenths of a second (lengthTenths) or whole seconds (seconds), 64-bit, so sources
// of many hours are divided without overflow. A rule that would make more pieces than an int
// counts is refused as a piece too small.
//
// Every driver returns one outcome. Done: the pieces asked for are written and listed in
// createdPieces. Failed: the message is the text to show (the batch pages show it as
// "Failure: %s"); a validation message, "Failed to load file \"%s\"." for a source the reader
// refuses, a target-naming message (the pieces written before are published and listed), or
// a piece's own failure, such as "Failed to write file \"%s\"." on a full disk, after which
// nothing of the source is left. Cancelled (the dialog's flag, single-file and batch drivers
// alike): nothing of the current source is left and createdPieces is empty.
//
// The context's run holds what the run has claimed: the sources (no piece may replace one,
// and a batch adds all of its sources before the first is cut) and the names given so far
// (no two pieces of the run share one). A batch shares one run over all its sources.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Progress.h"
#include "engine/Options.h"
#include "engine/mp3/SourceInfo.h"
#include "engine/output/OutputRun.h"
#include "engine/output/WorkerPool.h"

namespace corvane {

class CCutter;

// The multiplier of a size unit; 1 for an unknown value.
uint64_t SizeUnitMultiplier(SizeUnit unit);

// The leading decimal number of text ("1.5MB" gives 1.5, "abc" gives 0), whatever the locale.
double ReadDecimal(const std::string& text);

// The size text read as a decimal number times the unit's multiplier, truncated.
uint64_t ParsePieceSize(const std::string& text, SizeUnit unit);

// One row of the custom piece list: times in tenths of a second.
//
// Rows found in the audio (silences, a CUE sheet's INDEX 01 times) know where they end more
// exactly than tenths tell: endSample, when not -1, is that end in sample frames from the
// source's first audio frame (the cutter's SamplePosition), and the row is cut or skipped up
// to the frame that reaches it rather than by its duration. A row without one is cut by its
// duration in tenths from where the reader stands. tags, when set, is the piece's own tag
// record, used for its tag and its name's tag placeholders instead of the source's.
struct PieceEntry {
    int start = 0;
    int end = 0;
    bool checked = true;
    std::string path;    // filled with the piece's full path when it is written
    std::string output;  // the "Output" cell: the piece's file name
    int64_t endSample = -1;
    std::optional<TagFields> tags;
};

// What a parallel re-encoding cut did (ParallelCut.h), for tests and measurements.
struct ParallelCutStats {
    int piecesStarted = 0;       // pieces given to workers, those started again included
    int piecesMispredicted = 0;  // pieces started at a forecast start that proved wrong
    int sourcesReplanned = 0;    // times the sources after one were planned again
};

// What every driver shares: the options, the progress dialog (may be null), the run and the
// pieces written for the current source.
//
// jobs: how many pieces or files a re-encoding cut encodes at once, on as many worker
// threads (every hardware thread by default; 1 cuts one piece after another on the calling
// thread). The pieces, their names and tags are the same whatever the number; frame-copy
// cuts always run on the calling thread, one piece after another.
struct CutContext {
    CutterOptions options;
    IProgressDialog* dialog = nullptr;
    std::shared_ptr<COutputRun> run = std::make_shared<COutputRun>();
    std::vector<std::string> createdPieces;
    int jobs = DefaultJobs();
    ParallelCutStats parallel;
    // Frames added to every forecast of where a piece ends: tests set it to make the
    // parallel cut start pieces at wrong places and throw them away.
    int forecastSkewFrames = 0;
};

// A re-encoding cutter when the options ask for re-encoding or fades, else a frame-copy
// cutter; the re-encoding one already has its encoding parameters.
std::unique_ptr<CCutter> CreateCutter(const CutterOptions& options);

// The length of a source in tenths of a second as the cutter pages take it (the decoded
// length in milliseconds divided by 100), or -1 when the file cannot be opened.
int SourceLengthTenths(const std::string& path);

Outcome CutFileBySize(CutContext& ctx, const std::string& source, int64_t lengthTenths, uint64_t fileSize,
                      const std::string& sizeText, SizeUnit sizeUnit);
Outcome CutFileByCount(CutContext& ctx, const std::string& source, int64_t lengthTenths, int count);
Outcome CutFileByTime(CutContext& ctx, const std::string& source, int64_t lengthTenths, int minutes, int seconds);
// Rows with an endSample or their own tags are cut one after another on the calling thread,
// also when they re-encode.
Outcome CutFileByPieces(CutContext& ctx, const std::string& source, std::vector<PieceEntry>& rows);
// Finds the silences of source under thresholdDb lasting minSeconds or longer
// (DetectSilences, the dialog's bar showing the search first) and cuts it into the pieces
// between them, each ending at the frame that reaches its split point. Failed with "No
// silence found to cut at." when the file has none to split at (nothing is written), or as
// DetectSilences and CutFileByPieces fail.
Outcome CutFileAtSilences(CutContext& ctx, const std::string& source, double thresholdDb, double minSeconds);

// Batch variants, per file: seconds is the file's length in whole seconds; sequenceNumber
// runs over the whole batch (1 when a run starts).
Outcome BatchCutBySize(CutContext& ctx, const std::string& source, int64_t seconds, uint64_t fileSize,
                       const std::string& sizeText, SizeUnit sizeUnit, int& sequenceNumber);
Outcome BatchCutByCount(CutContext& ctx, const std::string& source, int64_t seconds, int count,
                        int& sequenceNumber);
Outcome BatchCutByTime(CutContext& ctx, const std::string& source, int64_t seconds, int minutes, int secs,
                       int& sequenceNumber);
// One piece from beginText seconds on, lengthText seconds long (decimals read as ReadDecimal
// does, in tenths); a length of 0 takes the rest of the source.
Outcome BatchCutRange(CutContext& ctx, const std::string& source, int64_t seconds, const std::string& beginText,
                      const std::string& lengthText, int& sequenceNumber);

// The rule of a whole batch: one of the four batch variants above with its values.
// Silence cuts each file as CutFileAtSilences does, the files one after another on the
// calling thread (also when they re-encode).
enum class BatchRule { Size, Count, Time, Range, Silence };
struct BatchCutRequest {
    BatchRule rule = BatchRule::Count;
    std::string sizeText;                // Size
    SizeUnit sizeUnit = SizeUnit::MB;
    int count = 0;                       // Count
    int minutes = 0;                     // Time
    int seconds = 0;
    std::string beginText;               // Range
    std::string lengthText = "0";
    double silenceDb = -48.0;            // Silence: as SilenceOptions
    double silenceSeconds = 1.0;
};

// One file of a batch: its path, length in whole seconds and size. A file that is not
// loadable fails with "Failed to load file \"%s\"." without being cut.
struct BatchSource {
    std::string path;
    int64_t seconds = 0;
    uint64_t fileSize = 0;
    bool loadable = true;
};

// What a front end shows of a batch cut. Every call comes on the thread that called
// RunBatchCut, in list order.
class IBatchCutObserver {
public:
    virtual ~IBatchCutObserver() = default;
    // The file is the one being cut now: the dialog's bar is its own from here on.
    virtual void OnFileStarted(size_t index) = 0;
    // The file ended: outcome as the batch variants give it, pieces the full paths of the
    // pieces it left (empty unless some were published).
    virtual void OnFileDone(size_t index, const Outcome& outcome, const std::vector<std::string>& pieces) = 0;
};

// Cuts every file of files by request, in one run (ctx.run; the files are added to it as its
// sources first), with sequence numbers from 1 over the whole batch. Re-encoding batches run
// files and pieces side by side on ctx.jobs workers; the files are still reported in list
// order (OnFileStarted, then OnFileDone) and their pieces, names, tags and sequence numbers
// are those of a batch cut one file after another. Cancelled when the dialog's flag stopped
// the batch: the file being cut ends Cancelled with nothing left of it, and the files after
// it are not reported; a flag set after the last file ended leaves the batch Done. Done
// otherwise, whatever each file's own outcome.
Outcome RunBatchCut(CutContext& ctx, const BatchCutRequest& request, const std::vector<BatchSource>& files,
                    IBatchCutObserver& observer);

}  // namespace corvane
