// The batch join loop over the main files of the batch joiner.
#include "engine/join/BatchJoin.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>

#include "engine/base/PathUtil.h"
#include "engine/join/JoinJob.h"
#include "engine/join/JoinTarget.h"
#include "engine/output/OutputRun.h"
#include "engine/output/OutputSet.h"

namespace corvane {
namespace {

std::string OverallText(size_t index, size_t count) {
    return "Joining " + std::to_string(index + 1) + " of " + std::to_string(count) + " file(s)...";
}

bool HasTag(const TagFields& tag) {
    return tag.track >= 1 || !tag.title.empty() || !tag.artist.empty() || !tag.album.empty() ||
           !tag.year.empty() || !tag.genre.empty() || !tag.comment.empty();
}

// How long the coordinating thread waits for a row to end before it pumps messages, moves
// the bar and reads the cancel flag again.
constexpr std::chrono::milliseconds kTick{10};
// Rows named ahead of the one shown, besides one per worker.
constexpr size_t kRowsAhead = 2;

// The paths of the joined files, and the first of them whose facts were not read.
std::vector<std::string> JoinedPaths(const std::vector<JoinInputFacts>& joined, std::string& unreadable) {
    std::vector<std::string> paths;
    paths.reserve(joined.size());
    for (const JoinInputFacts& facts : joined) {
        paths.push_back(facts.path);
        if (!facts.factsRead && unreadable.empty()) unreadable = facts.path;
    }
    return paths;
}

// The batch with its re-encoding rows on worker threads (see the header).
class CSideBySideBatch {
public:
    CSideBySideBatch(const JoinerOptions& options, JoinType joinType, std::vector<BatchJoinRow>& rows,
                     const std::vector<JoinInputFacts>& joined, IProgressDialog* dialog, IBatchJoinObserver* observer,
                     int jobs)
        : options_(options), joinType_(joinType), rows_(rows), joined_(joined), dialog_(dialog), observer_(observer),
          pool_(jobs) {
        joinedPaths_ = JoinedPaths(joined, unreadableJoined_);
        run_.AddSources(joinedPaths_);
        for (const BatchJoinRow& row : rows) run_.AddSource(row.facts.path);
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
            if (!row.failure.empty()) {
                Fail(row.index, row.failure);
                Next(false);
                continue;
            }
            if (Cancelled()) return Cancel();
            if (row.way.byFrames) {
                // Frame copy is bound by the disk: it runs here, in its turn.
                const Outcome joinedRow = RunJoin(*row.job, row.way, row.target, dialog_);
                if (joinedRow.cancelled()) return Cancel();
                Settle(row, joinedRow, joinedRow.done() ? row.job->PublishedTarget() : std::string());
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
                outcome = row.outputs->Publish(options_.placement.ifExists);
                if (outcome.done()) published = row.outputs->Published().front();
            }
            Settle(row, outcome, published);
        }
        return batch_;
    }

private:
    struct Row {
        size_t index = 0;
        std::string target;
        std::string failure;  // the row fails with this text at once (naming, unread facts)
        JoinWay way;
        std::unique_ptr<CJoinJob> job;
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
        const BatchJoinRow& facts = rows_[row->index];
        std::string error;
        if (!MakeJoinTarget(options_, run_, facts.facts.path, row->target, error)) {
            row->failure = kJoinFailurePrefix + error;
        } else if (options_.autoParams && (!facts.facts.factsRead || !unreadableJoined_.empty())) {
            run_.Release(row->target);
            row->failure = std::string(kJoinFailurePrefix) + "Failed to open file \"" +
                           (!facts.facts.factsRead ? facts.facts.path : unreadableJoined_) + "\".";
        } else {
            row->job = std::make_unique<CJoinJob>();
            row->job->SetTargetRule(options_.placement.ifExists, &run_);
            if (joinType_ == JoinType::AppendToEnd) {
                row->job->AddFile(facts.facts.path);
                row->job->AddFiles(joinedPaths_);
            } else {
                row->job->AddFiles(joinedPaths_);
                row->job->AddFile(facts.facts.path);
            }
            if (HasTag(facts.tag)) {
                row->job->MakeTag(facts.tag.title, facts.tag.artist, facts.tag.album, facts.tag.year,
                                  facts.tag.comment, facts.tag.genre, facts.tag.track);
            }
            row->way = ChooseBatchJoinWay(options_, facts.facts, joined_);
            if (!row->way.byFrames) {
                row->outputs = std::make_unique<COutputSet>(run_);
                row->job->SetOutputSet(row->outputs.get());
                row->progress = std::make_unique<CWorkerProgress>();
            }
        }
        open_.push_back(std::move(row));
        return true;
    }

    // Starts re-encoding rows, in list order, while a worker is free.
    void Post() {
        for (const std::unique_ptr<Row>& row : open_) {
            if (Posted() >= pool_.Workers()) return;
            if (row->posted || !row->failure.empty() || row->way.byFrames) continue;
            row->posted = true;
            row->id = nextId_++;
            Row* running = row.get();
            pool_.Post(running->id, [running](int) {
                running->outcome = RunJoin(*running->job, running->way, running->target, running->progress.get());
            });
        }
    }

    void Show(size_t index, std::string text) {
        rows_[index].output = std::move(text);
        if (observer_ != nullptr) observer_->OnRowChanged(index);
    }

    void Fail(size_t index, std::string text) {
        if (batch_.done()) batch_ = Outcome::Failed(text);
        Show(index, std::move(text));
    }

    void Announce(Row& row) {
        rows_[row.index].targetPath.clear();
        Show(row.index, kJoiningText);
        if (observer_ != nullptr) {
            observer_->OnOverall(OverallText(row.index, rows_.size()), static_cast<int>(row.index + 1),
                                 static_cast<int>(rows_.size()));
        }
        row.announced = true;
        barReady_ = false;
        shownText_.clear();
    }

    // The row ended with outcome; published: the name its target took. A row that did not
    // take the name it was given changed what the rows after it were named against.
    void Settle(Row& row, const Outcome& outcome, const std::string& published) {
        if (outcome.done()) {
            rows_[row.index].targetPath = published;
            Show(row.index, FileNameOf(published));
        } else {
            if (row.outputs) row.outputs->Discard();
            run_.Release(row.target);
            Fail(row.index, kJoinFailurePrefix + outcome.message);
        }
        Next(published != row.target);
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
            if (row.failure.empty()) {
                if (row.outputs) row.outputs->Discard();
                run_.Release(row.target);
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
        Show(current_, kCancelledText);
        return Outcome::Cancelled();
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
            barWidth_ = std::max(bar.Width(), 1);
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

    const JoinerOptions& options_;
    const JoinType joinType_;
    std::vector<BatchJoinRow>& rows_;
    const std::vector<JoinInputFacts>& joined_;
    IProgressDialog* dialog_;
    IBatchJoinObserver* observer_;
    std::vector<std::string> joinedPaths_;
    std::string unreadableJoined_;
    COutputRun run_;
    std::deque<std::unique_ptr<Row>> open_;       // named and not yet shown done, list order
    std::deque<std::unique_ptr<Row>> abandoned_;  // given up, waiting for their work to stop
    size_t nextPlan_ = 0;
    size_t current_ = 0;
    uint64_t nextId_ = 1;
    Outcome batch_ = Outcome::Done();
    bool barReady_ = false;
    int barWidth_ = 1;
    int barPosition_ = 0;
    std::string shownText_;
    CWorkerPool pool_;  // last: joined before the rows go
};

// Whether rows would re-encode: only then are workers worth starting.
size_t ReencodingRows(const JoinerOptions& options, const std::vector<BatchJoinRow>& rows,
                      const std::vector<JoinInputFacts>& joined) {
    return static_cast<size_t>(std::count_if(rows.begin(), rows.end(), [&](const BatchJoinRow& row) {
        return !ChooseBatchJoinWay(options, row.facts, joined).byFrames;
    }));
}

}  // namespace

Outcome RunBatchJoin(const JoinerOptions& options, JoinType joinType, std::vector<BatchJoinRow>& rows,
                     const std::vector<JoinInputFacts>& joined, IProgressDialog* dialog,
                     IBatchJoinObserver* observer, int jobs) {
    if (jobs > 1 && ReencodingRows(options, rows, joined) > 1) {
        CSideBySideBatch batch(options, joinType, rows, joined, dialog, observer, jobs);
        return batch.Run();
    }
    std::vector<std::string> joinedPaths;
    joinedPaths.reserve(joined.size());
    for (const JoinInputFacts& facts : joined) joinedPaths.push_back(facts.path);
    std::string unreadableJoined;
    for (const JoinInputFacts& facts : joined) {
        if (!facts.factsRead) {
            unreadableJoined = facts.path;
            break;
        }
    }

    // Every main and joined file is a source of the run: no target of the batch replaces one.
    COutputRun run;
    run.AddSources(joinedPaths);
    for (const BatchJoinRow& row : rows) run.AddSource(row.facts.path);

    CJoinJob job;
    job.SetTargetRule(options.placement.ifExists, &run);
    Outcome batch = Outcome::Done();
    for (size_t e = 0; e < rows.size(); ++e) {
        BatchJoinRow& row = rows[e];
        auto show = [&](std::string text) {
            row.output = std::move(text);
            if (observer) observer->OnRowChanged(e);
        };
        auto fail = [&](std::string text) {
            if (batch.done()) batch = Outcome::Failed(text);
            show(std::move(text));
        };
        row.targetPath.clear();
        show(kJoiningText);
        if (observer) observer->OnOverall(OverallText(e, rows.size()), static_cast<int>(e + 1), static_cast<int>(rows.size()));

        std::string target;
        std::string error;
        if (!MakeJoinTarget(options, run, row.facts.path, target, error)) {
            fail(kJoinFailurePrefix + error);
            continue;
        }
        if (options.autoParams && (!row.facts.factsRead || !unreadableJoined.empty())) {
            run.Release(target);
            fail(std::string(kJoinFailurePrefix) + "Failed to open file \"" +
                 (!row.facts.factsRead ? row.facts.path : unreadableJoined) + "\".");
            continue;
        }

        job.Clear();
        if (joinType == JoinType::AppendToEnd) {
            job.AddFile(row.facts.path);
            job.AddFiles(joinedPaths);
        } else {
            job.AddFiles(joinedPaths);
            job.AddFile(row.facts.path);
        }
        if (HasTag(row.tag)) {
            job.MakeTag(row.tag.title, row.tag.artist, row.tag.album, row.tag.year, row.tag.comment, row.tag.genre,
                        row.tag.track);
        }
        const JoinWay way = ChooseBatchJoinWay(options, row.facts, joined);
        const Outcome joinedRow = RunJoin(job, way, target, dialog);
        if (joinedRow.done()) {
            row.targetPath = job.PublishedTarget();
            show(FileNameOf(row.targetPath));
        } else if (joinedRow.cancelled()) {
            run.Release(target);
            show(kCancelledText);
            return Outcome::Cancelled();
        } else {
            run.Release(target);
            fail(kJoinFailurePrefix + joinedRow.message);
        }
    }
    return batch;
}

size_t FirstJoinedRow(const std::vector<BatchJoinRow>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].targetPath.empty()) return i;
    }
    return rows.size();
}

}  // namespace corvane
