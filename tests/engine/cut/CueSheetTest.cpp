// Tests of CUE sheets: pieces at each track's INDEX 01 with the tracks' tags, the text
// encodings rippers write, and the sheets that are refused.
#include "engine/cut/CueSheet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Mp3Factory.h"

namespace corvane {
namespace {

constexpr int kRate = 44100;
constexpr int kSamplesPerCueFrame = kRate / kCueFramesPerSecond;  // 588

SourceFacts TenMinutes() {
    SourceFacts facts;
    facts.milliseconds = 600000;
    facts.sampleRate = kRate;
    return facts;
}

std::vector<std::pair<int, int>> RangesOf(const CuePieces& pieces) {
    std::vector<std::pair<int, int>> ranges;
    for (const PieceEntry& row : pieces.rows) ranges.emplace_back(row.start, row.end);
    return ranges;
}

// Three tracks, pregaps before the second and third, a title beyond ASCII, the second track
// without a performer.
const char* const kAlbumSheet =
    "REM GENRE Jazz\n"
    "REM DATE 1999\n"
    "REM COMMENT \"ExactAudioCopy v1.6\"\n"
    "PERFORMER \"The Trio\"\n"
    "TITLE \"Live at Home\"\n"
    "FILE \"Live at Home.wav\" WAVE\n"
    "  TRACK 01 AUDIO\n"
    "    TITLE \"Opening\"\n"
    "    PERFORMER \"Guest Voice\"\n"
    "    INDEX 01 00:00:00\n"
    "  TRACK 02 AUDIO\n"
    "    TITLE \"Café für 日本\"\n"
    "    INDEX 00 03:58:50\n"
    "    INDEX 01 04:00:37\n"
    "  TRACK 03 AUDIO\n"
    "    TITLE Last One\n"
    "    PERFORMER The Trio\n"
    "    INDEX 00 07:28:00\n"
    "    INDEX 01 07:30:12\n";

TEST(CueSheet, ThreeTracksArePiecesFromTheirIndex01WithTheirTags) {
    CueSheet sheet;
    ASSERT_TRUE(ParseCueSheet(kAlbumSheet, sheet).done());
    CuePieces pieces;
    ASSERT_TRUE(PlanCuePieces(sheet, "/music/Live at Home.mp3", TenMinutes(), pieces).done());

    // 4:00:37 is 240.493 s, 7:30:12 is 450.16 s: rounded to tenths, exact in samples.
    EXPECT_EQ(RangesOf(pieces), (std::vector<std::pair<int, int>>{{0, 2405}, {2405, 4502}, {4502, 6000}}));
    EXPECT_EQ(pieces.startFrames,
              (std::vector<uint64_t>{0, (240 * 75 + 37) * kSamplesPerCueFrame, (450 * 75 + 12) * kSamplesPerCueFrame}));
    for (const PieceEntry& row : pieces.rows) EXPECT_TRUE(row.checked);
    // Each row ends exactly where the next track starts and carries its track's tag.
    EXPECT_EQ(pieces.rows[0].endSample, static_cast<int64_t>(pieces.startFrames[1]));
    EXPECT_EQ(pieces.rows[1].endSample, static_cast<int64_t>(pieces.startFrames[2]));
    EXPECT_EQ(pieces.rows[2].endSample, -1);
    for (size_t k = 0; k < 3; ++k) EXPECT_EQ(pieces.rows[k].tags->title, pieces.tags[k].title);

    ASSERT_EQ(pieces.tags.size(), 3u);
    const std::vector<std::pair<std::string, std::string>> titleArtist = {
        {"Opening", "Guest Voice"}, {"Café für 日本", "The Trio"}, {"Last One", "The Trio"}};
    for (size_t k = 0; k < 3; ++k) {
        const TagFields& tag = pieces.tags[k];
        EXPECT_EQ(tag.track, static_cast<int>(k + 1));
        EXPECT_EQ(tag.title, titleArtist[k].first);
        EXPECT_EQ(tag.artist, titleArtist[k].second);
        EXPECT_EQ(tag.album, "Live at Home");
        EXPECT_EQ(tag.genre, "Jazz");
        EXPECT_EQ(tag.year, "1999");
        EXPECT_EQ(tag.comment, "");
    }
}

TEST(CueSheet, AudioBeforeTheFirstTrackIsALeadingUncheckedRow) {
    CueSheet sheet;
    ASSERT_TRUE(ParseCueSheet("TITLE Album\nTRACK 1 AUDIO\nINDEX 01 00:02:00\nTRACK 2 AUDIO\nINDEX 01 01:00:00\n",
                              sheet)
                    .done());
    CuePieces pieces;
    ASSERT_TRUE(PlanCuePieces(sheet, "a.mp3", TenMinutes(), pieces).done());
    EXPECT_EQ(RangesOf(pieces), (std::vector<std::pair<int, int>>{{0, 20}, {20, 600}, {600, 6000}}));
    EXPECT_FALSE(pieces.rows[0].checked);
    EXPECT_EQ(pieces.tags[0].track, 0);
    EXPECT_EQ(pieces.tags[0].album, "Album");
    EXPECT_EQ(pieces.tags[1].track, 1);
}

TEST(CueSheet, ALatin1SheetReadsAsUtf8) {
    CueSheet sheet;
    // Windows line ends; 0xE9 is "é" in Latin-1, 0x92 "’" as Windows writes it.
    ASSERT_TRUE(ParseCueSheet("PERFORMER \"Beyonc\xE9\"\r\nTRACK 01 AUDIO\r\nTITLE \"Don\x92t \xC0 la\"\r\n"
                              "INDEX 01 00:00:00\r\n",
                              sheet)
                    .done());
    EXPECT_EQ(sheet.performer, "Beyoncé");
    ASSERT_EQ(sheet.tracks.size(), 1u);
    EXPECT_EQ(sheet.tracks[0].title, "Don’t À la");
}

TEST(CueSheet, AUtf8SheetWithAByteOrderMarkReads) {
    CueSheet sheet;
    ASSERT_TRUE(ParseCueSheet("\xEF\xBB\xBFREM GENRE \"Électro\"\nTRACK 01 AUDIO\nTITLE Ünï\nINDEX 01 00:00:00\n", sheet)
                    .done());
    EXPECT_EQ(sheet.genre, "Électro");
    ASSERT_EQ(sheet.tracks.size(), 1u);
    EXPECT_EQ(sheet.tracks[0].title, "Ünï");
}

// Starts are kept in CUE frames: a sheet of one track is one row, tracks within one tenth of
// each other are rows one tenth apart that end exactly at the next track's sample, and a first
// track one CUE frame after 0:00 leaves a leading row.
TEST(CueSheet, EveryTrackIsARowHoweverFewOrCloseTheTracks) {
    CueSheet sheet;
    ASSERT_TRUE(ParseCueSheet("TRACK 01 AUDIO\nINDEX 01 00:00:00\n", sheet).done());
    CuePieces pieces;
    ASSERT_TRUE(PlanCuePieces(sheet, "a.mp3", TenMinutes(), pieces).done());
    EXPECT_EQ(RangesOf(pieces), (std::vector<std::pair<int, int>>{{0, 6000}}));
    EXPECT_TRUE(pieces.rows[0].checked);

    // 0:01 is 0.013 s; 1:00:04, 1:00:05 and 1:00:08 are 60.053, 60.067 and 60.107 s.
    ASSERT_TRUE(ParseCueSheet("TRACK 1 AUDIO\nINDEX 01 00:00:01\nTRACK 2 AUDIO\nINDEX 01 01:00:04\n"
                              "TRACK 3 AUDIO\nINDEX 01 01:00:05\nTRACK 4 AUDIO\nINDEX 01 01:00:08\n",
                              sheet)
                    .done());
    ASSERT_TRUE(PlanCuePieces(sheet, "a.mp3", TenMinutes(), pieces).done());
    EXPECT_EQ(RangesOf(pieces),
              (std::vector<std::pair<int, int>>{{0, 1}, {1, 601}, {601, 602}, {602, 603}, {603, 6000}}));
    EXPECT_FALSE(pieces.rows[0].checked);
    const std::vector<int64_t> ends = {1, 60 * 75 + 4, 60 * 75 + 5, 60 * 75 + 8};
    for (size_t k = 0; k < ends.size(); ++k) EXPECT_EQ(pieces.rows[k].endSample, ends[k] * kSamplesPerCueFrame);
    EXPECT_EQ(pieces.tags[4].track, 4);
}

// The encodings: a byte order mark names UTF-8 or UTF-16 (either order, a pair beyond the basic
// plane, a lone surrogate); after a UTF-8 mark a broken sequence, and without a mark the five
// bytes Windows-1252 leaves undefined, are U+FFFD; control characters stay.
TEST(CueSheet, EveryEncodingReadsAsWellFormedUtf8) {
    const auto utf16 = [](const std::u16string& text, bool bigEndian) {
        std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (const char16_t unit : text) {
            const char high = static_cast<char>(unit >> 8);
            const char low = static_cast<char>(unit & 0xFF);
            bytes += bigEndian ? std::string{high, low} : std::string{low, high};
        }
        return bytes;
    };
    const std::u16string text = u"TITLE \"Caf\u00E9 \U0001F3B5 \xD800x\"\r\nTRACK 01 AUDIO\r\nTITLE \u65E5\u672C\r\n"
                                u"INDEX 01 00:00:00\r\n";
    for (const bool bigEndian : {false, true}) {
        CueSheet sheet;
        ASSERT_TRUE(ParseCueSheet(utf16(text, bigEndian), sheet).done());
        EXPECT_EQ(sheet.title, "Café \xF0\x9F\x8E\xB5 \xEF\xBF\xBDx");
        ASSERT_EQ(sheet.tracks.size(), 1u);
        EXPECT_EQ(sheet.tracks[0].title, "日本");
        EXPECT_EQ(sheet.tracks[0].start, 0);
    }

    CueSheet sheet;
    ASSERT_TRUE(ParseCueSheet("\xEF\xBB\xBFTITLE \"Caf\xE9 \xC3\xA9\"\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", sheet).done());
    EXPECT_EQ(sheet.title, "Caf\xEF\xBF\xBD é");
    ASSERT_TRUE(ParseCueSheet("TITLE \"\x80\x81\x8D\x8F\x90\x9D\x9F\x01\x1B\"\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", sheet)
                    .done());
    EXPECT_EQ(sheet.title, "€\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDŸ\x01\x1B");
}

TEST(CueSheet, TheImageTheSheetWasWrittenForNamesTheSource) {
    CueSheet sheet;
    ASSERT_TRUE(ParseCueSheet("FILE \"C:\\Rips\\LIVE AT HOME.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                              "TRACK 02 AUDIO\nINDEX 01 01:00:00\n",
                              sheet)
                    .done());
    CuePieces pieces;
    EXPECT_TRUE(PlanCuePieces(sheet, "/music/Live at Home.mp3", TenMinutes(), pieces).done());
    EXPECT_EQ(pieces.rows.size(), 2u);
}

// --- Refusals -----------------------------------------------------------------------------

// Through the files: a sheet beside a five-second MP3 whose last track starts at six seconds.
TEST(CueSheet, ATrackPastTheEndOfTheFileIsRefused) {
    test::TempDir dir;
    test::WriteFile(dir / "set.mp3", test::EncodeMp3(test::EncodeOptions{}));
    const std::string sheet = "FILE set.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
                              "INDEX 00 00:04:00\nINDEX 01 00:06:00\n";
    test::WriteFile(dir / "set.cue", test::Bytes(sheet.begin(), sheet.end()));
    CuePieces pieces;
    const Outcome outcome = LoadCuePieces(dir / "set.cue", dir / "set.mp3", pieces);
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.message, "Track 2 of the CUE sheet starts at 0:06.0, not before the end of the file (0:05.0).");
    EXPECT_TRUE(pieces.rows.empty());
}

TEST(CueSheet, ATimeBeyondAnyFileIsRefusedNotWrappedAround) {
    // 372230499 minutes in tenths passes 2^31 many times over; narrowed it would be 0.8 s.
    CueSheet sheet;
    ASSERT_TRUE(ParseCueSheet("TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 372230499:00:00\n", sheet)
                    .done());
    CuePieces pieces;
    const Outcome outcome = PlanCuePieces(sheet, "/music/set.mp3", TenMinutes(), pieces);
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.message, "Track 2 of the CUE sheet starts at 372230499:00.0, not before the end of the file "
                               "(10:00.0).");
}

TEST(CueSheet, SheetsThatDoNotDescribeTheSourceAreRefusedWithTheirMessages) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"FILE \"Other.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
         "The CUE sheet is for \"Other.wav\", not \"Live.mp3\"."},
        {"FILE a.wav WAVE\nFILE b.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
         "The CUE sheet names more than one file."},
        {"TITLE \"Nothing\"\n", "The CUE sheet has no track."},
        {"TRACK 01 AUDIO\nINDEX 00 00:00:00\n", "Track 1 of the CUE sheet has no INDEX 01."},
        {"TRACK 01 AUDIO\nINDEX 01 00:30:00\nTRACK 02 AUDIO\nINDEX 01 00:20:00\n",
         "Track 2 of the CUE sheet does not start after track 1."},
    };
    for (const auto& [text, message] : cases) {
        CueSheet sheet;
        ASSERT_TRUE(ParseCueSheet(text, sheet).done());
        CuePieces pieces;
        const Outcome outcome = PlanCuePieces(sheet, "/music/Live.mp3", TenMinutes(), pieces);
        EXPECT_EQ(outcome.message, message);
        EXPECT_TRUE(pieces.rows.empty());
    }
    CueSheet sheet;
    EXPECT_EQ(ParseCueSheet("TRACK 01 AUDIO\n\nINDEX 01 00:61:00\n", sheet).message,
              "Line 3 of the CUE sheet has a time that is not mm:ss:ff.");
}

// A track takes the numbers a tag holds, 1 to 255; any other is the sheet's fault, not
// narrowed or clamped into a number the sheet does not give.
TEST(CueSheet, TrackNumbersOutsideOneTo255AreRefused) {
    for (const char* number : {"99999999999999", "256", "0", "-3", "x1", ""}) {
        CueSheet sheet;
        const std::string text = std::string("TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK ") + number + " AUDIO\n";
        EXPECT_EQ(ParseCueSheet(text, sheet).message,
                  "Line 3 of the CUE sheet has a track number that is not 1 to 255.")
            << number;
    }
    CueSheet sheet;
    ASSERT_TRUE(ParseCueSheet("TRACK 255 AUDIO\nINDEX 01 00:00:00\n", sheet).done());
    EXPECT_EQ(sheet.tracks[0].number, 255);
}

}  // namespace
}  // namespace corvane
