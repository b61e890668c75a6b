// PeakMap: bins of lowest and highest samples, and columns made of them.
#include "engine/Peaks.h"

#include <algorithm>
#include <cstring>

namespace corvane {

constexpr int64_t kTenthsPerSecond = 10;

bool PeakMap::Complete() const {
    return std::none_of(bins.begin(), bins.end(), [](const PeakBin& b) { return b.Empty(); });
}

// Both divisions round up without adding to frames first, which would wrap near 2^64.
uint32_t BinFramesFor(uint64_t frames) {
    const uint64_t even = frames / kOverviewBins + (frames % kOverviewBins != 0 ? 1 : 0);
    return static_cast<uint32_t>(std::clamp<uint64_t>(even, kMinBinFrames, UINT32_MAX));
}

uint64_t BinCountFor(uint64_t frames, uint32_t framesPerBin) {
    if (framesPerBin == 0) return 0;
    return frames / framesPerBin + (frames % framesPerBin != 0 ? 1 : 0);
}

PeakMap MakeEmptyPeakMap(uint64_t frames, uint32_t sampleRate, uint32_t channels) {
    PeakMap map;
    map.frames = frames;
    map.sampleRate = sampleRate;
    map.channels = channels;
    map.framesPerBin = BinFramesFor(frames);
    map.bins.assign(static_cast<size_t>(BinCountFor(frames, map.framesPerBin)), PeakBin{});
    return map;
}

namespace {

// Eight samples compared at once, in vector registers (GCC's generic vectors, which every
// target lowers to what it has); two such vectors per step.
using Lanes = int16_t __attribute__((vector_size(16)));
constexpr int kLanes = 8;

Lanes LoadLanes(const int16_t* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

PeakBin PeaksOfRun(const int16_t* from, const int16_t* to) {
    Lanes low0 = Lanes{} + INT16_MAX, low1 = low0;
    Lanes high0 = Lanes{} + INT16_MIN, high1 = high0;
    const int16_t* p = from;
    for (; to - p >= 2 * kLanes; p += 2 * kLanes) {
        const Lanes a = LoadLanes(p);
        const Lanes b = LoadLanes(p + kLanes);
        low0 = a < low0 ? a : low0;
        high0 = a > high0 ? a : high0;
        low1 = b < low1 ? b : low1;
        high1 = b > high1 ? b : high1;
    }
    low0 = low1 < low0 ? low1 : low0;
    high0 = high1 > high0 ? high1 : high0;
    int16_t low = INT16_MAX;
    int16_t high = INT16_MIN;
    for (int k = 0; k < kLanes; ++k) {
        low = std::min<int16_t>(low, low0[k]);
        high = std::max<int16_t>(high, high0[k]);
    }
    for (; p < to; ++p) {
        low = std::min(low, *p);
        high = std::max(high, *p);
    }
    return PeakBin{low, high};
}

void AddPcmToBins(PeakMap& map, uint64_t firstFrame, const int16_t* pcm, uint64_t frames) {
    if (map.bins.empty() || map.framesPerBin == 0 || map.channels == 0) return;
    const uint64_t lastBin = map.bins.size() - 1;
    uint64_t frame = firstFrame;
    const uint64_t end = firstFrame + frames;
    while (frame < end) {
        const uint64_t bin = std::min(frame / map.framesPerBin, lastBin);
        // The frames of this call that fall into this bin; the last bin takes all the rest.
        const uint64_t binEnd = bin == lastBin ? end : std::min(end, (bin + 1) * map.framesPerBin);
        const int16_t* from = pcm + (frame - firstFrame) * map.channels;
        const int16_t* to = pcm + (binEnd - firstFrame) * map.channels;
        map.bins[static_cast<size_t>(bin)].Merge(PeaksOfRun(from, to));
        frame = binEnd;
    }
}

uint32_t LoudnessWindowFramesFor(uint32_t sampleRate) {
    return std::max<uint32_t>(sampleRate / kLoudnessWindowsPerSecond, 1);
}

namespace {

// The sum of the squares of count samples, every stride-th from p.
uint64_t SquaresOfRun(const int16_t* p, uint64_t count, uint32_t stride) {
    uint64_t sum = 0;
    if (stride == 1) {
        for (uint64_t i = 0; i < count; ++i) sum += static_cast<uint32_t>(p[i] * p[i]);
    } else {
        for (uint64_t i = 0; i < count; ++i) sum += static_cast<uint32_t>(p[i * stride] * p[i * stride]);
    }
    return sum;
}

}  // namespace

void AddPcmToWindows(PeakMap& map, uint64_t firstFrame, const int16_t* pcm, uint64_t frames) {
    if (map.windowFrames == 0 || map.channels == 0 || frames == 0) return;
    const uint64_t end = firstFrame + frames;
    const uint64_t windows = BinCountFor(end, map.windowFrames);
    if (map.windowSquares.size() < windows) map.windowSquares.resize(static_cast<size_t>(windows), 0);
    uint64_t frame = firstFrame;
    while (frame < end) {
        const uint64_t window = frame / map.windowFrames;
        const uint64_t windowEnd = std::min(end, (window + 1) * map.windowFrames);
        const int16_t* from = pcm + (frame - firstFrame) * map.channels;
        const uint64_t n = windowEnd - frame;
        uint64_t sum = 0;
        if (map.channels == 1) {
            sum = SquaresOfRun(from, n, 1);
        } else if (map.channels == 2) {
            sum = SquaresOfRun(from, 2 * n, 1);  // left and right, interleaved
        } else {
            sum = SquaresOfRun(from, n, map.channels) + SquaresOfRun(from + 1, n, map.channels);
        }
        map.windowSquares[static_cast<size_t>(window)] += sum;
        frame = windowEnd;
    }
}

PeakColumn PeaksOfRange(const PeakMap& map, uint64_t first, uint64_t end) {
    if (map.bins.empty() || map.framesPerBin == 0) return PeakColumn{true, 0, 0};
    const uint64_t lastBin = map.bins.size() - 1;
    const uint64_t firstBin = std::min(first / map.framesPerBin, lastBin);
    const uint64_t endBin = end > first ? std::min((end - 1) / map.framesPerBin, lastBin) + 1 : firstBin + 1;
    PeakBin peaks;
    for (uint64_t b = firstBin; b < endBin; ++b) {
        const PeakBin& bin = map.bins[static_cast<size_t>(b)];
        if (bin.Empty()) return PeakColumn{};
        peaks.Merge(bin);
    }
    return PeakColumn{true, peaks.low, peaks.high};
}

std::vector<PeakColumn> EvenColumns(const PeakMap& map, int columns) {
    std::vector<PeakColumn> out;
    if (columns <= 0) return out;
    out.reserve(static_cast<size_t>(columns));
    const uint64_t n = static_cast<uint64_t>(columns);
    for (uint64_t c = 0; c < n; ++c) {
        // 128-bit products: frames times a column number may pass 64 bits for huge requests.
        const auto edge = [&](uint64_t k) {
            return static_cast<uint64_t>(static_cast<unsigned __int128>(map.frames) * k / n);
        };
        out.push_back(PeaksOfRange(map, edge(c), edge(c + 1)));
    }
    return out;
}

uint64_t FrameAtTenths(int64_t tenths, uint32_t sampleRate) {
    if (tenths <= 0) return 0;
    return static_cast<uint64_t>(tenths) * sampleRate / kTenthsPerSecond;
}

}  // namespace corvane
