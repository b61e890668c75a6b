// Tests of MakeJoinTarget: folders, the "_joined" postfix and the target-exists rules.
#include "engine/join/JoinTarget.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/output/OutputRun.h"
#include "support/Mp3Factory.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

class JoinTarget : public ::testing::Test {
protected:
    void SetUp() override { test::WriteFile(song, {1, 2, 3}); }
    // What MakeJoinTarget gives, or "!" and the error text.
    std::string Target() {
        COutputRun run;
        run.AddSource(song);
        std::string path, error;
        return MakeJoinTarget(options, run, song, path, error) ? path : "!" + error;
    }
    size_t Entries() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
    }
    test::TempDir dir;
    std::string song = dir / "song.mp3";
    JoinerOptions options;
};

TEST_F(JoinTarget, PostfixGoesBesideTheMainFileAndNothingIsLeftBehind) {
    EXPECT_EQ(Target(), dir / "song_joined.mp3");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(JoinTarget, AMainFileNameWithoutExtensionIsKeptWhole) {
    song = dir / "ab";
    test::WriteFile(song, {1});
    EXPECT_EQ(Target(), dir / "ab_joined.mp3");
}

TEST_F(JoinTarget, WithoutPostfixRenameNumbersTheName) {
    options.joinedPostfix = false;
    EXPECT_EQ(Target(), dir / "song_1.mp3");
    test::WriteFile(dir / "song_1.mp3", {});
    EXPECT_EQ(Target(), dir / "song_2.mp3");
}

TEST_F(JoinTarget, OverwriteRefusesTheMainFileItself) {
    options.joinedPostfix = false;
    options.placement.ifExists = TargetExists::Overwrite;
    EXPECT_EQ(Target(), "!Target file name is same as original file");
    EXPECT_EQ(test::ReadFile(song), (test::Bytes{1, 2, 3}));
}

TEST_F(JoinTarget, SkipRefusesAnExistingTarget) {
    options.placement.ifExists = TargetExists::Skip;
    test::WriteFile(dir / "song_joined.mp3", {});
    EXPECT_EQ(Target(), "!Target exists and skipped");
}

TEST_F(JoinTarget, SpecificFolderIsCreatedAndCanRebuildTheTree) {
    options.placement.folder = OutputFolder::Specific;
    options.placement.specificFolder = dir / "out/deep";
    EXPECT_EQ(Target(), dir / "out/deep/song_joined.mp3");
    EXPECT_TRUE(fs::is_directory(dir.path() / "out/deep"));

    options.placement.specificFolder = dir / "tree/";
    options.placement.treeFolders = true;
    const std::string expected = (dir.path() / "tree").string() + dir.path().string() + "/song_joined.mp3";
    EXPECT_EQ(Target(), expected);
    EXPECT_TRUE(fs::is_directory(fs::path(expected).parent_path()));
}

TEST_F(JoinTarget, FolderAndFileFailuresNameWhatCouldNotBeCreated) {
    options.placement.folder = OutputFolder::Specific;
    EXPECT_EQ(Target(), "!Failed to create folder \"\"");
    options.placement.specificFolder = song;  // a file in the way
    EXPECT_EQ(Target(), "!Failed to create folder \"" + song + "\"");

    options.placement.folder = OutputFolder::SameAsSource;
    options.placement.ifExists = TargetExists::Overwrite;
    fs::create_directory(dir.path() / "song_joined.mp3");  // a folder where the file would go
    EXPECT_EQ(Target(), "!Failed to create file \"" + (dir / "song_joined.mp3") + "\"");
}

}  // namespace
}  // namespace corvane
