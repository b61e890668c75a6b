// Piece names, folders, target-exists rules and the pieces' ID3v2 tags.
#include "engine/output/PieceNaming.h"
#include "engine/cut/PieceTarget.h"
#include "engine/output/OutputRun.h"

#include <lame/lame.h>
#include <taglib/mpegfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/id3v2frame.h>

#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/Mp3Factory.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TempDir;

void Touch(const std::string& path, const std::string& text) {
    test::WriteFile(path, Bytes(text.begin(), text.end()));
}

std::string ReadText(const std::string& path) {
    const Bytes bytes = test::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// Names every entry of folder (recursively), relative to it.
std::vector<std::string> Listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        names.push_back(fs::relative(entry.path(), folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A source file in its own folder "m" of a fresh temporary folder.
struct SourceFixture {
    TempDir dir;
    std::string folder;
    std::string source;
    COutputRun run;
    explicit SourceFixture(const std::string& name = "live.mp3") {
        folder = dir / "m";
        fs::create_directory(folder);
        source = folder + "/" + name;
        Touch(source, "source bytes");
        run.AddSource(source);
    }
};

// ---- Name templates ----

TEST(PieceNaming, AutomaticDigitsFollowThePieceCount) {
    EXPECT_EQ(AutomaticDigits(1), 1);
    EXPECT_EQ(AutomaticDigits(9), 1);
    EXPECT_EQ(AutomaticDigits(10), 2);
    EXPECT_EQ(AutomaticDigits(102), 3);
    EXPECT_EQ(FormatPieceNumber(7, 3), "007");
    EXPECT_EQ(FormatPieceNumber(1234, 2), "1234");
    EXPECT_EQ(FormatPieceNumber(5, 0), "5");
    EXPECT_EQ(FormatPieceNumber(5, -3), "5");  // never left-justified with blanks
}

TEST(PieceNaming, TwelvePiecesGetTwoDigitNumbers) {
    SourceFixture f;
    CutterOptions options;
    options.nameTemplate = "%F%[%P% of %T%].mp3";
    std::string path, error;
    ASSERT_TRUE(MakePieceTarget(options, f.run, f.source, 1, 12, 1, path, error)) << error;
    EXPECT_EQ(path, f.folder + "/live[01 of 12].mp3");
    ASSERT_TRUE(MakePieceTarget(options, f.run, f.source, 2, 12, 2, path, error)) << error;
    EXPECT_EQ(path, f.folder + "/live[02 of 12].mp3");
    // Settling a name creates nothing.
    EXPECT_EQ(Listing(f.folder), std::vector<std::string>{"live.mp3"});
}

TEST(PieceNaming, FixedDigitsPadEveryNumber) {
    SourceFixture f;
    CutterOptions options;
    options.nameDigits = 3;
    for (int i = 1; i <= 9; ++i) {
        std::string path, error;
        ASSERT_TRUE(MakePieceTarget(options, f.run, f.source, i, 9, i, path, error)) << error;
        EXPECT_EQ(path, f.folder + "/live-00" + std::to_string(i) + ".mp3");
    }
}

TEST(PieceNaming, SequenceAndCountUseTheSameDigits) {
    EXPECT_EQ(ExpandNameTemplate("%F%_%S%_%P%_%T%.mp3", "x", nullptr, 2, 3, 41, 2),
              "x_41_02_03.mp3");
}

TEST(PieceNaming, ForbiddenCharactersBecomeSpaces) {
    EXPECT_EQ(ExpandNameTemplate("a\\b/c:d*e?f\"g<h>i|j-%P%.mp3", "", nullptr, 1, 1, 1, 1),
              "a b c d e f g h i j-1.mp3");
    // Control characters from a tag (ESC, BEL, a line break, DEL, C1's U+009D) too; other
    // text, accents included, stays.
    TagFields tags;
    tags.title = "\x1b]0;PWN\x07\x1b[2Jx\ny\x7f\xc2\x9d\xc3\xa9";
    EXPECT_EQ(ExpandNameTemplate("%I%.mp3", "", tags, 1, 1, 1, 1), " ]0;PWN  [2Jx y  \xc3\xa9.mp3");
}

// A name longer than a file system takes is cut before its extension, between characters:
// 90 CJK characters (270 bytes) keep 77 of them and ".mp3".
TEST(PieceNaming, ALongNameIsCutBetweenCharactersBeforeItsExtension) {
    TagFields tags;
    for (int i = 0; i < 90; ++i) tags.title += "\xe6\xbc\xa2";
    const std::string name = ExpandNameTemplate("%N% - %I%.mp3", "", tags, 1, 1, 1, 1);
    EXPECT_EQ(name.size(), 3 + 77 * 3 + 4u);
    EXPECT_EQ(name.substr(name.size() - 7), "\xe6\xbc\xa2.mp3");
}

TEST(PieceNaming, PlaceholderInsideTheBaseNameIsNumbered) {
    EXPECT_EQ(ExpandNameTemplate("%F%-%P%.mp3", "take%P%", nullptr, 4, 5, 4, 1),
              "take4-4.mp3");
}

TEST(PieceNaming, PreviewShowsSampleTagValues) {
    EXPECT_EQ(ExpandNameTemplate("%N%. %A% - %I% (%L%, %Y%, %G%)", "b", nullptr, 1, 1, 1, 1),
              "9. Artist - Title (Album, Year, Genre)");
}

TEST(PieceNaming, SourceWithoutTagLeavesTagPlaceholdersEmpty) {
    SourceFixture f;
    test::WriteFile(f.source, test::EncodeMp3({.seconds = 0.3}));
    CutterOptions options;
    options.nameTemplate = "%A%-%I%-%P%.mp3";
    std::string path, error;
    ASSERT_TRUE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error)) << error;
    EXPECT_EQ(path, f.folder + "/--1.mp3");
    // An empty title alone leaves only the extension, which would be a hidden file.
    EXPECT_EQ(ExpandNameTemplate("%I%.mp3", "", TagFields{}, 1, 2, 1, 1), "_.mp3");
}

TEST(PieceNaming, TagValuesAreCleanedButNotExpandedAgain) {
    SourceFixture f;
    test::WriteFile(f.source,
                    test::Concat({test::MakeId3v2Tag(3, {{"TPE1", "A/B"}, {"TIT2", "%A%"}}),
                                  test::EncodeMp3({.seconds = 0.3})}));
    CutterOptions options;
    options.nameTemplate = "%A%-%I%-%P%.mp3";
    std::string path, error;
    ASSERT_TRUE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error)) << error;
    EXPECT_EQ(path, f.folder + "/A B-%A%-1.mp3");
}

TEST(PieceNaming, TitleTemplateReplacesInItsOwnOrder) {
    EXPECT_EQ(ExpandTitleTemplate("%I% - %P%/%T%", "Live", "live", 3, 12, 3, 0), "Live - 03/12");
    EXPECT_EQ(ExpandTitleTemplate("%F% #%S%", "t", "a:b", 1, 2, 17, 3), "a:b #017");
    // The title goes in first, so placeholders in it are expanded too.
    EXPECT_EQ(ExpandTitleTemplate("%I%", "Part %P%", "b", 2, 2, 2, 1), "Part 2");
}

// ---- Folders ----

TEST(PieceNaming, SpecificFolderIsCreated) {
    SourceFixture f;
    CutterOptions options;
    options.placement.folder = OutputFolder::Specific;
    options.placement.specificFolder = f.dir / "out/deeper";
    std::string path, error;
    ASSERT_TRUE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error)) << error;
    EXPECT_EQ(path, f.dir / "out/deeper/live-1.mp3");
    EXPECT_TRUE(fs::is_directory(f.dir / "out/deeper"));
}

TEST(PieceNaming, EmptySpecificFolderIsRefused) {
    SourceFixture f;
    CutterOptions options;
    options.placement.folder = OutputFolder::Specific;
    std::string path = "unchanged", error;
    EXPECT_FALSE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error));
    EXPECT_EQ(error, "Failed to create folder \"\"");
    EXPECT_EQ(path, "unchanged");
}

TEST(PieceNaming, SpecificFolderBlockedByAFileIsRefused) {
    SourceFixture f;
    Touch(f.dir / "out", "a file");
    CutterOptions options;
    options.placement.folder = OutputFolder::Specific;
    options.placement.specificFolder = f.dir / "out/";
    std::string path, error;
    EXPECT_FALSE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error));
    EXPECT_EQ(error, "Failed to create folder \"" + (f.dir / "out/") + "\"");
}

TEST(PieceNaming, TreeFoldersRebuildTheSourcePathUnderTheSpecificFolder) {
    SourceFixture f;
    CutterOptions options;
    options.placement.folder = OutputFolder::Specific;
    options.placement.specificFolder = f.dir / "out/";  // trailing separator: no "//" follows
    options.placement.treeFolders = true;
    std::string path, error;
    ASSERT_TRUE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error)) << error;
    const std::string expectedFolder = (f.dir / "out") + f.folder + "/";
    EXPECT_EQ(path, expectedFolder + "live-1.mp3");
    EXPECT_EQ(path.find("//"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(expectedFolder));
}

TEST(PieceNaming, TreeFoldersDropColons) {
    SourceFixture f;
    const std::string odd = f.dir / "C:";
    fs::create_directory(odd);
    const std::string source = odd + "/live.mp3";
    Touch(source, "x");
    CutterOptions options;
    options.placement.folder = OutputFolder::Specific;
    options.placement.specificFolder = f.dir / "out";
    options.placement.treeFolders = true;
    std::string path, error;
    ASSERT_TRUE(MakePieceTarget(options, f.run, source, 1, 2, 1, path, error)) << error;
    EXPECT_EQ(path, (f.dir / "out") + f.dir.path().string() + "/C/live-1.mp3");
}

TEST(PieceNaming, TreeFoldersKeepTheSpecifiedFolderAsGiven) {
    SourceFixture f;
    CutterOptions options;
    options.placement.folder = OutputFolder::Specific;
    options.placement.specificFolder = f.dir / "out:7//deep";
    options.placement.treeFolders = true;
    std::string path, error;
    ASSERT_TRUE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error)) << error;
    EXPECT_EQ(path, (f.dir / "out:7//deep") + f.folder + "/live-1.mp3");
    EXPECT_TRUE(fs::is_directory(f.dir / "out:7/deep" + f.folder));
}

TEST(PieceNaming, TreeFoldersNeverClimbOutOfTheSpecificFolder) {
    SourceFixture f;
    CutterOptions options;
    options.placement.folder = OutputFolder::Specific;
    options.placement.specificFolder = f.dir / "out";
    options.placement.treeFolders = true;
    const std::string dotted = f.folder + "/../m/live.mp3";
    std::string path, error;
    ASSERT_TRUE(MakePieceTarget(options, f.run, dotted, 1, 2, 1, path, error)) << error;
    EXPECT_EQ(path, (f.dir / "out") + f.folder + "/live-1.mp3");
}

TEST(PieceNaming, TreeFolderBlockedByAFileIsRefused) {
    SourceFixture f;
    const std::string out = f.dir / "out";
    const std::string blocked = out + f.dir.path().string();
    fs::create_directories(fs::path(blocked).parent_path());
    Touch(blocked, "a file where a folder should be");
    CutterOptions options;
    options.placement.folder = OutputFolder::Specific;
    options.placement.specificFolder = out;
    options.placement.treeFolders = true;
    std::string path, error;
    EXPECT_FALSE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error));
    EXPECT_EQ(error, "Failed to create folder \"" + out + f.folder + "/\"");
}

TEST(PieceNaming, FolderForEachSourceIsNamedAfterIt) {
    SourceFixture f;
    CutterOptions options;
    options.folderPerSource = true;
    std::string path, error;
    ASSERT_TRUE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error)) << error;
    EXPECT_EQ(path, f.folder + "/live/live-1.mp3");
    EXPECT_TRUE(fs::is_directory(f.folder + "/live"));
}

TEST(PieceNaming, FolderForEachSourceBlockedShowsWhenTheFileCannotBeCreated) {
    SourceFixture f;
    Touch(f.folder + "/live", "a file named like the folder");
    CutterOptions options;
    options.folderPerSource = true;
    std::string path, error;
    EXPECT_FALSE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error));
    EXPECT_EQ(error, "Failed to create file \"" + f.folder + "/live/live-1.mp3\"");
}

TEST(PieceNaming, AnOverlongNameIsShortenedToOneThatCanBeCreated) {
    SourceFixture f;
    CutterOptions options;
    options.nameDigits = 300;  // a 300-character number: longer than any file name
    std::string path, error;
    EXPECT_TRUE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error)) << error;
    const std::string name = path.substr(path.rfind('/') + 1);
    EXPECT_EQ(name, "live-" + std::string(231, '0') + ".mp3");
}

// ---- Targets that exist ----

TEST(PieceNaming, OverwriteRefusesTheSourceItself) {
    SourceFixture f;
    CutterOptions options;
    options.nameTemplate = "%F%.mp3";
    options.placement.ifExists = TargetExists::Overwrite;
    std::string path, error;
    EXPECT_FALSE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error));
    EXPECT_EQ(error, "Target file name is same as original file");
    EXPECT_EQ(ReadText(f.source), "source bytes");
}

TEST(PieceNaming, OverwriteRefusesTheSourceUnderAnotherName) {
    SourceFixture f;
    fs::create_directory_symlink(f.folder, f.dir / "alias");
    CutterOptions options;
    options.placement.folder = OutputFolder::Specific;
    options.placement.specificFolder = f.dir / "alias";
    options.nameTemplate = "%F%.mp3";
    options.placement.ifExists = TargetExists::Overwrite;
    std::string path, error;
    EXPECT_FALSE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error));
    EXPECT_EQ(error, "Target file name is same as original file");
    EXPECT_EQ(ReadText(f.source), "source bytes");
}

TEST(PieceNaming, OverwriteKeepsAnotherFileUntilThePieceReplacesIt) {
    SourceFixture f;
    Touch(f.folder + "/live-1.mp3", "old piece");
    CutterOptions options;
    options.placement.ifExists = TargetExists::Overwrite;
    std::string path, error;
    ASSERT_TRUE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error)) << error;
    EXPECT_EQ(path, f.folder + "/live-1.mp3");
    EXPECT_EQ(ReadText(path), "old piece");
}

TEST(PieceNaming, RenameAddsANumberBeforeTheExtension) {
    SourceFixture f;
    CutterOptions options;
    options.nameTemplate = "%F%.mp3";
    std::string path, error;
    ASSERT_TRUE(MakePieceTarget(options, f.run, f.source, 1, 2, 1, path, error)) << error;
    EXPECT_EQ(path, f.folder + "/live_1.mp3");
    EXPECT_EQ(ReadText(f.source), "source bytes");
}

TEST(PieceNaming, RenameStepsOverFilesAndFolders) {
    SourceFixture f;
    Touch(f.folder + "/live-1.mp3", "taken");
    fs::create_directory(f.folder + "/live-1_1.mp3");
    fs::create_symlink(f.folder + "/nowhere", f.folder + "/live-1_2.mp3");
    std::string path, error;
    ASSERT_TRUE(MakePieceTarget(CutterOptions{}, f.run, f.source, 1, 2, 1, path, error)) << error;
    EXPECT_EQ(path, f.folder + "/live-1_3.mp3");
    EXPECT_FALSE(fs::exists(path));
}

TEST(PieceNaming, SkipStopsAtTheFirstExistingTarget) {
    SourceFixture f;
    Touch(f.folder + "/live-2.mp3", "already cut");
    CutterOptions options;
    options.placement.ifExists = TargetExists::Skip;
    std::string path, error;
    ASSERT_TRUE(MakePieceTarget(options, f.run, f.source, 1, 3, 1, path, error)) << error;
    EXPECT_EQ(path, f.folder + "/live-1.mp3");
    std::string second = "unchanged";
    EXPECT_FALSE(MakePieceTarget(options, f.run, f.source, 2, 3, 2, second, error));
    EXPECT_EQ(error, "Target exists and skipped");
    EXPECT_EQ(second, "unchanged");
    EXPECT_EQ(ReadText(f.folder + "/live-2.mp3"), "already cut");
}

// ---- Tags ----

// The tag as a fresh LAME encoder renders it with the plain text calls, step by step.
Bytes FreshEncoderTag(const char* title, const char* artist, const char* album,
                      const char* year, const char* comment, const char* genre, int track) {
    lame_global_flags* gf = lame_init();
    lame_set_bWriteVbrTag(gf, 0);
    lame_set_VBR(gf, vbr_off);
    id3tag_init(gf);
    id3tag_v2_only(gf);
    id3tag_set_artist(gf, artist);
    id3tag_set_title(gf, title);
    id3tag_set_album(gf, album);
    id3tag_set_genre(gf, genre);
    id3tag_set_comment(gf, comment);
    id3tag_set_year(gf, year);
    if (track != 0) id3tag_set_track(gf, std::to_string(track).c_str());
    Bytes tag;
    if (lame_init_params(gf) >= 0) {
        const size_t length = lame_get_id3v2_tag(gf, nullptr, 0);
        if (length > 10) {
            tag.resize(length);
            lame_get_id3v2_tag(gf, tag.data(), tag.size());
        }
    }
    lame_close(gf);
    return tag;
}

// Frame id -> text of every frame of the tag, as TagLib reads it from a file. TagLib shows
// version 2.3 frames under their version 2.4 ids: the year (TYER) as TDRC.
std::map<std::string, std::string> ReadFrames(const Bytes& tag) {
    TempDir dir;
    const std::string path = dir / "tagged.mp3";
    test::WriteFile(path, test::Concat({tag, test::EncodeMp3({.seconds = 0.2})}));
    std::map<std::string, std::string> frames;
    TagLib::MPEG::File file(path.c_str());
    TagLib::ID3v2::Tag* id3 = file.ID3v2Tag(false);
    if (id3 == nullptr) return frames;
    const TagLib::ID3v2::FrameList& list = id3->frameList();
    for (auto it = list.begin(); it != list.end(); ++it) {
        const TagLib::ByteVector id = (*it)->frameID();
        frames[std::string(id.data(), id.size())] = (*it)->toString().to8Bit(true);
    }
    return frames;
}

TEST(PieceTag, AsciiTagEqualsAFreshEncodersTag) {
    const Bytes fresh = FreshEncoderTag("Live - 1/3", "Band", "Album", "2001", "Nice",
                                        "Rock", 7);
    ASSERT_GT(fresh.size(), 10u);
    EXPECT_EQ(BuildId3v2Tag("Live - 1/3", "Band", "Album", "2001", "Nice", "Rock", 7), fresh);
    // Again after other tags on the same encoder: nothing of them is left over.
    BuildId3v2Tag("Other title that is rather long", "X", "", "", "Long comment", "17", 200);
    BuildId3v2Tag("日本語", "Täke", "€", "", "", "Vaporwave", 0);
    EXPECT_EQ(BuildId3v2Tag("Live - 1/3", "Band", "Album", "2001", "Nice", "Rock", 7), fresh);
}

TEST(PieceTag, ReusedEncoderMatchesAFreshOneForUnicodeTexts) {
    const Bytes first = BuildId3v2Tag("日本語", "Live Täke", "Ålbum", "２０２０", "コメント",
                                      "Ünknown", 3);
    BuildId3v2Tag("a", "b", "c", "1999", "d", "Pop", 1);
    const Bytes reused = BuildId3v2Tag("日本語", "Live Täke", "Ålbum", "２０２０", "コメント",
                                       "Ünknown", 3);
    Bytes onFreshThread;
    std::thread([&] {
        onFreshThread = BuildId3v2Tag("日本語", "Live Täke", "Ålbum", "２０２０", "コメント",
                                      "Ünknown", 3);
    }).join();
    ASSERT_GT(first.size(), 10u);
    EXPECT_EQ(reused, first);
    EXPECT_EQ(onFreshThread, first);
}

TEST(PieceTag, AsciiTextsReadBackExactly) {
    const Bytes tag = BuildId3v2Tag("Live - 03/12", "A/B", "Album", "2001", "Nice one",
                                    "Rock", 3);
    ASSERT_EQ(std::string(tag.begin(), tag.begin() + 4), std::string("ID3\x03", 4));
    const auto frames = ReadFrames(tag);
    EXPECT_EQ(frames.at("TIT2"), "Live - 03/12");
    EXPECT_EQ(frames.at("TPE1"), "A/B");
    EXPECT_EQ(frames.at("TALB"), "Album");
    EXPECT_EQ(frames.at("TDRC"), "2001");
    EXPECT_EQ(frames.at("COMM"), "Nice one");
    EXPECT_EQ(frames.at("TCON"), "Rock");
    EXPECT_EQ(frames.at("TRCK"), "3");
    EXPECT_EQ(frames.count("TSSE"), 1u);  // LAME's encoder frame
}

TEST(PieceTag, UnicodeTextsReadBackExactly) {
    const Bytes tag = BuildId3v2Tag("日本語 🎵", "Live Täke", "Ålbum – ½", "２０２０",
                                    "コメント\nzweite Zeile", "Ünknown Genre", 12);
    const auto frames = ReadFrames(tag);
    EXPECT_EQ(frames.at("TIT2"), "日本語 🎵");
    EXPECT_EQ(frames.at("TPE1"), "Live Täke");
    EXPECT_EQ(frames.at("TALB"), "Ålbum – ½");
    EXPECT_EQ(frames.at("TDRC"), "２０２０");
    EXPECT_EQ(frames.at("COMM"), "コメント\nzweite Zeile");
    EXPECT_EQ(frames.at("TCON"), "Ünknown Genre");
    EXPECT_EQ(frames.at("TRCK"), "12");
}

TEST(PieceTag, MalformedUtf8BecomesReplacementCharacters) {
    // A byte that starts no character, then a three-byte sequence cut short: one U+FFFD each.
    const Bytes tag = BuildId3v2Tag("a\xff" "b\xe6\x97", "", "", "", "", "", 0);
    EXPECT_EQ(ReadFrames(tag).at("TIT2"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(PieceTag, GenreNumbersAndNamesFollowLame) {
    EXPECT_EQ(ReadFrames(BuildId3v2Tag("t", "", "", "", "", "17", 0)).at("TCON"), "Rock");
    EXPECT_EQ(ReadFrames(BuildId3v2Tag("t", "", "", "", "", "rock", 0)).at("TCON"), "Rock");
    // A name LAME does not know is kept as text.
    EXPECT_EQ(ReadFrames(BuildId3v2Tag("t", "", "", "", "", "Vaporwave", 0)).at("TCON"),
              "Vaporwave");
    // A number outside the table is refused by LAME: no genre, the rest stays.
    const auto frames = ReadFrames(BuildId3v2Tag("t", "Band", "", "", "", "200", 0));
    EXPECT_EQ(frames.count("TCON"), 0u);
    EXPECT_EQ(frames.at("TIT2"), "t");
    EXPECT_EQ(frames.at("TPE1"), "Band");
}

TEST(PieceTag, WithoutEncoderFrameKeepsTheOtherFramesAndFixesTheSize) {
    const Bytes tag = BuildId3v2Tag("Live", "Band", "", "", "", "", 0);
    const Bytes bare = WithoutEncoderFrame(tag);
    const auto frames = ReadFrames(bare);
    EXPECT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames.count("TSSE"), 0u);
    EXPECT_EQ(frames.at("TIT2"), "Live");
    EXPECT_EQ(frames.at("TPE1"), "Band");
    // The size field counts what follows the header, syncsafe.
    const size_t body = (size_t{bare[6]} << 21) | (size_t{bare[7]} << 14) | (size_t{bare[8]} << 7) | bare[9];
    EXPECT_EQ(body + 10, bare.size());
    // A tag with nothing but the encoder frame is no tag; anything but an ID3v2 tag stays.
    EXPECT_TRUE(WithoutEncoderFrame(BuildId3v2Tag("", "", "", "", "", "", 0)).empty());
    EXPECT_EQ(WithoutEncoderFrame(Bytes{'T', 'A', 'G'}), (Bytes{'T', 'A', 'G'}));
}

TEST(PieceTag, EmptyFieldsGiveNoFrames) {
    const auto frames = ReadFrames(BuildId3v2Tag("only title", "", "", "", "", "", 0));
    EXPECT_EQ(frames.size(), 2u);  // TSSE and TIT2
    EXPECT_EQ(frames.at("TIT2"), "only title");
}

PieceTagSource TaggedSource() {
    PieceTagSource source;
    source.keepTag = true;
    source.titleTemplate = kDefaultId3TitleFormat;
    source.sourceTitle = "Live";
    source.sourceArtist = "Band";
    source.sourceAlbum = "Tour";
    source.sourceYear = "1999";
    source.sourceGenre = "Rock";
    source.sourceComment = "c";
    source.baseName = "live";
    return source;
}

TEST(PieceTag, KeepTagOffGivesNoBytes) {
    PieceTagSource source = TaggedSource();
    source.keepTag = false;
    source.sourceTrack = 5;
    EXPECT_TRUE(BuildPieceTag(source, 1, 3, 1, 0).empty());
}

TEST(PieceTag, PieceTitleComesFromTheTitleTemplate) {
    const auto frames = ReadFrames(BuildPieceTag(TaggedSource(), 3, 12, 3, 0));
    EXPECT_EQ(frames.at("TIT2"), "Live - 03/12");
    EXPECT_EQ(frames.at("TPE1"), "Band");
    EXPECT_EQ(frames.at("TALB"), "Tour");
    EXPECT_EQ(frames.at("TDRC"), "1999");
    EXPECT_EQ(frames.at("TCON"), "Rock");
    EXPECT_EQ(frames.at("COMM"), "c");
}

TEST(PieceTag, TrackNumberFollowsTheTrackMode) {
    PieceTagSource source = TaggedSource();
    source.sourceTrack = 0;
    source.trackMode = TrackNumber::Sequence;
    EXPECT_EQ(ReadFrames(BuildPieceTag(source, 3, 5, 3, 0)).at("TRCK"), "3");
    source.trackMode = TrackNumber::Original;
    EXPECT_EQ(ReadFrames(BuildPieceTag(source, 3, 5, 3, 0)).count("TRCK"), 0u);
    source.sourceTrack = 7;
    EXPECT_EQ(ReadFrames(BuildPieceTag(source, 3, 5, 3, 0)).at("TRCK"), "7");
    source.trackMode = TrackNumber::None;
    EXPECT_EQ(ReadFrames(BuildPieceTag(source, 3, 5, 3, 0)).count("TRCK"), 0u);
}

}  // namespace
}  // namespace corvane
