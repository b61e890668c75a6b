// Path helpers: names of paths, folders made on disk, same-file checks.
#include "engine/base/PathUtil.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/Mp3Factory.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void Touch(const std::string& path, const std::string& text = "x") {
    test::WriteFile(path, test::Bytes(text.begin(), text.end()));
}

TEST(PathUtil, FileNameIsTheTextAfterTheLastSeparator) {
    EXPECT_EQ(FileNameOf("/home/u/Music/live.mp3"), "live.mp3");
    EXPECT_EQ(FileNameOf("live.mp3"), "live.mp3");
    EXPECT_EQ(FileNameOf("/home/u/"), "");
    EXPECT_EQ(FileNameOf("/Musik/Täke 日本.mp3"), "Täke 日本.mp3");
}

TEST(PathUtil, DirectoryKeepsItsTrailingSeparator) {
    EXPECT_EQ(DirectoryOf("/home/u/Music/live.mp3"), "/home/u/Music/");
    EXPECT_EQ(DirectoryOf("/live.mp3"), "/");
    EXPECT_EQ(DirectoryOf("Music/live.mp3"), "Music/");
    EXPECT_EQ(DirectoryOf("live.mp3"), "");
}

TEST(PathUtil, ExtensionIsTheLastDotAfterTheLastSeparator) {
    EXPECT_EQ(ExtensionOf("/m/live.set.mp3"), ".mp3");
    EXPECT_EQ(ExtensionOf("/m.d/live"), "");
    EXPECT_EQ(ExtensionOf("/m/.hidden"), ".hidden");
    EXPECT_EQ(ExtensionOf(".hidden"), "");  // without a separator the search starts at 1
    EXPECT_EQ(ExtensionOf("a.b"), ".b");
    EXPECT_EQ(ExtensionOf("/m/"), "");
    EXPECT_EQ(ExtensionOf(""), "");
}

TEST(PathUtil, ExistsCountsDanglingLinksAsTaken) {
    TempDir dir;
    const std::string link = dir / "dangling";
    fs::create_symlink(dir / "nowhere", link);
    EXPECT_TRUE(PathExists(link));
    EXPECT_FALSE(IsDirectory(link));
    EXPECT_FALSE(PathExists(dir / "missing"));
    EXPECT_FALSE(PathExists(""));
}

TEST(PathUtil, IsDirectoryFollowsLinks) {
    TempDir dir;
    fs::create_directory(dir / "real");
    fs::create_directory_symlink(dir / "real", dir / "link");
    Touch(dir / "file");
    EXPECT_TRUE(IsDirectory(dir / "real"));
    EXPECT_TRUE(IsDirectory(dir / "link"));
    EXPECT_FALSE(IsDirectory(dir / "file"));
}

TEST(PathUtil, IsRegularFileFollowsLinksAndRefusesEverythingElse) {
    TempDir dir;
    Touch(dir / "file");
    fs::create_symlink(dir / "file", dir / "link");
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_TRUE(IsRegularFile(dir / "file"));
    EXPECT_TRUE(IsRegularFile(dir / "link"));
    EXPECT_FALSE(IsRegularFile(dir / "dangling"));
    EXPECT_FALSE(IsRegularFile(dir / "fifo"));
    EXPECT_FALSE(IsRegularFile(dir.path().string()));
    EXPECT_FALSE(IsRegularFile("/dev/zero"));
    EXPECT_FALSE(IsRegularFile(dir / "missing"));
    EXPECT_FALSE(IsRegularFile(""));
}

TEST(PathUtil, CreateDirectoryTreeMakesEveryMissingLevel) {
    TempDir dir;
    const std::string target = dir / "Out/A/B";
    ASSERT_TRUE(CreateDirectoryTree(target));
    EXPECT_TRUE(fs::is_directory(dir / "Out"));
    EXPECT_TRUE(fs::is_directory(dir / "Out/A"));
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_TRUE(CreateDirectoryTree(target));  // already there
}

TEST(PathUtil, CreateDirectoryTreeAcceptsTrailingAndDoubledSeparators) {
    TempDir dir;
    EXPECT_TRUE(CreateDirectoryTree(dir / "x//y/"));
    EXPECT_TRUE(fs::is_directory(dir / "x/y"));
}

TEST(PathUtil, CreateDirectoryTreeFailsWhenAFileIsInTheWay) {
    TempDir dir;
    fs::create_directory(dir / "Out");
    Touch(dir / "Out/A");
    EXPECT_FALSE(CreateDirectoryTree(dir / "Out/A/B"));
    EXPECT_TRUE(fs::is_regular_file(dir / "Out/A"));
    EXPECT_FALSE(CreateDirectoryTree(dir / "Out/A"));   // last component is a file
    EXPECT_FALSE(CreateDirectoryTree(dir / "Out/A/"));  // also with a trailing separator
    EXPECT_FALSE(CreateDirectoryTree(""));
}

TEST(PathUtil, EnsureDirectoryCreatesOnlyWhenAsked) {
    TempDir dir;
    EXPECT_FALSE(EnsureDirectory(dir / "new", false));
    EXPECT_FALSE(fs::exists(dir / "new"));
    EXPECT_TRUE(EnsureDirectory(dir / "new/deep", true));
    EXPECT_TRUE(fs::is_directory(dir / "new/deep"));
}

TEST(PathUtil, SameFileSeesLinksAndOtherSpellings) {
    TempDir dir;
    fs::create_directory(dir / "m");
    Touch(dir / "m/live.mp3");
    Touch(dir / "m/other.mp3");
    fs::create_hard_link(dir / "m/live.mp3", dir / "hard.mp3");
    fs::create_directory_symlink(dir / "m", dir / "link");
    EXPECT_TRUE(IsSameFile(dir / "m/live.mp3", dir / "hard.mp3"));
    EXPECT_TRUE(IsSameFile(dir / "m/live.mp3", dir / "link/live.mp3"));
    EXPECT_TRUE(IsSameFile(dir / "m/live.mp3", dir / "m/../m/./live.mp3"));
    EXPECT_FALSE(IsSameFile(dir / "m/live.mp3", dir / "m/other.mp3"));
    // Case matters on this file system: LIVE.mp3 is another name.
    EXPECT_FALSE(IsSameFile(dir / "m/live.mp3", dir / "m/LIVE.mp3"));
}

TEST(PathUtil, SameFileComparesNormalPathsWhenAFileIsMissing) {
    TempDir dir;
    EXPECT_TRUE(IsSameFile(dir / "a/b/../c.mp3", dir / "a/c.mp3"));
    EXPECT_FALSE(IsSameFile(dir / "a/c.mp3", dir / "a/d.mp3"));
    const std::string relative = "rel-missing.mp3";
    EXPECT_TRUE(IsSameFile(relative, (fs::current_path() / relative).string()));
}

TEST(PathUtil, ProgramDirectoryEndsWithASeparator) {
    std::string directory;
    ASSERT_TRUE(ProgramDirectory(directory));
    EXPECT_EQ(directory.back(), '/');
    EXPECT_TRUE(fs::is_directory(directory));
}

}  // namespace
}  // namespace corvane
