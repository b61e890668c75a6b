// The cut planner: each rule of a cut turned, source by source, into a plan of steps.
//
// A plan is what a runner needs to cut a source without asking the rule again: the source's
// cutter, loaded and set up; its steps in file order (pieces and stretches skipped, each
// piece with its measure, index, count, sequence number and own tag record); and the names
// of the pieces, settled in order before anything is written. The sequential runner
// (RunPlanInOrder, CutRun.h) and the parallel one (CParallelCut, ParallelCut.h) take the same
// plans, so a piece has the same bytes, name and tag whichever cuts it.
//
// Every per-rule function checks its rule first and fails with the rule's message (nothing is
// loaded or named then), loads the source ("Failed to load file \"%s\"." when the reader
// refuses it) and fills the plan. A name that cannot be settled ends the steps before its
// piece: the plan keeps the message, and the source fails with it once the pieces before are
// written, unless its audio ran out first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/Cut.h"
#include "engine/cut/Cutter.h"
#include "engine/output/OutputRun.h"

namespace corvane {

// What a parallel re-encoding cut did (ParallelCut.h), for tests and measurements.
struct ParallelCutStats {
    int piecesStarted = 0;       // pieces given to workers, those started again included
    int piecesMispredicted = 0;  // pieces started at a forecast start that proved wrong
    int sourcesReplanned = 0;    // times the sources after one were planned again
};

// What a cut shares while it runs: the options, the progress dialog (may be null), the run
// (the sources no piece may replace, the names given so far) and the pieces written for the
// current source.
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

    // True when the user asked to stop (the dialog's flag).
    bool Cancelled() const { return dialog != nullptr && dialog->cancelled.load(std::memory_order_relaxed) != 0; }
    // Lets the front end handle its messages first, then Cancelled().
    bool PumpAndCheck() const {
        PumpMessages();
        return Cancelled();
    }
};

// One step of a source's plan, in file order.
struct CutStep {
    enum class Kind { Piece, Skip };
    enum class Measure {
        Bytes,    // a piece of bytes bytes
        Tenths,   // tenths of a second from where the reader stands
        Samples,  // up to endSample
        ToEnd,    // the rest of the source
    };
    Kind kind = Kind::Piece;
    Measure measure = Measure::Tenths;
    uint64_t bytes = 0;
    int64_t tenths = 0;
    int64_t endSample = -1;  // sample frames of the timeline a gapless decoder plays
    int index = 0;           // piece index, count and sequence number as the piece's tag takes them
    int count = 0;
    int sequence = 0;
    int titleDigits = 0;
    int row = -1;            // the plan's row the step cuts or skips; -1 none
};

// How a source's pieces move a batch's sequence number on.
enum class SequenceRule {
    PiecesCut,   // by every piece cut, even when the source then fails
    PiecesKept,  // by the pieces written when the source ends Done, else not at all
};

// A source ready to be cut.
struct SourcePlan {
    std::unique_ptr<CCutter> cutter;  // loaded and set up; the parallel cut's workers clone it
    std::vector<CutStep> steps;
    // The names of the piece steps, in order. When naming failed, steps ends before the
    // piece that could not be named and namingFailure holds the message.
    std::vector<std::string> names;
    std::string namingFailure;
    SequenceRule sequenceRule = SequenceRule::PiecesCut;
    int sequence = 0;              // the first sequence number the plan was made with
    std::vector<PieceEntry> rows;  // the custom rows of a row rule; their tag records tag the pieces
    bool ownPlaces = false;        // a step ends at an exact sample or a row has its own tag
};

// How a source ended.
struct SourceResult {
    Outcome outcome;
    std::vector<std::string> pieces;     // the names the published pieces took, in order
    std::vector<std::string> stepPaths;  // for each step: the name its piece took, else empty
    std::vector<bool> stepWritten;       // for each step: a piece was written (the source kept)
    int sequenceAfter = 0;               // the sequence number for the next source
};

// A re-encoding cutter when the options ask for re-encoding or fades, else a frame-copy
// cutter; the re-encoding one already has its encoding parameters.
std::unique_ptr<CCutter> CreateCutter(const CutterOptions& options);

// Whether the options make the pieces re-encoded (re-encoding asked for, or a fade).
bool Reencodes(const CutterOptions& options);

// The length of a source in tenths of a second as the cutter pages take it (the decoded
// length in milliseconds divided by 100), or -1 when the file cannot be opened.
int SourceLengthTenths(const std::string& path);

// The plan of source index of request, its pieces numbered from sequence: the rule's
// per-rule function below with the source's facts (read here when the request has none).
Outcome PlanSource(CutContext& ctx, const CutRequest& request, size_t index, int sequence, SourcePlan& plan);

// The per-rule functions of a single cut (lengthTenths: the source's length; pieces
// numbered 1 to count)...
Outcome CutFileBySize(CutContext& ctx, const std::string& source, int64_t lengthTenths, uint64_t fileSize,
                      const std::string& sizeText, SizeUnit sizeUnit, SourcePlan& plan);
Outcome CutFileByCount(CutContext& ctx, const std::string& source, int64_t lengthTenths, int count,
                       SourcePlan& plan);
Outcome CutFileByTime(CutContext& ctx, const std::string& source, int64_t lengthTenths, int minutes, int seconds,
                      SourcePlan& plan);
// The checked rows as pieces, the others skipped (at least two rows, one checked), numbered
// by row; a CUE sheet's tracks (tracks) numbered by the pieces written, one row enough.
Outcome CutFileByPieces(CutContext& ctx, const std::string& source, std::vector<PieceEntry> rows,
                        SourcePlan& plan, bool tracks = false);
// The rows between the source's silences (FindSilencePieces, the dialog's bar showing the
// search); in a batch (sequence above 0) numbered on from sequence.
Outcome CutFileAtSilences(CutContext& ctx, const std::string& source, const SilenceOptions& silence, int sequence,
                          SourcePlan& plan);
// The rows of the source's chapters (ChapterPieceRows), numbered by the pieces written; in a
// batch (sequence above 0) numbered on from sequence. Failed with kNoChapters without any.
Outcome CutFileByChapters(CutContext& ctx, const std::string& source, const SourceFacts& facts, int sequence,
                          SourcePlan& plan);

// ...and of a batch (seconds: the source's length in whole seconds; sequence: the first
// sequence number of the source's pieces).
Outcome BatchCutBySize(CutContext& ctx, const std::string& source, int64_t seconds, uint64_t fileSize,
                       const std::string& sizeText, SizeUnit sizeUnit, int sequence, SourcePlan& plan);
Outcome BatchCutByCount(CutContext& ctx, const std::string& source, int64_t seconds, int count, int sequence,
                        SourcePlan& plan);
Outcome BatchCutByTime(CutContext& ctx, const std::string& source, int64_t seconds, int minutes, int secs,
                       int sequence, SourcePlan& plan);
// One piece from beginText seconds on, lengthText seconds long (decimals read as ReadDecimal
// does, in tenths); a length of 0 takes the rest of the source.
Outcome BatchCutRange(CutContext& ctx, const std::string& source, int64_t seconds, const std::string& beginText,
                      const std::string& lengthText, int sequence, SourcePlan& plan);

}  // namespace corvane
