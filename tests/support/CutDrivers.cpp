#include "CutDrivers.h"

#include <functional>

#include "engine/cut/CutRun.h"
#include "engine/cut/ParallelCut.h"

namespace corvane::test {
namespace {

Outcome CutOne(CutContext& ctx, const std::string& source, int64_t lengthTenths, uint64_t fileSize, CutRule rule,
               std::vector<PieceEntry>* rows = nullptr) {
    CutRequest request;
    request.rule = std::move(rule);
    request.options = ctx.options;
    request.jobs = ctx.jobs;
    request.sources.push_back({source, FactsOf(lengthTenths, fileSize)});
    const Outcome outcome = RunCut(ctx, request);
    if (rows != nullptr) *rows = request.rule.pieces;
    return outcome;
}

// One file of a batch numbered from sequence, on worker threads when it re-encodes.
Outcome BatchOne(CutContext& ctx, int& sequence, const std::function<Outcome(int, SourcePlan&)>& make) {
    ctx.createdPieces.clear();
    SourceResult kept;
    kept.outcome = Outcome::Cancelled();
    if (ctx.jobs > 1 && Reencodes(ctx.options)) {
        CParallelCut cut(ctx);
        cut.Run(
            1, sequence, [&](size_t, int first, SourcePlan& plan) { return make(first, plan); }, [](size_t) {},
            [&](size_t, const SourceResult& result) { kept = result; });
    } else {
        SourcePlan plan;
        kept.outcome = make(sequence, plan);
        kept.sequenceAfter = sequence;
        if (kept.outcome.done()) kept = RunPlanInOrder(ctx, plan);
    }
    ctx.createdPieces = kept.pieces;
    if (!kept.outcome.cancelled()) sequence = kept.sequenceAfter;
    return kept.outcome;
}

}  // namespace

SourceFacts FactsOf(int64_t lengthTenths, uint64_t fileSize) {
    SourceFacts facts;
    facts.milliseconds = lengthTenths * 100;
    facts.seconds = static_cast<uint32_t>(lengthTenths / 10);
    facts.fileSize = fileSize;
    return facts;
}

Outcome CutFileBySize(CutContext& ctx, const std::string& source, int64_t lengthTenths, uint64_t fileSize,
                      const std::string& sizeText, SizeUnit sizeUnit) {
    CutRule rule;
    rule.kind = CutRule::Kind::Size;
    rule.sizeText = sizeText;
    rule.sizeUnit = sizeUnit;
    return CutOne(ctx, source, lengthTenths, fileSize, rule);
}

Outcome CutFileByCount(CutContext& ctx, const std::string& source, int64_t lengthTenths, int count) {
    CutRule rule;
    rule.kind = CutRule::Kind::Count;
    rule.count = count;
    return CutOne(ctx, source, lengthTenths, 0, rule);
}

Outcome CutFileByTime(CutContext& ctx, const std::string& source, int64_t lengthTenths, int minutes, int seconds) {
    CutRule rule;
    rule.kind = CutRule::Kind::Time;
    rule.minutes = minutes;
    rule.seconds = seconds;
    return CutOne(ctx, source, lengthTenths, 0, rule);
}

Outcome CutFileByPieces(CutContext& ctx, const std::string& source, std::vector<PieceEntry>& rows) {
    CutRule rule;
    rule.kind = CutRule::Kind::Pieces;
    rule.pieces = rows;
    return CutOne(ctx, source, 0, 0, rule, &rows);
}

Outcome BatchCutBySize(CutContext& ctx, const std::string& source, int64_t seconds, uint64_t fileSize,
                       const std::string& sizeText, SizeUnit sizeUnit, int& sequence) {
    return BatchOne(ctx, sequence, [&](int first, SourcePlan& plan) {
        return corvane::BatchCutBySize(ctx, source, seconds, fileSize, sizeText, sizeUnit, first, plan);
    });
}

Outcome BatchCutByCount(CutContext& ctx, const std::string& source, int64_t seconds, int count, int& sequence) {
    return BatchOne(ctx, sequence, [&](int first, SourcePlan& plan) {
        return corvane::BatchCutByCount(ctx, source, seconds, count, first, plan);
    });
}

Outcome BatchCutByTime(CutContext& ctx, const std::string& source, int64_t seconds, int minutes, int secs,
                       int& sequence) {
    return BatchOne(ctx, sequence, [&](int first, SourcePlan& plan) {
        return corvane::BatchCutByTime(ctx, source, seconds, minutes, secs, first, plan);
    });
}

Outcome BatchCutRange(CutContext& ctx, const std::string& source, int64_t seconds, const std::string& beginText,
                      const std::string& lengthText, int& sequence) {
    return BatchOne(ctx, sequence, [&](int first, SourcePlan& plan) {
        return corvane::BatchCutRange(ctx, source, seconds, beginText, lengthText, first, plan);
    });
}

Outcome RunBatchCut(CutContext& ctx, const CutRule& rule, const std::vector<BatchSource>& files,
                    ICutObserver& observer) {
    CutRequest request;
    request.rule = rule;
    request.options = ctx.options;
    request.jobs = ctx.jobs;
    request.batch = true;
    for (const BatchSource& file : files) {
        CutSource source{file.path, {}};
        if (file.loadable) source.facts = FactsOf(file.seconds * 10, file.fileSize);
        request.sources.push_back(source);
    }
    return RunCut(ctx, request, &observer);
}

}  // namespace corvane::test
