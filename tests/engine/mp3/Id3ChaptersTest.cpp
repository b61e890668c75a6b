// CHAP and CTOC frames: the bytes written into a tag, and the chapters read back from v2.3 and
// v2.4 tags.
#include "engine/mp3/Id3Chapters.h"

#include <gtest/gtest.h>

#include "engine/output/PieceNaming.h"
#include "support/Mp3Factory.h"

namespace corvane {
namespace {

using test::Bytes;

TEST(Id3ChaptersTest, FramesWrittenIntoATagAndReadBack) {
    // A tag of chapters alone: the v2.3 header, one CHAP with its TIT2, the CTOC.
    const Bytes alone = WithChapterFrames({}, {{0, 1500, "A"}});
    const Bytes expected = {
        'I', 'D', '3', 3, 0, 0, 0, 0, 0, 62,
        'C', 'H', 'A', 'P', 0, 0, 0, 32, 0, 0,
        'c', 'h', '0', 0, 0, 0, 0, 0, 0, 0, 0x05, 0xDC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        'T', 'I', 'T', '2', 0, 0, 0, 2, 0, 0, 0, 'A',
        'C', 'T', 'O', 'C', 0, 0, 0, 10, 0, 0,
        't', 'o', 'c', 0, 3, 1, 'c', 'h', '0', 0};
    EXPECT_EQ(alone, expected);
    EXPECT_EQ(WithChapterFrames({}, {}), Bytes{});

    // Into LAME's tag: its frames stay first, a non-ASCII title is UTF-16, the times do not
    // change the length, and the chapters read back in order of their starts.
    const Bytes lame = BuildId3v2Tag("Show", "Host", "", "", "", "", 0);
    const std::vector<Chapter> chapters = {{0, 9000, "Intro"}, {9000, 21500, "Caf\xC3\xA9 \xF0\x9F\x8E\xB5"},
                                           {21500, 30000, ""}};
    const Bytes tag = WithChapterFrames(lame, chapters);
    ASSERT_GT(tag.size(), lame.size());
    EXPECT_TRUE(std::equal(lame.begin() + 10, lame.end(), tag.begin() + 10));
    EXPECT_EQ(tag[3], 3);
    const size_t body = (size_t{tag[6]} << 21) | (size_t{tag[7]} << 14) | (size_t{tag[8]} << 7) | tag[9];
    EXPECT_EQ(body + 10, tag.size());
    std::vector<Chapter> later = chapters;
    for (Chapter& c : later) c.startMs += 123456, c.endMs += 123456;
    EXPECT_EQ(WithChapterFrames(lame, later).size(), tag.size());
    EXPECT_EQ(ParseChapterFrames(tag.data(), tag.size()), chapters);

    // A v2.4 tag, unordered, with a UTF-8 title and syncsafe sizes; an end before the start
    // reads as the start.
    auto frame24 = [](const std::string& id, const Bytes& content) {
        Bytes f(id.begin(), id.end());
        const size_t n = content.size();
        for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>((n >> (7 * (3 - i))) & 0x7F));
        f.insert(f.end(), {0, 0});
        f.insert(f.end(), content.begin(), content.end());
        return f;
    };
    auto chap = [&](const std::string& id, uint32_t start, uint32_t end, const Bytes& title) {
        Bytes c(id.begin(), id.end());
        c.push_back(0);
        for (uint32_t v : {start, end, 0xFFFFFFFFu, 0xFFFFFFFFu}) {
            for (int s = 24; s >= 0; s -= 8) c.push_back(static_cast<uint8_t>(v >> s));
        }
        const Bytes t = frame24("TIT2", title);
        c.insert(c.end(), t.begin(), t.end());
        return frame24("CHAP", c);
    };
    Bytes frames = chap("b", 200000, 100, {3, 0xC3, 0xA9, 't', 0xC3, 0xA9});
    const Bytes first = chap("a", 0, 200000, {0, 'O', 'n', 'e', 0});
    frames.insert(frames.end(), first.begin(), first.end());
    Bytes v24 = {'I', 'D', '3', 4, 0, 0};
    for (int i = 0; i < 4; ++i) v24.push_back(static_cast<uint8_t>((frames.size() >> (7 * (3 - i))) & 0x7F));
    v24.insert(v24.end(), frames.begin(), frames.end());
    EXPECT_EQ(ParseChapterFrames(v24.data(), v24.size()),
              (std::vector<Chapter>{{0, 200000, "One"}, {200000, 200000, "\xC3\xA9t\xC3\xA9"}}));
    EXPECT_TRUE(ParseChapterFrames(v24.data(), v24.size() - 5).size() == 1);  // the last one cut short

    // The chapters of a piece: clipped to it and moved to its start.
    EXPECT_EQ(ChaptersWithin(chapters, 5000, 15000),
              (std::vector<Chapter>{{0, 4000, "Intro"}, {4000, 10000, chapters[1].title}}));

    // Fewer chapters fit over the tag they replace: padding fills the rest, the header counts it.
    const Bytes fewer = PaddedTo(WithChapterFrames(lame, ChaptersWithin(chapters, 0, 5000)), tag.size());
    ASSERT_EQ(fewer.size(), tag.size());
    EXPECT_TRUE(std::equal(tag.begin(), tag.begin() + 10, fewer.begin()));
    EXPECT_EQ(ParseChapterFrames(fewer.data(), fewer.size()), (std::vector<Chapter>{{0, 5000, "Intro"}}));
    EXPECT_EQ(fewer.back(), 0);
    EXPECT_EQ(PaddedTo(tag, 10), tag);
}

}  // namespace
}  // namespace corvane
