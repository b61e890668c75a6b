// The frames a frame-copy join writes where two pieces meet that do not continue each other
// (pieces joined out of order, or with one left out).
//
// A Layer III frame's samples come from its own transform and from the second half of the
// frame before it, whose alias terms they cancel. A piece that stops and is followed by a
// frame of silence leaves its last half-frame uncancelled, and a piece that starts after
// silence has its first half-frame uncancelled: bursts that can be louder than anything in
// the source. So a few frames around such a seam are decoded and encoded again: the frames
// from where the first piece's range ends, and the next piece's up to the frame after its
// start. The encoder sees the first piece's audio before the seam and the next piece's after
// it, so its first frame continues the frame before it and its last leads into the next
// piece's own frame, each within the encoder's error. Its frames use no bit reservoir (none
// reaches back into the first piece), and the last one ends with the reservoir bytes the next
// piece's frames read.
//
// Between the two ranges the seam keeps what a frame join keeps between any two files: the
// samples needed to fill the last frame, taken from the first piece's end, then from the
// next piece's start, silence only when neither has more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

struct SeamBridge {
    size_t dropBefore = 0;  // the newest frames written that the bridge replaces
    size_t dropAfter = 0;   // the next piece's first frames it replaces
    std::vector<std::vector<uint8_t>> frames;  // written in their place; empty: no bridge
};

// before: the newest frames written (oldest first), whose decode is meant to end endBefore
// samples after the first one's start (the first piece's range end). after: the next piece's
// first frames as its file holds them, whose range starts startAfter samples after the first
// one's start. Both of one MPEG version, sample rate and channel count. No frames (and no
// drops) when the seam cannot be bridged: too few frames on either side, frames an encoder
// cannot match, or a failing decode or encode.
SeamBridge BridgeSeam(const std::vector<std::vector<uint8_t>>& before, uint64_t endBefore,
                      const std::vector<std::vector<uint8_t>>& after, uint64_t startAfter);

}  // namespace corvane
