// CPeakWorker: the peaks of one file, decoded in the background and handed out as they come.
//
// A front end that shows a waveform starts the worker on the file it opens and draws what
// the worker has so far, as often as it likes; the worker never waits for it. A job first
// looks in the peak cache (PeakCache.h); a file decoded before is served from there at once.
// Otherwise it decodes the file through the audio layer on threads of its own (a long file is
// split into as many stretches as there are cores, at most kMaxPeakThreads, each decoded by
// one thread from a seek to its start), fills the PeakMap bin by bin, and stores the complete
// map in the cache. Columns of bins not decoded yet are reported as unknown.
//
// Threads. Start and Cancel belong to one owning thread; Columns, State and Map may be called
// from any thread. The notify function is called on a worker thread, while the job runs, at
// most every kPeakNotifyMs with new bins and once when the job ends (complete or failed); it
// must only hand the news over to its own thread (post an event) and return, and is never
// called after Cancel or Start has returned. No call here touches anything but the audio
// layer and the cache folder.
//
// Cancel stops every thread of the job and returns within kPeakCancelMs: the threads look at
// the cancel flag after each block of kPeakBlockFrames sample frames, and between the steps
// of the seek to a stretch's start. A cancelled job writes nothing to the cache.
//
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

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/Progress.h"

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

// The bins of one file, and its loudness in windows of 10 ms.
//
// Loudness windows. The same decode measures the file for the silence detector: window w
// holds frames [w × windowFrames, (w + 1) × windowFrames) of the decoded stream (the last
// window the rest of windowedFrames, maybe fewer), windowFrames being sampleRate ÷ 100
// (truncated, at least 1), and its value is the sum of the squares of every sample of
// channels 0 and 1 in it (of channel 0 alone in a mono file; further channels do not count,
// as the decoded source of the audio layer drops them). Sums, not levels: the detector
// compares them with any threshold exactly as it would the decoded samples. A map of a file
// of more than kMaxLoudnessWindows windows, or of one that was not decoded to its end, holds
// none (windowFrames 0).
struct PeakMap {
    uint64_t frames = 0;         // sample frames per channel of the whole file
    uint32_t sampleRate = 0;     // Hz
    uint32_t channels = 0;
    uint32_t framesPerBin = 0;   // 0 only in a map that describes no file
    std::vector<PeakBin> bins;   // BinCountFor(frames, framesPerBin) bins
    uint32_t windowFrames = 0;   // LoudnessWindowFramesFor(sampleRate); 0: no windows
    uint64_t windowedFrames = 0; // sample frames decoded (may differ a little from frames)
    std::vector<uint64_t> windowSquares;  // BinCountFor(windowedFrames, windowFrames) sums

    // True when every bin has been decoded.
    bool Complete() const;
};

// The longest file a map describes: kOverviewBins bins of the most frames a bin can hold
// (about 186 years at 48000 Hz). A longer length is no fact about a real file.
constexpr uint64_t kMaxPeakFrames = uint64_t{kOverviewBins} * UINT32_MAX;

// Loudness windows per second, and the most windows a map keeps (12 hours; the windows of a
// longer file are not kept, and its silences are found by a decode of their own).
constexpr uint32_t kLoudnessWindowsPerSecond = 100;
constexpr uint64_t kMaxLoudnessWindows = uint64_t{12} * 3600 * kLoudnessWindowsPerSecond;

// The sample frames of one loudness window at sampleRate: a hundredth of a second,
// truncated, at least 1.
uint32_t LoudnessWindowFramesFor(uint32_t sampleRate);

// Adds interleaved PCM of channels channels to map's loudness windows: frames sample frames,
// the first of which is frame firstFrame of the decoded stream. windowSquares grows to hold
// the windows the frames reach.
void AddPcmToWindows(PeakMap& map, uint64_t firstFrame, const int16_t* pcm, uint64_t frames);

// The frames per bin for a file of frames sample frames: at least kMinBinFrames, and few
// enough bins that there are at most kOverviewBins (for frames up to kMaxPeakFrames).
uint32_t BinFramesFor(uint64_t frames);

// The bins a file of frames needs with framesPerBin frames each (the last may be short).
uint64_t BinCountFor(uint64_t frames, uint32_t framesPerBin);

// A map for a file of frames sample frames at sampleRate Hz, every bin empty.
PeakMap MakeEmptyPeakMap(uint64_t frames, uint32_t sampleRate, uint32_t channels);

// The lowest and highest of the interleaved samples [from, to) (every channel counts);
// empty for no samples.
PeakBin PeaksOfRun(const int16_t* from, const int16_t* to);

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

constexpr int kMaxPeakThreads = 2;
constexpr int kPeakNotifyMs = 40;
constexpr int kPeakCancelMs = 50;
constexpr uint32_t kPeakBlockFrames = 4608;  // four MPEG Layer III frames
// Files shorter than this are decoded by one thread: a second one would cost more to start
// than it saves.
constexpr int kPeakSplitSeconds = 60;

// Where a job stands.
enum class PeakState {
    Idle,      // no job started, or the last one was cancelled
    Working,   // looking in the cache or decoding; bins come in
    Complete,  // every bin is known
    Failed,    // the file cannot be decoded: no bins at all
};

class CPeakWorker {
public:
    using Notify = std::function<void()>;

    CPeakWorker();
    // Cancels the running job.
    ~CPeakWorker();
    CPeakWorker(const CPeakWorker&) = delete;
    CPeakWorker& operator=(const CPeakWorker&) = delete;

    // Cancels the running job, then starts one on path (UTF-8). Returns at once; the state is
    // Working until the job ends.
    void Start(const std::string& path, Notify notify);
    // Stops the running job and forgets it: the state is Idle and no bins are left. Returns
    // within kPeakCancelMs.
    void Cancel();

    PeakState State() const;
    // True when the running or finished job was served from the cache.
    bool FromCache() const;
    // The peaks between successive edges, in seconds of the file: edges.size() - 1 columns
    // (none for fewer than two edges). Every column is unknown while the file's length is not
    // known yet, and after a failure every column is known and flat.
    std::vector<PeakColumn> Columns(const std::vector<double>& edgeSeconds) const;
    // A copy of the map as it stands (no bins before the length is known).
    PeakMap Map() const;

    struct Job;

private:
    std::shared_ptr<Job> job_;
    std::thread thread_;
};

// Called on the thread that runs LoadPeakMap while it decodes: before each block it decodes
// itself, and every few milliseconds while it waits for its helpers. decoded: the sample
// frames all threads have decoded so far; frames: the file's length.
using PeakTick = std::function<void(uint64_t decoded, uint64_t frames)>;

// The peaks and loudness windows of the file at path, from the cache or decoded on this
// thread and its helpers (a file of kPeakSplitSeconds or longer in two halves at once), then
// stored in the cache. Done with a complete map; Failed with "Failed to load file \"path\"."
// when the file cannot be decoded; Cancelled when cancel became true (tick may set it).
// fromCache, when given, tells whether the cache served it: then nothing was decoded.
// needWindows: a cached map without loudness windows is decoded again, and a stream whose
// halves would not give exact windows (MPEG-2 and 2.5 Layer III) is decoded on one thread;
// otherwise such a stream's halves give a map without windows.
Outcome LoadPeakMap(const std::string& path, PeakMap& map, const std::atomic<bool>& cancel,
                    bool* fromCache = nullptr, const PeakTick& tick = {}, bool needWindows = false);

// The peak map the cache holds for the file at path as it is now (LoadPeakMap stores it
// there): true with map filled; false, with map untouched, when there is none. Decodes
// nothing.
bool LoadCachedPeakMap(const std::string& path, PeakMap& map);

// The peaks of a stretch: what a zoomed waveform draws.
//
// A stretch is the sample frames [from, to) of the file's decoded stream, the same timeline
// the peak map and the cutter count in: MPEG audio as a gapless decoder plays it (without the
// encoder delay and padding of a LAME tag), frame 0 the first sample it plays. The stretch
// is divided into even columns: column c covers frames [from + c × n / columns,
// from + (c + 1) × n / columns), n being to - from. With more columns than frames some cover
// no frame; such a column shows the frame at its start.
//
// When the stretch is decoded, a column's peaks are exact: the lowest and highest sample of
// exactly its frames, as the decode of the whole file gives them (the audio layer's seek to
// from decodes the frames before it that the samples depend on; MPEG-2 and 2.5 Layer III at
// low bit rates may differ in the last bit of a few samples: see ChannelSetPosition).
// When a map serves the stretch, a column takes every bin it touches, so its edges are
// blurred by up to one bin (a quarter of the column at most).

// The peaks of sample frames [from, to) of a file's decoded stream (the timeline the
// waveform and the cutter use), in `columns` even columns.
struct StretchPeaks {
    uint64_t from = 0;          // the stretch as served, clamped to the file
    uint64_t to = 0;
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint64_t frames = 0;        // sample frames of the whole file
    std::vector<PeakColumn> columns;
};

// Served from map (when given, complete, and its bins are at most a quarter of a column)
// or else by decoding only the stretch (a seek to `from`, decode to `to`). Callable from any
// thread; returns Outcome::Cancelled() within ~50 ms of cancel becoming true.
//
// Done: out holds the stretch clamped to the file (to at most frames, from at most to) and
// columns known columns; a stretch of no frames gives flat ones (0, 0), and so do columns
// past the point where the data ended early. columns 0 gives the file's facts alone (frames,
// sampleRate, channels), decoding nothing. Failed, with "Failed to load file \"path\".",
// when the file cannot be opened, decoded or positioned; out is then empty, as after a
// cancel.
// map, when given, must be of the file at path as it is now (CPeakWorker::Map, or
// LoadCachedPeakMap); it is only read.
Outcome LoadStretchPeaks(const std::string& path, uint64_t from, uint64_t to, uint32_t columns,
                         StretchPeaks& out, const std::atomic<bool>& cancel, const PeakMap* map = nullptr);

}  // namespace corvane
