// A test recording of tones and digital silences, for the silence detector and the cuts at
// silences.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "support/Mp3Factory.h"

namespace corvane::test {

constexpr int kRecordingRate = 44100;
constexpr int kRecordingChannels = 2;
// LAME's encoder delay plus mpg123's decoder delay: where the encoded PCM's first sample
// lands in the decoded stream.
constexpr int64_t kRecordingCodecDelay = 576 + 529;

// Parts of a recording: seconds of tone (true) or of digital silence (false).
using RecordingParts = std::vector<std::pair<double, bool>>;

// The parts encoded as a 128 kbps stereo MP3 without an Info frame; middles (when given)
// receives each silence's middle in the decoded stream (sample frames), leading and trailing
// ones included.
inline Bytes Recording(const RecordingParts& parts, std::vector<int64_t>* middles = nullptr) {
    std::vector<int16_t> pcm;
    for (const auto& [seconds, tone] : parts) {
        const auto frames = static_cast<int64_t>(seconds * kRecordingRate);
        const auto start = static_cast<int64_t>(pcm.size() / kRecordingChannels);
        if (tone) {
            const std::vector<int16_t> part = SynthesizePcm(kRecordingRate, kRecordingChannels, seconds);
            pcm.insert(pcm.end(), part.begin(), part.end());
        } else {
            pcm.resize(pcm.size() + static_cast<size_t>(frames * kRecordingChannels), 0);
            if (middles != nullptr) middles->push_back(start + frames / 2 + kRecordingCodecDelay);
        }
    }
    return EncodePcm(EncodeOptions{}, pcm);
}

}  // namespace corvane::test
