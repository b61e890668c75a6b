// Tests of the tag reader, genre and channel-mode names.
#include "engine/Facts.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/Mp3Factory.h"
#include "support/ReturnsWithin.h"

namespace corvane {
namespace {

using test::ReturnsWithin;

TEST(SourceInfo, TrackTextsReadAsFarAsTheyAreNumbers) {
    EXPECT_EQ(LeadingInteger("07"), 7);
    EXPECT_EQ(LeadingInteger("3/12"), 3);
    EXPECT_EQ(LeadingInteger("  12x"), 12);
    EXPECT_EQ(LeadingInteger("-4"), -4);
    EXPECT_EQ(LeadingInteger(""), 0);
    EXPECT_EQ(LeadingInteger("A1"), 0);
    EXPECT_EQ(LeadingInteger("99999999999999"), 2147483647);
    EXPECT_EQ(TrackText(0), "");
    EXPECT_EQ(TrackText(7), "7");
}

TEST(SourceInfo, GenreAndChannelModeNames) {
    EXPECT_STREQ(GenreName(0), "Blues");
    EXPECT_STREQ(GenreName(17), "Rock");
    EXPECT_STREQ(GenreName(147), "Synthpop");
    EXPECT_EQ(GenreName(148), nullptr);
    EXPECT_EQ(GenreNames[kGenreCount], nullptr);
    int count = 0;
    while (GenreNames[count]) ++count;
    EXPECT_EQ(count, 148);
    EXPECT_STREQ(ChannelModeName(1), "J-Stereo");
    EXPECT_STREQ(ChannelModeName(2), "Dual Channel");
    EXPECT_STREQ(ChannelModeName(4), "");
    EXPECT_EQ(BitrateText(32), "32 kbps");
    EXPECT_EQ(SampleRateText(22050), "22050 Hz");
}

class SourceTags : public ::testing::Test {
protected:
    std::string WriteTagged(const test::Bytes& tag, const test::Bytes& trailer = {}) {
        test::EncodeOptions o;
        o.seconds = 1;
        const std::string path = dir / "tagged.mp3";
        test::WriteFile(path, test::Concat({tag, test::EncodeMp3(o), trailer}));
        return path;
    }
    test::TempDir dir;
};

TEST_F(SourceTags, ReadsId3v23Utf16TextsExactly) {
    const test::Bytes tag = test::MakeId3v2Tag(3, {{"TRCK", "07"}, {"TIT2", "Ночь в городе"}, {"TPE1", "歌手"},
                                                   {"TALB", "Ålbum"}, {"TYER", "2004"}, {"TCON", "(17)"},
                                                   {"COMM", "two\nlines"}});
    TagFields t;
    ASSERT_TRUE(ReadTags(WriteTagged(tag), t));
    EXPECT_EQ(t.track, 7);
    EXPECT_EQ(t.title, "Ночь в городе");
    EXPECT_EQ(t.artist, "歌手");
    EXPECT_EQ(t.album, "Ålbum");
    EXPECT_EQ(t.year, "2004");
    EXPECT_EQ(t.genre, "Rock");
    EXPECT_EQ(t.comment, "two\nlines");
}

TEST_F(SourceTags, ReadsId3v24Utf8Texts) {
    const test::Bytes tag = test::MakeId3v2Tag(4, {{"TRCK", "3/12"}, {"TIT2", "日本語のタイトル"}, {"TPE1", "Артист"},
                                                   {"TDRC", "1999"}, {"TCON", "Jazz"}, {"COMM", "a\nb\nc"}});
    TagFields t;
    ASSERT_TRUE(ReadTags(WriteTagged(tag), t));
    EXPECT_EQ(t.track, 3);
    EXPECT_EQ(t.title, "日本語のタイトル");
    EXPECT_EQ(t.artist, "Артист");
    EXPECT_EQ(t.year, "1999");
    EXPECT_EQ(t.genre, "Jazz");
    EXPECT_EQ(t.comment, "a\nb\nc");
}

TEST_F(SourceTags, ALineBreakInATextShiftsNoOtherField) {
    const test::Bytes tag = test::MakeId3v2Tag(4, {{"TRCK", "2\n5"}, {"TIT2", "a\nb"}, {"TPE1", "Artist"},
                                                   {"TALB", "Album\n"}, {"TCON", "Rock"}, {"TDRC", "1999"},
                                                   {"COMM", "c\nd"}});
    TagFields t;
    ASSERT_TRUE(ReadTags(WriteTagged(tag), t));
    EXPECT_EQ(t.track, 2);
    EXPECT_EQ(t.title, "a\nb");
    EXPECT_EQ(t.artist, "Artist");
    EXPECT_EQ(t.album, "Album\n");
    EXPECT_EQ(t.genre, "Rock");
    EXPECT_EQ(t.year, "1999");
    EXPECT_EQ(t.comment, "c\nd");
}

TEST_F(SourceTags, ReadsTagsWrittenByOtherTaggers) {
    TagFields t;
    ASSERT_TRUE(ReadTags(std::string(CORVANE_TEST_DATA_DIR) + "/id3v24_utf8.mp3", t));
    EXPECT_EQ(t.title, "Ночь");
    EXPECT_EQ(t.artist, "歌手");
    EXPECT_EQ(t.album, "Ålbum");
    EXPECT_EQ(t.track, 5);
    EXPECT_EQ(t.year, "2004");
    EXPECT_EQ(t.genre, "Pop");
    EXPECT_EQ(t.comment, "two\nlines");

    ASSERT_TRUE(ReadTags(std::string(CORVANE_TEST_DATA_DIR) + "/id3v1_only.mp3", t));
    EXPECT_EQ(t.title, "V1 Title");
    EXPECT_EQ(t.artist, "V1 Artist");
    EXPECT_EQ(t.track, 9);
    EXPECT_EQ(t.year, "1987");
    EXPECT_EQ(t.genre, "Rock");
}

TEST_F(SourceTags, AFileWithoutTagsGivesEmptyFieldsAndFalse) {
    TagFields t;
    t.title = "stale";
    t.track = 4;
    EXPECT_FALSE(ReadTags(WriteTagged({}), t));
    EXPECT_EQ(t.title, "");
    EXPECT_EQ(t.track, 0);
    EXPECT_FALSE(ReadTags(dir / "missing.mp3", t));
}

TEST_F(SourceTags, PipesAndDevicesGiveNoTagAtOnce) {
    const std::string fifo = dir / "pipe.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        bool read = true;
        ASSERT_TRUE(ReturnsWithin([path] { TagFields t; return ReadTags(path, t); }, read)) << path;
        EXPECT_FALSE(read) << path;
    }
}

TEST(SourceInfo, FileSizeOfAFile) {
    test::TempDir dir;
    test::WriteFile(dir / "f.bin", test::Bytes(1234, 1));
    uint64_t size = 0;
    EXPECT_TRUE(GetFileSize64(dir / "f.bin", size));
    EXPECT_EQ(size, 1234u);
    EXPECT_FALSE(GetFileSize64(dir / "none.bin", size));
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

// A file rewritten in place (same name and size) or replaced by another is no longer the file
// its facts were read from.
TEST(SourceFactsStamp, ARewrittenOrReplacedFileIsNoLongerAsRead) {
    test::TempDir dir;
    const std::string path = dir / "song.mp3";
    const test::Bytes mp3 = test::EncodeMp3(test::EncodeOptions{});
    test::WriteFile(path, mp3);
    SourceFacts facts;
    ASSERT_TRUE(ReadSourceFacts(path, facts));
    EXPECT_TRUE(StillAsRead(path, facts));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // past the file system clock's tick
    test::WriteFile(path, mp3);  // same bytes, written again
    EXPECT_FALSE(StillAsRead(path, facts));
    ASSERT_TRUE(ReadSourceFacts(path, facts));
    test::WriteFile(path + ".new", mp3);
    std::filesystem::rename(path + ".new", path);  // another file under the name
    EXPECT_FALSE(StillAsRead(path, facts));
    std::filesystem::remove(path);
    EXPECT_FALSE(StillAsRead(path, facts));
}

}  // namespace
}  // namespace corvane
