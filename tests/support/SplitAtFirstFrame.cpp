// An MP3 file taken apart at its first frame, and the figures of a header frame.
#include "support/SplitAtFirstFrame.h"

#include <algorithm>

#include "audio/MpegFrameHeader.h"
#include "engine/mp3/Mp3Reader.h"

namespace corvane::test {
namespace {

uint32_t BigEndian(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

FirstFrameSplit SplitAtFirstFrame(const Bytes& file) {
    size_t tag = 0;
    if (file.size() >= 10 && file[0] == 'I' && file[1] == 'D' && file[2] == '3') {
        tag = 10 + ((file[6] << 21) | (file[7] << 14) | (file[8] << 7) | file[9]) + ((file[5] & 0x10) != 0 ? 10 : 0);
    }
    size_t first = tag;
    if (tag + 4 <= file.size() && IsFrameHeader(file.data() + tag)) {
        first = tag + static_cast<size_t>(DecodeFrameHeader(file.data() + tag).frameLength);
    }
    const auto at = [&file](size_t offset) { return file.begin() + static_cast<long>(std::min(offset, file.size())); };
    return {Bytes(file.begin(), at(tag)), Bytes(at(tag), at(first)), Bytes(at(first), file.end())};
}

Bytes AfterFirstFrames(std::initializer_list<Bytes> files) {
    Bytes rest;
    for (const Bytes& file : files) {
        const Bytes after = SplitAtFirstFrame(file).rest;
        rest.insert(rest.end(), after.begin(), after.end());
    }
    return rest;
}

HeaderFrameFigures FiguresOf(const Bytes& headerFrame) {
    HeaderFrameFigures figures;
    if (headerFrame.size() < 4 || !IsFrameHeader(headerFrame.data())) return figures;
    const size_t at = static_cast<size_t>(VbrTagOffset(DecodeFrameHeader(headerFrame.data())));
    if (at + 16 > headerFrame.size()) return figures;
    figures.letters.assign(reinterpret_cast<const char*>(headerFrame.data() + at), 4);
    figures.frames = BigEndian(headerFrame.data() + at + 8);
    figures.bytes = BigEndian(headerFrame.data() + at + 12);
    CMp3Reader::ReadLameDelays(headerFrame.data(), static_cast<uint32_t>(headerFrame.size()), figures.delay,
                               figures.padding);
    return figures;
}

}  // namespace corvane::test
