// An MP3 file taken apart at its first frame, for files whose first frame is a header frame
// (LAME's Info frame, or the one a frame-copy join writes for the whole target), and what
// that frame's Xing fields and LAME tag say.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "support/Mp3Factory.h"

namespace corvane::test {

struct FirstFrameSplit {
    Bytes tag;    // the ID3v2 tag before the first frame, footer included; empty without one
    Bytes first;  // the first frame
    Bytes rest;   // everything after it
};
FirstFrameSplit SplitAtFirstFrame(const Bytes& file);

// The rest of each of files after its first frame, one after another.
Bytes AfterFirstFrames(std::initializer_list<Bytes> files);

// The figures of a header frame whose Xing fields hold both counts (LAME's and the join's
// do): "Xing" or "Info", the frame and byte counts, and the LAME tag's delay and padding
// (-1 without a tag a gapless decoder would read).
struct HeaderFrameFigures {
    std::string letters;
    uint32_t frames = 0;
    uint32_t bytes = 0;
    int delay = -1;
    int padding = -1;
};
// headerFrame: the frame, or a file that starts with it.
HeaderFrameFigures FiguresOf(const Bytes& headerFrame);

}  // namespace corvane::test
