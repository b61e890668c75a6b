// LoadStretchPeaks: the peaks of a stretch, from a fine enough map or a decode of it alone.
#include "engine/Peaks.h"

#include <algorithm>

#include "audio/AudioLibrary.h"
#include "engine/base/Messages.h"
#include "engine/peaks/PeakCache.h"
#include "engine/peaks/StreamSeek.h"

namespace corvane {

// A map serves a stretch when a column spans at least this many of its bins.
constexpr uint64_t kMinBinsPerColumn = 4;

namespace {

// Frame from + k × n / columns: the start of column k (k = columns: the stretch's end).
uint64_t ColumnEdge(uint64_t from, uint64_t n, uint32_t columns, uint64_t k) {
    return from + static_cast<uint64_t>(static_cast<unsigned __int128>(n) * k / columns);
}

// Clamps [from, to) to a file of frames sample frames.
void ClampStretch(StretchPeaks& out, uint64_t from, uint64_t to) {
    out.to = std::min(to, out.frames);
    out.from = std::min(from, out.to);
}

bool MapServes(const PeakMap& map, uint64_t n, uint32_t columns) {
    return map.framesPerBin != 0 && columns != 0 && map.Complete() &&
           static_cast<unsigned __int128>(map.framesPerBin) * kMinBinsPerColumn * columns <= n;
}

// The columns of an open stream's stretch [out.from, out.to): a seek to its start, a decode
// to its end. False when the stream could not be positioned or cancel became true.
bool DecodeColumns(audio::Handle handle, StretchPeaks& out, uint32_t columns, const std::atomic<bool>& cancel) {
    const uint64_t n = out.to - out.from;
    std::vector<PeakBin> bins(columns);
    const uint32_t frameBytes = out.channels * kBytesPerSample;
    if (out.from != 0 && !SeekInSteps(handle, out.from, frameBytes, kSeekStepSeconds * out.sampleRate, cancel))
        return false;

    std::vector<int16_t> block(static_cast<size_t>(kPeakBlockFrames) * out.channels);
    uint64_t at = out.from;  // the frame of the stream the next block starts with
    uint32_t column = 0;
    uint64_t columnEnd = ColumnEdge(out.from, n, columns, 1);
    while (at < out.to) {
        if (cancel.load()) return false;
        const uint64_t want = std::min<uint64_t>(kPeakBlockFrames, out.to - at);
        const int32_t got = audio::ChannelGetData(handle, block.data(), static_cast<uint32_t>(want * frameBytes));
        if (got <= 0) break;  // the end of the data, or data that cannot be decoded
        const uint64_t end = at + static_cast<uint64_t>(got) / frameBytes;
        // The block's frames, column by column.
        for (uint64_t frame = at; frame < end;) {
            while (frame >= columnEnd) columnEnd = ColumnEdge(out.from, n, columns, ++column + 1);
            const uint64_t runEnd = std::min(end, columnEnd);
            bins[column].Merge(PeaksOfRun(block.data() + (frame - at) * out.channels,
                                          block.data() + (runEnd - at) * out.channels));
            frame = runEnd;
        }
        at = end;
    }
    // A column of no frame shows the frame at its start, which the next column holds alone.
    for (uint32_t c = columns - 1; c-- > 0;)
        if (ColumnEdge(out.from, n, columns, c) == ColumnEdge(out.from, n, columns, c + 1)) bins[c] = bins[c + 1];
    out.columns.reserve(columns);
    for (const PeakBin& bin : bins)
        out.columns.push_back(bin.Empty() ? PeakColumn{true, 0, 0} : PeakColumn{true, bin.low, bin.high});
    return true;
}

}  // namespace

bool LoadCachedPeakMap(const std::string& path, PeakMap& map) {
    PeakCacheKey key;
    return ReadPeakCacheKey(path, key) && LoadCachedPeaks(key, map);
}

Outcome LoadStretchPeaks(const std::string& path, uint64_t from, uint64_t to, uint32_t columns,
                         StretchPeaks& out, const std::atomic<bool>& cancel, const PeakMap* map) {
    out = StretchPeaks{};
    if (map != nullptr) {
        out.frames = map->frames;
        ClampStretch(out, from, to);
        if (MapServes(*map, out.to - out.from, columns)) {
            out.sampleRate = map->sampleRate;
            out.channels = map->channels;
            out.columns.reserve(columns);
            for (uint32_t c = 0; c < columns; ++c) {
                out.columns.push_back(PeaksOfRange(*map, ColumnEdge(out.from, out.to - out.from, columns, c),
                                                   ColumnEdge(out.from, out.to - out.from, columns, c + 1)));
            }
            return Outcome::Done();
        }
        out = StretchPeaks{};
    }
    if (cancel.load()) return Outcome::Cancelled();

    const audio::Handle handle = audio::StreamCreateFile(path, 0, 0, audio::kStreamDecode | audio::kStreamGapless);
    if (handle == 0) return Outcome::Failed(LoadFileFailure(path));
    audio::ChannelInfo info;
    const int64_t length = audio::ChannelGetLength(handle);
    if (!audio::ChannelGetInfo(handle, &info) || info.chans == 0 || info.freq == 0 || length < 0) {
        audio::StreamFree(handle);
        return Outcome::Failed(LoadFileFailure(path));
    }
    out.sampleRate = info.freq;
    out.channels = info.chans;
    out.frames = static_cast<uint64_t>(length) / (info.chans * kBytesPerSample);
    ClampStretch(out, from, to);
    bool decoded = true;
    if (out.to == out.from || columns == 0)
        out.columns.assign(columns, PeakColumn{true, 0, 0});
    else
        decoded = DecodeColumns(handle, out, columns, cancel);
    audio::StreamFree(handle);
    if (cancel.load() || !decoded) {
        out = StretchPeaks{};
        return cancel.load() ? Outcome::Cancelled() : Outcome::Failed(LoadFileFailure(path));
    }
    return Outcome::Done();
}

}  // namespace corvane
