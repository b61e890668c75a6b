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
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/Progress.h"
#include "engine/peaks/PeakMap.h"

namespace corvane {

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

// The peaks of the file at path, from the cache or decoded on this thread and its helpers,
// then stored in the cache. Done with a complete map; Failed with "Failed to load file
// \"path\"." when the file cannot be decoded; Cancelled when cancel became true. fromCache,
// when given, tells whether the cache served it.
Outcome LoadPeakMap(const std::string& path, PeakMap& map, const std::atomic<bool>& cancel,
                    bool* fromCache = nullptr);

}  // namespace corvane
