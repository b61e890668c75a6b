// Tests of COutputFile: bytes reach their name only when complete, and nothing else is touched.
#include "engine/mp3/OutputFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/Mp3Factory.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const test::TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(OutputFile, BytesReachTheNameOnlyWhenPublished) {
    test::TempDir dir;
    const std::string path = dir / "piece.mp3";
    test::WriteFile(path, {'o', 'l', 'd'});
    COutputFile out;
    ASSERT_TRUE(out.Create(path));
    ASSERT_TRUE(out.Write("new!", 4));
    ASSERT_TRUE(out.Close());
    // Complete, but still under its temporary name beside the old file.
    ASSERT_EQ(Names(dir).size(), 2u);
    EXPECT_TRUE(IsTemporaryOutputName(fs::path(out.TemporaryPath()).filename().string()));
    EXPECT_EQ(test::ReadFile(path), (test::Bytes{'o', 'l', 'd'}));

    EXPECT_EQ(out.Publish(path, false), COutputFile::Published::Taken);
    EXPECT_EQ(test::ReadFile(path), (test::Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(out.Publish(path, true), COutputFile::Published::Done);
    EXPECT_EQ(test::ReadFile(path), (test::Bytes{'n', 'e', 'w', '!'}));
    EXPECT_EQ(Names(dir), std::vector<std::string>{"piece.mp3"});
}

TEST(OutputFile, UnpublishedFilesLeaveNothingWhenTheObjectGoes) {
    test::TempDir dir;
    {
        COutputFile open;
        ASSERT_TRUE(open.Create(dir / "a.mp3"));
        ASSERT_TRUE(open.Write("abc", 3));
        COutputFile closed;
        ASSERT_TRUE(closed.Create(dir / "b.mp3"));
        ASSERT_TRUE(closed.Close());
        EXPECT_EQ(Names(dir).size(), 2u);
    }
    EXPECT_TRUE(Names(dir).empty());
}

TEST(OutputFile, ReplacingALinkReplacesTheLinkNotItsTarget) {
    test::TempDir dir;
    const std::string victim = dir / "victim.txt";
    test::WriteFile(victim, {'k', 'e', 'e', 'p'});
    fs::create_symlink(victim, dir / "piece.mp3");
    COutputFile out;
    ASSERT_TRUE(out.Create(dir / "piece.mp3"));
    ASSERT_TRUE(out.Write("x", 1));
    ASSERT_TRUE(out.Close());
    ASSERT_EQ(out.Publish(dir / "piece.mp3", true), COutputFile::Published::Done);
    EXPECT_FALSE(fs::is_symlink(dir / "piece.mp3"));
    EXPECT_EQ(test::ReadFile(dir / "piece.mp3"), (test::Bytes{'x'}));
    EXPECT_EQ(test::ReadFile(victim), (test::Bytes{'k', 'e', 'e', 'p'}));
}

// ---- Failures ----

TEST(OutputFile, InjectedFailuresLeaveNothing) {
    for (const OutputCall call : {OutputCall::Write, OutputCall::Close, OutputCall::Rename}) {
        test::TempDir dir;
        COutputFile out;
        InjectOutputFault(call, 1);
        ASSERT_TRUE(out.Create(dir / "a.mp3"));
        out.Write("abc", 3);
        const bool closed = out.Close();
        EXPECT_EQ(closed, call == OutputCall::Rename);
        if (closed) EXPECT_EQ(out.Publish(dir / "a.mp3", true), COutputFile::Published::Failed);
        out.Remove();
        EXPECT_TRUE(Names(dir).empty()) << static_cast<int>(call);
        EXPECT_EQ(OutputCallCount(call), 1);
        InjectOutputFault(call, 0);
    }
}

TEST(OutputFile, CreateFailsInAMissingFolder) {
    test::TempDir dir;
    COutputFile out;
    EXPECT_FALSE(out.Create(dir / "missing/a.mp3"));
    EXPECT_FALSE(out.IsOpen());
    EXPECT_FALSE(out.Write("a", 1));
}

}  // namespace
}  // namespace corvane
