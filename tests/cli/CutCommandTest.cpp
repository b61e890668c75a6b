// End-to-end tests of `corvane-cli cut` and `batch-cut`: names, frames, tags, messages,
// exit statuses and what is left on disk.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "audio/MpegFrameHeader.h"
#include "support/CliRunner.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TempDir;

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    if (!fs::exists(dir)) return names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class CutCommand : public ::testing::Test {
protected:
    std::string Source(double seconds, const Bytes& tag = {}, bool vbr = false, const std::string& name = "song.mp3") {
        test::EncodeOptions o;
        o.seconds = seconds;
        o.vbr = vbr;
        o.infoFrame = vbr;
        const std::string path = dir / name;
        test::WriteFile(path, test::Concat({tag, test::EncodeMp3(o)}));
        return path;
    }
    test::TempDir dir;
};

// A one-hour CBR file made of one LAME-encoded minute repeated (each minute carries LAME's
// padding, so the whole is slightly longer than an hour).
TEST_F(CutCommand, CutsAnHourByTheMinuteIntoSixtyOnePieces) {
    test::EncodeOptions o;
    o.seconds = 60;
    const Bytes minute = test::EncodeMp3(o);
    Bytes hour;
    hour.reserve(minute.size() * 60);
    for (int i = 0; i < 60; ++i) hour.insert(hour.end(), minute.begin(), minute.end());
    const std::string path = dir / "live.mp3";
    test::WriteFile(path, hour);
    hour.clear();

    const test::ProcessResult r = test::RunCli({"cut", "--time", "1:00", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> written = test::Lines(r.out);
    ASSERT_EQ(written.size(), 61u);
    // The source has no LAME tag: a gapless decoder plays its every decoded sample. Piece i
    // ends at minute i of them, to the sample, and the last ends where the source does.
    int64_t played = 0;
    for (int i = 1; i <= 61; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "live-%02d.mp3", i);
        EXPECT_EQ(written[static_cast<size_t>(i - 1)], dir / name);
        const test::DecodeResult d = test::DecodeGapless(dir / name);
        ASSERT_TRUE(d.ok) << name << ": " << d.messages;
        played += d.samples;
        if (i < 61) {
            EXPECT_EQ(played, int64_t{i} * 60 * 44100) << name;
        }
    }
    EXPECT_EQ(played, static_cast<int64_t>(test::FrameOffsets(minute, 0).size() * 60 * 1152));
}

// Each piece's Xing frame counts its own frames and its audio bytes (from the Xing frame to
// the end, without the tag before it), and mp3val, which checks those counts, has nothing to
// say of them.
TEST_F(CutCommand, VbrPiecesCarryTheirOwnCounts) {
    const std::string path = Source(9, {}, true);
    for (const bool tagged : {false, true}) {
        std::vector<std::string> args = {"cut", "--count", "3", "-d", dir / (tagged ? "tagged" : "bare"), path};
        if (!tagged) args.push_back("--no-tag");
        const test::ProcessResult r = test::RunCli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::vector<std::string> written = test::Lines(r.out);
        ASSERT_EQ(written.size(), 3u);
        for (const std::string& piece : written) {
            const Bytes data = test::ReadFile(piece);
            const size_t start = static_cast<size_t>(Id3v2TagSize(data.data(), data.size()));
            const uint8_t* xing = data.data() + start + 36;
            ASSERT_EQ(std::memcmp(xing, "Xing", 4), 0) << piece;
            const uint32_t frames = (uint32_t(xing[8]) << 24) | (xing[9] << 16) | (xing[10] << 8) | xing[11];
            const uint32_t bytes = (uint32_t(xing[12]) << 24) | (xing[13] << 16) | (xing[14] << 8) | xing[15];
            EXPECT_EQ(frames, test::FrameOffsets(data, start).size() - 1) << piece;
            EXPECT_EQ(bytes, data.size() - start) << piece;
            EXPECT_TRUE(test::DecodeWithMpg123(piece).ok);
            // An untagged piece is worth a warning of its own to mp3val, and only that.
            for (const std::string& line : test::Lines(test::RunProcess({"mp3val", piece}).out)) {
                if (line.find("WARNING") == std::string::npos) continue;
                EXPECT_TRUE(!tagged && line.find("No supported tags") != std::string::npos) << line;
            }
        }
    }
}

TEST_F(CutCommand, PiecesGetTheSourceTagWithNumberedTitles) {
    const Bytes tag = test::MakeId3v2Tag(3, {{"TIT2", "Ночь"}, {"TPE1", "歌手 Live Täke"}, {"TALB", "Album"},
                                            {"TYER", "2004"}, {"TCON", "(17)"}, {"TRCK", "7/9"}, {"COMM", "two\nlines"}});
    const std::string path = Source(6, tag);
    test::ProcessResult r = test::RunCli({"cut", "--count", "3", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> written = test::Lines(r.out);
    ASSERT_EQ(written.size(), 3u);
    EXPECT_EQ(written[0], dir / "song-1.mp3");
    for (int i = 0; i < 3; ++i) {
        const std::string tags = test::MutagenTags(written[static_cast<size_t>(i)]);
        EXPECT_NE(tags.find("TIT2=Ночь - " + std::to_string(i + 1) + "/3\n"), std::string::npos) << tags;
        EXPECT_NE(tags.find("TPE1=歌手 Live Täke\n"), std::string::npos) << tags;
        EXPECT_NE(tags.find("TALB=Album\n"), std::string::npos) << tags;
        EXPECT_NE(tags.find("2004\n"), std::string::npos) << tags;
        EXPECT_NE(tags.find("TCON=Rock\n"), std::string::npos) << tags;
        EXPECT_NE(tags.find("TRCK=7\n"), std::string::npos) << tags;
        EXPECT_NE(tags.find("COMM=two\\nlines\n"), std::string::npos) << tags;
        EXPECT_EQ(tags.find("TSSE"), std::string::npos) << tags;  // LAME did not encode these frames
    }

    r = test::RunCli({"cut", "--count", "2", "--track", "sequence", "--title", "%F% part %P%", "-d", dir / "seq", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    written = test::Lines(r.out);
    ASSERT_EQ(written.size(), 2u);
    const std::string second = test::MutagenTags(written[1]);
    EXPECT_NE(second.find("TIT2=song part 2\n"), std::string::npos) << second;
    EXPECT_NE(second.find("TRCK=2\n"), std::string::npos) << second;

    r = test::RunCli({"cut", "--count", "2", "--no-tag", "-d", dir / "bare", path});
    ASSERT_EQ(r.exitCode, 0);
    for (const std::string& piece : test::Lines(r.out)) {
        const Bytes data = test::ReadFile(piece);
        EXPECT_TRUE(IsFrameHeader(data.data())) << piece;
    }
}

TEST_F(CutCommand, CustomPointsAndOnlyWriteTheChosenRows) {
    const std::string path = Source(8);
    const test::ProcessResult r =
        test::RunCli({"cut", "--points", "2,0:04.5", "--only", "1,3", "--name", "%F%_%P%of%T%.mp3", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::Lines(r.out), (std::vector<std::string>{dir / "song_1of3.mp3", dir / "song_3of3.mp3"}));
    // 0 to 2 s and 4.5 s to the end, to the sample.
    EXPECT_EQ(test::DecodeGapless(dir / "song_1of3.mp3").samples, 2 * 44100);
    EXPECT_EQ(test::DecodeGapless(dir / "song_3of3.mp3").samples, test::DecodeGapless(path).samples - 45 * 4410);
}

TEST_F(CutCommand, BatchCutReportsEachSource) {
    const std::string a = Source(5, {}, false, "a.mp3");
    // A name that would drive a terminal (clear the screen, a second line) is escaped on stderr.
    const std::string bad = dir / "bad\x1b[2J\n.mp3";
    const std::string shown = dir / "bad\\x1b[2J\\n.mp3";
    test::WriteFile(bad, Bytes(3000, 7));
    const test::ProcessResult r = test::RunCli({"batch-cut", "--time", "2", "--first", "2", "-d", dir / "out", a, bad});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(FilesIn(dir.path() / "out"), (std::vector<std::string>{"a-1.mp3", "a-2.mp3"}));
    EXPECT_NE(r.err.find(a + ": 2 piece(s)\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(shown + ": Failure: Failed to load file \"" + shown + "\".\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);

    const test::ProcessResult range = test::RunCli({"batch-cut", "--range", "1.5:2", "-d", dir / "range", a});
    ASSERT_EQ(range.exitCode, 0) << range.err;
    EXPECT_EQ(test::Lines(range.out), (std::vector<std::string>{dir / "range/a-1.mp3"}));
}

// A source the reader refuses has no length: whatever the rule, it fails as not loaded.
TEST_F(CutCommand, BatchCutReportsASourceThatCannotBeLoadedWhateverTheRule) {
    const std::string bad = dir / "bad.mp3";
    test::WriteFile(bad, Bytes(3000, 7));
    for (const std::vector<std::string>& rule :
         {std::vector<std::string>{"--count", "3"}, {"--range", "1"}, {"--time", "2"}, {"--size", "1KB"}}) {
        std::vector<std::string> args = {"batch-cut"};
        args.insert(args.end(), rule.begin(), rule.end());
        args.insert(args.end(), {"-d", dir / "out", bad});
        const test::ProcessResult r = test::RunCli(args);
        EXPECT_EQ(r.exitCode, 1) << rule[0];
        EXPECT_EQ(r.err, bad + ": Failure: Failed to load file \"" + bad + "\".\n") << rule[0];
        EXPECT_EQ(r.out, "");
    }
    EXPECT_TRUE(FilesIn(dir.path() / "out").empty());
}

TEST_F(CutCommand, RefusalsPrintTheirMessageAndWriteNothing) {
    const std::string path = Source(3);
    const uint64_t size = fs::file_size(path);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--size", std::to_string(size) + "KB"}, "The size of piece is greater than original file. It's not necessary to cut."},
        {{"--size", "0.0001KB"}, "The size of piece is too small."},
        {{"--count", "1"}, "The file count should be greater than or equal to 2."},
        {{"--count", "31"}, "The file count is too big."},
        {{"--time", "3"}, "The duration of piece is greater than original file. It's not necessary to cut."},
        {{"--time", "0:00"}, "The duration of piece is too small."},
        {{"--points", ""}, "At least two pieces required. And, at least one piece checked for cutting."},
    };
    for (const auto& [rule, message] : cases) {
        std::vector<std::string> args = {"cut"};
        args.insert(args.end(), rule.begin(), rule.end());
        args.insert(args.end(), {"-d", dir / "out", path});
        const test::ProcessResult r = test::RunCli(args);
        EXPECT_EQ(r.exitCode, 1) << message;
        EXPECT_EQ(r.err, message + "\n");
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(FilesIn(dir.path() / "out").empty()) << message;
    }
}

TEST_F(CutCommand, UsageErrorsExitWithTwo) {
    const std::string path = Source(2);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"cut", path},
             {"cut", "--count", "2", "--time", "1", path},
             {"cut", "--count", "x", path},
             {"cut", "--count", "2"},
             {"cut", "--range", "1", path},
             {"batch-cut", "--points", "1", path},
             {"cut", "--count", "2", "--rate", "44100", path},
             {"cut", "--count", "2", "--if-exists", "maybe", path},
             {"cut", "--count", "2", "--bogus", path},
         }) {
        const test::ProcessResult r = test::RunCli(args);
        EXPECT_EQ(r.exitCode, 2) << args[1] << " " << args[2];
        EXPECT_NE(r.err.find("corvane-cli: "), std::string::npos);
    }
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"song.mp3"}));
}

// A write past the file size limit (a full disk) fails with EFBIG, since the tool ignores
// SIGXFSZ itself, and removes every piece of the source.
TEST_F(CutCommand, AFailedWriteLeavesNoPieceOfTheSource) {
    const std::string path = Source(10);
    const std::string out = dir / "out";
    fs::create_directory(out);
    // dash counts ulimit -f in 512-byte blocks: 59904 bytes.
    const test::ProcessResult r = test::RunProcess(
        {"sh", "-c", "ulimit -f 117; exec \"$0\" \"$@\"", test::CliPath(), "cut", "--points", "2", "-d", out, path});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    // The first piece (2 s) fits under the limit, the second does not; both are gone.
    EXPECT_EQ(r.err, "Failed to write file \"" + out + "/song-2.mp3\".\n");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(FilesIn(out).empty());
}

// Cuts a 30-minute file into 1 KB pieces in an empty folder, sends signals once some
// pieces exist, and returns the exit status.
int InterruptedCutStatus(const TempDir& dir, std::initializer_list<int> signals) {
    test::EncodeOptions o;
    o.seconds = 60;
    const Bytes minute = test::EncodeMp3(o);
    Bytes big;
    for (int i = 0; i < 30; ++i) big.insert(big.end(), minute.begin(), minute.end());
    const std::string path = dir / "big.mp3";
    test::WriteFile(path, big);
    const std::string out = dir / "out";
    fs::create_directory(out);

    const pid_t pid = fork();
    if (pid == 0) {
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execl(test::CliPath().c_str(), "corvane-cli", "cut", "--size", "1KB", "-d", out.c_str(), path.c_str(), nullptr);
        _exit(127);
    }
    for (int i = 0; i < 2000 && FilesIn(out).size() < 20; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (const int number : signals) kill(pid, number);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

// SIGINT, SIGTERM and SIGHUP cancel like the Cancel button: the pieces of the source are
// removed, and the status tells the signal.
TEST_F(CutCommand, InterruptRemovesThePiecesAndExits130) {
    EXPECT_EQ(InterruptedCutStatus(dir, {SIGINT}), 130);
    EXPECT_EQ(FilesIn(dir.path() / "out"), std::vector<std::string>{});
}

TEST_F(CutCommand, TerminateRemovesThePiecesAndExits143) {
    EXPECT_EQ(InterruptedCutStatus(dir, {SIGTERM}), 143);
    EXPECT_EQ(FilesIn(dir.path() / "out"), std::vector<std::string>{});
}

// A second signal while cancelling neither kills the process nor changes the status.
TEST_F(CutCommand, HangupThenTerminateRemovesThePiecesAndExits129) {
    EXPECT_EQ(InterruptedCutStatus(dir, {SIGHUP, SIGTERM}), 129);
    EXPECT_EQ(FilesIn(dir.path() / "out"), std::vector<std::string>{});
}

// With -0 each path ends with a NUL byte, and a folder name holding a newline comes through
// whole; in the pieces' own names a newline from the source's name becomes a space.
TEST_F(CutCommand, NullEndsEachPrintedPath) {
    const std::string path = Source(4, {}, false, "two\nlines.mp3");
    const std::string out = dir / "out\nput";
    const test::ProcessResult r = test::RunCli({"cut", "--count", "2", "-0", "-d", out, path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, out + "/two lines-1.mp3" + std::string(1, '\0') + out + "/two lines-2.mp3" + std::string(1, '\0'));
    EXPECT_EQ(FilesIn(out), (std::vector<std::string>{"two lines-1.mp3", "two lines-2.mp3"}));
}

// Overwrite never reaches a source of the batch, and one run never writes two pieces to one
// name, whatever the template.
TEST_F(CutCommand, OverwriteSparesTheBatchSourcesAndNeverReusesAName) {
    const std::string a = Source(4, {}, false, "a.mp3");
    const std::string second = Source(4, {}, false, "a-1.mp3");
    const Bytes secondBytes = test::ReadFile(second);
    const test::ProcessResult batch =
        test::RunCli({"batch-cut", "--count", "2", "--if-exists", "overwrite", "--quiet", a, second});
    EXPECT_EQ(batch.exitCode, 1);
    EXPECT_EQ(batch.err, a + ": Failure: Target file name is same as original file\n");
    EXPECT_EQ(test::ReadFile(second), secondBytes);
    EXPECT_EQ(test::Lines(batch.out), (std::vector<std::string>{dir / "a-1-1.mp3", dir / "a-1-2.mp3"}));

    const test::ProcessResult fixed =
        test::RunCli({"cut", "--count", "3", "--name", "x.mp3", "--if-exists", "overwrite", "-d", dir / "x", a});
    ASSERT_EQ(fixed.exitCode, 0) << fixed.err;
    EXPECT_EQ(test::Lines(fixed.out), (std::vector<std::string>{dir / "x/x.mp3", dir / "x/x_1.mp3", dir / "x/x_2.mp3"}));
}

}  // namespace
}  // namespace corvane
