// End-to-end tests of chapters: a join writes one per input, info lists a file's, cut
// --chapters writes one piece per chapter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/CliRunner.h"
#include "support/Mp3Factory.h"

namespace corvane {
namespace {

using test::Bytes;

test::ProcessResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), test::CliPath());
    return test::RunProcess(args);
}

// The chapters of path as another reader sees them: "start-end title" lines from ffprobe, and
// the CHAP and CTOC frames mutagen reads.
std::string FfprobeChapters(const std::string& path) {
    return test::RunProcess({"ffprobe", "-v", "error", "-show_entries", "chapter=start,end:chapter_tags=title", "-of",
                             "csv=p=0", path})
        .out;
}
std::string MutagenChapters(const std::string& path) {
    static const char* script =
        "import sys\n"
        "from mutagen.id3 import ID3\n"
        "t = ID3(sys.argv[1])\n"
        "print(t.version)\n"
        "for c in t.getall('CHAP'): print(c.element_id, c.start_time, c.end_time, c.sub_frames['TIT2'].text[0])\n"
        "for c in t.getall('CTOC'): print(c.element_id, int(c.flags), c.child_element_ids)\n";
    return test::RunProcess({"/usr/bin/python3", "-c", script, path}).out;
}

test::EncodeOptions Gapless(double seconds) {
    test::EncodeOptions o;
    o.infoFrame = true;
    o.seconds = seconds;
    return o;
}

// A tone of 7 s, silence of 11 s and a tone of 5 s, titled, joined by frame copy: three
// chapters where each input's audio starts in the target, which the seams move past 7 and
// 18 s by the padding and delay they keep; the last chapter ends at the target's end.
TEST(ChaptersCommand, AJoinWritesAChapterPerInputWhereItsAudioStarts) {
    test::TempDir dir;
    const std::vector<std::pair<std::string, Bytes>> inputs = {
        {"One", test::EncodeMp3(Gapless(7))},
        {"Two", test::EncodePcm(Gapless(11), std::vector<int16_t>(11 * 44100 * 2, 0))},
        {"Three", test::EncodeMp3(Gapless(5))}};
    std::vector<std::string> args = {"join", "-o", dir / "book.mp3"};
    for (const auto& [title, frames] : inputs) {
        test::WriteFile(dir / (title + ".mp3"), test::Concat({test::MakeId3v2Tag(3, {{"TIT2", title}}), frames}));
        args.push_back(dir / (title + ".mp3"));
    }
    const test::ProcessResult p = Cli(args);
    ASSERT_EQ(p.exitCode, 0) << p.err;
    // Delay 576, paddings as LAME ends 7, 11 and 5 s at 44.1 kHz: each seam keeps the padding
    // before it and the delay after it (1188 and 2196 samples).
    EXPECT_EQ(FfprobeChapters(dir / "book.mp3"),
              "0,7027,One\n7027,18077,Two\n18077,23076,Three\n");
    EXPECT_EQ(MutagenChapters(dir / "book.mp3"),
              "(2, 3, 0)\nch0 0 7027 One\nch1 7027 18077 Two\nch2 18077 23076 Three\ntoc 3 ['ch0', 'ch1', 'ch2']\n");
    // Where the decoded target turns loud after the silence is the third chapter's start.
    const test::DecodeResult decoded = test::DecodeGapless(dir / "book.mp3");
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.samples * 1000 / 44100, 23076);
    int64_t loud = 10 * 44100;
    while (loud < decoded.samples && std::abs(decoded.pcm[static_cast<size_t>(loud) * 2]) < 3000) ++loud;
    EXPECT_NEAR(static_cast<double>(loud), 18.077 * 44100, 576);

    // Re-encoded, the inputs follow each other with no gap: the chapters start at 7 and 18 s.
    std::vector<std::string> encoded = args;
    encoded[2] = dir / "encoded.mp3";
    encoded.insert(encoded.end(), {"--rate", "44100", "--bitrate", "128", "--mode", "joint"});
    ASSERT_EQ(Cli(encoded).exitCode, 0);
    EXPECT_EQ(FfprobeChapters(dir / "encoded.mp3"), "0,7000,One\n7000,18000,Two\n18000,23000,Three\n");

    // Without chapters: no tag at all.
    ASSERT_EQ(Cli({"join", "--no-chapters", "-o", dir / "plain.mp3", args[3], args[4]}).exitCode, 0);
    EXPECT_EQ(test::ReadFile(dir / "plain.mp3")[0], 0xFF);
}

// A 30 s file whose tag (written by mutagen) has chapters at 0, 9 and 21.5 s: info lists
// them, and cut --chapters writes three pieces named and titled by them, each as long as its
// chapter to the sample, each holding its chapter. A file without chapters is refused.
TEST(ChaptersCommand, InfoListsAFilesChaptersAndCutWritesAPiecePerChapter) {
    test::TempDir dir;
    const std::string book = dir / "book.mp3";
    test::WriteFile(book, test::EncodeMp3(Gapless(30)));
    static const char* script =
        "import sys\n"
        "from mutagen.id3 import ID3, CHAP, CTOC, TIT2, TPE1, CTOCFlags\n"
        "t = ID3()\n"
        "t.add(TPE1(encoding=3, text='Reader'))\n"
        "spans = [(0, 9000, 'Opening'), (9000, 21500, 'Middle'), (21500, 30000, 'Close')]\n"
        "for i, (s, e, title) in enumerate(spans):\n"
        "    t.add(CHAP(element_id='c%d' % i, start_time=s, end_time=e, sub_frames=[TIT2(encoding=3, text=title)]))\n"
        "t.add(CTOC(element_id='toc', flags=CTOCFlags.TOP_LEVEL | CTOCFlags.ORDERED,\n"
        "           child_element_ids=['c0', 'c1', 'c2'], sub_frames=[]))\n"
        "t.save(sys.argv[1], v2_version=3)\n";
    ASSERT_EQ(test::RunProcess({"/usr/bin/python3", "-c", script, book}).exitCode, 0);

    const test::ProcessResult info = Cli({"info", "--json", book});
    ASSERT_EQ(info.exitCode, 0);
    EXPECT_NE(info.out.find("\"chapters\": [{\"start_ms\": 0, \"end_ms\": 9000, \"title\": \"Opening\"}, "
                            "{\"start_ms\": 9000, \"end_ms\": 21500, \"title\": \"Middle\"}, "
                            "{\"start_ms\": 21500, \"end_ms\": 30000, \"title\": \"Close\"}]}]\n"),
              std::string::npos)
        << info.out;

    const test::ProcessResult cut = Cli({"cut", "--chapters", "--name", "%N% %I%.mp3", "-d", dir / "out", book});
    ASSERT_EQ(cut.exitCode, 0) << cut.err;
    EXPECT_EQ(cut.out, dir / "out/1 Opening.mp3\n" + dir / "out/2 Middle.mp3\n" + dir / "out/3 Close.mp3\n");
    const std::vector<std::pair<std::string, int64_t>> pieces = {{"1 Opening", 9000}, {"2 Middle", 12500}, {"3 Close", 8500}};
    for (const auto& [name, ms] : pieces) {
        const std::string piece = dir / ("out/" + name + ".mp3");
        EXPECT_EQ(test::DecodeGapless(piece).samples, ms * 44100 / 1000) << name;
        EXPECT_EQ(test::MutagenTags(piece), "TIT2=" + name.substr(2) + "\nTPE1=Reader\nTRCK=" + name.substr(0, 1) + "\n");
        EXPECT_EQ(FfprobeChapters(piece), "0," + std::to_string(ms) + "," + name.substr(2) + "\n");
    }

    // Pieces by size end where their frames do: each holds the chapters over its audio, clipped
    // at both ends, the second starting where the first ends. Re-encoded, where the audio of a
    // piece after the first starts is known once it is decoded; two workers agree.
    for (const std::vector<std::string>& extra : {std::vector<std::string>{}, {"--reencode", "--jobs", "1"},
                                                  {"--reencode", "--jobs", "2"}}) {
        std::vector<std::string> args = {"cut", "--quiet", "--size", "300KB", "-d", dir / "sized", book};
        args.insert(args.end(), extra.begin(), extra.end());
        std::filesystem::remove_all(dir / "sized");
        ASSERT_EQ(Cli(args).exitCode, 0);
        const int64_t first = (test::DecodeGapless(dir / "sized/book-1.mp3").samples * 1000 + 22050) / 44100;
        const std::string middle = std::to_string(21500 - first);
        EXPECT_EQ(FfprobeChapters(dir / "sized/book-1.mp3"), "0,9000,Opening\n9000," + std::to_string(first) + ",Middle\n");
        EXPECT_EQ(FfprobeChapters(dir / "sized/book-2.mp3"),
                  "0," + middle + ",Middle\n" + middle + "," + std::to_string(30000 - first) + ",Close\n");
    }

    test::WriteFile(dir / "bare.mp3", test::EncodeMp3(Gapless(3)));
    const test::ProcessResult bare = Cli({"cut", "--chapters", dir / "bare.mp3"});
    EXPECT_EQ(bare.exitCode, 1);
    EXPECT_EQ(bare.err, "The file has no chapters to cut at.\n");
    EXPECT_EQ(bare.out, "");
}

}  // namespace
}  // namespace corvane
