// The steps each rule plans: measures, numbers, names and how a batch numbers on; what the
// runners then do with them is tested by the cut plans and the parallel cut.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "engine/cut/CutPlans.h"
#include "support/Mp3Factory.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// A step as one line: kind, measure and its value, index/count, sequence, row, name.
std::string Describe(const SourcePlan& plan) {
    std::ostringstream text;
    size_t named = 0;
    for (const CutStep& step : plan.steps) {
        const bool piece = step.kind == CutStep::Kind::Piece;
        text << (piece ? "piece " : "skip ");
        switch (step.measure) {
            case CutStep::Measure::Bytes: text << step.bytes << "B"; break;
            case CutStep::Measure::Tenths: text << step.tenths << "t"; break;
            case CutStep::Measure::Samples: text << "@" << step.endSample; break;
            case CutStep::Measure::ToEnd: text << "end"; break;
        }
        if (piece) {
            text << " " << step.index << "/" << step.count << " #" << step.sequence << " "
                 << fs::path(plan.names[named++]).filename().string();
        }
        text << ";";
    }
    return text.str();
}

class CutPlanStepsTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EncodeOptions o;
        o.seconds = 10;
        source = (dir.path() / "song.mp3").string();
        test::WriteFile(source, test::EncodeMp3(o));
        ctx.options.placement.folder = OutputFolder::Specific;
        ctx.options.placement.specificFolder = (dir.path() / "out").string();
        ctx.options.nameTemplate = "%F%-%P%-%S%.mp3";
    }
    test::TempDir dir;
    std::string source;
    CutContext ctx;
    SourcePlan plan;
};

// A frame copy ends each piece where the source reaches a place (3.3 s, 6.6 s at 44100 Hz),
// so nothing a piece repeats for the decoder moves the next end; a re-encoding cut keeps
// lengths, each piece a function of where it starts.
TEST_F(CutPlanStepsTest, WholeFileRulesPlanEqualPiecesAndTheRestToTheEnd) {
    ASSERT_TRUE(CutFileByCount(ctx, source, 100, 3, plan).done());
    EXPECT_EQ(Describe(plan), "piece @145530 1/3 #1 song-1-1.mp3;piece @291060 2/3 #2 song-2-2.mp3;"
                              "piece end 3/3 #3 song-3-3.mp3;");
    CutContext reencoding;  // a run of its own: the names above are not taken in it
    reencoding.options = ctx.options;
    reencoding.options.reencode = true;
    SourcePlan reencoded;
    ASSERT_TRUE(CutFileByCount(reencoding, source, 100, 3, reencoded).done());
    EXPECT_EQ(Describe(reencoded), "piece 33t 1/3 #1 song-1-1.mp3;piece 33t 2/3 #2 song-2-2.mp3;"
                                   "piece end 3/3 #3 song-3-3.mp3;");
    SourcePlan bySize;
    ASSERT_TRUE(CutFileBySize(ctx, source, 100, 160000, "60000", static_cast<SizeUnit>(1), bySize).done());
    EXPECT_EQ(Describe(bySize), "piece 60000B 1/3 #1 song-1-1_1.mp3;piece 60000B 2/3 #2 song-2-2_1.mp3;"
                                "piece end 3/3 #3 song-3-3_1.mp3;");
}

TEST_F(CutPlanStepsTest, ABatchNumbersOnAndStopsAfterTheFirstPieces) {
    ctx.options.firstPiecesOnly = true;
    ctx.options.firstPieces = 2;
    ASSERT_TRUE(BatchCutByTime(ctx, source, 10, 0, 3, 5, plan).done());
    EXPECT_EQ(Describe(plan), "piece @132300 1/4 #5 song-1-5.mp3;piece @264600 2/4 #6 song-2-6.mp3;");
    EXPECT_EQ(plan.sequenceRule, SequenceRule::PiecesCut);
    SourcePlan range;
    ASSERT_TRUE(BatchCutRange(ctx, source, 10, "2.5", "0", 7, range).done());
    EXPECT_EQ(Describe(range), "skip @110250;piece end 1/1 #7 song-1-7.mp3;");
    EXPECT_EQ(range.sequenceRule, SequenceRule::PiecesKept);
}

TEST_F(CutPlanStepsTest, RowsSkipWhatIsUncheckedAndEndWhereTheyKnowExactly) {
    std::vector<PieceEntry> rows = {{0, 20, true, {}, {}, -1, {}},
                                    {20, 50, false, {}, {}, 220500, {}},
                                    {50, 80, true, {}, {}, 352800, TagFields{0, "Own", {}, {}, {}, {}, {}}},
                                    {80, 100, false, {}, {}, -1, {}}};
    ctx.options.nameTemplate = "%F%-%P%-%I%.mp3";
    ASSERT_TRUE(CutFileByPieces(ctx, source, rows, plan).done());
    // The unchecked last row is no step; the third piece is named by its own tag, the first by
    // the source's (which has none).
    EXPECT_EQ(Describe(plan), "piece @88200 1/4 #1 song-1-.mp3;skip @220500;piece @352800 3/4 #3 song-3-Own.mp3;");
    EXPECT_TRUE(plan.ownPlaces);
    EXPECT_EQ(plan.steps[2].row, 2);
}

TEST_F(CutPlanStepsTest, ANameThatCannotBeSettledEndsTheSteps) {
    ctx.options.placement.ifExists = TargetExists::Skip;
    fs::create_directories(dir.path() / "out");
    test::WriteFile((dir.path() / "out" / "song-2-2.mp3").string(), test::Bytes{'x'});
    ASSERT_TRUE(CutFileByCount(ctx, source, 100, 3, plan).done());
    EXPECT_EQ(Describe(plan), "piece @145530 1/3 #1 song-1-1.mp3;");
    EXPECT_EQ(plan.namingFailure, "Target exists and skipped");
}

}  // namespace
}  // namespace corvane
