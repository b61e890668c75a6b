// The batch join: the row planner, and the loops that run the planned rows one after another
// or side by side.
#include "engine/join/BatchJoin.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/Messages.h"
#include "engine/join/JoinTarget.h"
#include "engine/output/OutputRun.h"
#include "engine/output/OutputSet.h"
#include "engine/output/WorkerPool.h"

namespace corvane {
namespace {

// How long the coordinating thread waits for a row to end before it pumps messages, moves
// the bar and reads the cancel flag again.
constexpr std::chrono::milliseconds kTick{10};
// Rows named ahead of the one shown, besides one per worker.
constexpr size_t kRowsAhead = 2;

std::vector<std::string> PathsOf(const std::vector<JoinInputFacts>& files) {
    std::vector<std::string> paths;
    paths.reserve(files.size());
    for (const JoinInputFacts& facts : files) paths.push_back(facts.path);
    return paths;
}

// The first input of a row whose facts were not read, the main file first; empty when none.
std::string FirstUnread(const JoinInputFacts& main, const std::vector<JoinInputFacts>& joined) {
    if (!main.factsRead) return main.path;
    for (const JoinInputFacts& facts : joined) {
        if (!facts.factsRead) return facts.path;
    }
    return {};
}

// Every main and joined file is a source of the run: no target of the batch replaces one.
void AddSources(COutputRun& run, const JoinRequest& request, const std::vector<BatchJoinRow>& rows) {
    run.AddSources(PathsOf(request.joined));
    for (const BatchJoinRow& row : rows) run.AddSource(row.facts.path);
}

// The rows' states as the batch moves them on, each change told to the observer, and the
// batch's outcome so far.
class CRowStates {
public:
    CRowStates(std::vector<BatchJoinRow>& rows, IBatchJoinObserver* observer) : rows_(rows), observer_(observer) {}

    void Joining(size_t index) { Set(index, JoinRowState::Joining, {}, {}); }
    void Joined(size_t index, std::string target) { Set(index, JoinRowState::Joined, std::move(target), {}); }
    // The first failure is the batch's.
    void Failed(size_t index, const std::string& failure) {
        if (batch_.done()) batch_ = Outcome::Failed(failure);
        Set(index, JoinRowState::Failed, {}, failure);
    }
    Outcome Cancelled(size_t index) {
        Set(index, JoinRowState::Cancelled, {}, {});
        return Outcome::Cancelled();
    }
    const Outcome& Batch() const { return batch_; }

private:
    void Set(size_t index, JoinRowState state, std::string target, std::string failure) {
        BatchJoinRow& row = rows_[index];
        row.state = state;
        row.targetPath = std::move(target);
        row.failure = std::move(failure);
        if (observer_ != nullptr) observer_->OnRowChanged(index);
    }

    std::vector<BatchJoinRow>& rows_;
    IBatchJoinObserver* observer_;
    Outcome batch_ = Outcome::Done();
};

// The batch with its re-encoding rows on worker threads (see the header).
class CSideBySideBatch {
public:
    CSideBySideBatch(const JoinRequest& request, std::vector<BatchJoinRow>& rows, IProgressDialog* dialog,
                     IBatchJoinObserver* observer, int jobs)
        : request_(request), rows_(rows), states_(rows, observer), dialog_(dialog), pool_(jobs) {
        AddSources(run_, request, rows);
    }

    ~CSideBySideBatch() {
        for (const std::unique_ptr<Row>& row : open_) StopRow(*row);
        for (const std::unique_ptr<Row>& row : abandoned_) StopRow(*row);
    }

    Outcome Run() {
        while (current_ < rows_.size()) {
            CollectEnded(Posted() > 0 ? kTick : std::chrono::milliseconds(0));
            DropAbandoned();
            while (PlanNext()) {
            }
            Post();
            if (open_.empty() || open_.front()->index != current_) continue;
            Row& row = *open_.front();
            if (!row.announced) Announce(row);
            const JoinRowPlan& plan = row.plan;
            if (!plan.failure.empty()) {
                states_.Failed(row.index, plan.failure);
                Next(false);
                continue;
            }
            if (Cancelled()) return Cancel();
            if (plan.way.byFrames) {
                // Frame copy is bound by the disk: it runs here, in its turn.
                const Outcome joinedRow = RunJoin(*plan.job, plan.way, plan.target, dialog_);
                if (joinedRow.cancelled()) return Cancel();
                Settle(row, joinedRow, joinedRow.done() ? plan.job->PublishedTarget() : std::string());
                continue;
            }
            if (!row.ended) {
                ShowProgress(row);
                PumpMessages();
                continue;
            }
            if (row.outcome.cancelled()) return Cancel();
            std::string published;
            Outcome outcome = row.outcome;
            if (outcome.done()) {
                outcome = row.outputs->Publish(request_.options.placement.ifExists);
                if (outcome.done()) published = row.outputs->Published().front();
            }
            Settle(row, outcome, published);
        }
        return states_.Batch();
    }

private:
    struct Row {
        size_t index = 0;
        JoinRowPlan plan;
        std::unique_ptr<COutputSet> outputs;
        std::unique_ptr<CWorkerProgress> progress;
        uint64_t id = 0;  // the pool's id of its work
        bool announced = false;
        bool posted = false;
        bool ended = false;
        Outcome outcome;  // the worker's, read once the pool listed the row as ended
    };

    int Posted() const {
        int posted = 0;
        for (const std::unique_ptr<Row>& row : open_) posted += row->posted && !row->ended ? 1 : 0;
        for (const std::unique_ptr<Row>& row : abandoned_) posted += row->posted && !row->ended ? 1 : 0;
        return posted;
    }

    bool Cancelled() const { return dialog_ != nullptr && dialog_->cancelled.load(std::memory_order_relaxed) != 0; }

    void CollectEnded(std::chrono::milliseconds wait) {
        for (const uint64_t id : pool_.WaitForEnded(wait)) {
            for (const std::unique_ptr<Row>& row : open_) row->ended = row->ended || (row->posted && row->id == id);
            for (const std::unique_ptr<Row>& row : abandoned_) row->ended = row->ended || (row->posted && row->id == id);
        }
    }

    // Names row nextPlan_ in its turn and readies its job; false when no row may be planned now.
    bool PlanNext() {
        if (nextPlan_ >= rows_.size() || !abandoned_.empty()) return false;
        if (open_.size() >= static_cast<size_t>(pool_.Workers()) + kRowsAhead) return false;
        auto row = std::make_unique<Row>();
        row->index = nextPlan_++;
        row->plan = PlanJoinRow(request_, rows_[row->index], run_);
        if (row->plan.failure.empty() && !row->plan.way.byFrames) {
            row->outputs = std::make_unique<COutputSet>(run_);
            row->plan.job->SetOutputSet(row->outputs.get());
            row->progress = std::make_unique<CWorkerProgress>();
        }
        open_.push_back(std::move(row));
        return true;
    }

    // Starts re-encoding rows, in list order, while a worker is free.
    void Post() {
        for (const std::unique_ptr<Row>& row : open_) {
            if (Posted() >= pool_.Workers()) return;
            if (row->posted || !row->plan.failure.empty() || row->plan.way.byFrames) continue;
            row->posted = true;
            row->id = nextId_++;
            Row* running = row.get();
            pool_.Post(running->id, [running](int) {
                const JoinRowPlan& plan = running->plan;
                running->outcome = RunJoin(*plan.job, plan.way, plan.target, running->progress.get());
            });
        }
    }

    void Announce(Row& row) {
        states_.Joining(row.index);
        row.announced = true;
        barReady_ = false;
        shownText_.clear();
    }

    // The row ended with outcome; published: the name its target took. A row that did not
    // take the name it was given changed what the rows after it were named against.
    void Settle(Row& row, const Outcome& outcome, const std::string& published) {
        if (outcome.done()) {
            states_.Joined(row.index, published);
        } else {
            if (row.outputs) row.outputs->Discard();
            run_.Release(row.plan.target);
            states_.Failed(row.index, outcome.message);
        }
        Next(published != row.plan.target);
    }

    // The row shown is done: the next one is shown; changed: the rows named after it are
    // named again.
    void Next(bool changed) {
        open_.pop_front();
        ++current_;
        if (!changed || open_.empty()) return;
        for (std::unique_ptr<Row>& row : open_) {
            StopRow(*row);
            abandoned_.push_back(std::move(row));
        }
        open_.clear();
        nextPlan_ = current_;
    }

    void StopRow(Row& row) {
        if (row.progress) row.progress->cancelled.store(1);
    }

    // Rows given up whose work has stopped leave nothing and give their names back.
    void DropAbandoned() {
        for (auto it = abandoned_.begin(); it != abandoned_.end();) {
            Row& row = **it;
            if (row.posted && !row.ended) {
                ++it;
                continue;
            }
            if (row.plan.failure.empty()) {
                if (row.outputs) row.outputs->Discard();
                run_.Release(row.plan.target);
            }
            it = abandoned_.erase(it);
        }
    }

    // The row shown ends Cancelled; every row in flight stops and leaves nothing.
    Outcome Cancel() {
        for (const std::unique_ptr<Row>& row : open_) StopRow(*row);
        while (Posted() > 0) {
            CollectEnded(kTick);
            PumpMessages();
        }
        for (std::unique_ptr<Row>& row : open_) abandoned_.push_back(std::move(row));
        open_.clear();
        DropAbandoned();
        return states_.Cancelled(current_);
    }

    // The dialog follows the shown row's worker.
    void ShowProgress(const Row& row) {
        if (dialog_ == nullptr || !row.progress) return;
        const std::string text = row.progress->StatusText();
        if (!text.empty() && text != shownText_) {
            dialog_->SetStatusText(text);
            shownText_ = text;
        }
        IProgressBar& bar = dialog_->Bar();
        if (!barReady_) {
            barWidth_ = std::max(bar.Steps(), 1);
            bar.SetRange(0, barWidth_);
            bar.SetPosition(0);
            barPosition_ = 0;
            barReady_ = true;
        }
        const int position = static_cast<int>(row.progress->Fraction() * barWidth_);
        if (position > barPosition_) {
            bar.SetPosition(position);
            barPosition_ = position;
        }
    }

    const JoinRequest& request_;
    const std::vector<BatchJoinRow>& rows_;
    CRowStates states_;
    IProgressDialog* dialog_;
    COutputRun run_;
    std::deque<std::unique_ptr<Row>> open_;       // named and not yet shown done, list order
    std::deque<std::unique_ptr<Row>> abandoned_;  // given up, waiting for their work to stop
    size_t nextPlan_ = 0;
    size_t current_ = 0;
    uint64_t nextId_ = 1;
    bool barReady_ = false;
    int barWidth_ = 1;
    int barPosition_ = 0;
    std::string shownText_;
    CWorkerPool pool_;  // last: joined before the rows go
};

// Whether rows would re-encode: only then are workers worth starting.
size_t ReencodingRows(const JoinRequest& request, const std::vector<BatchJoinRow>& rows) {
    return static_cast<size_t>(std::count_if(rows.begin(), rows.end(), [&](const BatchJoinRow& row) {
        return !ChooseBatchJoinWay(request.options, row.facts, request.joined).byFrames;
    }));
}

}  // namespace

JoinRowPlan PlanJoinRow(const JoinRequest& request, const BatchJoinRow& row, COutputRun& run) {
    JoinRowPlan plan;
    if (!MakeJoinTarget(request.options, run, row.facts.path, plan.target, plan.failure)) return plan;
    if (request.options.autoParams) {
        if (const std::string unread = FirstUnread(row.facts, request.joined); !unread.empty()) {
            run.Release(plan.target);
            plan.target.clear();
            plan.failure = OpenFileFailure(unread);
            return plan;
        }
    }
    plan.job = std::make_unique<CJoinJob>();
    plan.job->SetTargetRule(request.options.placement.ifExists, &run);
    if (request.joinType == JoinType::AppendToEnd) {
        plan.job->AddFile(row.facts.path);
        plan.job->AddFiles(PathsOf(request.joined));
    } else {
        plan.job->AddFiles(PathsOf(request.joined));
        plan.job->AddFile(row.facts.path);
    }
    plan.job->MakeTag(row.tag);
    plan.job->SetChapters(request.options.writeChapters);
    plan.way = ChooseBatchJoinWay(request.options, row.facts, request.joined);
    return plan;
}

Outcome RunBatchJoin(const JoinRequest& request, std::vector<BatchJoinRow>& rows, IProgressDialog* dialog,
                     IBatchJoinObserver* observer) {
    const int jobs = std::max(1, request.jobs);
    if (jobs > 1 && ReencodingRows(request, rows) > 1) {
        CSideBySideBatch batch(request, rows, dialog, observer, jobs);
        return batch.Run();
    }
    COutputRun run;
    AddSources(run, request, rows);
    CRowStates states(rows, observer);
    for (size_t e = 0; e < rows.size(); ++e) {
        states.Joining(e);
        const JoinRowPlan plan = PlanJoinRow(request, rows[e], run);
        if (!plan.failure.empty()) {
            states.Failed(e, plan.failure);
            continue;
        }
        const Outcome joined = RunJoin(*plan.job, plan.way, plan.target, dialog);
        if (joined.done()) {
            states.Joined(e, plan.job->PublishedTarget());
            continue;
        }
        run.Release(plan.target);
        if (joined.cancelled()) return states.Cancelled(e);
        states.Failed(e, joined.message);
    }
    return states.Batch();
}

size_t FirstJoinedRow(const std::vector<BatchJoinRow>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].targetPath.empty()) return i;
    }
    return rows.size();
}

}  // namespace corvane
