// End-to-end tests of corvane-cli cut --silence, batch-cut --silence and cut --cue: pieces
// start within one frame of the silences' middles and at the tracks' INDEX 01, and played one
// after another are the source; the tracks' tags and numbers; a sheet past the end of the
// file is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/CliRunner.h"
#include "support/Mp3Factory.h"
#include "support/Recording.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

constexpr int kRate = test::kRecordingRate;
constexpr int64_t kFrameSamples = 1152;

using test::Recording;

// The files in folder but the given source, by name.
std::vector<std::string> PiecesIn(const fs::path& folder, const std::string& source) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name != source && entry.path().extension() == ".mp3") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Checks that the pieces (in order), played by a gapless decoder one after another, are the
// source (which has no LAME tag: every sample decoded), that each starts within tolerance of
// starts (sample frames), and that they decode without messages.
void ExpectPiecesStartAt(const std::string& source, const std::vector<std::string>& pieces,
                         const std::vector<int64_t>& starts, int64_t tolerance) {
    ASSERT_EQ(pieces.size(), starts.size());
    std::vector<int16_t> played;
    for (size_t k = 0; k < pieces.size(); ++k) {
        const int64_t start = static_cast<int64_t>(played.size()) / test::kRecordingChannels;
        EXPECT_LE(std::abs(start - starts[k]), tolerance) << pieces[k] << " starts at " << start;
        const test::DecodeResult decoded = test::DecodeGapless(pieces[k]);
        EXPECT_TRUE(decoded.ok) << pieces[k] << ": " << decoded.messages;
        EXPECT_EQ(test::DecodeWithMpg123(pieces[k]).messages, "") << pieces[k];
        played.insert(played.end(), decoded.pcm.begin(), decoded.pcm.end());
    }
    EXPECT_TRUE(played == test::DecodeGapless(source).pcm);
}

TEST(SplitCommand, SilenceCutsPiecesWithinOneFrameOfEachSilencesMiddle) {
    test::TempDir dir;
    std::vector<int64_t> middles;
    const test::Bytes source = Recording({{2.0, true}, {1.5, false}, {2.5, true}, {1.5, false}, {2.0, true}}, &middles);
    test::WriteFile(dir / "talk.mp3", source);

    const test::ProcessResult r = test::RunCli({"cut", "--silence", dir / "talk.mp3"});

    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> names = PiecesIn(dir.path(), "talk.mp3");
    ASSERT_EQ(names, (std::vector<std::string>{"talk-1.mp3", "talk-2.mp3", "talk-3.mp3"}));
    EXPECT_EQ(test::Lines(r.out),
              (std::vector<std::string>{dir / "talk-1.mp3", dir / "talk-2.mp3", dir / "talk-3.mp3"}));
    ExpectPiecesStartAt(dir / "talk.mp3", {dir / "talk-1.mp3", dir / "talk-2.mp3", dir / "talk-3.mp3"},
                        {0, middles[0], middles[1]}, kFrameSamples);
}

TEST(SplitCommand, SilenceValueSetsTheThresholdAndTheShortestSilence) {
    test::TempDir dir;
    test::WriteFile(dir / "talk.mp3", Recording({{2.0, true}, {1.5, false}, {2.0, true}}));

    // 1.5 s is shorter than the 2 s asked for: nothing to cut at, nothing written.
    const test::ProcessResult none = test::RunCli({"cut", "--silence", "-40:2", dir / "talk.mp3"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.err, "No silence found to cut at.\n");
    EXPECT_EQ(none.out, "");
    EXPECT_TRUE(PiecesIn(dir.path(), "talk.mp3").empty());

    // A value of the option's form is its value, and what is wrong with it is named.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--silence=-40:0"}, std::vector<std::string>{"--silence", "-40:0"}}) {
        std::vector<std::string> command = {"cut"};
        command.insert(command.end(), args.begin(), args.end());
        command.push_back(dir / "talk.mp3");
        const test::ProcessResult bad = test::RunCli(command);
        EXPECT_EQ(bad.exitCode, 2);
        EXPECT_EQ(test::Lines(bad.err).front(),
                  "corvane-cli: invalid value for --silence: -40:0 (the shortest silence must last longer than 0 seconds)");
    }
    const test::ProcessResult positive = test::RunCli({"cut", "--silence", "10", dir / "talk.mp3"});
    EXPECT_EQ(test::Lines(positive.err).front(),
              "corvane-cli: invalid value for --silence: 10 (the level is in dBFS, 0 or below)");

    const test::ProcessResult cut = test::RunCli({"cut", "--silence", "-40:1.2", dir / "talk.mp3"});
    EXPECT_EQ(cut.exitCode, 0) << cut.err;
    EXPECT_EQ(PiecesIn(dir.path(), "talk.mp3").size(), 2u);
}

TEST(SplitCommand, BatchSilenceNumbersThePiecesOverTheBatch) {
    test::TempDir dir;
    test::WriteFile(dir / "a.mp3", Recording({{2.0, true}, {1.5, false}, {2.0, true}}));
    test::WriteFile(dir / "b.mp3", Recording({{2.0, true}, {1.5, false}, {2.0, true}, {1.5, false}, {2.0, true}}));

    const test::ProcessResult r =
        test::RunCli({"batch-cut", "--silence", "--name", "%S%.mp3", "-d", dir / "out", dir / "a.mp3", dir / "b.mp3"});

    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(PiecesIn(dir.path() / "out", ""),
              (std::vector<std::string>{"1.mp3", "2.mp3", "3.mp3", "4.mp3", "5.mp3"}));
}

// A sheet for live.wav, as a ripper writes it, in UTF-8 without a byte order mark.
constexpr const char* kSheet =
    "REM GENRE Jazz\n"
    "REM DATE 2001\n"
    "PERFORMER \"The Trio\"\n"
    "TITLE \"Live at Home\"\n"
    "FILE \"live.wav\" WAVE\n"
    "  TRACK 01 AUDIO\n"
    "    TITLE \"Opening\"\n"
    "    INDEX 01 00:00:00\n"
    "  TRACK 02 AUDIO\n"
    "    TITLE \"Café Noir\"\n"
    "    PERFORMER \"Guest\"\n"
    "    INDEX 00 00:03:50\n"
    "    INDEX 01 00:04:00\n"
    "  TRACK 03 AUDIO\n"
    "    TITLE Closing\n"
    "    INDEX 00 00:07:70\n"
    "    INDEX 01 00:08:12\n";

TEST(SplitCommand, CueSheetCutsEachTrackAtItsIndexWithItsTag) {
    test::TempDir dir;
    const test::Bytes source = Recording({{12.0, true}});
    test::WriteFile(dir / "live.mp3", source);
    test::WriteFile(dir / "live.cue", test::Bytes(kSheet, kSheet + std::strlen(kSheet)));

    const test::ProcessResult r =
        test::RunCli({"cut", "--cue", dir / "live.cue", "--name", "%N% %I%.mp3", dir / "live.mp3"});

    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> pieces = {dir / "1 Opening.mp3", dir / "2 Café Noir.mp3", dir / "3 Closing.mp3"};
    EXPECT_EQ(test::Lines(r.out), pieces);
    // INDEX 01 at 4.0 s and at 8 s and 12 CUE frames (8.16 s).
    ExpectPiecesStartAt(dir / "live.mp3", pieces, {0, 4 * kRate, 816 * kRate / 100}, 0);
    EXPECT_EQ(test::MutagenTags(pieces[0]),
              "TIT2=Opening\nTPE1=The Trio\nTALB=Live at Home\nTDRC=2001\nTCON=Jazz\nTRCK=1\n");
    EXPECT_EQ(test::MutagenTags(pieces[1]),
              "TIT2=Café Noir\nTPE1=Guest\nTALB=Live at Home\nTDRC=2001\nTCON=Jazz\nTRCK=2\n");
    EXPECT_EQ(test::MutagenTags(pieces[2]),
              "TIT2=Closing\nTPE1=The Trio\nTALB=Live at Home\nTDRC=2001\nTCON=Jazz\nTRCK=3\n");
}

TEST(SplitCommand, CueSheetWithATrackPastTheEndIsRefused) {
    test::TempDir dir;
    test::WriteFile(dir / "live.mp3", Recording({{6.0, true}}));
    const std::string sheet = "FILE \"live.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                              "  TRACK 02 AUDIO\n    INDEX 01 00:09:00\n";
    test::WriteFile(dir / "live.cue", test::Bytes(sheet.begin(), sheet.end()));

    const test::ProcessResult r = test::RunCli({"cut", "--cue", dir / "live.cue", dir / "live.mp3"});

    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Track 2 of the CUE sheet starts at 0:09.0, not before the end of the file (0:06.0).\n");
    EXPECT_TRUE(PiecesIn(dir.path(), "live.mp3").empty());
}

// Audio before the first track is left out and takes no number; tracks 4 CUE frames (53 ms)
// apart within one tenth (4.05 s and 4.11 s) are two pieces, each starting at its sample; a
// sheet of one track is one piece.
TEST(SplitCommand, CueSheetPiecesAreNumberedFromTheFirstTrackHoweverFewOrCloseTheTracks) {
    test::TempDir dir;
    test::WriteFile(dir / "live.mp3", Recording({{6.0, true}}));
    const std::vector<int16_t> source = test::DecodeGapless(dir / "live.mp3").pcm;
    const auto write = [&](const std::string& name, const std::string& text) {
        test::WriteFile(dir / name, test::Bytes(text.begin(), text.end()));
    };
    write("late.cue", "TRACK 01 AUDIO\nINDEX 01 00:01:00\nTRACK 02 AUDIO\nINDEX 01 00:04:04\n"
                      "TRACK 03 AUDIO\nINDEX 01 00:04:08\n");
    write("one.cue", "FILE \"live.wav\" WAVE\nTRACK 05 AUDIO\nTITLE \"All\"\nINDEX 01 00:00:00\n");

    const test::ProcessResult late = test::RunCli({"cut", "--cue", dir / "late.cue", "-d", dir / "late", dir / "live.mp3"});
    ASSERT_EQ(late.exitCode, 0) << late.err;
    const std::vector<std::string> pieces = {dir / "late/live-1.mp3", dir / "late/live-2.mp3", dir / "late/live-3.mp3"};
    EXPECT_EQ(test::Lines(late.out), pieces);
    EXPECT_EQ(PiecesIn(dir.path() / "late", ""), (std::vector<std::string>{"live-1.mp3", "live-2.mp3", "live-3.mp3"}));
    // Played one after another they are the source from 1 s on, split 4 and 8 CUE frames (588
    // samples each) after 4 s.
    std::vector<int16_t> played;
    std::vector<int64_t> lengths;
    for (const std::string& piece : pieces) {
        const test::DecodeResult decoded = test::DecodeGapless(piece);
        lengths.push_back(decoded.samples);
        played.insert(played.end(), decoded.pcm.begin(), decoded.pcm.end());
    }
    EXPECT_EQ(lengths[0], 3 * kRate + 4 * 588);
    EXPECT_EQ(lengths[1], 4 * 588);
    EXPECT_TRUE(played == std::vector<int16_t>(source.begin() + kRate * test::kRecordingChannels, source.end()));

    const test::ProcessResult one = test::RunCli({"cut", "--cue", dir / "one.cue", "-d", dir / "one", "--name",
                                                  "%P%-%T% %N% %I%.mp3", dir / "live.mp3"});
    ASSERT_EQ(one.exitCode, 0) << one.err;
    EXPECT_EQ(test::Lines(one.out), std::vector<std::string>{dir / "one/1-1 5 All.mp3"});
    EXPECT_TRUE(test::DecodeGapless(dir / "one/1-1 5 All.mp3").pcm == source);
}

// The sheet is read by the cut: a piece named like it never replaces it, even with overwrite.
TEST(SplitCommand, APieceNamedLikeTheCueSheetNeverReplacesIt) {
    test::TempDir dir;
    test::WriteFile(dir / "live.mp3", Recording({{12.0, true}}));
    const test::Bytes sheet(kSheet, kSheet + std::strlen(kSheet));
    test::WriteFile(dir / "live.cue", sheet);

    const test::ProcessResult r = test::RunCli(
        {"cut", "--cue", dir / "live.cue", "--name", "live.cue", "--if-exists", "overwrite", dir / "live.mp3"});

    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Target file name is same as original file\n");
    EXPECT_TRUE(test::ReadFile(dir / "live.cue") == sheet);
}

}  // namespace
}  // namespace corvane
