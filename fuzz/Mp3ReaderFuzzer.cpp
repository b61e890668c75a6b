// Fuzz target: CMp3Reader on a whole file: opening (the audio layer's recognition and length,
// the VBR header frame, the tags that end the file), the frame search from the audio start
// and from a jump into the middle, and the Layer III frames it hands out.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "audio/MpegFrameHeader.h"
#include "engine/mp3/GaplessFrames.h"
#include "engine/mp3/Mp3Reader.h"

namespace {

// Frames read per input: a long input is read only this far.
constexpr int kMostFrames = 4096;
constexpr int kLongestFrame = 65536;

// Reads frames on from the reader's position; checks what each one claims.
void ReadFrames(corvane::CMp3Reader& reader, std::vector<uint8_t>* kept) {
    using namespace corvane;
    uint64_t last = 0;
    bool any = false;
    for (int n = 0; n < kMostFrames; ++n) {
        int rate = 0, kbps = 0, length = 0, samples = 0;
        uint64_t offset = 0;
        const uint8_t* frame = reader.ReadFrame(rate, kbps, length, samples, offset);
        if (frame == nullptr) {
            CORVANE_FUZZ_CHECK(!reader.ReadFailed());  // a memory file never fails a read
            return;
        }
        CORVANE_FUZZ_CHECK(length >= 4 && length <= kLongestFrame && IsFrameHeader(frame));
        const MpegFrameHeader h = DecodeFrameHeader(frame);
        CORVANE_FUZZ_CHECK(h.frameLength == length && h.sampleRate == rate && h.kbps == kbps);
        CORVANE_FUZZ_CHECK(h.samplesPerFrame == samples && h.sampleRate == reader.sampleRate());
        CORVANE_FUZZ_CHECK(offset + static_cast<uint64_t>(length) <= reader.fileSize());
        CORVANE_FUZZ_CHECK(reader.position() == offset + static_cast<uint64_t>(length));
        CORVANE_FUZZ_CHECK(!any || offset >= last);
        any = true;
        last = offset + static_cast<uint64_t>(length);
        if (kept != nullptr) kept->insert(kept->end(), frame, frame + length);
    }
}

// The offsets of the frames from the reader's position on: read one by one, or (walk) taken
// in walks of up to five frames with a frame read wherever none can be walked.
std::vector<uint64_t> FrameOffsets(corvane::CMp3Reader& reader, bool walk) {
    std::vector<uint64_t> offsets;
    while (offsets.size() < kMostFrames) {
        if (walk) {
            int taken = 0;
            const uint64_t n = reader.WalkFrames([&](uint64_t at, const corvane::MpegFrameHeader& h) {
                if (taken == 5) return false;
                CORVANE_FUZZ_CHECK(at + static_cast<uint64_t>(h.frameLength) <= reader.fileSize());
                offsets.push_back(at);
                ++taken;
                return true;
            });
            CORVANE_FUZZ_CHECK(n == static_cast<uint64_t>(taken));
            if (n > 0) continue;
        }
        int rate = 0, kbps = 0, length = 0, samples = 0;
        uint64_t offset = 0;
        if (reader.ReadFrame(rate, kbps, length, samples, offset) == nullptr) break;
        offsets.push_back(offset);
    }
    return offsets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvane;
    static CMp3Reader reader;  // opened again for each input, as a cutter reuses one
    const fuzz::CInputFile file(data, size);
    if (!reader.OpenFile(file.Path())) {
        CORVANE_FUZZ_CHECK(!reader.IsOpen() && reader.fileSize() == 0 && reader.vbrFrame() == nullptr);
        return 0;
    }
    CORVANE_FUZZ_CHECK(reader.fileSize() == size);
    CORVANE_FUZZ_CHECK(reader.audioStart() < size && reader.audioEnd() <= size);
    CORVANE_FUZZ_CHECK(reader.audioStart() <= reader.audioEnd());
    CORVANE_FUZZ_CHECK(reader.sampleRate() > 0 && reader.layer() >= 1 && reader.layer() <= 3);
    CORVANE_FUZZ_CHECK(reader.position() == reader.audioStart());
    CORVANE_FUZZ_CHECK(reader.gaplessSamples() <= reader.decodedSamples());
    if (!reader.hasEncoderDelays()) CORVANE_FUZZ_CHECK(reader.encoderDelay() == 0 && reader.encoderPadding() == 0);

    // What a frame copy does with the VBR header frame: patch a copy of it.
    if (reader.vbrFrame() != nullptr) {
        std::vector<uint8_t> copy(reader.vbrFrame(), reader.vbrFrame() + reader.vbrFrameLength());
        CMp3Reader::PatchVbrHeader(copy.data(), reader.vbrFrameLength(), 1, static_cast<uint32_t>(size));
        CMp3Reader::PatchLameTag(copy.data(), reader.vbrFrameLength(), reader.encoderDelay(),
                                 reader.encoderPadding(), static_cast<uint32_t>(size), 0);
    }

    std::vector<uint8_t> frames;
    ReadFrames(reader, &frames);
    // The Layer III frames as a cutter parses them for their reservoirs.
    if (reader.layer() == 3) {
        const std::vector<LayerIIIFrame> parsed = ParseLayerIIIFrames(frames, reader.audioStart());
        for (size_t first = 0; first < std::min<size_t>(parsed.size(), 8); ++first) {
            const size_t need = ReservoirNeed(parsed, first);
            CarrierFrame(parsed[first].bytes.data(), ReservoirBefore(parsed, first, need));
        }
    }
    // A jump into the middle, as a cut's start is found: the search must confirm what it finds.
    reader.SeekTo(reader.audioStart() + (size - reader.audioStart()) / 3);
    ReadFrames(reader, nullptr);

    // A frame copy's walks take the frames that reading them one by one hands out.
    reader.SeekTo(reader.audioStart());
    const std::vector<uint64_t> read = FrameOffsets(reader, false);
    reader.SeekTo(reader.audioStart());
    CORVANE_FUZZ_CHECK(FrameOffsets(reader, true) == read);

    uint8_t probe[16];
    CORVANE_FUZZ_CHECK(reader.ReadBytes(size > 8 ? size - 8 : 0, probe, sizeof probe) == std::min<size_t>(size, 8));
    return 0;
}
