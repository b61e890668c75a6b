// CParallelCut: re-encoding cuts on every core, with the files of a cut run piece after piece.
//
// Re-encoding is bound by the processor. The pieces of a cut and the files of a batch are
// independent MP3 files, so worker threads (CWorkerPool) encode them side by side, each with
// its own reader, decoder and LAME encoder (a clone of the source's cutter, kept by the
// worker for the next piece of the same source). What the user sees does not change but for
// the time: every piece has the bytes, the name and the tag it has when the pieces are cut
// one after another, and the sources are reported and published in list order.
//
// Why pieces can run out of order. A re-encoded piece is a pure function of where it starts
// and of the frames before that start (CCutter::ResumeAt), given its own index, count,
// sequence number and budget. Where it ends, the next piece's start, depends on the decoder
// and the encoder, so it is known only once the piece is done. The cut therefore forecasts
// it (ForecastPiece, corrected by what earlier pieces did) and starts the next piece there
// at once. When a piece ends, the next one's start is known: a piece started there is kept,
// one started elsewhere is stopped and thrown away (its temporary file removed) and cut again
// from the true start. A wrong forecast costs time, never bytes.
//
// Why sources can run out of order. Each source's pieces take their names when it is
// planned, in list order, so the run's reserved names grow as they would one source after
// another; a batch's sequence numbers (%S%) of a source follow from the pieces the sources
// before it write, which the plan forecasts as all the pieces it asks for. A source that
// writes fewer pieces (its audio ran out early, a piece failed) or whose sequence numbers
// came out otherwise releases names and changes the numbers after it: every later source is
// then stopped, thrown away and planned again.
//
// The coordinating thread is the caller's: it plans sources, starts pieces, checks the
// forecasts, moves the dialog's bar by the workers' progress, pumps the front end's messages
// and publishes, all in order. Skips (custom pieces left out, a range's start) are read past
// there at once. Workers read the dialog's cancel flag themselves, so a cancel stops every
// piece within a frame; the outputs of the sources in flight are then removed, those of the
// sources already published stay.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Progress.h"
#include "engine/cut/CutPlans.h"
#include "engine/cut/PieceForecast.h"
#include "engine/output/WorkerPool.h"

namespace corvane {

class CReencodeCutter;

class CParallelCut {
public:
    // Makes source (in list order, each once unless a source before it wrote other than
    // planned) ready with sequence as its first sequence number: Done with plan filled, or
    // how the source ends at once (a refused rule, a file that cannot be loaded).
    using Planner = std::function<Outcome(size_t source, int sequence, SourcePlan& plan)>;
    // Source is now the one the dialog shows (list order, each once).
    using Started = std::function<void(size_t source)>;
    // Source ended (list order, each once, after Started).
    using Finished = std::function<void(size_t source, const SourceResult& result)>;

    // ctx: options (target-exists rule, templates), dialog, run, jobs and the statistics;
    // must outlive the cut.
    explicit CParallelCut(CutContext& ctx);
    ~CParallelCut();
    CParallelCut(const CParallelCut&) = delete;
    CParallelCut& operator=(const CParallelCut&) = delete;

    // Cuts sources 0 .. count - 1, the first numbered from sequence. Cancelled when the
    // dialog's flag stopped the cut: the source being shown ended Cancelled and nothing of it
    // or of the sources after it is left; else Done (each source's own outcome went to
    // finished).
    Outcome Run(size_t count, int sequence, const Planner& plan, const Started& started, const Finished& finished);

private:
    struct Attempt;
    struct StepRun;
    struct SourceRun;
    struct WorkerCache;
    struct Candidate;

    void CollectEnded(std::chrono::milliseconds wait);
    // Removes the files of a source none of whose pieces runs any more, and gives its names back.
    void Drop(SourceRun& source);
    void StartSource(SourceRun& source);
    bool PlanNext();
    void Advance(SourceRun& source);
    void Confirm(SourceRun& source, StepRun& step, Attempt& attempt);
    void StopFrom(SourceRun& source, size_t step);
    void Discard(uint64_t attempt);
    bool FindWork(Candidate& candidate);
    bool FindWorkIn(SourceRun& source, bool speculative, Candidate& candidate);
    PieceAsk AskFor(SourceRun& source, const CutStep& step, uint64_t start);
    bool Forecast(SourceRun& source, const CutStep& step, uint64_t start, uint64_t& next);
    void Dispatch(const Candidate& candidate);
    void RunAttempt(int worker, Attempt& attempt);
    bool Settled(const SourceRun& source) const;
    SourceResult Finish(SourceRun& source);
    void Replan(size_t after, int sequence);
    void ShowProgress();
    bool UserCancelled() const;
    int Running() const;

    CutContext& ctx_;
    const std::atomic<int>* cancelFlag_ = nullptr;
    std::vector<std::unique_ptr<WorkerCache>> caches_;  // one per worker, before the pool
    std::unique_ptr<CWorkerPool> pool_;
    std::vector<std::unique_ptr<SourceRun>> open_;      // planned and not yet reported, list order
    std::vector<std::unique_ptr<SourceRun>> abandoned_; // stopped, waiting for their pieces to end
    std::vector<std::unique_ptr<Attempt>> attempts_;    // every attempt not yet thrown away
    const Planner* planner_ = nullptr;
    size_t count_ = 0;
    size_t nextToPlan_ = 0;
    int nextSequence_ = 0;  // the sequence number the next source to plan starts from
    uint64_t nextId_ = 1;
    bool sequenceMatters_ = true;
    CForecastCorrection correction_;
    // The bar of the source shown.
    size_t shown_ = 0;
    bool barReady_ = false;
    uint64_t bytesPerStep_ = 1;
    int lastPosition_ = 0;
};

}  // namespace corvane
