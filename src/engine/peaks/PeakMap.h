// PeakMap: the lowest and highest sample of a decoded file, per run of sample frames.
//
// A waveform overview draws, for each pixel column, the lowest and highest sample of the
// audio under that column. Decoding is the costly part, so a file is decoded once into bins
// of a fixed number of sample frames (framesPerBin), each holding the lowest and highest
// sample of every channel in its frames; any column width is then answered from the bins
// without decoding again. The bins are fine enough for any window: a file has at most
// kOverviewBins of them (a one-hour file at 44100 Hz: 2423 frames, 55 ms, per bin), so a
// column edge is placed to within one bin.
//
// Samples are signed 16-bit, as the audio layer delivers them. A bin that has not been
// decoded yet is empty (low above high); a column that covers an empty bin is not known yet,
// which lets a front end draw the overview while it is being decoded.
#pragma once

#include <cstdint>
#include <vector>

namespace corvane {

// The most bins a file is divided into, and the fewest frames one bin holds.
constexpr uint32_t kOverviewBins = 65536;
constexpr uint32_t kMinBinFrames = 16;

// The lowest and highest sample of a run of frames (all channels). Empty: low > high.
struct PeakBin {
    int16_t low = INT16_MAX;
    int16_t high = INT16_MIN;

    bool Empty() const { return low > high; }
    void Merge(const PeakBin& other) {
        if (other.low < low) low = other.low;
        if (other.high > high) high = other.high;
    }
    bool operator==(const PeakBin&) const = default;
};

// What the peaks of one column are: known, or not decoded yet.
struct PeakColumn {
    bool known = false;
    int16_t low = 0;   // 0 and 0 while not known
    int16_t high = 0;
    bool operator==(const PeakColumn&) const = default;
};

// The bins of one file.
struct PeakMap {
    uint64_t frames = 0;         // sample frames per channel of the whole file
    uint32_t sampleRate = 0;     // Hz
    uint32_t channels = 0;
    uint32_t framesPerBin = 0;   // 0 only in a map that describes no file
    std::vector<PeakBin> bins;   // BinCountFor(frames, framesPerBin) bins

    // True when every bin has been decoded.
    bool Complete() const;
};

// The frames per bin for a file of frames sample frames: at least kMinBinFrames, and few
// enough bins that there are at most kOverviewBins.
uint32_t BinFramesFor(uint64_t frames);

// The bins a file of frames needs with framesPerBin frames each (the last may be short).
uint64_t BinCountFor(uint64_t frames, uint32_t framesPerBin);

// A map for a file of frames sample frames at sampleRate Hz, every bin empty.
PeakMap MakeEmptyPeakMap(uint64_t frames, uint32_t sampleRate, uint32_t channels);

// Widens bins[0...] with interleaved PCM of channels channels: frames sample frames, the first
// of which is frame firstFrame of the file. Frames past the map's last bin widen the last bin
// (a decoder may deliver a few frames more than the length said).
void AddPcmToBins(PeakMap& map, uint64_t firstFrame, const int16_t* pcm, uint64_t frames);

// The peaks of frames [first, end) of the file: every bin that holds any of those frames
// counts (a range inside one bin takes that bin, a range of no frames the bin that holds
// first; frames past the end count as the last bin's). Unknown when one of them is empty;
// known and flat (0, 0) in a map of no bins.
PeakColumn PeaksOfRange(const PeakMap& map, uint64_t first, uint64_t end);

// The peaks of columns equal columns over the whole file: column c covers frames
// [c × frames / columns, (c + 1) × frames / columns). Empty for columns <= 0.
std::vector<PeakColumn> EvenColumns(const PeakMap& map, int columns);

// The frame at tenths of a second at sampleRate (truncated).
uint64_t FrameAtTenths(int64_t tenths, uint32_t sampleRate);

}  // namespace corvane
