// Tests of COutputSet and the rename rule's numbers: what two runs writing one folder do.
#include "engine/output/OutputSet.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/output/OutputRun.h"
#include "engine/output/PieceNaming.h"
#include "support/Mp3Factory.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// Settles name in run and writes bytes into a new file of set for it.
std::string WritePending(COutputRun& run, COutputSet& set, TargetExists rule, const std::string& name,
                         const Bytes& bytes) {
    std::string path, error;
    EXPECT_TRUE(SettleTarget(rule, run, name, path, error)) << error;
    COutputFile& file = set.Add();
    EXPECT_TRUE(file.Create(path));
    file.Write(bytes.data(), bytes.size());
    EXPECT_TRUE(file.Close());
    return path;
}

TEST(OutputSet, TwoRunsThatChoseOneNameNeverLoseAPiece) {
    test::TempDir dir;
    const std::string name = dir / "x-1.mp3";
    COutputRun firstRun, secondRun;
    COutputSet first(firstRun), second(secondRun);
    // Both settle the name while it is free; the second to publish takes the next number.
    EXPECT_EQ(WritePending(firstRun, first, TargetExists::Rename, name, {1}), name);
    EXPECT_EQ(WritePending(secondRun, second, TargetExists::Rename, name, {2}), name);
    EXPECT_TRUE(first.Publish(TargetExists::Rename).done());
    EXPECT_TRUE(second.Publish(TargetExists::Rename).done());
    EXPECT_EQ(second.Published(), std::vector<std::string>{dir / "x-1_1.mp3"});
    EXPECT_EQ(test::ReadFile(name), Bytes{1});
    EXPECT_EQ(test::ReadFile(dir / "x-1_1.mp3"), Bytes{2});
}

TEST(OutputSet, SkipDropsAnOutputWhoseNameWasTakenMeanwhile) {
    test::TempDir dir;
    COutputRun run;
    COutputSet set(run);
    WritePending(run, set, TargetExists::Skip, dir / "a.mp3", {1});
    WritePending(run, set, TargetExists::Skip, dir / "b.mp3", {2});
    test::WriteFile(dir / "a.mp3", {9});
    const Outcome outcome = set.Publish(TargetExists::Skip);
    EXPECT_EQ(outcome.message, "Target exists and skipped");
    EXPECT_EQ(set.Published(), std::vector<std::string>{dir / "b.mp3"});
    EXPECT_EQ(test::ReadFile(dir / "a.mp3"), Bytes{9});
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(OutputSet, DiscardLeavesOnlyWhatWasThereAndFreesTheNames) {
    test::TempDir dir;
    test::WriteFile(dir / "a.mp3", {9});
    COutputRun run;
    {
        COutputSet set(run);
        WritePending(run, set, TargetExists::Overwrite, dir / "a.mp3", {1});
        EXPECT_TRUE(run.IsReserved(dir / "a.mp3"));
        set.Discard();
        EXPECT_FALSE(run.IsReserved(dir / "a.mp3"));
    }
    EXPECT_EQ(test::ReadFile(dir / "a.mp3"), Bytes{9});
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(OutputNames, NumbersGoIntoTheFileNameBeforeItsExtension) {
    EXPECT_EQ(NumberedCandidate("a/x.mp3", 2), "a/x_2.mp3");
    EXPECT_EQ(NumberedCandidate("a/ab", 1), "a/ab_1");          // shorter than an extension
    EXPECT_EQ(NumberedCandidate("d.x/ab", 3), "d.x/ab_3");      // a dot in the folder stays there
    EXPECT_EQ(NumberedCandidate("x", 1), "x_1");
}

TEST(OutputNames, BaseNamesLoseOnlyARealExtension) {
    EXPECT_EQ(PieceBaseName("/m/live.mp3"), "live");
    EXPECT_EQ(PieceBaseName("/m/live.MP3"), "live");
    EXPECT_EQ(PieceBaseName("/m/a.wav"), "a");
    EXPECT_EQ(PieceBaseName("/m/a.flac"), "a.flac");
    EXPECT_EQ(PieceBaseName("/m/ab"), "ab");
    EXPECT_EQ(PieceBaseName("/m/Ωμέγα"), "Ωμέγα");          // ends in a two-byte character
    EXPECT_EQ(PieceBaseName("/m/song.ωμέ"), "song");        // three characters, six bytes
    EXPECT_EQ(PieceBaseName("/m/...mp3"), "..");
}

TEST(OutputNames, NoNameComponentNamesTheFolderOrItsParent) {
    EXPECT_EQ(SafeNameComponent(".."), "__");
    EXPECT_EQ(SafeNameComponent("."), "_");
    EXPECT_EQ(SafeNameComponent(""), "_");
    EXPECT_EQ(SafeNameComponent("..."), "...");
    EXPECT_EQ(ExpandNameTemplate("%F%", "..", nullptr, 1, 2, 1, 1), "__");
    EXPECT_EQ(ExpandNameTemplate("%I%", "", nullptr, 1, 2, 1, 1), "Title");
    EXPECT_EQ(ExpandNameTemplate(std::string("a\0b/%P%", 7), "", nullptr, 1, 2, 1, 1), "a b 1");
}

TEST(OutputNames, OverwriteNeverReplacesADeviceOrAFolder) {
    test::TempDir dir;
    fs::create_directory(dir / "d.mp3");
    COutputRun run;
    std::string path, error;
    EXPECT_FALSE(SettleTarget(TargetExists::Overwrite, run, dir / "d.mp3", path, error));
    EXPECT_EQ(error, "Failed to create file \"" + (dir / "d.mp3") + "\"");
    EXPECT_FALSE(IsReplaceableTarget("/dev/null"));
}

}  // namespace
}  // namespace corvane
