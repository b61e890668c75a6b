// The batch join's rows: each main file planned once (PlanJoinRow), then joined in its turn.
//
// Each main file is one row of the batch joiner's list. For each row in order the batch plans
// it: names the target (MakeJoinTarget), checks the facts Auto needs, fills a job with the
// main file and the joined files in join-type order, gives it the row's tag and chooses the
// way (ChooseBatchJoinWay). Then it runs the job and keeps the result in the row (its state
// and the recorded target path or the failure). A naming or join failure fails only its row;
// a cancel stops the batch.
//
// Rows that re-encode run side by side on worker threads (CWorkerPool), each with its own
// job, decoder and encoder; rows joined by frame copy, bound by the disk, run on the calling
// thread. Whatever runs where, the rows are planned by the same PlanJoinRow and named in list
// order before their work (the run reserves the names), reported in list order (the observer
// sees the calls it would see one row after another) and published in list order, so the
// targets and their names are those of a batch joined one row after another. Should a row
// fail after later rows were named, those rows are stopped, named again and joined again.
#pragma once

#include <memory>
#include <string>

#include "engine/Join.h"
#include "engine/join/JoinDecision.h"
#include "engine/join/JoinJob.h"

namespace corvane {

class COutputRun;

// One row made ready to join, or the reason it fails without a join.
struct JoinRowPlan {
    std::string target;             // the name reserved in the run; empty when failure is set
    std::string failure;            // set: the row fails with this text and is not joined
    JoinWay way;                    // the way the job takes
    std::unique_ptr<CJoinJob> job;  // the filled job; null when failure is set
};

// Plans row of the batch request within run (which holds every main and joined file as a
// source, and must outlive the job): names its target, reserving the name in run; under
// Auto, when the facts of the row's main file or of a joined file were not read, gives the
// name back and fails with "Failed to open file \"<path>\"." (the main file first, else the
// first such joined file); otherwise fills a new job with the inputs in join-type order, the
// row's tag when any field is set, the batch's target-exists rule and run, and chooses the
// way. A naming failure is MakeJoinTarget's text, with nothing reserved.
JoinRowPlan PlanJoinRow(const JoinRequest& request, const BatchJoinRow& row, COutputRun& run);

}  // namespace corvane
