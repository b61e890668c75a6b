// CPeakWorker: the cache, else the file decoded in stretches on threads of its own.
#include "engine/Peaks.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include "audio/AudioLibrary.h"
#include "engine/base/Messages.h"
#include "engine/peaks/PeakCache.h"
#include "engine/peaks/StreamSeek.h"

namespace corvane {

// Bins a stretch gathers before it hands them to the shared map (a few hundred
// milliseconds of audio at most, so the map fills smoothly).
constexpr uint64_t kCommitBins = 16;
// How often the thread that waits for its helpers ticks.
constexpr auto kTickInterval = std::chrono::milliseconds(15);
// MPEG-1 audio has 32000, 44100 and 48000 Hz; MPEG-2 and 2.5 the lower rates.
constexpr uint32_t kMpeg1LowestRate = 32000;

struct CPeakWorker::Job {
    std::string path;
    Notify notify;
    std::atomic<bool> cancel{false};
    std::atomic<bool> fromCache{false};
    std::atomic<PeakState> state{PeakState::Working};
    std::atomic<int64_t> lastNotifyMs{0};
    std::atomic<uint64_t> decoded{0};  // sample frames decoded by all stretches
    PeakTick tick;                     // called by the thread that runs the job only
    bool needWindows = false;          // a cached map without windows does not do

    mutable std::mutex mutex;
    PeakMap map;  // under mutex; no bins until the file's length is known
};

namespace {

using Job = CPeakWorker::Job;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The decoding threads are batch work: the scheduler lets any interactive thread (the
// window's) run first whenever it wakes, without taking the cores from the decoding
// otherwise.
void MarkBatchThread() {
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &param);
}

void NotifyNow(Job& job, const std::atomic<bool>& cancel) {
    if (!job.notify || cancel.load()) return;
    job.lastNotifyMs.store(NowMs());
    job.notify();
}

// Notifies when kPeakNotifyMs have passed since the last notification (from any thread).
void NotifySometimes(Job& job, const std::atomic<bool>& cancel) {
    if (!job.notify || cancel.load()) return;
    const int64_t now = NowMs();
    int64_t last = job.lastNotifyMs.load();
    if (now - last < kPeakNotifyMs) return;
    if (job.lastNotifyMs.compare_exchange_strong(last, now)) job.notify();
}

// Copies local bins [from, to) to the shared map, where they are bins firstBin + from....
void Commit(Job& job, const PeakMap& local, uint64_t firstBin, uint64_t from, uint64_t to) {
    if (to <= from) return;
    std::lock_guard<std::mutex> lock(job.mutex);
    std::copy(local.bins.begin() + static_cast<ptrdiff_t>(from), local.bins.begin() + static_cast<ptrdiff_t>(to),
              job.map.bins.begin() + static_cast<ptrdiff_t>(firstBin + from));
}

// Adds a stretch's loudness windows, which are windows firstWindow... of the file, to the
// shared map's. A window that the seam between two stretches cuts gets its sum from both.
void CommitWindows(Job& job, const PeakMap& local, uint64_t firstWindow) {
    std::lock_guard<std::mutex> lock(job.mutex);
    std::vector<uint64_t>& shared = job.map.windowSquares;
    const uint64_t end = firstWindow + local.windowSquares.size();
    if (shared.size() < end) shared.resize(static_cast<size_t>(end), 0);
    for (size_t w = 0; w < local.windowSquares.size(); ++w) shared[static_cast<size_t>(firstWindow) + w] += local.windowSquares[w];
}

// Decodes the stretch of bins [firstBin, endBin) of the open stream handle (the last stretch
// runs to the end of the data) into the shared map, its bins and its loudness windows. Bins
// the data does not reach are flat. False when the stretch was not decoded to its end (no
// stream, a failed seek or read, a cancel): its flat bins are then no fact about the file,
// and must not be cached. end, when given, receives the frame after the last one decoded.
// ticks: this is the stretch of the thread that runs the job, which calls the job's tick.
bool DecodeStretch(Job& job, const std::atomic<bool>& cancel, audio::Handle handle, const PeakMap& facts,
                   uint64_t firstBin, uint64_t endBin, bool last, bool ticks, uint64_t* end = nullptr) {
    PeakMap local;
    local.frames = (endBin - firstBin) * facts.framesPerBin;
    local.sampleRate = facts.sampleRate;
    local.channels = facts.channels;
    local.framesPerBin = facts.framesPerBin;
    local.bins.assign(static_cast<size_t>(endBin - firstBin), PeakBin{});

    const uint32_t frameBytes = facts.channels * kBytesPerSample;
    const uint64_t firstFrame = firstBin * facts.framesPerBin;
    // The local windows are the file's from the one that holds firstFrame on.
    local.windowFrames = facts.windowFrames;
    const uint64_t firstWindow = facts.windowFrames != 0 ? firstFrame / facts.windowFrames : 0;
    const uint64_t windowOffset = firstFrame - firstWindow * facts.windowFrames;
    uint64_t decoded = 0;  // frames from firstFrame on
    uint64_t committed = 0;
    std::vector<int16_t> block(static_cast<size_t>(kPeakBlockFrames) * facts.channels);
    // libmpg123 reaches a position by decoding a few frames before it and dropping their
    // samples, so that the bit reservoir and the overlap of the transforms are those of a
    // decode from the start there (see RunJob for the streams that still differ).
    const bool positioned =
        handle != 0 &&
        (firstFrame == 0 ||
         SeekInSteps(handle, firstFrame, frameBytes, kSeekStepSeconds * facts.sampleRate, cancel));
    while (positioned && !cancel.load()) {
        if (ticks && job.tick) {
            job.tick(job.decoded.load(), facts.frames);
            if (cancel.load()) break;
        }
        uint64_t want = kPeakBlockFrames;
        if (!last) want = std::min<uint64_t>(want, local.frames - decoded);
        if (want == 0) break;
        const int32_t got = audio::ChannelGetData(handle, block.data(), static_cast<uint32_t>(want * frameBytes));
        if (got <= 0) break;  // the end of the data, or data that cannot be decoded
        const uint64_t frames = static_cast<uint64_t>(got) / frameBytes;
        AddPcmToBins(local, decoded, block.data(), frames);
        AddPcmToWindows(local, windowOffset + decoded, block.data(), frames);
        decoded += frames;
        job.decoded.fetch_add(frames);
        const uint64_t done = std::min<uint64_t>(decoded / facts.framesPerBin, local.bins.size());
        if (done - committed >= kCommitBins) {
            Commit(job, local, firstBin, committed, done);
            committed = done;
            NotifySometimes(job, cancel);
        }
    }
    if (cancel.load()) return false;
    for (PeakBin& bin : local.bins)
        if (bin.Empty()) bin = PeakBin{0, 0};
    Commit(job, local, firstBin, committed, local.bins.size());
    CommitWindows(job, local, firstWindow);
    if (end != nullptr) *end = firstFrame + decoded;
    return positioned && (last || decoded >= local.frames);
}

// Runs one job on this thread (and helpers of its own): the cache, else the decode.
Outcome RunJob(Job& job, const std::atomic<bool>& cancel) {
    PeakCacheKey key;
    const bool keyed = ReadPeakCacheKey(job.path, key);
    if (keyed) {
        PeakMap cached;
        if (LoadCachedPeaks(key, cached) && (!job.needWindows || cached.windowFrames != 0)) {
            std::lock_guard<std::mutex> lock(job.mutex);
            job.map = std::move(cached);
            job.fromCache.store(true);
            return Outcome::Done();
        }
    }

    const audio::Handle handle = audio::StreamCreateFile(job.path, 0, 0, audio::kStreamDecode | audio::kStreamGapless);
    if (handle == 0) return Outcome::Failed(LoadFileFailure(job.path));
    audio::ChannelInfo info;
    const int64_t length = audio::ChannelGetLength(handle);
    if (!audio::ChannelGetInfo(handle, &info) || info.chans == 0 || info.freq == 0 || length < 0 ||
        static_cast<uint64_t>(length) / (info.chans * kBytesPerSample) > kMaxPeakFrames) {
        audio::StreamFree(handle);
        return Outcome::Failed(LoadFileFailure(job.path));
    }
    PeakMap facts = MakeEmptyPeakMap(static_cast<uint64_t>(length) / (info.chans * kBytesPerSample), info.freq,
                                     info.chans);
    if (BinCountFor(facts.frames, LoudnessWindowFramesFor(facts.sampleRate)) <= kMaxLoudnessWindows)
        facts.windowFrames = LoudnessWindowFramesFor(facts.sampleRate);
    const uint64_t bins = facts.bins.size();
    {
        std::lock_guard<std::mutex> lock(job.mutex);
        job.map = facts;
    }
    facts.bins.clear();

    int threads = 1;
    if (facts.frames >= uint64_t{kPeakSplitSeconds} * facts.sampleRate)
        threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxPeakThreads);
    // MPEG-2 and 2.5 Layer III (one granule a frame) decoded from a seek may differ from a
    // decode from the start in the last bit of a few samples long after the seam, by what
    // the decoder carries from frame to frame; MPEG-1 streams and the others do not. The
    // halves of such a stream give peaks but no windows; windows asked for are decoded on
    // one thread.
    const bool exactSeams = !(audio::IsMpegCtype(info.ctype) && info.freq < kMpeg1LowestRate);
    if (!exactSeams && threads > 1) {
        if (job.needWindows) {
            threads = 1;
        } else {
            facts.windowFrames = 0;
            std::lock_guard<std::mutex> lock(job.mutex);
            job.map.windowFrames = 0;
        }
    }
    const auto edge = [&](int k) { return bins * static_cast<uint64_t>(k) / static_cast<uint64_t>(threads); };
    std::vector<std::thread> helpers;
    std::atomic<bool> whole{true};  // every stretch decoded to its end
    std::atomic<int> running{threads - 1};
    uint64_t end = 0;  // the frame after the last one the last stretch decoded
    for (int k = 1; k < threads; ++k) {
        helpers.emplace_back([&job, &cancel, &facts, &edge, &whole, &running, &end, k, threads] {
            MarkBatchThread();
            const audio::Handle own = audio::StreamCreateFile(job.path, 0, 0, audio::kStreamDecode | audio::kStreamGapless);
            const bool last = k == threads - 1;
            if (!DecodeStretch(job, cancel, own, facts, edge(k), edge(k + 1), last, false, last ? &end : nullptr))
                whole.store(false);
            if (own != 0) audio::StreamFree(own);
            running.fetch_sub(1);
        });
    }
    if (!DecodeStretch(job, cancel, handle, facts, edge(0), edge(1), threads == 1, true, threads == 1 ? &end : nullptr))
        whole.store(false);
    // The helpers are waited for with the ticks going on, so that a cancel is still seen.
    while (job.tick && running.load() > 0) {
        job.tick(job.decoded.load(), facts.frames);
        std::this_thread::sleep_for(kTickInterval);
    }
    for (std::thread& helper : helpers) helper.join();
    audio::StreamFree(handle);
    if (cancel.load()) return Outcome::Cancelled();

    // No thread writes the map any more: it is read here without the lock. Windows of a
    // decode that stopped short are not those of a decode from the start, which stops there
    // for good: none are kept.
    if (whole.load() && job.map.windowFrames != 0 && BinCountFor(end, job.map.windowFrames) <= kMaxLoudnessWindows) {
        job.map.windowedFrames = end;
        job.map.windowSquares.resize(static_cast<size_t>(BinCountFor(end, job.map.windowFrames)), 0);
    } else {
        job.map.windowFrames = 0;
        job.map.windowSquares.clear();
    }
    if (keyed && whole.load()) StoreCachedPeaks(key, job.map);
    return Outcome::Done();
}

}  // namespace

CPeakWorker::CPeakWorker() = default;

CPeakWorker::~CPeakWorker() { Cancel(); }

void CPeakWorker::Start(const std::string& path, Notify notify) {
    Cancel();
    auto job = std::make_shared<Job>();
    job->path = path;
    job->notify = std::move(notify);
    job_ = job;
    thread_ = std::thread([job] {
        MarkBatchThread();
        const Outcome outcome = RunJob(*job, job->cancel);
        if (outcome.cancelled()) return;
        job->state.store(outcome.done() ? PeakState::Complete : PeakState::Failed);
        NotifyNow(*job, job->cancel);
    });
}

void CPeakWorker::Cancel() {
    if (!job_) return;
    job_->cancel.store(true);
    if (thread_.joinable()) thread_.join();
    job_.reset();
}

PeakState CPeakWorker::State() const { return job_ ? job_->state.load() : PeakState::Idle; }

bool CPeakWorker::FromCache() const { return job_ && job_->fromCache.load(); }

std::vector<PeakColumn> CPeakWorker::Columns(const std::vector<double>& edgeSeconds) const {
    std::vector<PeakColumn> columns;
    if (edgeSeconds.size() < 2) return columns;
    columns.resize(edgeSeconds.size() - 1);
    if (!job_) return columns;
    if (job_->state.load() == PeakState::Failed) {
        std::fill(columns.begin(), columns.end(), PeakColumn{true, 0, 0});
        return columns;
    }
    std::lock_guard<std::mutex> lock(job_->mutex);
    const PeakMap& map = job_->map;
    if (map.framesPerBin == 0) return columns;
    const auto frameAt = [&](double seconds) {
        return seconds <= 0 ? uint64_t{0} : static_cast<uint64_t>(seconds * map.sampleRate);
    };
    for (size_t c = 0; c < columns.size(); ++c)
        columns[c] = PeaksOfRange(map, frameAt(edgeSeconds[c]), frameAt(edgeSeconds[c + 1]));
    return columns;
}

PeakMap CPeakWorker::Map() const {
    if (!job_) return {};
    std::lock_guard<std::mutex> lock(job_->mutex);
    return job_->map;
}

Outcome LoadPeakMap(const std::string& path, PeakMap& map, const std::atomic<bool>& cancel, bool* fromCache,
                    const PeakTick& tick, bool needWindows) {
    Job job;
    job.path = path;
    job.tick = tick;
    job.needWindows = needWindows;
    const Outcome outcome = RunJob(job, cancel);
    if (outcome.done()) map = std::move(job.map);
    if (fromCache != nullptr) *fromCache = job.fromCache.load();
    return outcome;
}

}  // namespace corvane
