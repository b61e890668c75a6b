// End-to-end tests of corvane-cli join and batch-join: outputs, bytes, parameters, tags, failures.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "audio/EncodingParams.h"
#include "audio/MpegFrameHeader.h"
#include "engine/mp3/Mp3Reader.h"
#include "support/Mp3Factory.h"
#include "support/SplitAtFirstFrame.h"

namespace corvane {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

test::ProcessResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), test::CliPath());
    return test::RunProcess(args);
}

// mpg123's description of the first frame, e.g. "MPEG 1.0 L III cbr128 44100 j-s".
std::string StreamLine(const std::string& path) {
    const test::ProcessResult p = test::RunProcess({"mpg123", "-t", "-v", "-n", "1", path});
    const size_t at = p.err.find("\nMPEG ");
    return at == std::string::npos ? p.err : p.err.substr(at + 1, p.err.find('\n', at + 1) - at - 1);
}

Bytes Encode(int rate, int channels, test::Mode mode, int kbps, double seconds, bool info = false) {
    test::EncodeOptions o;
    o.sampleRate = rate;
    o.channels = channels;
    o.mode = mode;
    o.kbps = kbps;
    o.seconds = seconds;
    o.infoFrame = info;
    return test::EncodeMp3(o);
}

Bytes Cbr128(double seconds) { return Encode(44100, 2, test::Mode::JointStereo, 128, seconds); }

// Neither mpg123 nor ffmpeg has a word to say about path.
void ExpectCleanDecode(const std::string& path) {
    const test::DecodeResult decoded = test::DecodeWithMpg123(path);
    EXPECT_TRUE(decoded.ok) << decoded.messages;
    const test::ProcessResult ffmpeg = test::RunProcess({"ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"});
    EXPECT_EQ(ffmpeg.exitCode, 0);
    EXPECT_EQ(ffmpeg.err, "") << path;
}

class JoinCommand : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const Bytes& data) {
        const std::string path = dir / name;
        test::WriteFile(path, data);
        return path;
    }
    test::TempDir dir;
};

// One sample rate and two channels: whatever the bit rates, stereo or joint stereo, the frames
// are copied, behind a header frame for the whole that plays as the last input ends.
TEST_F(JoinCommand, AutoCopiesTheFramesOfAlikeFiles) {
    const Bytes a = Cbr128(2.0), b = Encode(44100, 2, test::Mode::Stereo, 192, 1.0);
    test::EncodeOptions o;
    o.vbr = true;
    o.infoFrame = true;
    o.seconds = 3.0;
    const test::FirstFrameSplit c = test::SplitAtFirstFrame(test::EncodeMp3(o));
    const std::string target = dir / "out.mp3";
    const test::ProcessResult p = Cli({"join", "--no-chapters", "-o", target, Write("a.mp3", test::Concat({test::MakeId3v2Tag(3, {{"TIT2", "x"}}), a})),
                                       Write("b.mp3", b), Write("c.mp3", test::Concat({c.first, c.rest}))});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_EQ(p.out, target + "\n");
    const test::FirstFrameSplit written = test::SplitAtFirstFrame(test::ReadFile(target));
    EXPECT_EQ(written.tag, Bytes{});
    // a has no LAME tag: a silent frame goes first, and its 1152 samples are the delay.
    ASSERT_GT(written.rest.size(), 104u);
    EXPECT_EQ(Bytes(written.rest.begin() + 4, written.rest.begin() + 104), Bytes(100, 0));
    EXPECT_EQ(Bytes(written.rest.begin() + 104, written.rest.end()), test::Concat({a, b, c.rest}));
    const test::HeaderFrameFigures figures = test::FiguresOf(written.first);
    EXPECT_EQ(figures.letters, "Xing");
    EXPECT_EQ(figures.delay, 1152 - 529);
    EXPECT_EQ(figures.padding, test::FiguresOf(c.first).padding);
    ExpectCleanDecode(target);
    int64_t sum = 0;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) sum += test::DecodeWithMpg123(dir / name).samples;
    EXPECT_EQ(test::DecodeWithMpg123(target).samples, 1152 + sum);
}

TEST_F(JoinCommand, TagTextsReadBackExactly) {
    const std::string target = dir / "out.mp3";
    const test::ProcessResult p = Cli({"join", "-o", target, "--title", "Live Täke", "--artist", "日本語", "--track",
                                       "12x", Write("a.mp3", Cbr128(1.0)), Write("b.mp3", Cbr128(1.0))});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    const test::ProcessResult tags = test::RunProcess(
        {"/usr/bin/python3", "-c",
         "import sys, mutagen.id3 as m; t = m.ID3(sys.argv[1]); "
         "print(t['TIT2'].text[0]); print(t['TPE1'].text[0]); print(t['TRCK'].text[0])",
         target});
    EXPECT_EQ(tags.out, "Live Täke\n日本語\n12\n") << tags.err;
}

TEST_F(JoinCommand, AutoReencodesDifferingFilesWithDerivedParameters) {
    const std::string t1 = dir / "t1.mp3", t2 = dir / "t2.mp3", t3 = dir / "t3.mp3", t4 = dir / "t4.mp3";
    const std::string a = Write("a.mp3", Cbr128(1.0)), b = Write("b.mp3", Cbr128(1.0));
    const std::string fast = Write("fast.mp3", Encode(48000, 2, test::Mode::JointStereo, 160, 1.0));
    ASSERT_EQ(Cli({"join", "-o", t1, a, fast, b}).exitCode, 0);
    EXPECT_EQ(StreamLine(t1), "MPEG 1.0 L III cbr160 48000 j-s");

    const std::string mono = Write("mono.mp3", Encode(22050, 1, test::Mode::Mono, 32, 1.0));
    const std::string stereo = Write("stereo.mp3", Encode(44100, 2, test::Mode::Stereo, 112, 1.0));
    ASSERT_EQ(Cli({"join", "-o", t2, mono, stereo}).exitCode, 0);
    EXPECT_EQ(StreamLine(t2), "MPEG 1.0 L III cbr112 44100 stereo");

    // Three parts at 96 kbps and one at 112: an average of about 100 kbps snaps to 96.
    const std::string mixed = Write("mixed.mp3", test::Concat({Encode(44100, 2, test::Mode::JointStereo, 96, 3.0),
                                                               Encode(44100, 2, test::Mode::JointStereo, 112, 1.0)}));
    const std::string slow = Write("slow.mp3", Encode(32000, 2, test::Mode::JointStereo, 64, 1.0));
    ASSERT_EQ(Cli({"join", "-o", t3, mixed, slow}).exitCode, 0);
    EXPECT_EQ(StreamLine(t3), "MPEG 1.0 L III cbr96 44100 j-s");

    // A variable bit rate (a Xing frame) at another sample rate counts with its average.
    test::EncodeOptions o;
    o.sampleRate = 32000;
    o.vbr = true;
    o.infoFrame = true;
    o.seconds = 1.0;
    const std::string vbr = Write("vbr.mp3", test::EncodeMp3(o));
    ASSERT_EQ(Cli({"join", "-o", t4, a, vbr, b}).exitCode, 0);
    CMp3Reader reader;
    ASSERT_TRUE(reader.OpenFile(vbr));
    const int kbps = NearestBitrateForSampleRate(44100, std::max(128, reader.bitrate()));
    EXPECT_EQ(StreamLine(t4), "MPEG 1.0 L III cbr" + std::to_string(kbps) + " 44100 j-s");
    ExpectCleanDecode(t4);
}

// LAME and ffmpeg write an Info frame into every CBR file: the target gets one for the whole
// in place of the inputs' own, and a cover picture in a tag is no audio.
TEST_F(JoinCommand, AutoCopiesTheAudioFramesOfCbrFilesWithInfoFramesAndCovers) {
    const Bytes a = Encode(44100, 2, test::Mode::JointStereo, 128, 2.0, true);
    const Bytes b = Encode(44100, 2, test::Mode::JointStereo, 128, 1.0, true);
    const Bytes cover = test::MakeId3v2Tag(3, {{"TIT2", "Cover"}}, false, true, 8192);
    const std::string target = dir / "out.mp3";
    const test::ProcessResult p =
        Cli({"join", "-o", target, Write("a.mp3", a), Write("b.mp3", test::Concat({cover, b})), Write("c.mp3", a)});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    const test::FirstFrameSplit written = test::SplitAtFirstFrame(test::ReadFile(target));
    EXPECT_EQ(written.rest, test::AfterFirstFrames({a, b, a}));
    const test::HeaderFrameFigures figures = test::FiguresOf(written.first);
    EXPECT_EQ(figures.letters, "Info");
    EXPECT_EQ(figures.frames, 2 * test::FiguresOf(a).frames + test::FiguresOf(b).frames);
    ExpectCleanDecode(target);
}

TEST_F(JoinCommand, AutoReencodesAtABitrateTheDerivedRateAllows) {
    // 144 kbps at 22050 Hz with 128 kbps at 44100 Hz: 44100 Hz has no 144, the tie goes down.
    const std::string target = dir / "out.mp3";
    const test::ProcessResult p = Cli({"join", "-o", target, Write("a.mp3", Encode(22050, 2, test::Mode::JointStereo, 144, 1.0)),
                                       Write("b.mp3", Cbr128(1.0))});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_EQ(StreamLine(target), "MPEG 1.0 L III cbr128 44100 j-s");
    ExpectCleanDecode(target);
}

TEST_F(JoinCommand, AutoReencodesWavFilesAndOtherLayers) {
    // A 22050 Hz WAV file (705 kbps of PCM) with a 22050 Hz MP3 file: the most 22050 Hz allows.
    const std::string wavJoin = dir / "wav.mp3";
    test::ProcessResult p = Cli({"join", "-o", wavJoin, Write("a.wav", test::MakeWav(22050, 2, 1.0)),
                                 Write("b.mp3", Encode(22050, 2, test::Mode::JointStereo, 64, 1.0))});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_EQ(StreamLine(wavJoin), "MPEG 2.0 L III cbr160 22050 j-s");
    ExpectCleanDecode(wavJoin);

    // Layer II frames with the rate, bit rate and mode of a Layer III file: no one stream.
    const std::string layers = dir / "layers.mp3";
    const Bytes layer2 = test::RepeatFrame(test::MakeFrame(3, 2, 8, 0, 0, 1), 40);  // 128 kbps, joint stereo
    p = Cli({"join", "-o", layers, Write("l2.mp3", layer2), Write("l3.mp3", Cbr128(1.0))});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_EQ(StreamLine(layers), "MPEG 1.0 L III cbr128 44100 j-s");
    ExpectCleanDecode(layers);
}

TEST_F(JoinCommand, PresetAndCustomParametersAreUsedAsGiven) {
    const std::string a = Write("a.mp3", Cbr128(1.0)), b = Write("b.mp3", Cbr128(1.0));
    ASSERT_EQ(Cli({"join", "-o", dir / "p.mp3", "--preset", "2", a, b}).exitCode, 0);
    EXPECT_EQ(StreamLine(dir / "p.mp3"), "MPEG 2.0 L III cbr32 22050 j-s");
    ASSERT_EQ(Cli({"join", "-o", dir / "c.mp3", "--rate", "32000", "--bitrate", "64", "--mode", "mono", a, b}).exitCode, 0);
    EXPECT_EQ(StreamLine(dir / "c.mp3"), "MPEG 1.0 L III cbr64 32000 mono");
}

// ---- Failures ------------------------------------------------------------------------------

TEST_F(JoinCommand, MissingSecondInputLeavesNoTarget) {
    const std::string a = Write("a.mp3", Cbr128(1.0)), missing = dir / "missing.mp3";
    for (const std::vector<std::string>& way : {std::vector<std::string>{}, {"--preset", "4"}}) {
        std::vector<std::string> args = {"join", "-o", dir / "out.mp3"};
        args.insert(args.end(), way.begin(), way.end());
        args.insert(args.end(), {a, missing});
        const test::ProcessResult p = Cli(args);
        EXPECT_EQ(p.exitCode, 1);
        EXPECT_EQ(p.out, "");
        EXPECT_EQ(p.err, "Join failure. Failed to open file \"" + missing + "\".\n");
        EXPECT_FALSE(fs::exists(dir / "out.mp3"));
    }
}

TEST_F(JoinCommand, TargetInAFolderThatDoesNotExist) {
    const std::string target = dir / "no/folder/out.mp3";
    const test::ProcessResult p = Cli({"join", "-o", target, Write("a.mp3", Cbr128(1.0)), Write("b.mp3", Cbr128(1.0))});
    EXPECT_EQ(p.exitCode, 1);
    EXPECT_EQ(p.err, "Join failure. Failed to create file \"" + target + "\".\n");
}

TEST_F(JoinCommand, BitrateLameRefusesLeavesNoTarget) {
    const test::ProcessResult p = Cli({"join", "-o", dir / "out.mp3", "--rate", "8000", "--bitrate", "320", "--mode",
                                       "joint", Write("a.mp3", Cbr128(1.0)), Write("b.mp3", Cbr128(1.0))});
    EXPECT_EQ(p.exitCode, 1);
    EXPECT_EQ(p.err, "Join failure. Bad encoding parameter: 8000Hz, 320kbps, 1\n");
    EXPECT_FALSE(fs::exists(dir / "out.mp3"));
}

TEST_F(JoinCommand, TargetEqualToAnInputIsRefusedAndTheInputKept) {
    const Bytes a = Cbr128(1.0);
    const std::string first = Write("a.mp3", a), second = Write("b.mp3", Cbr128(1.0));
    const test::ProcessResult p = Cli({"join", "-o", first, first, second});
    EXPECT_EQ(p.exitCode, 1);
    EXPECT_EQ(p.err, "Join failure. Target file name is same as original file\n");
    EXPECT_EQ(test::ReadFile(first), a);
}

TEST_F(JoinCommand, InterruptRemovesTheTargetAndExits130) {
    const std::string a = Write("a.mp3", Encode(44100, 2, test::Mode::JointStereo, 128, 60.0));
    // Another sample rate: re-encoded, which takes a while.
    const std::string b = Write("b.mp3", Encode(48000, 2, test::Mode::JointStereo, 160, 60.0));
    const std::string target = dir / "out.mp3";
    const std::string cli = test::CliPath();
    const pid_t pid = fork();
    if (pid == 0) {
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execl(cli.c_str(), cli.c_str(), "join", "-o", target.c_str(), a.c_str(), b.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    // The target is being written once its temporary file shows in the folder.
    const auto entries = [&] { return std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()); };
    const auto writing = [&] {
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            if (entry.path().extension() == ".part") return true;
        }
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!writing() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(writing());
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(entries(), 2);
}

TEST_F(JoinCommand, UsageErrorsExitWith2) {
    const std::string a = Write("a.mp3", Cbr128(1.0));
    EXPECT_EQ(Cli({"join", "-o", dir / "out.mp3", a}).exitCode, 2);
    EXPECT_EQ(Cli({"join", a, a}).exitCode, 2);
    EXPECT_EQ(Cli({"join", "-o", dir / "out.mp3", "--rate", "44100", a, a}).exitCode, 2);
    EXPECT_EQ(Cli({"join", "-o", dir / "out.mp3", "--preset", "5", a, a}).exitCode, 2);
    EXPECT_EQ(Cli({"batch-join", a}).exitCode, 2);
    EXPECT_EQ(Cli({"batch-join", "--with", a, "--insert", "--append", a}).exitCode, 2);
}

// ---- batch-join ----------------------------------------------------------------------------

// The files start with LAME's Info frame: a target's frames after its header frame are theirs.
class BatchJoinCommand : public JoinCommand {
protected:
    void SetUp() override {
        const auto encode = [](double s) { return Encode(44100, 2, test::Mode::JointStereo, 128, s, true); };
        j1 = encode(0.5);
        j2 = encode(0.7);
        a = encode(1.0);
        b = encode(1.2);
        c = encode(1.4);
        for (const auto& [name, data] : {std::pair{"j1.mp3", j1}, {"j2.mp3", j2}, {"a.mp3", a}, {"b.mp3", b}, {"c.mp3", c}}) {
            Write(name, data);
        }
    }
    test::ProcessResult Batch(std::vector<std::string> options) {
        std::vector<std::string> args = {"batch-join"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {"--with", dir / "j1.mp3", "--with", dir / "j2.mp3", dir / "a.mp3", dir / "b.mp3",
                                 dir / "c.mp3"});
        return Cli(args);
    }
    Bytes FramesOf(const std::string& target) { return test::SplitAtFirstFrame(test::ReadFile(dir / target)).rest; }
    Bytes j1, j2, a, b, c;
};

TEST_F(BatchJoinCommand, AppendWritesEachMainFileFirst) {
    const test::ProcessResult p = Batch({"--append"});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_EQ(p.out, (dir / "a_joined.mp3") + "\n" + (dir / "b_joined.mp3") + "\n" + (dir / "c_joined.mp3") + "\n");
    EXPECT_EQ(FramesOf("a_joined.mp3"), test::AfterFirstFrames({a, j1, j2}));
    EXPECT_EQ(FramesOf("b_joined.mp3"), test::AfterFirstFrames({b, j1, j2}));
    EXPECT_EQ(FramesOf("c_joined.mp3"), test::AfterFirstFrames({c, j1, j2}));
}

// With -0 each target's path ends with a NUL byte instead of a newline.
TEST_F(BatchJoinCommand, NullEndsEachPrintedPath) {
    const test::ProcessResult p = Batch({"-0"});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    const std::string nul(1, '\0');
    EXPECT_EQ(p.out, (dir / "a_joined.mp3") + nul + (dir / "b_joined.mp3") + nul + (dir / "c_joined.mp3") + nul);
}

TEST_F(BatchJoinCommand, InsertWritesTheJoinedFilesFirst) {
    ASSERT_EQ(Batch({"--insert"}).exitCode, 0);
    EXPECT_EQ(FramesOf("a_joined.mp3"), test::AfterFirstFrames({j1, j2, a}));
    EXPECT_EQ(FramesOf("c_joined.mp3"), test::AfterFirstFrames({j1, j2, c}));
}

TEST_F(BatchJoinCommand, EachTargetGetsItsMainFilesTag) {
    Write("a.mp3", test::Concat({test::MakeId3v2Tag(3, {{"TIT2", "Säule"}, {"TRCK", "7"}}), a}));
    ASSERT_EQ(Batch({"-d", dir / "out"}).exitCode, 0);
    const test::ProcessResult tags = test::RunProcess(
        {"/usr/bin/python3", "-c",
         "import sys, mutagen.id3 as m; t = m.ID3(sys.argv[1]); print(t['TIT2'].text[0]); print(t['TRCK'].text[0])",
         dir / "out/a_joined.mp3"});
    EXPECT_EQ(tags.out, "Säule\n7\n") << tags.err;
    EXPECT_EQ(FramesOf("out/b_joined.mp3"), test::AfterFirstFrames({j1, j2, b}));
}

TEST_F(BatchJoinCommand, SkippedTargetFailsOnlyItsRow) {
    Write("b_joined.mp3", {1});
    const test::ProcessResult p = Batch({"--if-exists", "skip", "--quiet"});
    EXPECT_EQ(p.exitCode, 1);
    EXPECT_EQ(p.out, (dir / "a_joined.mp3") + "\n" + (dir / "c_joined.mp3") + "\n");
    EXPECT_EQ(p.err, (dir / "b.mp3") + ": Join failure. Target exists and skipped\n");
    EXPECT_EQ(test::ReadFile(dir / "b_joined.mp3"), (Bytes{1}));
}

TEST_F(BatchJoinCommand, NoPostfixOverwriteRefusesEveryMainFile) {
    const test::ProcessResult p = Batch({"--no-postfix", "--if-exists", "overwrite"});
    EXPECT_EQ(p.exitCode, 1);
    EXPECT_EQ(p.out, "");
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
        EXPECT_NE(p.err.find((dir / name) + ": Join failure. Target file name is same as original file\n"),
                  std::string::npos)
            << p.err;
    }
    EXPECT_EQ(test::ReadFile(dir / "a.mp3"), a);
}

TEST_F(BatchJoinCommand, ReencodingRowsOnSeveralJobsPrintAndWriteAsOnOne) {
    std::string out[2];
    for (const int jobs : {1, 3}) {
        const std::string folder = dir / ("out" + std::to_string(jobs));
        const test::ProcessResult p = Batch({"--rate", "22050", "--bitrate", "64", "--mode", "mono", "--quiet", "-d",
                                             folder, "--jobs", std::to_string(jobs)});
        ASSERT_EQ(p.exitCode, 0) << p.err;
        EXPECT_EQ(p.out, folder + "/a_joined.mp3\n" + folder + "/b_joined.mp3\n" + folder + "/c_joined.mp3\n");
        out[jobs > 1] = folder;
    }
    for (const char* name : {"a_joined.mp3", "b_joined.mp3", "c_joined.mp3"}) {
        EXPECT_EQ(test::ReadFile(out[1] + "/" + name), test::ReadFile(out[0] + "/" + name)) << name;
    }
    EXPECT_EQ(Batch({"--jobs", "0"}).exitCode, 2);
}

}  // namespace
}  // namespace corvane
