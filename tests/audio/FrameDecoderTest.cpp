// Tests of the frame decoder: one call of delay, the flush, the audio library's samples, and
// a first frame whose bit reservoir lies before it.
#include "audio/FrameDecoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "audio/LibraryMpegStream.h"
#include "support/Mp3Factory.h"

namespace corvane::audio {
namespace {

constexpr int kFrameSamples = 1152;

std::vector<test::Bytes> SplitFrames(const test::Bytes& data) {
    const std::vector<size_t> offsets = test::FrameOffsets(data, 0);
    std::vector<test::Bytes> frames;
    for (size_t i = 0; i < offsets.size(); ++i) {
        const size_t end = i + 1 < offsets.size() ? offsets[i + 1] : data.size();
        frames.emplace_back(data.begin() + static_cast<ptrdiff_t>(offsets[i]), data.begin() + static_cast<ptrdiff_t>(end));
    }
    return frames;
}

TEST(FrameDecoder, EachFrameComesOutOneCallLaterWithTheAudioLibrarysSamples) {
    test::TempDir dir;
    test::EncodeOptions o;
    o.seconds = 2;
    const test::Bytes data = test::EncodeMp3(o);
    const std::string path = dir / "s.mp3";
    test::WriteFile(path, data);
    const std::vector<test::Bytes> frames = SplitFrames(data);
    ASSERT_GT(frames.size(), 50u);

    CFrameDecoder decoder;
    ASSERT_TRUE(decoder.Open());
    std::vector<int16_t> left(CFrameDecoder::kMaxSamples), right(CFrameDecoder::kMaxSamples);
    std::vector<int16_t> decoded;  // interleaved, as the audio library delivers
    for (size_t i = 0; i <= frames.size(); ++i) {
        const int n = i < frames.size() ? decoder.Decode(frames[i].data(), frames[i].size(), left.data(), right.data())
                                        : decoder.Flush(left.data(), right.data());
        ASSERT_EQ(n, i == 0 ? 0 : kFrameSamples) << "call " << i;
        for (int k = 0; k < n; ++k) {
            decoded.push_back(left[k]);
            decoded.push_back(right[k]);
        }
    }
    EXPECT_EQ(decoder.Flush(left.data(), right.data()), 0);

    auto stream = CLibraryMpegStream::Open(path, 16000);
    ASSERT_NE(stream, nullptr);
    std::vector<int16_t> whole(decoded.size() + kFrameSamples);
    const int32_t got = stream->GetData(whole.data(), static_cast<uint32_t>(whole.size() * sizeof(int16_t)));
    ASSERT_EQ(static_cast<size_t>(got), decoded.size() * sizeof(int16_t));
    whole.resize(decoded.size());
    EXPECT_EQ(decoded, whole);
}

TEST(FrameDecoder, AFirstFrameWhoseDataBeginsInTheFramesBeforeItGivesNothing) {
    // Mono MPEG-2 at 22050 Hz: 576 samples a frame, an 8-bit main_data_begin; left only.
    test::EncodeOptions o;
    o.sampleRate = 22050;
    o.channels = 1;
    o.mode = test::Mode::Mono;
    o.kbps = 32;
    const std::vector<test::Bytes> frames = SplitFrames(test::EncodeMp3(o));
    size_t jump = 1;
    while (jump + 3 < frames.size() && frames[jump][4] == 0) ++jump;  // main_data_begin > 0 (no CRC)
    ASSERT_LT(jump + 3, frames.size()) << "no frame takes data from its reservoir";

    CFrameDecoder decoder;
    ASSERT_TRUE(decoder.Open());
    std::vector<int16_t> left(CFrameDecoder::kMaxSamples, 0), right(CFrameDecoder::kMaxSamples, 7);
    std::vector<int> counts;
    for (size_t i = jump; i < jump + 3; ++i)
        counts.push_back(decoder.Decode(frames[i].data(), frames[i].size(), left.data(), right.data()));
    EXPECT_EQ(counts, (std::vector<int>{0, 0, 576}));
    EXPECT_EQ(right[0], 7);
    EXPECT_EQ(right[575], 7);
}

}  // namespace
}  // namespace corvane::audio
