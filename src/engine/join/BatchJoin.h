// The batch join loop: the same joined files put before or after each of many main files.
//
// Each main file is one row of the batch joiner's list. For each row in order the loop names
// the target (MakeJoinTarget), fills one reused job with the main file and the joined files
// in join-type order, gives it the row's tag, chooses the way (ChooseBatchJoinWay) and runs
// it. Results stay in the row: its Output text ("Joining...", the target's file name,
// "Join failure. <text>" or "Cancelled") and the recorded target path. A naming or join
// failure fails only its row; a cancel stops the batch.
//
// Rows that re-encode run side by side on worker threads (CWorkerPool), each with its own
// job, decoder and encoder; rows joined by frame copy, bound by the disk, run on the calling
// thread. Whatever runs where, the rows are named in list order before their work (the run
// reserves the names), reported in list order (the observer sees the calls it would see one
// row after another) and published in list order, so the targets and their names are those
// of a batch joined one row after another. Should a row fail after later rows were named,
// those rows are stopped, named again and joined again.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/Progress.h"
#include "engine/join/JoinDecision.h"
#include "engine/Options.h"
#include "engine/mp3/SourceInfo.h"
#include "engine/output/WorkerPool.h"

namespace corvane {

// One main file of the batch list.
struct BatchJoinRow {
    JoinInputFacts facts;     // path and facts of the main file
    TagFields tag;            // the row's tag columns; all empty (track 0) gives no tag
    std::string targetPath;   // the recorded target; empty when none was written
    std::string output;       // the "Output" column
};

// Texts of the rows' Output column.
inline constexpr const char* kJoiningText = "Joining...";
inline constexpr const char* kJoinFailurePrefix = "Join failure. ";
inline constexpr const char* kCancelledText = "Cancelled";

// What a front end shows besides the per-file dialog: the overall line and bar, and the rows.
class IBatchJoinObserver {
public:
    virtual ~IBatchJoinObserver() = default;
    // Before row index of count starts: text is "Joining %d of %d file(s)..." with index + 1
    // and count; the overall bar (range 0..count) stands at index + 1.
    virtual void OnOverall(const std::string& text, int position, int count) = 0;
    // The row's output text or target path changed.
    virtual void OnRowChanged(size_t index) = 0;
};

// Joins the joined files (in order, before the main file for JoinType::InsertAtBeginning,
// after it for JoinType::AppendToEnd) with every row's main file, in row order. Under Auto,
// when the facts of the row's main file or of a joined file were not read, the row fails with "Join
// failure. Failed to open file \"<path>\"." after its target was named. dialog (may be null)
// is the per-file progress and cancel flag; observer may be null; both are used on the
// calling thread only. The outcome is Cancelled when the batch was cancelled (that row shows
// "Cancelled", nothing of it or of the rows being joined after it is left, and later rows are
// left as they were); Failed when any row failed (the message is the first failed row's
// Output text; every row keeps its own); Done when every row was joined. jobs: how many rows
// re-encode at once (every hardware thread by default; 1 joins one row after another).
Outcome RunBatchJoin(const JoinerOptions& options, JoinType joinType, std::vector<BatchJoinRow>& rows,
                     const std::vector<JoinInputFacts>& joined, IProgressDialog* dialog,
                     IBatchJoinObserver* observer, int jobs = DefaultJobs());

// Index of the first row (in list order) that recorded a target, or rows.size() when none:
// the one a page shows in the file manager afterwards.
size_t FirstJoinedRow(const std::vector<BatchJoinRow>& rows);

}  // namespace corvane
