// MPEG audio frame header tables and decoding.
#include "audio/MpegFrameHeader.h"

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

// Sample rates indexed by version * 3 + sample-rate index; version 1 is reserved.
constexpr int kSampleRates[12] = {11025, 12000, 8000, 0, 0, 0, 22050, 24000, 16000, 44100, 48000, 32000};

// Bit rates in kbps by row (lsf * 3 + layerIndex), then by bit-rate index 0..14.
constexpr int kBitrates[6][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};

constexpr int kSamplesPerFrame[6] = {384, 1152, 1152, 384, 1152, 576};
constexpr int kLengthCoefficient[6] = {12, 144, 144, 12, 144, 72};
constexpr int kSlotSize[3] = {4, 1, 1};
// Side information bytes by (mono ? 1 : 0) + lsf * 2.
constexpr int kSideInfoLength[4] = {32, 17, 17, 9};

constexpr size_t kVbriOffset = 4 + 32;
// Fields of a Xing/Info header, from its tag letters: flags, then the counts the flags name.
constexpr size_t kXingFlagsOffset = 4;
constexpr size_t kXingFirstCountOffset = 8;
constexpr uint32_t kXingFramesFlag = 1;
constexpr uint32_t kXingBytesFlag = 2;
// Fields of a VBRI header, from its tag letters: version, delay and quality (two bytes each),
// then the byte count and the frame count.
constexpr size_t kVbriBytesOffset = 10;
constexpr size_t kVbriFramesOffset = 14;
// Tags at the end of a file.
constexpr size_t kId3v1Size = 128;
constexpr size_t kApeFooterSize = 32;
constexpr size_t kApeSizeOffset = 12;
constexpr size_t kApeFlagsOffset = 20;
constexpr uint32_t kApeHasHeaderFlag = 0x80000000u;
constexpr int kLowestBitrateIndex = 1;

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

uint32_t LittleEndian32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

int FrameLengthAt(int row, int kbps, int sampleRate, int padding, int layerIndex) {
    return (kLengthCoefficient[row] * kbps * 1000 / sampleRate + padding) * kSlotSize[layerIndex];
}

}  // namespace

bool IsFrameHeader(const uint8_t* p) {
    return p[0] == 0xFF && (p[1] & 0xE0) == 0xE0 && (p[1] & 0x18) != 0x08 && (p[1] & 0x06) != 0 &&
           (p[2] & 0xF0) != 0xF0 && (p[2] & 0xF0) != 0 && (p[2] & 0x0C) != 0x0C && (p[3] & 0x03) != 0x02;
}

int FrameHeaderKbps(const uint8_t* p) {
    const int version = (p[1] >> 3) & 0x03;
    const int layerIndex = 3 - ((p[1] >> 1) & 0x03);
    const int lsf = version != 3 ? 1 : 0;
    return kBitrates[lsf * 3 + layerIndex][(p[2] >> 4) & 0x0F];
}

MpegFrameHeader DecodeFrameHeader(const uint8_t* p) {
    MpegFrameHeader h;
    h.version = (p[1] >> 3) & 0x03;
    h.layerIndex = 3 - ((p[1] >> 1) & 0x03);
    h.lsf = h.version != 3 ? 1 : 0;
    const int row = h.lsf * 3 + h.layerIndex;
    h.sampleRate = kSampleRates[h.version * 3 + ((p[2] >> 2) & 0x03)];
    h.kbps = FrameHeaderKbps(p);
    h.padding = (p[2] >> 1) & 0x01;
    h.channelMode = (p[3] >> 6) & 0x03;
    h.samplesPerFrame = kSamplesPerFrame[row];
    h.frameLength = FrameLengthAt(row, h.kbps, h.sampleRate, h.padding, h.layerIndex);
    h.sideInfoLength = kSideInfoLength[(h.channelMode == 3 ? 1 : 0) + h.lsf * 2];
    return h;
}

int SmallestFrameLength(const MpegFrameHeader& h) {
    const int row = h.lsf * 3 + h.layerIndex;
    return FrameLengthAt(row, kBitrates[row][kLowestBitrateIndex], h.sampleRate, 0, h.layerIndex);
}

bool IsXingFrame(const uint8_t* frame, size_t length, const MpegFrameHeader& h) {
    const size_t at = static_cast<size_t>(VbrTagOffset(h));
    if (at + 4 > length) return false;
    return std::memcmp(frame + at, "Xing", 4) == 0 || std::memcmp(frame + at, "Info", 4) == 0;
}

bool IsVbriFrame(const uint8_t* frame, size_t length) {
    return kVbriOffset + 4 <= length && std::memcmp(frame + kVbriOffset, "VBRI", 4) == 0;
}

VbrHeader ReadVbrHeader(const uint8_t* frame, size_t length, const MpegFrameHeader& h) {
    VbrHeader header;
    if (IsXingFrame(frame, length, h)) {
        const size_t tag = static_cast<size_t>(VbrTagOffset(h));
        header.kind = std::memcmp(frame + tag, "Xing", 4) == 0 ? VbrHeaderKind::kXing : VbrHeaderKind::kInfo;
        if (tag + kXingFirstCountOffset > length) return header;
        const uint32_t flags = BigEndian32(frame + tag + kXingFlagsOffset);
        size_t at = tag + kXingFirstCountOffset;
        if ((flags & kXingFramesFlag) != 0) {
            if (at + 4 > length) return header;
            header.frames = BigEndian32(frame + at);
            at += 4;
        }
        if ((flags & kXingBytesFlag) != 0) {
            if (at + 4 > length) return header;
            header.bytes = BigEndian32(frame + at);
            at += 4;
        }
        constexpr uint32_t kXingTocFlag = 4, kXingQualityFlag = 8;
        constexpr size_t kTocBytes = 100, kDelaysAt = 21;
        if ((flags & kXingTocFlag) != 0) at += kTocBytes;
        if ((flags & kXingQualityFlag) != 0) at += 4;
        const uint8_t* lame = frame + at;
        if (at + kDelaysAt + 3 <= length &&
            (std::memcmp(lame, "LAME", 4) == 0 || std::memcmp(lame, "Lavf", 4) == 0 || std::memcmp(lame, "Lavc", 4) == 0)) {
            const uint8_t* d = lame + kDelaysAt;
            header.hasDelays = true;
            header.delay = (int{d[0]} << 4) | (d[1] >> 4);
            header.padding = ((d[1] & 0x0F) << 8) | d[2];
        }
    } else if (IsVbriFrame(frame, length)) {
        header.kind = VbrHeaderKind::kVbri;
        if (kVbriOffset + kVbriFramesOffset + 4 <= length) {
            header.bytes = BigEndian32(frame + kVbriOffset + kVbriBytesOffset);
            header.frames = BigEndian32(frame + kVbriOffset + kVbriFramesOffset);
        }
    }
    return header;
}

bool VbrHeaderFitsFile(const VbrHeader& header, const MpegFrameHeader& audioFrame, uint64_t firstFrame,
                       uint64_t audioStart, uint64_t fileSize) {
    if (header.bytes != 0 && firstFrame + header.bytes > fileSize) return false;
    if (audioStart > fileSize) return false;
    const int least = header.kind == VbrHeaderKind::kInfo
                          ? FrameLengthAt(audioFrame.lsf * 3 + audioFrame.layerIndex, audioFrame.kbps,
                                          audioFrame.sampleRate, 0, audioFrame.layerIndex)
                          : SmallestFrameLength(audioFrame);
    return uint64_t{header.frames} * static_cast<uint64_t>(least) <= fileSize - audioStart;
}

uint64_t TrailingTagSize(const uint8_t* tail, size_t length, uint64_t fileSize) {
    uint64_t size = 0;
    if (length >= kId3v1Size && fileSize >= kId3v1Size && std::memcmp(tail + length - kId3v1Size, "TAG", 3) == 0) {
        size = kId3v1Size;
    }
    if (length >= size + kApeFooterSize) {
        const uint8_t* footer = tail + length - size - kApeFooterSize;
        if (std::memcmp(footer, "APETAGEX", 8) == 0) {
            uint64_t ape = LittleEndian32(footer + kApeSizeOffset);  // items and footer
            if ((LittleEndian32(footer + kApeFlagsOffset) & kApeHasHeaderFlag) != 0) ape += kApeFooterSize;
            if (ape >= kApeFooterSize) size += ape;
        }
    }
    return std::min(size, fileSize);
}

int CountAgreeingFrames(const uint8_t* data, size_t size, int maxFrames) {
    if (size < 4 || !IsFrameHeader(data)) return 0;
    const MpegFrameHeader first = DecodeFrameHeader(data);
    size_t at = 0;
    int count = 0;
    while (count < maxFrames && at + 4 <= size && IsFrameHeader(data + at)) {
        const MpegFrameHeader h = DecodeFrameHeader(data + at);
        if (!FramesAgree(h, first)) break;
        if (h.frameLength < 4 || at + static_cast<size_t>(h.frameLength) > size) {
            if (at + static_cast<size_t>(h.frameLength) == size) ++count;
            break;
        }
        at += static_cast<size_t>(h.frameLength);
        ++count;
    }
    return count;
}

uint64_t Id3v2TagSize(const uint8_t* p, size_t size) {
    if (size < 10 || std::memcmp(p, "ID3", 3) != 0) return 0;
    if (p[3] == 0xFF || p[4] == 0xFF) return 0;
    if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
    const uint64_t body = (uint64_t(p[6]) << 21) | (uint64_t(p[7]) << 14) | (uint64_t(p[8]) << 7) | uint64_t(p[9]);
    const bool footer = p[3] >= 4 && (p[5] & 0x10) != 0;
    return 10 + body + (footer ? 10 : 0);
}

}  // namespace corvane
