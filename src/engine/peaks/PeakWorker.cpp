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

namespace corvane {

// Bins a stretch gathers before it hands them to the shared map (a few hundred
// milliseconds of audio at most, so the map fills smoothly).
constexpr uint64_t kCommitBins = 16;
constexpr uint32_t kBytesPerSample = 2;
// A stretch that starts inside the file is reached in seeks of at most this much audio.
constexpr uint64_t kSeekStepSeconds = 60;

struct CPeakWorker::Job {
    std::string path;
    Notify notify;
    std::atomic<bool> cancel{false};
    std::atomic<bool> fromCache{false};
    std::atomic<PeakState> state{PeakState::Working};
    std::atomic<int64_t> lastNotifyMs{0};

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

// Moves the stream to frame: true when it got there. libmpg123 finds a position by reading
// every frame header before it (a minute of a 128 kbps file takes about half a millisecond),
// so a far position is reached in steps, and a cancel is seen between them.
bool SeekInSteps(audio::Handle handle, uint64_t frame, uint32_t frameBytes, uint64_t stepFrames,
                 const std::atomic<bool>& cancel) {
    for (uint64_t at = stepFrames; at < frame; at += stepFrames)
        if (cancel.load() || !audio::ChannelSetPosition(handle, static_cast<int64_t>(at * frameBytes))) return false;
    return !cancel.load() && audio::ChannelSetPosition(handle, static_cast<int64_t>(frame * frameBytes));
}

// Decodes the stretch of bins [firstBin, endBin) of the open stream handle (the last stretch
// runs to the end of the data) into the shared map. Bins the data does not reach are flat.
// False when the stretch was not decoded to its end (no stream, a failed seek or read, a
// cancel): its flat bins are then no fact about the file, and must not be cached.
bool DecodeStretch(Job& job, const std::atomic<bool>& cancel, audio::Handle handle, const PeakMap& facts,
                   uint64_t firstBin, uint64_t endBin, bool last) {
    PeakMap local;
    local.frames = (endBin - firstBin) * facts.framesPerBin;
    local.sampleRate = facts.sampleRate;
    local.channels = facts.channels;
    local.framesPerBin = facts.framesPerBin;
    local.bins.assign(static_cast<size_t>(endBin - firstBin), PeakBin{});

    const uint32_t frameBytes = facts.channels * kBytesPerSample;
    const uint64_t firstFrame = firstBin * facts.framesPerBin;
    uint64_t decoded = 0;  // frames from firstFrame on
    uint64_t committed = 0;
    const bool positioned =
        handle != 0 &&
        (firstFrame == 0 ||
         SeekInSteps(handle, firstFrame, frameBytes, kSeekStepSeconds * facts.sampleRate, cancel));
    std::vector<int16_t> block(static_cast<size_t>(kPeakBlockFrames) * facts.channels);
    while (positioned && !cancel.load()) {
        uint64_t want = kPeakBlockFrames;
        if (!last) want = std::min<uint64_t>(want, local.frames - decoded);
        if (want == 0) break;
        const int32_t got = audio::ChannelGetData(handle, block.data(), static_cast<uint32_t>(want * frameBytes));
        if (got <= 0) break;  // the end of the data, or data that cannot be decoded
        const uint64_t frames = static_cast<uint64_t>(got) / frameBytes;
        AddPcmToBins(local, decoded, block.data(), frames);
        decoded += frames;
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
    return positioned && (last || decoded >= local.frames);
}

// Runs one job on this thread (and helpers of its own): the cache, else the decode.
Outcome RunJob(Job& job, const std::atomic<bool>& cancel) {
    PeakCacheKey key;
    const bool keyed = ReadPeakCacheKey(job.path, key);
    if (keyed) {
        PeakMap cached;
        if (LoadCachedPeaks(key, cached)) {
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
    const uint64_t bins = facts.bins.size();
    {
        std::lock_guard<std::mutex> lock(job.mutex);
        job.map = facts;
    }
    facts.bins.clear();

    int threads = 1;
    if (facts.frames >= uint64_t{kPeakSplitSeconds} * facts.sampleRate)
        threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxPeakThreads);
    const auto edge = [&](int k) { return bins * static_cast<uint64_t>(k) / static_cast<uint64_t>(threads); };
    std::vector<std::thread> helpers;
    std::atomic<bool> whole{true};  // every stretch decoded to its end
    for (int k = 1; k < threads; ++k) {
        helpers.emplace_back([&job, &cancel, &facts, &edge, &whole, k, threads] {
            MarkBatchThread();
            const audio::Handle own = audio::StreamCreateFile(job.path, 0, 0, audio::kStreamDecode | audio::kStreamGapless);
            if (!DecodeStretch(job, cancel, own, facts, edge(k), edge(k + 1), k == threads - 1)) whole.store(false);
            if (own != 0) audio::StreamFree(own);
        });
    }
    if (!DecodeStretch(job, cancel, handle, facts, edge(0), edge(1), threads == 1)) whole.store(false);
    for (std::thread& helper : helpers) helper.join();
    audio::StreamFree(handle);
    if (cancel.load()) return Outcome::Cancelled();

    // No thread writes the map any more: it is read here without the lock.
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

Outcome LoadPeakMap(const std::string& path, PeakMap& map, const std::atomic<bool>& cancel, bool* fromCache) {
    Job job;
    job.path = path;
    const Outcome outcome = RunJob(job, cancel);
    if (outcome.done()) map = std::move(job.map);
    if (fromCache != nullptr) *fromCache = job.fromCache.load();
    return outcome;
}

}  // namespace corvane
