// Tests of COutputFile: bytes reach their name only when complete, and nothing else is touched.
#include "engine/mp3/OutputFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "audio/MappedFile.h"
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
    // Complete, but still under its temporary name beside the old file and the process's
    // lock file.
    ASSERT_EQ(Names(dir).size(), 3u);
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
        EXPECT_EQ(Names(dir).size(), 3u);  // and the process's lock file
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

// Kills and reaps a forked helper, however the test ends.
struct ChildGuard {
    pid_t pid;
    ~ChildGuard() {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

TEST(OutputFile, TemporariesAreRemovedOnlyOnceTheirOwnerIsGone) {
    test::TempDir dir;
    test::WriteFile(dir / "victim.mp3", {'v'});
    const std::string nearMiss = ".corvane-0123456789ab-0123456.part";
    const std::string oldFresh = ".corvane-0123abcd.part";  // an earlier version's, maybe still writing
    const std::string oldStale = ".corvane-4567cdef.part";
    for (const std::string& name : {nearMiss, oldFresh}) test::WriteFile(dir / name, {'x'});

    // A helper process with a complete temporary and an empty one, then killed.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        COutputFile complete, reserved;
        const bool ok = complete.Create(dir / "a.mp3") && complete.Write("abc", 3) && complete.Close() &&
                        reserved.Create(dir / "b.mp3");
        const char byte = ok ? '1' : '0';
        if (::write(ready[1], &byte, 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    ChildGuard child{pid};
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(byte, '1');

    std::string lock;
    for (const std::string& name : Names(dir)) {
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".lock") == 0) lock = name;
    }
    ASSERT_FALSE(lock.empty());
    test::WriteFile(dir / oldStale, {'x'});
    fs::last_write_time(dir / oldStale, fs::file_time_type::clock::now() - std::chrono::hours(25));
    // A link named as one of the helper's temporaries, to a file that must stay.
    const std::string link = lock.substr(0, lock.size() - 5) + "-00000000.part";
    fs::create_symlink("victim.mp3", dir / link);
    std::vector<std::string> expected = Names(dir);
    ASSERT_EQ(expected.size(), 8u);

    // Alive: its lock holds; only the stale temporary of an earlier version goes.
    RemoveAbandonedTemporaries(dir.path().string() + "/");
    expected.erase(std::find(expected.begin(), expected.end(), oldStale));
    EXPECT_EQ(Names(dir), expected);

    // Dead: the first output this process writes there clears what the helper left.
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    COutputFile out;
    ASSERT_TRUE(out.Create(dir / "c.mp3"));
    EXPECT_EQ(Names(dir).size(), 6u);  // 4 that stay, out's temporary and its lock file
    out.Remove();
    expected = {nearMiss, oldFresh, link, "victim.mp3"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(dir), expected);
    EXPECT_EQ(test::ReadFile(dir / "victim.mp3"), (test::Bytes{'v'}));
    EXPECT_TRUE(fs::is_symlink(dir / link));
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
        if (closed) {
            EXPECT_EQ(out.Publish(dir / "a.mp3", true), COutputFile::Published::Failed);
        }
        out.Remove();
        EXPECT_TRUE(Names(dir).empty()) << static_cast<int>(call);
        EXPECT_EQ(OutputCallCount(call), 1);
        InjectOutputFault(call, 0);
    }
}

// Runs the kernel copies, short runs, written bytes and a patch, in the order they came.
TEST(OutputFile, AppendedRunsLandInOrderAmongWrites) {
    test::TempDir dir;
    test::Bytes source(200000);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7 + i / 251);
    const std::string sourcePath = dir / "source.bin";
    test::WriteFile(sourcePath, source);
    const int fd = ::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    audio::CMappedFile mapped;
    ASSERT_TRUE(mapped.Map(fd, source.size()));
    const uint8_t* d = mapped.data();

    for (const bool failSecondCopy : {false, true}) {
        COutputFile out;
        ASSERT_TRUE(out.Create(dir / "out.bin"));
        InjectOutputFault(OutputCall::Write, failSecondCopy ? 2 : 0);
        EXPECT_TRUE(out.Write("head", 4));
        out.Append(fd, 0, d, 40000);          // one run of two appends
        out.Append(fd, 40000, d + 40000, 30000);
        out.Write("mid", 3);
        out.Append(fd, 100, d + 100, 50);     // short: buffered
        out.Append(fd, 150000, d + 150000, 50000);
        out.WriteAt(0, "HE", 2);
        EXPECT_EQ(out.Size(), failSecondCopy ? 4 + 70000 + 3u : 4 + 70000 + 3 + 50 + 50000u);
        const bool closed = out.Close();
        InjectOutputFault(OutputCall::Write, 0);
        if (failSecondCopy) {
            EXPECT_FALSE(closed);
            EXPECT_EQ(Names(dir), std::vector<std::string>{"source.bin"});
            continue;
        }
        ASSERT_TRUE(closed);
        ASSERT_EQ(out.Publish(dir / "out.bin", false), COutputFile::Published::Done);
        test::Bytes expected = {'H', 'E', 'a', 'd'};
        expected.insert(expected.end(), source.begin(), source.begin() + 70000);
        expected.insert(expected.end(), {'m', 'i', 'd'});
        expected.insert(expected.end(), source.begin() + 100, source.begin() + 150);
        expected.insert(expected.end(), source.begin() + 150000, source.end());
        EXPECT_EQ(test::ReadFile(dir / "out.bin"), expected);
        fs::remove(dir / "out.bin");
    }
    ::close(fd);
}

// A long run reaches the file in steps that end on its megabyte edges; the rest waits.
TEST(OutputFile, DrainWritesUpToTheLastMegabyteEdge) {
    test::TempDir dir;
    test::Bytes source(3 << 20);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 13 + i / 4099);
    const std::string sourcePath = dir / "source.bin";
    test::WriteFile(sourcePath, source);
    const int fd = ::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    audio::CMappedFile mapped;
    ASSERT_TRUE(mapped.Map(fd, source.size()));
    COutputFile out;
    ASSERT_TRUE(out.Create(dir / "out.bin"));
    EXPECT_TRUE(out.Write("head", 4));
    EXPECT_TRUE(out.Append(fd, 1000, mapped.data() + 1000, (2 << 20) + 500));
    EXPECT_TRUE(out.Drain());
    EXPECT_EQ(fs::file_size(out.TemporaryPath()), 2u << 20);
    EXPECT_TRUE(out.Append(fd, (2 << 20) + 1500, mapped.data() + (2 << 20) + 1500, 100));
    EXPECT_TRUE(out.Drain());
    EXPECT_EQ(fs::file_size(out.TemporaryPath()), 2u << 20);
    ASSERT_TRUE(out.Close());
    ASSERT_EQ(out.Publish(dir / "out.bin", false), COutputFile::Published::Done);
    test::Bytes expected = {'h', 'e', 'a', 'd'};
    expected.insert(expected.end(), source.begin() + 1000, source.begin() + (2 << 20) + 1600);
    EXPECT_EQ(test::ReadFile(dir / "out.bin"), expected);
    ::close(fd);
}

// A run whose source got shorter after it was gathered is written with zeros for the bytes
// that are gone, whether the kernel copies it or it is written from the mapping; the mapping
// then tells that its source shrank.
TEST(OutputFile, ARunOfASourceThatShrankIsWrittenWithZeros) {
    test::TempDir dir;
    for (const size_t head : {0, 4}) {
        SCOPED_TRACE(head);
        test::Bytes source(200000, 0x5A);
        const std::string sourcePath = dir / "source.bin";
        test::WriteFile(sourcePath, source);
        const int fd = ::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        audio::CMappedFile mapped;
        ASSERT_TRUE(mapped.Map(fd, source.size()));
        COutputFile out;
        ASSERT_TRUE(out.Create(dir / "out.bin"));
        EXPECT_TRUE(out.Write("head", head));
        EXPECT_TRUE(out.Append(fd, 0, mapped.data(), source.size()));
        fs::resize_file(sourcePath, 50000);
        ASSERT_TRUE(out.Close());
        EXPECT_TRUE(mapped.Shrunk());
        ASSERT_EQ(out.Publish(dir / "out.bin", true), COutputFile::Published::Done);
        test::Bytes expected(head + source.size(), 0);
        std::copy_n("head", head, expected.begin());
        std::fill_n(expected.begin() + static_cast<long>(head), 50000, 0x5A);
        EXPECT_EQ(test::ReadFile(dir / "out.bin"), expected);
        ::close(fd);
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
