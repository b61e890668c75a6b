// End-to-end test of a tag text that holds a line break: every other field stays its own in
// `info`, in the tag placeholders of piece names and in the pieces' tags.
#include <gtest/gtest.h>

#include "support/CliRunner.h"

namespace corvane {
namespace {

TEST(TagRecord, ALineBreakInTheTitleShiftsNoOtherField) {
    test::TempDir dir;
    const std::string source = dir / "song.mp3";
    test::WriteFile(source, test::Concat({test::MakeId3v2Tag(3, {{"TRCK", "4"},
                                                                 {"TIT2", "a\nb"},
                                                                 {"TPE1", "Artist"},
                                                                 {"TALB", "Album"},
                                                                 {"TCON", "Rock"},
                                                                 {"TYER", "2001"},
                                                                 {"COMM", "note"}}),
                                          test::EncodeMp3({.seconds = 2})}));

    const test::ProcessResult info = test::RunCli({"info", source});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    const std::string fields = info.out.substr(info.out.find("  track:"));
    EXPECT_EQ(fields,
              "  track:        4\n"
              "  title:        a\\nb\n"
              "  artist:       Artist\n"
              "  album:        Album\n"
              "  year:         2001\n"
              "  genre:        Rock\n"
              "  comment:      note\n");

    const test::ProcessResult cut = test::RunCli({"cut", "--count", "2", "--name", "%A%-%L%-%G%-%P%.mp3", source});
    ASSERT_EQ(cut.exitCode, 0) << cut.err;
    const std::vector<std::string> pieces = {dir / "Artist-Album-Rock-1.mp3", dir / "Artist-Album-Rock-2.mp3"};
    EXPECT_EQ(cut.out, pieces[0] + "\n" + pieces[1] + "\n");
    for (int i = 0; i < 2; ++i) {
        const std::string& piece = pieces[static_cast<size_t>(i)];
        EXPECT_EQ(test::MutagenTags(piece), "TIT2=a\nb - " + std::to_string(i + 1) +
                                                "/2\nTPE1=Artist\nTALB=Album\nTDRC=2001\nTCON=Rock\nTRCK=4\nCOMM=note\n")
            << piece;
        const test::DecodeResult decoded = test::DecodeWithMpg123(piece);
        EXPECT_TRUE(decoded.ok) << piece << ": " << decoded.messages;
    }
}

}  // namespace
}  // namespace corvane
