// Fuzz target: the frame-level MP3 code on raw bytes, without a file: frame headers, the VBR
// header and LAME tag (read and patched), the tags at either end of a file, Layer III frames
// with their bit reservoir, the header, carrier and seek-table frames made for output, and
// the LAME CRC against a plain bit-by-bit one.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "audio/MpegFrameHeader.h"
#include "engine/mp3/GaplessFrames.h"
#include "engine/mp3/Mp3Reader.h"

namespace corvane::fuzz {
namespace {

// Headers looked at per input, and Layer III frames walked for their reservoirs: enough for
// every path, few enough that a long input stays quick.
constexpr size_t kMostHeaders = 64;
constexpr size_t kMostReservoirFrames = 48;
constexpr size_t kTrailingProbe = 160;
constexpr int kLongestDelay = 4095;
constexpr size_t kSeekTableEntries = 100;

uint32_t Word(const uint8_t* data, size_t size, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = (v << 8) | (size > 0 ? data[(at + i) % size] : 0);
    return v;
}

// The numbers a patch writes, taken from the input's last bytes.
struct Figures {
    uint32_t frames, bytes, music;
    int delay, padding;
};

Figures FiguresOf(const uint8_t* data, size_t size) {
    const size_t end = size > 16 ? size - 16 : 0;
    Figures f{Word(data, size, end), Word(data, size, end + 4), Word(data, size, end + 8), 0, 0};
    const uint32_t d = Word(data, size, end + 12);
    f.delay = static_cast<int>(d & 0x1FFF) - 0x0800;  // some below 0 and above 4095
    f.padding = static_cast<int>((d >> 13) & 0x1FFF) - 0x0800;
    return f;
}

// One frame found at an arbitrary place: available bytes from its header on.
void CheckFrame(const uint8_t* at, size_t available, const Figures& figures) {
    const MpegFrameHeader h = DecodeFrameHeader(at);
    CORVANE_FUZZ_CHECK(h.kbps > 0 && h.kbps == FrameHeaderKbps(at));
    CORVANE_FUZZ_CHECK(h.sampleRate > 0 && h.frameLength >= SmallestFrameLength(h));
    CORVANE_FUZZ_CHECK(FramesAgree(h, h));

    // A copy exactly as long as the frame (or the bytes there are), so that reading past the
    // length given is an out-of-bounds read.
    const size_t length = std::min(available, static_cast<size_t>(h.frameLength));
    std::vector<uint8_t> frame(at, at + length);
    const VbrHeader header = ReadVbrHeader(frame.data(), length, h);
    CORVANE_FUZZ_CHECK((header.kind == VbrHeaderKind::kXing || header.kind == VbrHeaderKind::kInfo) ==
                       IsXingFrame(frame.data(), length, h));
    VbrHeaderFitsFile(header, h, 0, length, available);
    int delay = -1, padding = -1;
    const bool delays = CMp3Reader::ReadLameDelays(frame.data(), static_cast<uint32_t>(length), delay, padding);
    CORVANE_FUZZ_CHECK(delays == header.hasDelays);
    if (delays) CORVANE_FUZZ_CHECK(delay == header.delay && padding == header.padding);
    if (header.kind != VbrHeaderKind::kXing && header.kind != VbrHeaderKind::kInfo) return;

    // The patches a frame copy makes to a copy of the source's header frame.
    std::vector<uint8_t> table(kSeekTableEntries, static_cast<uint8_t>(figures.music));
    CMp3Reader::PatchVbrHeader(frame.data(), static_cast<uint32_t>(length), figures.frames, figures.bytes,
                               table.data());
    const VbrHeader patched = ReadVbrHeader(frame.data(), length, h);
    CORVANE_FUZZ_CHECK(patched.kind == header.kind);
    if (header.frames != 0) CORVANE_FUZZ_CHECK(patched.frames == figures.frames);
    const bool tagged = CMp3Reader::PatchLameTag(frame.data(), static_cast<uint32_t>(length), figures.delay,
                                                 figures.padding, figures.music, static_cast<uint16_t>(figures.bytes));
    if (!delays) CORVANE_FUZZ_CHECK(!tagged);
    if (tagged) {
        CORVANE_FUZZ_CHECK(CMp3Reader::ReadLameDelays(frame.data(), static_cast<uint32_t>(length), delay, padding));
        CORVANE_FUZZ_CHECK(delay == std::clamp(figures.delay, 0, kLongestDelay));
        CORVANE_FUZZ_CHECK(padding == std::clamp(figures.padding, 0, kLongestDelay));
    }
}

// The frame a writer makes like the header at like: a valid frame of its format.
void CheckMadeFrame(const std::vector<uint8_t>& made, const uint8_t* like) {
    if (made.empty()) return;
    CORVANE_FUZZ_CHECK(made.size() >= 4 && IsFrameHeader(made.data()));
    const MpegFrameHeader h = DecodeFrameHeader(made.data());
    const MpegFrameHeader l = DecodeFrameHeader(like);
    CORVANE_FUZZ_CHECK(static_cast<size_t>(h.frameLength) == made.size());
    CORVANE_FUZZ_CHECK(FramesAgree(h, l) && h.channelMode == l.channelMode && h.padding == 0);
    CORVANE_FUZZ_CHECK((made[1] & 1) == 1);  // no CRC
}

void CheckHeaderFrames(const uint8_t* like, const Figures& figures) {
    for (const bool vbr : {false, true}) {
        std::vector<uint8_t> made = MakeHeaderFrame(like, vbr);
        CheckMadeFrame(made, like);
        if (made.empty()) continue;
        const MpegFrameHeader h = DecodeFrameHeader(made.data());
        HeaderFigures written;
        written.frames = figures.frames;
        written.bytes = figures.bytes;
        written.delay = figures.delay;
        written.padding = figures.padding;
        written.seekTable.assign(kSeekTableEntries, 7);
        FinishHeaderFrame(made, written);
        const VbrHeader read = ReadVbrHeader(made.data(), made.size(), h);
        CORVANE_FUZZ_CHECK(read.kind == (vbr ? VbrHeaderKind::kXing : VbrHeaderKind::kInfo));
        CORVANE_FUZZ_CHECK(read.frames == figures.frames && read.bytes == figures.bytes && read.hasDelays);
        CORVANE_FUZZ_CHECK(read.delay == std::clamp(figures.delay, 0, kLongestDelay));
        CORVANE_FUZZ_CHECK(read.padding == std::clamp(figures.padding, 0, kLongestDelay));
    }
}

// Layer III frames one after another from the start of buffer, their reservoirs and the
// carrier frames that hand a reservoir to a decoder.
void CheckLayerIII(const std::vector<uint8_t>& buffer, uint64_t offset) {
    const std::vector<LayerIIIFrame> frames = ParseLayerIIIFrames(buffer, offset);
    uint64_t next = offset;
    for (const LayerIIIFrame& f : frames) {
        CORVANE_FUZZ_CHECK(f.offset == next && f.bytes.size() >= 4 && IsFrameHeader(f.bytes.data()));
        CORVANE_FUZZ_CHECK(f.bytes.size() == static_cast<size_t>(DecodeFrameHeader(f.bytes.data()).frameLength));
        CORVANE_FUZZ_CHECK(f.dataStart <= f.bytes.size() && f.reservoir >= 0 && f.reservoir <= 511);
        next += f.bytes.size();
    }
    const size_t walked = std::min(frames.size(), kMostReservoirFrames);
    for (size_t first = 0; first < walked; ++first) {
        const size_t need = ReservoirNeed(frames, first);
        CORVANE_FUZZ_CHECK(need <= 511);
        const std::vector<uint8_t> reservoir = ReservoirBefore(frames, first, need);
        CORVANE_FUZZ_CHECK(reservoir.size() <= need);
        const uint8_t* like = frames[first].bytes.data();
        const std::vector<uint8_t> carrier = CarrierFrame(like, reservoir);
        CheckMadeFrame(carrier, like);
        if (!carrier.empty()) {
            CORVANE_FUZZ_CHECK(std::equal(reservoir.rbegin(), reservoir.rend(), carrier.rbegin()));
        }
    }
}

// CRC-16 as LAME computes it, one bit at a time (polynomial 0x8005, reflected).
uint16_t PlainCrc16(uint16_t crc, const uint8_t* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

// The whole input from any start value, in one call and carried on across a split.
void CheckCrc(const uint8_t* data, size_t size) {
    const uint16_t start = static_cast<uint16_t>(Word(data, size, size / 3));
    const uint16_t expected = PlainCrc16(start, data, size);
    CORVANE_FUZZ_CHECK(LameCrc16(start, data, size) == expected);
    const size_t split = size > 0 ? Word(data, size, 7) % size : 0;
    CORVANE_FUZZ_CHECK(LameCrc16(LameCrc16(start, data, split), data + split, size - split) == expected);
}

// A seek table of a written file: offsets in order, stride doubling past its size.
void CheckSeekTable(const uint8_t* data, size_t size) {
    CSeekTable table;
    uint64_t offset = Word(data, size, 0) & 0xFFFF;
    // Past the offsets kept (4096) only for inputs whose first byte says so: that costs time.
    const size_t count = (data[0] & 0x80) != 0 ? 4000 + size_t{data[size / 2]} * 8 : data[0];
    for (size_t i = 0; i < count; ++i) {
        table.Add(offset);
        offset += 1 + data[i % size];
    }
    CORVANE_FUZZ_CHECK(table.Frames() == count);
    const std::vector<uint8_t> entries = table.Entries(offset + (size > 1 ? data[1] : 0));
    CORVANE_FUZZ_CHECK(entries.size() == kSeekTableEntries && entries[0] == 0);
    CORVANE_FUZZ_CHECK(std::is_sorted(entries.begin(), entries.end()));
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvane;
    using namespace corvane::fuzz;
    // The tags at either end, each from a copy exactly as long as the bytes it may read.
    const std::vector<uint8_t> head(data, data + std::min<size_t>(size, 10));
    const uint64_t id3 = Id3v2TagSize(head.data(), head.size());
    if (size < 10) CORVANE_FUZZ_CHECK(id3 == 0);
    const size_t tailLength = std::min(size, kTrailingProbe);
    const std::vector<uint8_t> tail(data + size - tailLength, data + size);
    CORVANE_FUZZ_CHECK(TrailingTagSize(tail.data(), tail.size(), size) <= size);

    const Figures figures = FiguresOf(data, size);
    const int agreeing = CountAgreeingFrames(data, size, 64);
    CORVANE_FUZZ_CHECK(agreeing >= 0 && agreeing <= 64);

    size_t headers = 0;
    bool firstLayerIII = true;
    for (size_t p = 0; p + 4 <= size && headers < kMostHeaders; ++p) {
        if (!IsFrameHeader(data + p)) continue;
        ++headers;
        CheckFrame(data + p, size - p, figures);
        if (headers <= 4) CheckHeaderFrames(data + p, figures);
        if (firstLayerIII && DecodeFrameHeader(data + p).layerIndex == 2) {
            firstLayerIII = false;
            CheckLayerIII(std::vector<uint8_t>(data + p, data + size), p);
        }
    }
    if (size > 0) CheckSeekTable(data, size);
    CheckCrc(data, size);
    return 0;
}
