// CParallelCut: pieces and sources on worker threads, forecast, checked and published in order.
#include "engine/cut/ParallelCut.h"

#include <algorithm>
#include <chrono>

#include "engine/base/Messages.h"
#include "engine/cut/FrameIndex.h"
#include "engine/cut/PieceForecast.h"
#include "engine/cut/ReencodeCutter.h"
#include "engine/mp3/OutputFile.h"
#include "engine/output/OutputRun.h"
#include "engine/output/OutputSet.h"
#include "engine/output/WorkerPool.h"

namespace corvane {
namespace {

// How long the coordinator waits for a piece to end before it pumps messages, moves the bar
// and reads the cancel flag again.
constexpr std::chrono::milliseconds kTick{10};
// Sources planned ahead of the one shown, besides one per worker.
constexpr size_t kSourcesAhead = 1;
bool HasSequence(const std::string& text) { return text.find("%S%") != std::string::npos; }

// The parallel cut runs re-encoding plans only.
CReencodeCutter& Reencoder(const SourcePlan& plan) { return static_cast<CReencodeCutter&>(*plan.cutter); }

}  // namespace

// One run of one piece on a worker, from one start.
struct CParallelCut::Attempt {
    uint64_t id = 0;
    SourceRun* source = nullptr;
    // The worker's input, set before the attempt is posted.
    uint64_t generation = 0;
    const CReencodeCutter* base = nullptr;
    CutStep cut;
    std::string name;
    uint64_t start = 0;
    uint64_t startSample = 0;  // the samples of the frames before start
    std::vector<FrameRecord> history;
    COutputFile* file = nullptr;
    const std::atomic<int>* cancelFlag = nullptr;
    // The forecast made for it, to learn from.
    bool forecasted = false;
    PieceAsk ask;
    int64_t forecastAdvance = 0;
    // Shared while it runs.
    std::atomic<int> stop{0};
    std::atomic<uint64_t> position{0};
    // The worker's output, read once the pool has listed the attempt as ended.
    Outcome outcome;
    bool eof = false;
    uint64_t next = 0;
    // The coordinator's.
    bool ended = false;
    bool doomed = false;  // its start proved wrong or its source is dropped: thrown away once ended
};

// One step of a source as the cut goes.
struct CParallelCut::StepRun {
    CutStep cut;
    std::string name;              // piece steps
    COutputFile* file = nullptr;   // the set's file, added at the step's first start
    uint64_t attempt = 0;          // the attempt running or waiting to be checked; 0 none
    bool confirmed = false;
    uint64_t start = 0;
    uint64_t next = 0;
    bool eof = false;
    Outcome outcome;
};

// One planned source.
struct CParallelCut::SourceRun {
    size_t index = 0;
    uint64_t generation = 0;
    bool planned = false;
    Outcome immediate;  // when not planned: how it ended at once
    SourcePlan plan;
    std::unique_ptr<COutputSet> outputs;
    CFrameIndex frames;
    PieceModel model;
    uint64_t audioStart = 0;
    uint64_t fileSize = 0;
    std::vector<StepRun> steps;
    size_t confirmed = 0;       // steps whose results are final
    uint64_t trueStart = 0;     // where steps[confirmed] starts
    bool ended = false;         // no step will be started any more
    Outcome stopped;            // a piece failed, or the user cancelled
    bool ranOut = false;        // a step reached the end of the audio
    int sequenceAfter = 0;      // forecast: every piece step written
};

// A worker's cutter, kept for the next piece of the same source.
struct CParallelCut::WorkerCache {
    uint64_t generation = 0;
    std::unique_ptr<CReencodeCutter> cutter;
};

// A piece that may start now.
struct CParallelCut::Candidate {
    SourceRun* source = nullptr;
    size_t step = 0;
    uint64_t start = 0;
    bool speculative = false;
};

CParallelCut::CParallelCut(CutContext& ctx) : ctx_(ctx) {
    cancelFlag_ = ctx.dialog != nullptr ? &ctx.dialog->cancelled : nullptr;
    const int workers = std::max(1, ctx.jobs);
    for (int i = 0; i < workers; ++i) caches_.push_back(std::make_unique<WorkerCache>());
    pool_ = std::make_unique<CWorkerPool>(workers);
    const CutterOptions& o = ctx.options;
    sequenceMatters_ = HasSequence(o.nameTemplate) ||
                       (o.keepTag && (HasSequence(o.titleTemplate) || o.trackNumbers == TrackNumber::Sequence));
}

CParallelCut::~CParallelCut() {
    for (const std::unique_ptr<Attempt>& attempt : attempts_) attempt->stop.store(1);
    pool_.reset();  // joins the workers before the attempts and caches go
}

bool CParallelCut::UserCancelled() const {
    return cancelFlag_ != nullptr && cancelFlag_->load(std::memory_order_relaxed) != 0;
}

int CParallelCut::Running() const {
    int running = 0;
    for (const std::unique_ptr<Attempt>& attempt : attempts_) running += attempt->ended ? 0 : 1;
    return running;
}

Outcome CParallelCut::Run(size_t count, int sequence, const Planner& plan, const Started& started,
                          const Finished& finished) {
    planner_ = &plan;
    count_ = count;
    nextToPlan_ = 0;
    nextSequence_ = sequence;
    size_t current = 0;
    bool shownStarted = false;
    while (current < count_) {
        if (!shownStarted) {
            started(current);
            shownStarted = true;
            shown_ = current;
            barReady_ = false;
        }
        CollectEnded(Running() > 0 ? kTick : std::chrono::milliseconds(0));
        // Sources given up wait for their pieces to stop; then they leave nothing.
        for (size_t i = 0; i < abandoned_.size();) {
            SourceRun& source = *abandoned_[i];
            const bool busy = std::any_of(attempts_.begin(), attempts_.end(), [&](const std::unique_ptr<Attempt>& a) {
                return a->source == &source && !a->ended;
            });
            if (busy) {
                ++i;
                continue;
            }
            Drop(source);
            abandoned_.erase(abandoned_.begin() + static_cast<long>(i));
        }
        for (const std::unique_ptr<SourceRun>& source : open_) Advance(*source);
        if (UserCancelled()) break;

        // The source shown is published once settled, and the next one is shown.
        while (current < count_ && !open_.empty() && open_.front()->index == current && Settled(*open_.front())) {
            SourceRun& source = *open_.front();
            const SourceResult result = Finish(source);
            bool deviated = sequenceMatters_ && source.planned && result.sequenceAfter != source.sequenceAfter;
            for (size_t j = 0; j < source.steps.size(); ++j) {
                if (!source.steps[j].name.empty() && result.stepPaths[j] != source.steps[j].name) deviated = true;
            }
            open_.erase(open_.begin());
            if (deviated) {
                ++ctx_.parallel.sourcesReplanned;
                Replan(current, result.sequenceAfter);
            }
            finished(current, result);
            ++current;
            shownStarted = false;
            if (current < count_) {
                started(current);
                shownStarted = true;
                shown_ = current;
                barReady_ = false;
            }
        }
        if (current >= count_) break;

        Candidate candidate;
        while (Running() < pool_->Workers() && FindWork(candidate)) Dispatch(candidate);
        ShowProgress();
        PumpMessages();
    }
    if (current >= count_) return Outcome::Done();

    // Cancelled: every piece stops, and nothing of the sources in flight is left.
    for (const std::unique_ptr<Attempt>& attempt : attempts_) attempt->stop.store(1);
    while (Running() > 0) {
        CollectEnded(kTick);
        PumpMessages();
    }
    for (const std::unique_ptr<SourceRun>& source : open_) Drop(*source);
    for (const std::unique_ptr<SourceRun>& source : abandoned_) Drop(*source);
    open_.clear();
    abandoned_.clear();
    SourceResult cancelled;
    cancelled.outcome = Outcome::Cancelled();
    cancelled.sequenceAfter = nextSequence_;
    finished(current, cancelled);
    return Outcome::Cancelled();
}

void CParallelCut::CollectEnded(std::chrono::milliseconds wait) {
    for (const uint64_t id : pool_->WaitForEnded(wait)) {
        for (const std::unique_ptr<Attempt>& attempt : attempts_) {
            if (attempt->id == id) attempt->ended = true;
        }
    }
}

void CParallelCut::Drop(SourceRun& source) {
    StopFrom(source, 0);
    if (!source.planned) return;
    source.outputs->Discard();  // gives back the names of the files it created
    for (const StepRun& step : source.steps) {
        if (!step.name.empty() && (step.file == nullptr || step.file->Path().empty())) ctx_.run->Release(step.name);
    }
}

bool CParallelCut::PlanNext() {
    if (nextToPlan_ >= count_ || !abandoned_.empty()) return false;
    if (!open_.empty() && open_.size() >= static_cast<size_t>(pool_->Workers()) + kSourcesAhead) return false;
    auto source = std::make_unique<SourceRun>();
    source->index = nextToPlan_++;
    source->generation = nextId_++;
    source->plan.sequence = nextSequence_;
    source->sequenceAfter = nextSequence_;
    const Outcome planned = (*planner_)(source->index, nextSequence_, source->plan);
    if (!planned.done()) {
        source->immediate = planned;
    } else {
        StartSource(*source);
    }
    open_.push_back(std::move(source));
    return true;
}

void CParallelCut::StartSource(SourceRun& source) {
    CReencodeCutter& cutter = Reencoder(source.plan);
    if (!source.frames.Open(cutter.sourcePath())) {
        source.immediate = Outcome::Failed(LoadFileFailure(cutter.sourcePath()));
        for (const std::string& name : source.plan.names) ctx_.run->Release(name);
        return;
    }
    source.planned = true;
    source.outputs = std::make_unique<COutputSet>(*ctx_.run);
    source.model = cutter.ForecastModel();
    FrameRecord first;
    if (source.frames.Frame(0, first)) source.model.sourceFrameSamples = first.samples;
    source.audioStart = source.frames.audioStart();
    source.fileSize = cutter.reader().fileSize();
    source.trueStart = cutter.reader().position();
    size_t named = 0;
    int pieces = 0;
    for (const CutStep& cut : source.plan.steps) {
        StepRun step;
        step.cut = cut;
        if (cut.kind == CutStep::Kind::Piece) {
            ++pieces;
            if (named < source.plan.names.size()) step.name = source.plan.names[named++];
        }
        source.steps.push_back(std::move(step));
    }
    source.sequenceAfter = source.plan.sequence + pieces;
    nextSequence_ = source.sequenceAfter;
    Advance(source);
}

void CParallelCut::Advance(SourceRun& source) {
    if (!source.planned) return;
    if (source.ended) {
        StopFrom(source, source.confirmed);  // pieces past its end that have stopped go
        return;
    }
    while (!source.ended && source.confirmed < source.steps.size()) {
        StepRun& step = source.steps[source.confirmed];
        const uint64_t start = source.trueStart;
        if (step.cut.kind == CutStep::Kind::Skip) {
            bool eof = false;
            step.next = source.frames.Skip(start, TenthsToSamples(source.model.sourceRate, step.cut.tenths), eof);
            step.start = start;
            step.eof = eof;
            step.confirmed = true;
            ++source.confirmed;
            if (eof) {
                source.ranOut = true;
                source.ended = true;
                StopFrom(source, source.confirmed);
                break;
            }
            source.trueStart = step.next;
            continue;
        }
        if (step.attempt == 0) break;  // waits for a worker; its start is known
        Attempt* attempt = nullptr;
        for (const std::unique_ptr<Attempt>& a : attempts_) {
            if (a->id == step.attempt) attempt = a.get();
        }
        if (attempt->doomed || attempt->start != start) {
            if (!attempt->doomed) {
                // Started at a forecast that proved wrong: it and every piece forecast from it go.
                ++ctx_.parallel.piecesMispredicted;
                attempt->doomed = true;
                attempt->stop.store(1);
                StopFrom(source, source.confirmed + 1);
            }
            if (!attempt->ended) break;
            Discard(attempt->id);
            step.attempt = 0;
            break;
        }
        if (!attempt->ended) break;
        Confirm(source, step, *attempt);
    }
    if (source.confirmed == source.steps.size()) source.ended = true;
    // The index keeps what the forward overlap of the next piece may read again.
    if (!source.ended) source.frames.ForgetBefore(source.trueStart, source.model.forwardOverlapSamples);
}

void CParallelCut::Confirm(SourceRun& source, StepRun& step, Attempt& attempt) {
    if (attempt.forecasted && attempt.outcome.done() && !attempt.eof) {
        const int64_t actual = static_cast<int64_t>(source.frames.FrameAt(attempt.next)) -
                               static_cast<int64_t>(source.frames.FrameAt(attempt.start));
        correction_.Learn(attempt.ask, attempt.forecastAdvance, actual);
    }
    step.confirmed = true;
    step.start = attempt.start;
    step.next = attempt.next;
    step.eof = attempt.eof;
    step.outcome = attempt.outcome;
    step.attempt = 0;
    attempts_.erase(std::find_if(attempts_.begin(), attempts_.end(),
                                 [&](const std::unique_ptr<Attempt>& a) { return a.get() == &attempt; }));
    ++source.confirmed;
    if (!step.outcome.done()) {
        source.stopped = step.outcome;
        source.ended = true;
        StopFrom(source, source.confirmed);
        return;
    }
    if (step.eof || step.cut.measure == CutStep::Measure::ToEnd) {
        source.ranOut = step.eof;
        source.ended = true;
        StopFrom(source, source.confirmed);
        return;
    }
    source.trueStart = step.next;
}

void CParallelCut::StopFrom(SourceRun& source, size_t first) {
    for (size_t j = first; j < source.steps.size(); ++j) {
        StepRun& step = source.steps[j];
        if (step.attempt == 0) continue;
        for (const std::unique_ptr<Attempt>& attempt : attempts_) {
            if (attempt->id != step.attempt) continue;
            attempt->doomed = true;
            attempt->stop.store(1);
        }
        bool running = false;
        for (const std::unique_ptr<Attempt>& attempt : attempts_) {
            if (attempt->id == step.attempt && !attempt->ended) running = true;
        }
        if (!running) {
            Discard(step.attempt);
            step.attempt = 0;
        }
    }
}

void CParallelCut::Discard(uint64_t id) {
    const auto it = std::find_if(attempts_.begin(), attempts_.end(),
                                 [&](const std::unique_ptr<Attempt>& a) { return a->id == id; });
    if (it == attempts_.end()) return;
    if ((*it)->file != nullptr) (*it)->file->Remove();
    attempts_.erase(it);
}

bool CParallelCut::Settled(const SourceRun& source) const {
    if (!source.planned) return true;
    if (!source.ended) return false;
    return std::none_of(attempts_.begin(), attempts_.end(),
                        [&](const std::unique_ptr<Attempt>& a) { return a->source == &source; });
}

bool CParallelCut::FindWork(Candidate& candidate) {
    for (const std::unique_ptr<SourceRun>& source : open_) {
        if (FindWorkIn(*source, false, candidate)) return true;
    }
    while (PlanNext()) {
        if (FindWorkIn(*open_.back(), false, candidate)) return true;
    }
    for (const std::unique_ptr<SourceRun>& source : open_) {
        if (FindWorkIn(*source, true, candidate)) return true;
    }
    return false;
}

bool CParallelCut::FindWorkIn(SourceRun& source, bool speculative, Candidate& candidate) {
    if (!source.planned || source.ended) return false;
    uint64_t position = source.trueStart;
    for (size_t j = source.confirmed; j < source.steps.size(); ++j) {
        StepRun& step = source.steps[j];
        const bool first = j == source.confirmed;
        if (step.cut.kind == CutStep::Kind::Skip) {
            bool eof = false;
            position = source.frames.Skip(position, TenthsToSamples(source.model.sourceRate, step.cut.tenths), eof);
            if (eof) return false;
            continue;
        }
        if (step.attempt == 0) {
            if (first == speculative) return false;
            candidate = {&source, j, position, speculative};
            return true;
        }
        if (!speculative) return false;
        const Attempt* attempt = nullptr;
        for (const std::unique_ptr<Attempt>& a : attempts_) {
            if (a->id == step.attempt) attempt = a.get();
        }
        if (attempt->doomed || attempt->start != position) return false;
        if (attempt->ended) {
            if (!attempt->outcome.done() || attempt->eof) return false;
            position = attempt->next;
        } else if (!Forecast(source, step.cut, position, position)) {
            return false;
        }
    }
    return false;
}

PieceAsk CParallelCut::AskFor(SourceRun& source, const CutStep& cut, uint64_t start) {
    PieceAsk ask;
    ask.measure = cut.measure == CutStep::Measure::Bytes ? PieceAsk::Measure::Bytes : PieceAsk::Measure::Samples;
    ask.target = cut.measure == CutStep::Measure::Bytes ? cut.bytes : TenthsToSamples(source.model.sourceRate, cut.tenths);
    ask.atAudioStart = start == source.audioStart;
    const uint64_t first = source.frames.FrameAt(start);
    ask.framesBefore = first;
    // The piece reads from the first frame of its forward overlap.
    const uint64_t overlap = ForecastPiece(source.model, ask).overlapFrames;
    FrameRecord reading;
    if (overlap > 0 && source.frames.Frame(first - overlap, reading)) {
        ask.bytesBefore = start - reading.offset;
        ask.quietFrames = source.frames.QuietFrames(reading.offset);
    } else {
        ask.quietFrames = source.frames.QuietFrames(start);
    }
    return ask;
}

bool CParallelCut::Forecast(SourceRun& source, const CutStep& cut, uint64_t start, uint64_t& next) {
    if (cut.measure == CutStep::Measure::ToEnd) return false;
    const PieceAsk ask = AskFor(source, cut, start);
    const uint64_t first = ask.framesBefore;
    const PieceForecast forecast = ForecastPiece(source.model, ask);
    const int64_t advance = std::max<int64_t>(1, forecast.advance + correction_.For(ask) + ctx_.forecastSkewFrames);
    // A piece forecast to read past the last frame ends the source: nothing follows it.
    FrameRecord frame;
    const uint64_t lastRead = first - forecast.overlapFrames + forecast.framesRead;
    if (!source.frames.Frame(lastRead, frame)) return false;
    if (!source.frames.Frame(first + static_cast<uint64_t>(advance), frame)) return false;
    next = frame.offset;
    return true;
}

void CParallelCut::Dispatch(const Candidate& candidate) {
    SourceRun& source = *candidate.source;
    StepRun& step = source.steps[candidate.step];
    if (step.file == nullptr) step.file = &source.outputs->Add();
    auto attempt = std::make_unique<Attempt>();
    attempt->id = nextId_++;
    attempt->source = &source;
    attempt->generation = source.generation;
    attempt->base = &Reencoder(source.plan);
    attempt->cut = step.cut;
    attempt->name = step.name;
    attempt->start = candidate.start;
    attempt->history = source.frames.FramesBefore(candidate.start, source.model.forwardOverlapSamples);
    attempt->startSample = source.frames.FrameAt(candidate.start) *
                          static_cast<uint64_t>(source.model.sourceFrameSamples);
    attempt->file = step.file;
    attempt->cancelFlag = cancelFlag_;
    if (step.cut.measure != CutStep::Measure::ToEnd) {
        attempt->ask = AskFor(source, step.cut, candidate.start);
        attempt->forecastAdvance = ForecastPiece(source.model, attempt->ask).advance;
        attempt->forecasted = true;
    }
    step.attempt = attempt->id;
    ++ctx_.parallel.piecesStarted;
    Attempt* running = attempt.get();
    attempts_.push_back(std::move(attempt));
    pool_->Post(running->id, [this, running](int worker) { RunAttempt(worker, *running); });
}

void CParallelCut::RunAttempt(int worker, Attempt& attempt) {
    WorkerCache& cache = *caches_[static_cast<size_t>(worker)];
    if (cache.generation != attempt.generation) {
        cache.cutter = attempt.base->CloneLoaded();
        cache.generation = attempt.generation;
    }
    if (!cache.cutter) {
        attempt.outcome = Outcome::Failed(LoadFileFailure(attempt.base->sourcePath()));
        return;
    }
    CReencodeCutter& cutter = *cache.cutter;
    cutter.SetCancelFlag(attempt.cancelFlag);
    cutter.SetStopFlag(&attempt.stop);
    cutter.SetPositionCounter(&attempt.position);
    cutter.ResumeAt(attempt.start, attempt.history, attempt.startSample);
    cutter.SetPieceOutput(attempt.file);
    const CutStep& cut = attempt.cut;
    bool eof = false;
    switch (cut.measure) {
        case CutStep::Measure::Bytes:
            attempt.outcome = cutter.CutBySize(attempt.name, cut.bytes, cut.index, cut.count, cut.sequence,
                                               cut.titleDigits, eof);
            break;
        // Steps that end at an exact place are cut in order (CutRun.h), never here. Their length
        // in tenths stands.
        case CutStep::Measure::Samples:
        case CutStep::Measure::Tenths:
            attempt.outcome = cutter.CutByDuration(attempt.name, cut.tenths, cut.index, cut.count, cut.sequence,
                                                   cut.titleDigits, eof);
            break;
        case CutStep::Measure::ToEnd:
            attempt.outcome = cutter.CutToEnd(attempt.name, cut.index, cut.count, cut.sequence, cut.titleDigits);
            break;
    }
    attempt.eof = eof;
    attempt.next = cutter.reader().position();
    cutter.SetPieceOutput(nullptr);
    cutter.SetStopFlag(nullptr);
    cutter.SetPositionCounter(nullptr);
}

SourceResult CParallelCut::Finish(SourceRun& source) {
    SourceResult result;
    result.sequenceAfter = source.plan.sequence;
    if (!source.planned) {
        result.outcome = source.immediate;
        return result;
    }
    result.stepPaths.assign(source.steps.size(), std::string());
    result.stepWritten.assign(source.steps.size(), false);
    int cut = 0;
    for (const StepRun& step : source.steps) {
        if (step.cut.kind == CutStep::Kind::Piece && step.confirmed && step.outcome.done()) ++cut;
    }
    if (!source.stopped.done()) {
        // A piece failed: nothing of the source is left.
        Drop(source);
        result.outcome = source.stopped;
    } else {
        // The pieces the source did not come to were never named one after another.
        for (StepRun& step : source.steps) {
            if (step.name.empty() || (step.confirmed && step.outcome.done())) continue;
            if (step.file != nullptr) step.file->Remove();
            ctx_.run->Release(step.name);
        }
        const Outcome published = source.outputs->Publish(ctx_.options.placement.ifExists);
        const bool namingStopped = !source.ranOut && !source.plan.namingFailure.empty();
        result.outcome = namingStopped ? Outcome::Failed(source.plan.namingFailure) : published;
        result.pieces = source.outputs->Published();
        for (size_t j = 0; j < source.steps.size(); ++j) {
            const StepRun& step = source.steps[j];
            result.stepWritten[j] = step.cut.kind == CutStep::Kind::Piece && step.confirmed && step.outcome.done();
            if (step.file != nullptr && step.file->IsPublished()) result.stepPaths[j] = step.file->Path();
        }
    }
    const bool counts = source.plan.sequenceRule == SequenceRule::PiecesCut || result.outcome.done();
    result.sequenceAfter = source.plan.sequence + (counts ? cut : 0);
    return result;
}

void CParallelCut::Replan(size_t after, int sequence) {
    for (std::unique_ptr<SourceRun>& source : open_) {
        StopFrom(*source, 0);
        abandoned_.push_back(std::move(source));
    }
    open_.clear();
    nextToPlan_ = after + 1;
    nextSequence_ = sequence;
}

void CParallelCut::ShowProgress() {
    if (ctx_.dialog == nullptr || open_.empty() || open_.front()->index != shown_ || !open_.front()->planned) return;
    const SourceRun& source = *open_.front();
    IProgressBar& bar = ctx_.dialog->Bar();
    if (!barReady_) {
        const int width = bar.Steps() > 0 ? bar.Steps() : 1;
        bar.SetRange(0, width);
        bar.SetPosition(0);
        bytesPerStep_ = std::max<uint64_t>(1, source.fileSize / static_cast<uint64_t>(width));
        lastPosition_ = 0;
        barReady_ = true;
    }
    uint64_t done = 0;
    for (const StepRun& step : source.steps) {
        if (step.confirmed && step.next > step.start) done += step.next - step.start;
    }
    for (const std::unique_ptr<Attempt>& attempt : attempts_) {
        if (attempt->source != &source || attempt->doomed) continue;
        const uint64_t reached = attempt->position.load(std::memory_order_relaxed);
        if (reached > attempt->start) done += reached - attempt->start;
    }
    const int position = static_cast<int>(std::min(done, source.fileSize) / bytesPerStep_);
    if (position > lastPosition_) {
        bar.SetPosition(position);
        lastPosition_ = position;
    }
}

}  // namespace corvane
