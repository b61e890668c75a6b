// The sequential runner of the cut plans and RunCut, the one entry point of a cut.
#include "engine/cut/CutRun.h"

#include "audio/MappedFile.h"

#include "engine/base/PathUtil.h"
#include "engine/cut/Cutter.h"
#include "engine/cut/ParallelCut.h"
#include "engine/output/OutputSet.h"

namespace corvane {
namespace {

// Rows that end at exact places or carry their own tags (silences, CUE sheets, such custom
// rows) are cut one after another, also when they re-encode.
bool CutsInOrder(const CutRequest& request) {
    switch (request.rule.kind) {
        case CutRule::Kind::Silence:
        case CutRule::Kind::Cue:
        case CutRule::Kind::Chapters: return true;
        case CutRule::Kind::Pieces:
            for (const PieceEntry& row : request.rule.pieces) {
                if (row.endSample >= 0 || row.tags) return true;
            }
            return false;
        default: return false;
    }
}

// Shows in the request's custom rows what the steps of a Pieces rule wrote: each step of a
// Pieces rule is its row.
void ShowWrittenRows(CutRequest& request, const SourceResult& result) {
    if (request.rule.kind != CutRule::Kind::Pieces) return;
    std::vector<PieceEntry>& rows = request.rule.pieces;
    for (size_t k = 0; k < result.stepWritten.size() && k < rows.size(); ++k) {
        if (!result.stepWritten[k]) continue;
        const std::string& path = result.stepPaths[k];
        rows[k].path = path;
        rows[k].output = path.empty() ? std::string() : FileNameOf(path);
    }
}

class CNoObserver : public ICutObserver {
public:
    void OnSourceStarted(size_t) override {}
    void OnSourceDone(size_t, const Outcome&, const std::vector<std::string>&) override {}
};

}  // namespace

SourceResult RunPlanInOrder(CutContext& ctx, SourcePlan& plan) {
    SourceResult result;
    result.sequenceAfter = plan.sequence;
    ctx.createdPieces.clear();
    CCutter& cutter = *plan.cutter;
    COutputSet outputs(*ctx.run);
    cutter.SetOutputSet(&outputs);
    cutter.SetProgressBar(ctx.dialog ? &ctx.dialog->Bar() : nullptr);
    std::vector<size_t> written;  // the piece steps whose files are in the set, in order
    size_t named = 0;             // names taken by the pieces started
    bool eof = false;
    bool checked = false;         // the cancel flag was read after the last step
    // A piece failed or the user cancelled: nothing of the source is left.
    auto drop = [&](Outcome outcome) {
        outputs.Discard();
        for (size_t k = named; k < plan.names.size(); ++k) ctx.run->Release(plan.names[k]);
        result.outcome = std::move(outcome);
        result.sequenceAfter = plan.sequence + static_cast<int>(written.size());
        if (plan.sequenceRule == SequenceRule::PiecesKept) result.sequenceAfter = plan.sequence;
        return result;
    };
    for (size_t j = 0; j < plan.steps.size() && !eof; ++j) {
        const CutStep& step = plan.steps[j];
        if (step.measure == CutStep::Measure::ToEnd) {
            if (ctx.PumpAndCheck()) return drop(Outcome::Cancelled());
            checked = true;
        }
        if (step.kind == CutStep::Kind::Skip) {
            const Outcome skipped = step.measure == CutStep::Measure::Samples
                                        ? cutter.SkipSamples(cutter.SamplesTo(step.endSample), eof)
                                        : cutter.SkipDuration(step.tenths, eof);
            if (!skipped.done()) return drop(skipped);
            checked = false;
            continue;
        }
        const std::string& path = plan.names[named++];
        const PieceEntry* row = step.row >= 0 ? &plan.rows[static_cast<size_t>(step.row)] : nullptr;
        cutter.SetPieceTags(row != nullptr && row->tags ? &*row->tags : nullptr);
        Outcome piece;
        switch (step.measure) {
            case CutStep::Measure::Bytes:
                piece = cutter.CutBySize(path, step.bytes, step.index, step.count, step.sequence, step.titleDigits, eof);
                break;
            case CutStep::Measure::Tenths:
                piece = cutter.CutByDuration(path, step.tenths, step.index, step.count, step.sequence,
                                             step.titleDigits, eof);
                break;
            case CutStep::Measure::Samples:
                piece = cutter.CutBySamples(path, cutter.SamplesTo(step.endSample), step.index, step.count,
                                            step.sequence, step.titleDigits, eof);
                break;
            case CutStep::Measure::ToEnd:
                piece = cutter.CutToEnd(path, step.index, step.count, step.sequence, step.titleDigits);
                break;
        }
        if (!piece.done()) return drop(std::move(piece));
        written.push_back(j);
        if (step.measure != CutStep::Measure::ToEnd) checked = false;
    }
    if (!checked && ctx.PumpAndCheck()) return drop(Outcome::Cancelled());
    cutter.CloseSource();
    // The pieces the audio did not reach were named, never written: their names go back.
    for (size_t k = named; k < plan.names.size(); ++k) ctx.run->Release(plan.names[k]);
    const Outcome published = outputs.Publish(ctx.options.placement.ifExists);
    const bool namingStopped = !eof && !plan.namingFailure.empty();
    result.outcome = namingStopped ? Outcome::Failed(plan.namingFailure) : published;
    result.pieces = outputs.Published();
    ctx.createdPieces = result.pieces;
    result.stepPaths.assign(plan.steps.size(), std::string());
    result.stepWritten.assign(plan.steps.size(), false);
    const auto& files = outputs.Files();
    for (size_t k = 0; k < written.size() && k < files.size(); ++k) {
        result.stepWritten[written[k]] = true;
        if (files[k]->IsPublished()) result.stepPaths[written[k]] = files[k]->Path();
    }
    const bool counts = plan.sequenceRule == SequenceRule::PiecesCut || result.outcome.done();
    result.sequenceAfter = plan.sequence + (counts ? static_cast<int>(written.size()) : 0);
    return result;
}

Outcome RunCut(CutContext& ctx, CutRequest& request, ICutObserver* observer) {
    ctx.options = request.options;
    ctx.jobs = request.jobs;
    CNoObserver none;
    ICutObserver& shown = observer != nullptr ? *observer : none;
    const size_t count = request.batch ? request.sources.size() : std::min<size_t>(request.sources.size(), 1);
    // A CUE sheet is read by the run like its sources: no piece may replace it.
    if (request.rule.kind == CutRule::Kind::Cue && !request.rule.cueSheet.empty()) {
        ctx.run->AddSource(request.rule.cueSheet);
    }
    // A batch claims all of its sources before the first is cut: no piece replaces one.
    if (request.batch) {
        for (const CutSource& source : request.sources) ctx.run->AddSource(source.path);
    }
    Outcome single = Outcome::Cancelled();
    auto finished = [&](size_t k, const SourceResult& result) {
        ShowWrittenRows(request, result);
        ctx.createdPieces = result.pieces;
        single = result.outcome;
        shown.OnSourceDone(k, result.outcome, result.pieces);
    };
    if (ctx.jobs > 1 && Reencodes(ctx.options) && !CutsInOrder(request)) {
        CParallelCut cut(ctx);
        const Outcome outcome = cut.Run(
            count, 1, [&](size_t k, int sequence, SourcePlan& plan) { return PlanSource(ctx, request, k, sequence, plan); },
            [&](size_t k) { shown.OnSourceStarted(k); }, finished);
        return request.batch || outcome.cancelled() ? outcome : single;
    }
    int sequence = 1;
    for (size_t k = 0; k < count; ++k) {
        // A cancel that came while the last source was published leaves that source as it is.
        if (k > 0 && ctx.Cancelled()) return Outcome::Cancelled();
        shown.OnSourceStarted(k);
        ctx.createdPieces.clear();
        // The source is mapped once: for its facts, then again to be cut.
        const audio::CMappingKeep keep;
        SourcePlan plan;
        SourceResult result;
        result.outcome = PlanSource(ctx, request, k, sequence, plan);
        result.sequenceAfter = sequence;
        if (result.outcome.done()) result = RunPlanInOrder(ctx, plan);
        sequence = result.sequenceAfter;
        finished(k, result);
        if (result.outcome.cancelled()) return result.outcome;
    }
    return request.batch ? Outcome::Done() : single;
}

Outcome RunCut(CutRequest& request, IProgressDialog* dialog, ICutObserver* observer) {
    CutContext ctx;
    ctx.dialog = dialog;
    return RunCut(ctx, request, observer);
}

}  // namespace corvane
