// Tests of the batch join loop: join order, per-row tags and results, failures and cancel.
#include "engine/join/BatchJoin.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/output/PieceNaming.h"
#include "support/Mp3Factory.h"

namespace corvane {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

Bytes BuildTag(const std::string& title, int track) { return BuildId3v2Tag(title, "", "", "", "", "", track); }

class CNullBar : public IProgressBar {
public:
    int Width() const override { return 100; }
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

class CRecordingObserver : public IBatchJoinObserver {
public:
    explicit CRecordingObserver(const std::vector<BatchJoinRow>& rows) : rows_(rows) {}
    void OnOverall(const std::string& text, int position, int count) override {
        events.push_back(text + " " + std::to_string(position) + "/" + std::to_string(count));
    }
    void OnRowChanged(size_t index) override { events.push_back(std::to_string(index) + ": " + rows_[index].output); }
    std::vector<std::string> events;

private:
    const std::vector<BatchJoinRow>& rows_;
};

class BatchJoin : public ::testing::Test {
protected:
    void SetUp() override {
        test::EncodeOptions o;
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
        joined.resize(2);
        ReadJoinInputFacts(dir / "j1.mp3", joined[0]);
        ReadJoinInputFacts(dir / "j2.mp3", joined[1]);
        rows.resize(2);
        ReadJoinInputFacts(dir / "a.mp3", rows[0].facts);
        ReadJoinInputFacts(dir / "b.mp3", rows[1].facts);
    }
    test::TempDir dir;
    Bytes a, b, j1, j2;
    std::vector<JoinInputFacts> joined;
    std::vector<BatchJoinRow> rows;
    JoinerOptions options;
};

TEST_F(BatchJoin, AppendPutsTheMainFileFirstWithItsRowTag) {
    rows[0].tag.title = "Main A";
    rows[0].tag.track = 4;
    CRecordingObserver observer(rows);
    ASSERT_TRUE(RunBatchJoin(options, JoinType::AppendToEnd, rows, joined, nullptr, &observer).done());

    EXPECT_EQ(rows[0].targetPath, dir / "a_joined.mp3");
    EXPECT_EQ(rows[0].output, "a_joined.mp3");
    EXPECT_EQ(test::ReadFile(dir / "a_joined.mp3"), test::Concat({BuildTag("Main A", 4), a, j1, j2}));
    EXPECT_EQ(test::ReadFile(dir / "b_joined.mp3"), test::Concat({b, j1, j2}));  // no tag fields: no tag
    EXPECT_EQ(observer.events, (std::vector<std::string>{
                                   "0: Joining...", "Joining 1 of 2 file(s)... 1/2", "0: a_joined.mp3",
                                   "1: Joining...", "Joining 2 of 2 file(s)... 2/2", "1: b_joined.mp3"}));
    EXPECT_EQ(FirstJoinedRow(rows), 0u);
}

TEST_F(BatchJoin, CancelMarksTheRowAndStopsTheBatch) {
    CCancellingDialog dialog;
    dialog.cancelOn = "Joining 3 files into a_joined.mp3...40%";
    EXPECT_TRUE(RunBatchJoin(options, JoinType::AppendToEnd, rows, joined, &dialog, nullptr).cancelled());
    EXPECT_EQ(rows[0].output, "Cancelled");
    EXPECT_EQ(rows[1].output, "");
    EXPECT_FALSE(fs::exists(dir / "a_joined.mp3"));
    EXPECT_FALSE(fs::exists(dir / "b_joined.mp3"));
    EXPECT_EQ(FirstJoinedRow(rows), rows.size());
}

TEST_F(BatchJoin, UnreadableFilesFailTheirRowsUnderAuto) {
    joined.push_back({});
    ReadJoinInputFacts(dir / "gone.mp3", joined.back());
    const Outcome outcome = RunBatchJoin(options, JoinType::AppendToEnd, rows, joined, nullptr, nullptr);
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.message, rows[0].output);
    EXPECT_EQ(rows[0].output, "Join failure. Failed to open file \"" + (dir / "gone.mp3") + "\".");
    EXPECT_FALSE(fs::exists(dir / "a_joined.mp3"));
}

}  // namespace
}  // namespace corvane
