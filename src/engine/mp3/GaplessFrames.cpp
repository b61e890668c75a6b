// Header frames, seek tables and carrier frames of written files.
#include "engine/mp3/GaplessFrames.h"

#include <algorithm>
#include <cstring>

#include "audio/MpegFrameHeader.h"
#include "engine/mp3/Mp3Reader.h"

namespace corvane {
namespace {

constexpr int kHighestBitrateIndex = 14;
constexpr size_t kSeekTableEntries = 100;

// The Xing fields with every flag on (letters, flags, frames, bytes, table, quality) and the
// 36-byte LAME tag after them.
constexpr size_t kXingFieldBytes = 4 + 4 + 4 + 4 + kSeekTableEntries + 4;
constexpr size_t kLameTagBytes = 36;
constexpr uint8_t kAllXingFlags = 0x0F;
constexpr size_t kLameMethodAt = 9;
constexpr uint8_t kMethodCbr = 1;

// like's header with bit-rate index, no padding and no CRC.
void HeaderLike(const uint8_t* like, int index, uint8_t* header) {
    header[0] = like[0];
    header[1] = static_cast<uint8_t>(like[1] | 1);
    header[2] = static_cast<uint8_t>((index << 4) | (like[2] & 0x0D));
    header[3] = like[3];
}

// The frame of like's kind at the lowest bit rate whose data area (after header and side
// info) holds bytes, zero after its header; empty when none does.
std::vector<uint8_t> SmallestFrameHolding(const uint8_t* like, size_t bytes) {
    uint8_t header[4];
    for (int index = 1; index <= kHighestBitrateIndex; ++index) {
        HeaderLike(like, index, header);
        if (!IsFrameHeader(header)) continue;
        const MpegFrameHeader h = DecodeFrameHeader(header);
        if (static_cast<size_t>(h.frameLength) < 4 + static_cast<size_t>(h.sideInfoLength) + bytes) continue;
        std::vector<uint8_t> frame(static_cast<size_t>(h.frameLength), 0);
        std::copy(header, header + 4, frame.begin());
        return frame;
    }
    return {};
}

}  // namespace

std::vector<LayerIIIFrame> ParseLayerIIIFrames(const std::vector<uint8_t>& buffer, uint64_t offset) {
    std::vector<LayerIIIFrame> frames;
    size_t p = 0;
    while (p + 6 <= buffer.size() && IsFrameHeader(buffer.data() + p)) {
        const MpegFrameHeader h = DecodeFrameHeader(buffer.data() + p);
        const size_t length = static_cast<size_t>(h.frameLength);
        const size_t side = (buffer[p + 1] & 1) == 0 ? 6 : 4;  // a CRC follows the header
        if (h.layerIndex != 2 || p + length > buffer.size() || side + static_cast<size_t>(h.sideInfoLength) > length) {
            break;
        }
        LayerIIIFrame frame;
        frame.offset = offset + p;
        frame.bytes.assign(buffer.begin() + static_cast<long>(p), buffer.begin() + static_cast<long>(p + length));
        frame.samples = h.samplesPerFrame;
        frame.dataStart = side + static_cast<size_t>(h.sideInfoLength);
        frame.reservoir = h.lsf ? buffer[p + side] : (buffer[p + side] << 1) | (buffer[p + side + 1] >> 7);
        frames.push_back(std::move(frame));
        p += length;
    }
    return frames;
}

std::vector<int> GranuleBlockTypes(const LayerIIIFrame& frame) {
    const MpegFrameHeader h = DecodeFrameHeader(frame.bytes.data());
    const int channels = h.channelMode == 3 ? 1 : 2;
    const int granules = h.lsf ? 1 : 2;
    const size_t side = frame.dataStart - static_cast<size_t>(h.sideInfoLength);
    size_t bit = side * 8;
    auto read = [&](int count) {
        int value = 0;
        for (int i = 0; i < count; ++i, ++bit) value = (value << 1) | ((frame.bytes[bit / 8] >> (7 - bit % 8)) & 1);
        return value;
    };
    // main_data_begin, private bits, and in MPEG-1 the scale factor selection per channel.
    bit += h.lsf ? (channels == 1 ? 9 : 10) : (channels == 1 ? 14 : 12) + 4 * static_cast<size_t>(channels);
    std::vector<int> types;
    for (int g = 0; g < granules; ++g) {
        for (int c = 0; c < channels; ++c) {
            const size_t start = bit;
            bit += 12 + 9 + 8 + (h.lsf ? 9 : 4);  // part2_3_length, big_values, global_gain, scalefac_compress
            types.push_back(read(1) != 0 ? read(2) : 0);
            bit = start + (h.lsf ? 63 : 59);
        }
    }
    return types;
}

size_t ReservoirNeed(const std::vector<LayerIIIFrame>& frames, size_t first) {
    constexpr size_t kDeepestReservoir = 511;
    size_t need = 0;
    size_t held = 0;
    for (size_t j = first; j < frames.size() && held < kDeepestReservoir; ++j) {
        const size_t reach = static_cast<size_t>(frames[j].reservoir);
        if (reach > held) need = std::max(need, reach - held);
        held += frames[j].DataBytes();
    }
    return need;
}

std::vector<uint8_t> ReservoirBefore(const std::vector<LayerIIIFrame>& frames, size_t before, size_t count) {
    std::vector<uint8_t> bytes;
    for (size_t i = before; i-- > 0 && bytes.size() < count;) {
        const LayerIIIFrame& f = frames[i];
        bytes.insert(bytes.begin(), f.bytes.begin() + static_cast<long>(f.dataStart), f.bytes.end());
    }
    if (bytes.size() > count) bytes.erase(bytes.begin(), bytes.end() - static_cast<long>(count));
    return bytes;
}

std::vector<uint8_t> CarrierFrame(const uint8_t* like, const std::vector<uint8_t>& reservoir) {
    std::vector<uint8_t> frame = SmallestFrameHolding(like, reservoir.size());
    if (!frame.empty()) std::copy(reservoir.begin(), reservoir.end(), frame.end() - static_cast<long>(reservoir.size()));
    return frame;
}

std::vector<uint8_t> FrameEndingWith(const std::vector<uint8_t>& frame, const std::vector<uint8_t>& reservoir) {
    if (frame.size() < 4 || !IsFrameHeader(frame.data()) || (frame[1] & 1) == 0) return {};
    const size_t dataStart = 4 + static_cast<size_t>(DecodeFrameHeader(frame.data()).sideInfoLength);
    if (frame.size() < dataStart) return {};
    std::vector<uint8_t> larger = SmallestFrameHolding(frame.data(), frame.size() - dataStart + reservoir.size());
    if (larger.empty()) return larger;
    std::copy(frame.begin() + 4, frame.end(), larger.begin() + 4);
    std::copy(reservoir.begin(), reservoir.end(), larger.end() - static_cast<long>(reservoir.size()));
    return larger;
}

std::vector<uint8_t> MakeHeaderFrame(const uint8_t* like, bool vbr) {
    std::vector<uint8_t> frame = SmallestFrameHolding(like, kXingFieldBytes + kLameTagBytes);
    if (frame.empty()) return frame;
    uint8_t* p = frame.data() + VbrTagOffset(DecodeFrameHeader(frame.data()));
    std::memcpy(p, vbr ? "Xing" : "Info", 4);
    p[7] = kAllXingFlags;
    uint8_t* tag = p + kXingFieldBytes;
    std::memcpy(tag, "LAME     ", 9);
    tag[kLameMethodAt] = vbr ? 0 : kMethodCbr;
    FinishHeaderFrame(frame, HeaderFigures{});
    return frame;
}

void CSeekTable::Keep(uint64_t offset) {
    // Every other offset goes: those of frames at multiples of the doubled stride stay.
    for (size_t i = 0; i < kMostKept / 2; ++i) kept_[i] = kept_[2 * i];
    kept_.resize(kMostKept / 2);
    stride_ *= 2;
    if ((frames_ & (stride_ - 1)) == 0) kept_.push_back(offset);
}

std::vector<uint8_t> CSeekTable::Entries(uint64_t bytes) const {
    std::vector<uint8_t> table(kSeekTableEntries, 0);
    if (frames_ == 0 || bytes <= kept_.front()) return table;
    // As LAME counts it: entry i is where the frame at i percent of the frames ends, in
    // 256ths of the audio frames' bytes (the header frame left out); entry 0 is 0.
    const uint64_t audioStart = kept_.front();
    const uint64_t audio = bytes - audioStart;
    for (size_t i = 1; i < kSeekTableEntries; ++i) {
        const uint64_t next = static_cast<uint64_t>(frames_) * i / kSeekTableEntries + 1;  // the frame after it
        uint64_t end = bytes;
        if (next < frames_) {
            // Between two kept offsets the frames are taken as equally long.
            const size_t k = std::min<size_t>(static_cast<size_t>(next / stride_), kept_.size() - 1);
            const uint64_t following = k + 1 < kept_.size() ? kept_[k + 1] : bytes;
            end = kept_[k] + (following - kept_[k]) * (next - k * stride_) / stride_;
        }
        table[i] = static_cast<uint8_t>(std::min<uint64_t>((end - audioStart) * 256 / audio, 255));
    }
    return table;
}

void FinishHeaderFrame(std::vector<uint8_t>& frame, const HeaderFigures& figures) {
    const uint32_t length = static_cast<uint32_t>(frame.size());
    CMp3Reader::PatchVbrHeader(frame.data(), length, figures.frames, figures.bytes,
                               figures.seekTable.size() == kSeekTableEntries ? figures.seekTable.data() : nullptr);
    CMp3Reader::PatchLameTag(frame.data(), length, figures.delay, figures.padding, figures.bytes,
                             figures.musicCrc);
}

}  // namespace corvane
