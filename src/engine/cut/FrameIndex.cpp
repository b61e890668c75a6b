// CFrameIndex: the frames of a source, read ahead on demand.
#include "engine/cut/FrameIndex.h"

#include <unistd.h>

#include <algorithm>

#include "audio/LibraryMpegStream.h"
#include "engine/cut/DecodeAhead.h"

namespace corvane {
namespace {

// Answers QuietFrames remembers before it forgets them all.
constexpr size_t kQuietRemembered = 4096;

}  // namespace

CFrameIndex::~CFrameIndex() {
    if (fd_ >= 0) ::close(fd_);
}

bool CFrameIndex::Open(const std::string& path) {
    frames_.clear();
    quiet_.clear();
    base_ = 0;
    ended_ = false;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!reader_.OpenFile(path)) return false;
    fd_ = audio::OpenRegularFile(path);
    return true;
}

uint64_t CFrameIndex::QuietFrames(uint64_t position) {
    if (const auto it = quiet_.find(position); it != quiet_.end()) return it->second;
    audio::CFrameDecoder decoder;
    uint64_t quiet = 0;
    if (decoder.Open() && fd_ >= 0) {
        std::vector<int16_t> left(CDecodeAhead::kPcmBufferSamples);
        std::vector<int16_t> right(CDecodeAhead::kPcmBufferSamples);
        std::vector<uint8_t> bytes;
        const uint64_t first = FrameAt(position);
        for (uint64_t n = first; n < first + kQuietProbeFrames; ++n) {
            FrameRecord frame;
            uint64_t end = 0;
            if (!Frame(n, frame, &end)) break;
            bytes.resize(static_cast<size_t>(end - frame.offset));
            if (audio::ReadAt(fd_, frame.offset, bytes.data(), bytes.size()) != bytes.size()) break;
            if (decoder.Decode(bytes.data(), bytes.size(), left.data(), right.data()) <= 0) ++quiet;
        }
    }
    if (quiet_.size() >= kQuietRemembered) quiet_.clear();
    quiet_[position] = quiet;
    return quiet;
}

bool CFrameIndex::ReadTo(uint64_t n) {
    while (!ended_ && base_ + frames_.size() <= n) {
        int rate = 0, kbps = 0, length = 0, samples = 0;
        uint64_t offset = 0;
        if (reader_.ReadFrame(rate, kbps, length, samples, offset) == nullptr) {
            ended_ = true;
            break;
        }
        frames_.push_back({offset, static_cast<uint32_t>(length), samples});
    }
    return n >= base_ && n < base_ + frames_.size();
}

uint64_t CFrameIndex::FrameAt(uint64_t position) {
    for (;;) {
        const auto it = std::lower_bound(frames_.begin(), frames_.end(), position,
                                         [](const Entry& e, uint64_t p) { return e.offset < p; });
        if (it != frames_.end()) return base_ + static_cast<uint64_t>(it - frames_.begin());
        if (!ReadTo(base_ + frames_.size())) return base_ + frames_.size();
    }
}

bool CFrameIndex::Frame(uint64_t n, FrameRecord& frame, uint64_t* end) {
    if (!ReadTo(n)) return false;
    const Entry& e = frames_[static_cast<size_t>(n - base_)];
    frame = {e.offset, e.samples};
    if (end != nullptr) *end = e.offset + e.length;
    return true;
}

std::vector<FrameRecord> CFrameIndex::FramesBefore(uint64_t position, uint64_t samples) {
    const uint64_t first = FrameAt(position);
    std::vector<FrameRecord> newestFirst;
    uint64_t sum = 0;
    for (uint64_t n = first; n > base_ && sum < samples;) {
        --n;
        const Entry& e = frames_[static_cast<size_t>(n - base_)];
        newestFirst.push_back({e.offset, e.samples});
        sum += static_cast<uint64_t>(e.samples);
    }
    return {newestFirst.rbegin(), newestFirst.rend()};
}

uint64_t CFrameIndex::Skip(uint64_t position, uint64_t samples, bool& eof) {
    eof = false;
    if (samples == 0) return position;
    uint64_t n = FrameAt(position);
    uint64_t sum = 0;
    uint64_t end = position;
    FrameRecord frame;
    while (sum < samples) {
        if (!Frame(n, frame, &end)) {
            eof = true;
            return end;
        }
        sum += static_cast<uint64_t>(frame.samples);
        ++n;
    }
    return end;
}

void CFrameIndex::ForgetBefore(uint64_t position, uint64_t samples) {
    const uint64_t first = FrameAt(position);
    // Keep the frames from keep on: the newest before position that reach samples.
    uint64_t keep = first;
    uint64_t sum = 0;
    while (keep > base_ && sum < samples) {
        --keep;
        sum += static_cast<uint64_t>(frames_[static_cast<size_t>(keep - base_)].samples);
    }
    while (base_ < keep && !frames_.empty()) {
        frames_.pop_front();
        ++base_;
    }
}

}  // namespace corvane
