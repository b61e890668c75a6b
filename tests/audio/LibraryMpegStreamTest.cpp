// Tests of the MPEG stream's length: VBR header counts against what the file holds, and the tally of a scan.
#include "audio/LibraryMpegStream.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "support/Mp3Factory.h"

namespace corvane::audio {
namespace {

using test::Bytes;

constexpr uint32_t kSearchBytes = 16000;
constexpr int64_t kStereoBytesPerFrame = 1152 * 4;

class LibraryMpegStream : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const Bytes& data) {
        const std::string path = dir / name;
        test::WriteFile(path, data);
        return path;
    }
    // Whole frames of data after its first (the VBR header frame).
    static int64_t AudioFrames(const Bytes& data) { return static_cast<int64_t>(test::FrameOffsets(data, 0).size()) - 1; }
    test::TempDir dir;
};

TEST_F(LibraryMpegStream, AFileCutShortIsMeasuredByTheFramesItHas) {
    test::EncodeOptions o;
    o.seconds = 12;
    o.infoFrame = true;
    const Bytes full = test::EncodeMp3(o);
    auto stream = CLibraryMpegStream::Open(Write("full.mp3", full), kSearchBytes);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Length(), AudioFrames(full) * kStereoBytesPerFrame);

    // The Info frame's counts are those of the whole file; a third of it is there.
    const Bytes part(full.begin(), full.begin() + static_cast<long>(full.size() / 3));
    stream = CLibraryMpegStream::Open(Write("part.mp3", part), kSearchBytes);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Length(), AudioFrames(part) * kStereoBytesPerFrame);

    // A frame count no file of this size can hold, with a byte count that fits.
    Bytes huge = full;
    const MpegFrameHeader h = DecodeFrameHeader(huge.data());
    std::memset(&huge[static_cast<size_t>(VbrTagOffset(h)) + 8], 0xFF, 4);
    stream = CLibraryMpegStream::Open(Write("huge.mp3", huge), kSearchBytes);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Length(), AudioFrames(full) * kStereoBytesPerFrame);
}

TEST_F(LibraryMpegStream, TheTallyCountsTheAudioBytesAndTellsOneBitrate) {
    test::EncodeOptions o;
    o.seconds = 1;
    const Bytes cbr = test::EncodeMp3(o);
    o.kbps = 160;
    const Bytes mixed = test::Concat({cbr, test::EncodeMp3(o)});
    const Bytes v1 = test::MakeId3v1Tag("t", "a", "l", "2001", 1, 1);
    for (const auto& [data, kbps] : {std::pair{cbr, 128}, std::pair{mixed, 0}}) {
        const std::string path = Write("tally.mp3", test::Concat({data, Bytes{0x00, 0xFF, 0x12}, v1}));
        const int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        const MpegFrameTally tally = TallyMpegFrames(fd, 0, data.size() + 3 + v1.size(), DecodeFrameHeader(data.data()));
        ::close(fd);
        EXPECT_EQ(tally.frames, test::FrameOffsets(data, 0).size());
        EXPECT_EQ(tally.bytes, data.size());
        EXPECT_EQ(tally.kbps, kbps);
    }
}

}  // namespace
}  // namespace corvane::audio
