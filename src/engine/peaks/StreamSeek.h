// Positioning a decoded stream far into a file in steps, with a cancel seen between them.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/AudioLibrary.h"

namespace corvane {

// Bytes of one 16-bit sample, as the audio layer delivers them.
constexpr uint32_t kBytesPerSample = 2;
// A position inside the file is reached in seeks of at most this much audio.
constexpr uint64_t kSeekStepSeconds = 60;

// Moves the stream to frame: true when it got there. libmpg123 finds a position by reading
// every frame header before it (a minute of a 128 kbps file takes about half a millisecond),
// so a far position is reached in steps, and a cancel is seen between them.
inline bool SeekInSteps(audio::Handle handle, uint64_t frame, uint32_t frameBytes, uint64_t stepFrames,
                        const std::atomic<bool>& cancel) {
    for (uint64_t at = stepFrames; at < frame; at += stepFrames)
        if (cancel.load() || !audio::ChannelSetPosition(handle, static_cast<int64_t>(at * frameBytes))) return false;
    return !cancel.load() && audio::ChannelSetPosition(handle, static_cast<int64_t>(frame * frameBytes));
}

}  // namespace corvane
