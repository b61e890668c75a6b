// Tests of the batch join: the row planner, join order, per-row tags and states, failures and cancel.
#include "engine/join/BatchJoin.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/base/PathUtil.h"
#include "engine/mp3/OutputFile.h"
#include "engine/output/OutputRun.h"
#include "engine/output/PieceNaming.h"
#include "support/Mp3Factory.h"
#include "support/SplitAtFirstFrame.h"

namespace corvane {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

Bytes BuildTag(const std::string& title, int track) { return BuildId3v2Tag(title, "", "", "", "", "", track); }

class CNullBar : public IProgressBar {
public:
    int Steps() const override { return 100; }
    void SetRange(int, int) override {}
    void SetPosition(int) override {}
};

class CCancellingDialog : public IProgressDialog {
public:
    IProgressBar& Bar() override { return bar_; }
    void SetStatusText(const std::string& text) override {
        if (text == cancelOn) cancelled = 1;
    }
    std::string cancelOn;

private:
    CNullBar bar_;
};

// A row's state in words, with its target's file name or its failure.
std::string StateOf(const BatchJoinRow& row) {
    switch (row.state) {
    case JoinRowState::Waiting: return "Waiting";
    case JoinRowState::Joining: return "Joining";
    case JoinRowState::Joined: return "Joined " + FileNameOf(row.targetPath);
    case JoinRowState::Failed: return "Failed " + row.failure;
    case JoinRowState::Cancelled: return "Cancelled";
    }
    return {};
}

class CRecordingObserver : public IBatchJoinObserver {
public:
    explicit CRecordingObserver(const std::vector<BatchJoinRow>& rows) : rows_(rows) {}
    void OnRowChanged(size_t index) override { events.push_back(std::to_string(index) + ": " + StateOf(rows_[index])); }
    std::vector<std::string> events;

private:
    const std::vector<BatchJoinRow>& rows_;
};

class BatchJoin : public ::testing::Test {
protected:
    void SetUp() override {
        // LAME's Info frame first: a target's frames after its header frame are the inputs' after theirs.
        test::EncodeOptions o;
        o.infoFrame = true;
        o.seconds = 1.0;
        a = test::EncodeMp3(o);
        o.seconds = 1.5;
        b = test::EncodeMp3(o);
        o.seconds = 0.5;
        j1 = test::EncodeMp3(o);
        o.seconds = 0.7;
        j2 = test::EncodeMp3(o);
        for (const auto& [name, data] : {std::pair{"a.mp3", a}, {"b.mp3", b}, {"j1.mp3", j1}, {"j2.mp3", j2}}) {
            test::WriteFile(dir / name, data);
        }
        request.joinType = JoinType::AppendToEnd;
        request.joined.resize(2);
        ReadJoinInputFacts(dir / "j1.mp3", request.joined[0]);
        ReadJoinInputFacts(dir / "j2.mp3", request.joined[1]);
        rows.resize(2);
        ReadJoinInputFacts(dir / "a.mp3", rows[0].facts);
        ReadJoinInputFacts(dir / "b.mp3", rows[1].facts);
    }
    test::TempDir dir;
    Bytes a, b, j1, j2;
    JoinRequest request;
    std::vector<BatchJoinRow> rows;
};

TEST_F(BatchJoin, AppendPutsTheMainFileFirstWithItsRowTag) {
    request.options.writeChapters = false;  // the row tags alone
    rows[0].tag.title = "Main A";
    rows[0].tag.track = 4;
    CRecordingObserver observer(rows);
    ASSERT_TRUE(RunBatchJoin(request, rows, nullptr, &observer).done());

    EXPECT_EQ(rows[0].state, JoinRowState::Joined);
    EXPECT_EQ(rows[0].targetPath, dir / "a_joined.mp3");
    const test::FirstFrameSplit joinedA = test::SplitAtFirstFrame(test::ReadFile(dir / "a_joined.mp3"));
    EXPECT_EQ(joinedA.tag, WithoutEncoderFrame(BuildTag("Main A", 4)));
    EXPECT_EQ(joinedA.rest, test::AfterFirstFrames({a, j1, j2}));
    const test::FirstFrameSplit joinedB = test::SplitAtFirstFrame(test::ReadFile(dir / "b_joined.mp3"));
    EXPECT_EQ(joinedB.tag, Bytes{});  // no tag fields: no tag
    EXPECT_EQ(joinedB.rest, test::AfterFirstFrames({b, j1, j2}));
    EXPECT_EQ(observer.events, (std::vector<std::string>{"0: Joining", "0: Joined a_joined.mp3", "1: Joining",
                                                         "1: Joined b_joined.mp3"}));
    EXPECT_EQ(FirstJoinedRow(rows), 0u);
}

TEST_F(BatchJoin, CancelMarksTheRowAndStopsTheBatch) {
    CCancellingDialog dialog;
    dialog.cancelOn = "Joining 3 files into a_joined.mp3...40%";
    EXPECT_TRUE(RunBatchJoin(request, rows, &dialog, nullptr).cancelled());
    EXPECT_EQ(rows[0].state, JoinRowState::Cancelled);
    EXPECT_EQ(rows[1].state, JoinRowState::Waiting);
    EXPECT_FALSE(fs::exists(dir / "a_joined.mp3"));
    EXPECT_FALSE(fs::exists(dir / "b_joined.mp3"));
    EXPECT_EQ(FirstJoinedRow(rows), rows.size());
}

TEST_F(BatchJoin, UnreadableFilesFailTheirRowsUnderAuto) {
    request.joined.push_back({});
    ReadJoinInputFacts(dir / "gone.mp3", request.joined.back());
    const Outcome outcome = RunBatchJoin(request, rows, nullptr, nullptr);
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.message, rows[0].failure);
    EXPECT_EQ(rows[0].state, JoinRowState::Failed);
    EXPECT_EQ(rows[0].failure, "Failed to open file \"" + (dir / "gone.mp3") + "\".");
    EXPECT_FALSE(fs::exists(dir / "a_joined.mp3"));
}

// ---- The row planner ----

TEST_F(BatchJoin, PlanPutsTheInputsInJoinTypeOrderAndChoosesTheWay) {
    COutputRun run;
    request.joinType = JoinType::InsertAtBeginning;
    const JoinRowPlan plan = PlanJoinRow(request, rows[1], run);
    EXPECT_EQ(plan.failure, "");
    EXPECT_EQ(plan.target, dir / "b_joined.mp3");
    EXPECT_TRUE(run.IsReserved(plan.target));
    ASSERT_NE(plan.job, nullptr);
    EXPECT_EQ(plan.job->Inputs(), (std::vector<std::string>{dir / "j1.mp3", dir / "j2.mp3", dir / "b.mp3"}));
    EXPECT_TRUE(plan.job->TagBytes().empty());
    EXPECT_TRUE(plan.way.byFrames);  // alike files
    EXPECT_FALSE(fs::exists(plan.target));
}

TEST_F(BatchJoin, PlanRefusesUnreadFactsOnlyUnderAutoAndGivesTheNameBack) {
    COutputRun run;
    rows[0].facts.factsRead = false;
    JoinRowPlan plan = PlanJoinRow(request, rows[0], run);
    EXPECT_EQ(plan.failure, "Failed to open file \"" + (dir / "a.mp3") + "\".");
    EXPECT_EQ(plan.job, nullptr);
    EXPECT_FALSE(run.IsReserved(dir / "a_joined.mp3"));

    request.options.autoParams = false;
    plan = PlanJoinRow(request, rows[0], run);
    EXPECT_EQ(plan.failure, "");
    EXPECT_FALSE(plan.way.byFrames);
    EXPECT_EQ(plan.way.params, request.options.encoding);
}

// ---- Rows side by side ----

// Every file in a folder, hidden ones too, with its bytes.
std::map<std::string, Bytes> Contents(const fs::path& folder) {
    std::map<std::string, Bytes> files;
    if (!fs::exists(folder)) return files;
    for (const auto& e : fs::directory_iterator(folder)) files[e.path().filename().string()] = test::ReadFile(e.path());
    return files;
}

// Cancels as soon as a status text starts with cancelOn.
class CPrefixCancellingDialog : public IProgressDialog {
public:
    IProgressBar& Bar() override { return bar_; }
    void SetStatusText(const std::string& text) override {
        if (text.rfind(cancelOn, 0) == 0) cancelled = 1;
    }
    std::string cancelOn;

private:
    CNullBar bar_;
};

class BatchJoinSideBySide : public BatchJoin {
protected:
    void SetUp() override {
        BatchJoin::SetUp();
        request.joinType = JoinType::InsertAtBeginning;
        request.options.autoParams = false;  // every row re-encodes
        request.options.placement.folder = OutputFolder::Specific;
        test::WriteFile(dir / "c.mp3", a);
        rows.resize(3);
        ReadJoinInputFacts(dir / "c.mp3", rows[2].facts);
    }
    void Into(const std::string& folder) { request.options.placement.specificFolder = dir / folder; }
    // The batch on jobs workers.
    Outcome Run(std::vector<BatchJoinRow>& batch, int jobs, IProgressDialog* dialog = nullptr,
                IBatchJoinObserver* observer = nullptr) {
        request.jobs = jobs;
        return RunBatchJoin(request, batch, dialog, observer);
    }
};

TEST_F(BatchJoinSideBySide, RowsAreJoinedReportedAndNamedAsOneAfterAnother) {
    std::vector<std::string> events[2];
    for (const int jobs : {1, 2}) {
        Into("out" + std::to_string(jobs));
        std::vector<BatchJoinRow> batch = rows;
        batch[1].tag.title = "Main B";
        CRecordingObserver observer(batch);
        ASSERT_TRUE(Run(batch, jobs, nullptr, &observer).done());
        events[jobs - 1] = observer.events;
        EXPECT_EQ(batch[2].targetPath, dir / ("out" + std::to_string(jobs) + "/c_joined.mp3"));
    }
    EXPECT_EQ(events[1], events[0]);
    EXPECT_EQ(Contents(dir.path() / "out2"), Contents(dir.path() / "out1"));
    EXPECT_EQ(Contents(dir.path() / "out2").size(), 3u);
}

TEST_F(BatchJoinSideBySide, AFailedRowHasTheRowsAfterItNamedAgain) {
    // Two main files named x.mp3 share a folder of targets; the first cannot be read.
    fs::create_directories(dir.path() / "one");
    fs::create_directories(dir.path() / "two");
    test::WriteFile(dir / "two/x.mp3", b);
    rows.resize(2);
    rows[0].facts.path = dir / "one/x.mp3";
    ReadJoinInputFacts(dir / "two/x.mp3", rows[1].facts);
    std::vector<std::string> outputs[2];
    for (const int jobs : {1, 2}) {
        Into("out" + std::to_string(jobs));
        std::vector<BatchJoinRow> batch = rows;
        EXPECT_TRUE(Run(batch, jobs).failed());
        outputs[jobs - 1] = {StateOf(batch[0]), StateOf(batch[1])};
    }
    EXPECT_EQ(outputs[0], (std::vector<std::string>{"Failed Failed to open file \"" + (dir / "one/x.mp3") + "\".",
                                                    "Joined x_joined.mp3"}));
    EXPECT_EQ(outputs[1], outputs[0]);
    EXPECT_EQ(Contents(dir.path() / "out2"), Contents(dir.path() / "out1"));
}

TEST_F(BatchJoinSideBySide, CancelLeavesNothingOfTheRowsInFlight) {
    Into("out");
    CPrefixCancellingDialog dialog;
    dialog.cancelOn = "Joining 3 files into a_joined.mp3";
    CRecordingObserver observer(rows);
    EXPECT_TRUE(Run(rows, 2, &dialog, &observer).cancelled());
    EXPECT_EQ(observer.events, (std::vector<std::string>{"0: Joining", "0: Cancelled"}));
    EXPECT_TRUE(Contents(dir.path() / "out").empty());
}

TEST_F(BatchJoinSideBySide, AFailedWriteLeavesNothingOfItsRow) {
    Into("out");
    InjectOutputFault(OutputCall::Write, 1);
    const Outcome outcome = Run(rows, 2);
    InjectOutputFault(OutputCall::Write, 0);
    EXPECT_TRUE(outcome.failed());
    std::vector<std::string> written;
    int failed = 0;
    for (const BatchJoinRow& row : rows) {
        if (row.targetPath.empty()) {
            ++failed;
            EXPECT_EQ(row.failure.rfind("Failed to write file", 0), 0u) << row.failure;
        } else {
            written.push_back(FileNameOf(row.targetPath));
        }
    }
    EXPECT_EQ(failed, 1);
    std::vector<std::string> onDisk;
    for (const auto& [name, bytes] : Contents(dir.path() / "out")) onDisk.push_back(name);
    EXPECT_EQ(onDisk, written);
}

}  // namespace
}  // namespace corvane
