// The runners of the cut plans (CutPlans.h) and the one entry point of a cut.
//
// RunPlanInOrder cuts a plan's steps one after another on the calling thread; CParallelCut
// (ParallelCut.h) cuts re-encoded pieces side by side. RunCut plans each source of a request
// once and gives the plans to one of them: the parallel one when the pieces are re-encoded,
// more than one job is asked for and no step ends at an exact sample or carries its own tag
// (silences, CUE sheets and rows found in the audio are cut in order).
#pragma once

#include "engine/cut/CutPlans.h"

namespace corvane {

// Cuts plan (its cutter loaded, its names settled) on the calling thread: the pieces go into
// one output set and take their names together when the source is done (a naming failure
// keeps the pieces written before); a piece's failure or a cancel leaves nothing of the
// source. ctx.createdPieces lists the pieces published.
SourceResult RunPlanInOrder(CutContext& ctx, SourcePlan& plan);

// RunCut with the context's dialog, run and statistics (the request's options and jobs are
// copied into it): what tests use to watch a cut.
Outcome RunCut(CutContext& ctx, CutRequest& request, ICutObserver* observer = nullptr);

}  // namespace corvane
