// Frames decoded and encoded again where two pieces meet that do not continue each other.
#include "engine/join/SeamBridge.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "audio/FrameDecoder.h"
#include "audio/Mp3Encoder.h"
#include "audio/MpegFrameHeader.h"
#include "engine/mp3/GaplessFrames.h"
#include "engine/mp3/Mp3Reader.h"

namespace corvane {
namespace {

constexpr int kMonoMode = 3;
constexpr int kJointStereoMode = 1;
constexpr double kPi = 3.141592653589793;
constexpr int kLameDelay = 576;  // LAME's start delay, checked when it encodes
constexpr std::array<int, 3> kMpeg1Rates = {256, 192, 160};
constexpr std::array<int, 5> kMpeg2Rates = {128, 96, 64, 48, 32};
// Samples a side's audio stays as it is at the bridge's ends: the reach of the subband
// filters (512 taps) and, at its start, the granule whose transform overlaps the frame before.
constexpr uint64_t kFilterReach = 256;
constexpr uint64_t kOverlapMargin = 576 + kFilterReach;
constexpr uint64_t kFade = 256;  // samples of a fade between the two pieces' audio

struct Pcm {
    std::vector<int16_t> left;
    std::vector<int16_t> right;
    uint64_t Size() const { return left.size(); }
    // Appends samples [from, to) of source (to past its end: silence for the rest).
    void Append(const Pcm& source, uint64_t from, uint64_t to) {
        const uint64_t held = std::min(to, source.Size());
        if (from < held) {
            left.insert(left.end(), source.left.begin() + static_cast<long>(from), source.left.begin() + static_cast<long>(held));
            right.insert(right.end(), source.right.begin() + static_cast<long>(from), source.right.begin() + static_cast<long>(held));
        }
        AppendSilence(to - std::max(from, held));
    }
    // A raised-cosine fade over count samples from at: in from silence, or out to it.
    void Fade(uint64_t at, uint64_t count, bool in) {
        for (uint64_t i = 0; i < count; ++i) {
            const double x = (static_cast<double>(i) + 0.5) / static_cast<double>(count);
            const double gain = 0.5 - 0.5 * std::cos(kPi * (in ? x : 1.0 - x));
            left[at + i] = static_cast<int16_t>(std::lround(left[at + i] * gain));
            right[at + i] = static_cast<int16_t>(std::lround(right[at + i] * gain));
        }
    }
    void AppendSilence(uint64_t count) {
        left.insert(left.end(), count, 0);
        right.insert(right.end(), count, 0);
    }
};

// The decode of frames from the first one on, frameSamples samples each: a frame the decoder
// cannot decode (its reservoir lies before the first) gives silence, so sample n is always
// where the frames put it.
bool DecodeFrames(const std::vector<std::vector<uint8_t>>& frames, int frameSamples, Pcm& pcm) {
    audio::CFrameDecoder decoder;
    if (!decoder.Open()) return false;
    std::vector<int16_t> left(audio::CFrameDecoder::kMaxSamples);
    std::vector<int16_t> right(audio::CFrameDecoder::kMaxSamples);
    auto append = [&](int count) {
        const size_t n = static_cast<size_t>(std::clamp(count, 0, frameSamples));
        pcm.left.insert(pcm.left.end(), left.begin(), left.begin() + static_cast<long>(n));
        pcm.right.insert(pcm.right.end(), right.begin(), right.begin() + static_cast<long>(n));
        pcm.AppendSilence(static_cast<uint64_t>(frameSamples) - n);
    };
    for (size_t i = 0; i < frames.size(); ++i) {
        const int count = decoder.Decode(frames[i].data(), frames[i].size(), left.data(), right.data());
        if (i > 0) append(count);  // the frame before's samples
    }
    append(decoder.Flush(left.data(), right.data()));
    return true;
}

std::vector<LayerIIIFrame> Parsed(const std::vector<std::vector<uint8_t>>& frames) {
    std::vector<uint8_t> bytes;
    for (const std::vector<uint8_t>& frame : frames) bytes.insert(bytes.end(), frame.begin(), frame.end());
    std::vector<LayerIIIFrame> parsed = ParseLayerIIIFrames(bytes, 0);
    if (parsed.size() != frames.size()) parsed.clear();
    return parsed;
}

// The first frame of frames from which their decode is the stream's: the frames before it
// read reservoir bytes from before the first, or lack the frame before them (the transform's
// overlap) or the one before that (the synthesis filter's memory).
size_t FirstExactFrame(const std::vector<LayerIIIFrame>& frames) {
    size_t exact = 2;
    size_t held = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (static_cast<size_t>(frames[i].reservoir) > held) exact = i + 3;
        held += frames[i].DataBytes();
    }
    return exact;
}

// Frame length in bytes at kbps, padded, for h's version and sample rate.
uint64_t FrameBytes(const MpegFrameHeader& h, int kbps) {
    const uint64_t perKbps = h.lsf ? 72000 : 144000;
    return perKbps * static_cast<uint64_t>(kbps) / static_cast<uint64_t>(h.sampleRate) + 1;
}

// Encodes pcm at kbps without a bit reservoir; the frames after LAME's tag frame, or none.
std::vector<LayerIIIFrame> Encode(const Pcm& pcm, const MpegFrameHeader& h, int channels, int kbps, int& delay) {
    std::vector<uint8_t> bytes;
    CMp3Encoder encoder;
    if (!encoder.Open([&bytes](const uint8_t* data, size_t count) {
            bytes.insert(bytes.end(), data, data + count);
            return true;
        })) {
        return {};
    }
    encoder.SetChannels(channels);
    encoder.SetInSampleRate(h.sampleRate);
    encoder.SetBitrate(kbps);
    encoder.SetOutSampleRate(h.sampleRate);
    encoder.SetMode(channels == 1 ? kMonoMode : kJointStereoMode);
    encoder.SetBitReservoir(false);
    encoder.SetShortBlocks(false);
    if (!encoder.Start()) return {};
    delay = encoder.EncoderDelay();
    if (encoder.Encode(pcm.left.data(), channels == 1 ? nullptr : pcm.right.data(), static_cast<int>(pcm.Size())) < 0 ||
        !encoder.Finish()) {
        return {};
    }
    std::vector<LayerIIIFrame> frames = ParseLayerIIIFrames(bytes, 0);
    if (!frames.empty()) frames.erase(frames.begin());  // the tag frame's placeholder
    return frames;
}

}  // namespace

SeamBridge BridgeSeam(const std::vector<std::vector<uint8_t>>& before, uint64_t endBefore,
                      const std::vector<std::vector<uint8_t>>& after, uint64_t startAfter) {
    if (before.empty() || after.empty() || after.front().size() < 4 || !IsFrameHeader(after.front().data())) return {};
    const MpegFrameHeader h = DecodeFrameHeader(after.front().data());
    const uint64_t frame = static_cast<uint64_t>(h.samplesPerFrame);
    const int channels = h.channelMode == kMonoMode ? 1 : 2;
    const std::vector<LayerIIIFrame> parsedBefore = Parsed(before);
    const std::vector<LayerIIIFrame> parsedAfter = Parsed(after);
    const uint64_t beforeSamples = before.size() * frame;
    if (parsedBefore.empty() || parsedAfter.empty() || frame == 0 || endBefore > beforeSamples) return {};

    // The bridge's blocks are all long, and a granule's window must meet its neighbour's: the
    // frame before it must end, and the frame after it begin, with a long half.
    const size_t perGranule = static_cast<size_t>(channels);
    auto endsLong = [&](uint64_t k) {
        const std::vector<int> types = GranuleBlockTypes(parsedBefore[k]);
        for (size_t i = types.size() - std::min(perGranule, types.size()); i < types.size(); ++i) {
            if (types[i] != 0 && types[i] != 3) return false;
        }
        return true;
    };
    auto beginsLong = [&](uint64_t k) {
        const std::vector<int> types = GranuleBlockTypes(parsedAfter[k]);
        for (size_t i = 0; i < std::min(perGranule, types.size()); ++i) {
            if (types[i] != 0 && types[i] != 1) return false;
        }
        return true;
    };
    // Where the bridge begins: the frame the first range ends in, or earlier, so that the
    // first piece's audio runs on untouched through the bridge's first granule (whose
    // transform overlaps the frame before) and then has room to fade.
    uint64_t cut = endBefore / frame;
    while (cut > 1 && (beforeSamples - cut * frame < kOverlapMargin + kFade || !endsLong(cut - 1))) --cut;
    // Where the next piece's own frames take over: after the frame its range starts in, once
    // its audio has run untouched long enough for the last granule to lead into that frame.
    const uint64_t startFrame = startAfter / frame;
    uint64_t handoff = startFrame + 1;
    while (handoff + 2 < after.size() && (handoff * frame - startAfter < kFilterReach || !beginsLong(handoff))) {
        ++handoff;
    }
    // The encoder reads ahead into the frames after the handoff.
    if (cut < 1 || handoff + 2 > after.size() || beforeSamples - cut * frame < kOverlapMargin || !endsLong(cut - 1) ||
        !beginsLong(handoff) || handoff * frame - startAfter < kFilterReach) {
        return {};
    }

    Pcm decodedBefore;
    Pcm decodedAfter;
    if (!DecodeFrames(before, h.samplesPerFrame, decodedBefore) || !DecodeFrames(after, h.samplesPerFrame, decodedAfter)) {
        return {};
    }
    // The bridge's audio: the first piece's from cut on, untouched to its range's end and
    // through the overlap, fading out after; silence to fill whole frames; the next piece's
    // audio before its range fading in (the frame its range starts in decodes exactly), then
    // untouched from its range on.
    const uint64_t untouched = std::max(endBefore, cut * frame + kOverlapMargin);
    const uint64_t fadeOut = std::min(kFade, beforeSamples - untouched);
    const uint64_t fadeIn = std::min(kFade, startAfter - startFrame * frame);
    const uint64_t audio = untouched + fadeOut - cut * frame + fadeIn + handoff * frame - startAfter;
    const uint64_t silence = (frame - audio % frame) % frame;
    const uint64_t bridged = (audio + silence) / frame;

    // LAME's first frames hold its start delay; the bridge is its output from a frame
    // boundary at least one frame of the first piece's audio later.
    const size_t need = ReservoirNeed(parsedAfter, static_cast<size_t>(handoff));
    std::vector<uint8_t> reservoir = ReservoirBefore(parsedAfter, static_cast<size_t>(handoff), need);
    reservoir.insert(reservoir.begin(), need - reservoir.size(), 0);
    const uint64_t lead = static_cast<uint64_t>(kLameDelay + CMp3Reader::kDecoderDelay);
    const uint64_t skipped = (lead + frame + frame - 1) / frame;
    const uint64_t prior = skipped * frame - lead;
    if (cut * frame < FirstExactFrame(parsedBefore) * frame + prior) return {};
    Pcm input;
    input.Append(decodedBefore, cut * frame - prior, untouched + fadeOut);
    input.Fade(input.Size() - fadeOut, fadeOut, false);
    input.AppendSilence(silence);
    input.Append(decodedAfter, startAfter - fadeIn, decodedAfter.Size());
    input.Fade(input.Size() - (decodedAfter.Size() - startAfter) - fadeIn, fadeIn, true);

    // The highest bit rate whose frame, made the largest of its kind, still holds the
    // reservoir bytes the next piece's frames read after its own data.
    const int largest = h.lsf ? 160 : 320;
    // (LAME encodes the lowest sample rates at lower bit rates only.)
    const std::vector<int> rates = h.lsf ? std::vector<int>(kMpeg2Rates.begin(), kMpeg2Rates.end())
                                         : std::vector<int>(kMpeg1Rates.begin(), kMpeg1Rates.end());
    for (const int kbps : rates) {
        if (FrameBytes(h, kbps) + reservoir.size() >= FrameBytes(h, largest)) continue;
        int delay = 0;
        std::vector<LayerIIIFrame> encoded = Encode(input, h, channels, kbps, delay);
        if (encoded.empty()) continue;
        if (delay != kLameDelay || encoded.size() < skipped + bridged) return {};
        SeamBridge bridge;
        bridge.dropBefore = before.size() - static_cast<size_t>(cut);
        bridge.dropAfter = static_cast<size_t>(handoff);
        for (uint64_t i = skipped; i < skipped + bridged; ++i) {
            if (encoded[i].reservoir != 0) return {};
            bridge.frames.push_back(std::move(encoded[i].bytes));
        }
        if (!reservoir.empty()) bridge.frames.back() = FrameEndingWith(bridge.frames.back(), reservoir);
        if (bridge.frames.back().empty()) return {};
        return bridge;
    }
    return {};
}

}  // namespace corvane
