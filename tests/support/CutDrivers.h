// One rule on one source as the engine tests ask for it: through RunCut for a single cut
// (the source's facts as the test gives them), through the planner and a runner for one file
// of a batch, its sequence number moving on as a batch's does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/cut/CutPlans.h"

namespace corvane::test {

// A source's facts from its length in tenths and its size.
SourceFacts FactsOf(int64_t lengthTenths, uint64_t fileSize = 0);

Outcome CutFileBySize(CutContext& ctx, const std::string& source, int64_t lengthTenths, uint64_t fileSize,
                      const std::string& sizeText, SizeUnit sizeUnit);
Outcome CutFileByCount(CutContext& ctx, const std::string& source, int64_t lengthTenths, int count);
Outcome CutFileByTime(CutContext& ctx, const std::string& source, int64_t lengthTenths, int minutes, int seconds);
// The rows come back with the outputs of the pieces written.
Outcome CutFileByPieces(CutContext& ctx, const std::string& source, std::vector<PieceEntry>& rows);

Outcome BatchCutBySize(CutContext& ctx, const std::string& source, int64_t seconds, uint64_t fileSize,
                       const std::string& sizeText, SizeUnit sizeUnit, int& sequence);
Outcome BatchCutByCount(CutContext& ctx, const std::string& source, int64_t seconds, int count, int& sequence);
Outcome BatchCutByTime(CutContext& ctx, const std::string& source, int64_t seconds, int minutes, int secs,
                       int& sequence);
Outcome BatchCutRange(CutContext& ctx, const std::string& source, int64_t seconds, const std::string& beginText,
                      const std::string& lengthText, int& sequence);

// One file of a batch: its length in whole seconds and size as the list holds them; a file
// that is not loadable has no facts (the cut reads them, and refuses it).
struct BatchSource {
    std::string path;
    int64_t seconds = 0;
    uint64_t fileSize = 0;
    bool loadable = true;
};

// A batch cut of files by rule through RunCut with ctx's options and jobs.
Outcome RunBatchCut(CutContext& ctx, const CutRule& rule, const std::vector<BatchSource>& files,
                    ICutObserver& observer);

}  // namespace corvane::test
