// Silence detection over decoded PCM: quiet windows, silences, split points and piece rows.
#include "engine/cut/SilenceDetector.h"

#include <algorithm>
#include <cmath>

#include "audio/AudioSource.h"
#include "engine/Peaks.h"
#include "engine/base/Messages.h"

namespace corvane {
namespace {

constexpr double kFullScale = 32768.0;
constexpr int64_t kTenthsPerSecond = 10;

// The sum of the squares of n samples.
uint64_t SumOfSquares(const int16_t* samples, int32_t n) {
    uint64_t sum = 0;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t s = samples[i];
        sum += static_cast<uint32_t>(s * s);
    }
    return sum;
}

int RoundedTenths(uint64_t frame, int32_t sampleRate) {
    const uint64_t rate = static_cast<uint64_t>(sampleRate);
    return static_cast<int>((frame * kTenthsPerSecond * 2 + rate) / (2 * rate));
}

}  // namespace

CSilenceDetector::CSilenceDetector(const SilenceOptions& options, int32_t sampleRate)
    : windowFrames_(std::max(sampleRate / kSilenceWindowsPerSecond, 1)),
      minFrames_(static_cast<uint64_t>(std::max(std::llround(options.minSeconds * sampleRate), 1LL))),
      quietSquareLevel_(kFullScale * kFullScale * std::pow(10.0, options.thresholdDb / 10.0)) {}

void CSilenceDetector::AddBlock(const int16_t* left, const int16_t* right, int32_t frames) {
    const int32_t channels = right != nullptr ? 2 : 1;
    int32_t done = 0;
    while (done < frames) {
        const int32_t n = std::min(frames - done, windowFrames_ - inWindow_);
        sumSquares_ += SumOfSquares(left + done, n);
        if (right != nullptr) sumSquares_ += SumOfSquares(right + done, n);
        samplesInWindow_ += static_cast<uint64_t>(n) * static_cast<uint64_t>(channels);
        inWindow_ += n;
        frames_ += static_cast<uint64_t>(n);
        done += n;
        if (inWindow_ == windowFrames_) CloseWindow();
    }
}

void CSilenceDetector::AddWindow(uint64_t sumSquares, uint64_t samples, int32_t frames) {
    sumSquares_ = sumSquares;
    samplesInWindow_ = samples;
    inWindow_ = frames;
    frames_ += static_cast<uint64_t>(frames);
    CloseWindow();
}

void CSilenceDetector::CloseWindow() {
    const uint64_t windowStart = frames_ - static_cast<uint64_t>(inWindow_);
    const bool quiet = static_cast<double>(sumSquares_) < quietSquareLevel_ * static_cast<double>(samplesInWindow_);
    if (quiet && !inRun_) {
        inRun_ = true;
        runStart_ = windowStart;
    } else if (!quiet && inRun_) {
        inRun_ = false;
        const uint64_t length = windowStart - runStart_;
        if (runStart_ > 0 && length >= minFrames_) {
            points_.push_back(runStart_ + length / 2);
            silences_.push_back({runStart_, windowStart, points_.back()});
        }
    }
    inWindow_ = 0;
    samplesInWindow_ = 0;
    sumSquares_ = 0;
}

std::vector<uint64_t> CSilenceDetector::Finish() {
    if (inWindow_ > 0) CloseWindow();
    inRun_ = false;  // a silence that reaches the end is trailing
    return points_;
}

namespace {

// The share of the bar a decode has reached: shows it, PumpMessages, and passes the dialog's
// cancel on.
class CDecodeBar {
public:
    explicit CDecodeBar(IProgressDialog* dialog) : dialog_(dialog) {
        if (dialog_ == nullptr) return;
        width_ = std::max(dialog_->Bar().Steps(), 1);
        dialog_->Bar().SetRange(0, width_);
        dialog_->Bar().SetPosition(0);
    }
    // False when the dialog was cancelled.
    bool Pump() {
        if (dialog_ == nullptr) return true;
        PumpMessages();
        return dialog_->cancelled.load(std::memory_order_relaxed) == 0;
    }
    void Show(uint64_t decoded, uint64_t total) {
        if (dialog_ == nullptr || total == 0) return;
        const int pixel = static_cast<int>(std::min(decoded, total) * static_cast<uint64_t>(width_) / total);
        if (pixel != shown_) dialog_->Bar().SetPosition(shown_ = pixel);
    }

private:
    IProgressDialog* dialog_;
    int width_ = 0;
    int shown_ = 0;
};

// Feeds the loudness windows of map to detector.
void FeedWindows(const PeakMap& map, CSilenceDetector& detector) {
    const uint64_t channels = map.channels < 2 ? 1 : 2;
    uint64_t at = 0;
    for (uint64_t sum : map.windowSquares) {
        const uint64_t frames = std::min<uint64_t>(map.windowFrames, map.windowedFrames - at);
        detector.AddWindow(sum, frames * channels, static_cast<int32_t>(frames));
        at += frames;
    }
}

// Fills out's rate, frames and points from the loudness windows of map.
void SplitsOfWindows(const PeakMap& map, const SilenceOptions& options, SilenceSplits& out) {
    const int32_t rate = static_cast<int32_t>(map.sampleRate);
    CSilenceDetector detector(options, rate);
    FeedWindows(map, detector);
    out.sampleRate = rate;
    out.frames = detector.Frames();
    out.points = detector.Finish();
}

// Decodes the file on this thread, block by block, through the audio layer.
Outcome SplitsOfOneDecode(const std::string& path, const SilenceOptions& options, CDecodeBar& bar,
                          SilenceSplits& out) {
    CLibraryAudioSource source;
    if (!source.Open(path, 0)) return Outcome::Failed(LoadFileFailure(path));
    // The audio layer delivers signed 16-bit samples only (AudioLibrary.h).
    const int32_t rate = source.GetSampleRate();
    const bool stereo = source.GetOutputChannels() == 2;
    const uint64_t frameBytes =
        static_cast<uint64_t>(source.GetChannels()) * static_cast<uint64_t>(source.GetBitsPerSample() / 8);
    const uint64_t totalFrames = frameBytes > 0 ? source.GetLengthBytes() / frameBytes : 0;

    CSilenceDetector detector(options, rate);
    int16_t left[kAudioBlockFrames];
    int16_t right[kAudioBlockFrames];
    for (;;) {
        if (!bar.Pump()) return Outcome::Cancelled();
        const int32_t frames = source.Read(left, right);
        if (frames <= 0) break;
        detector.AddBlock(left, stereo ? right : nullptr, frames);
        bar.Show(detector.Frames(), totalFrames);
    }

    out.sampleRate = rate;
    out.frames = detector.Frames();
    out.points = detector.Finish();
    return Outcome::Done();
}

}  // namespace

std::vector<SilenceSpan> SilencesInMap(const PeakMap& map, const SilenceOptions& options) {
    if (map.windowFrames == 0 || map.sampleRate == 0) return {};
    CSilenceDetector detector(options, static_cast<int32_t>(map.sampleRate));
    FeedWindows(map, detector);
    detector.Finish();
    return detector.Silences();
}

Outcome DetectSilences(const std::string& path, const SilenceOptions& options, IProgressDialog* dialog,
                       SilenceSplits& out) {
    out = SilenceSplits{};
    CDecodeBar bar(dialog);
    std::atomic<bool> cancel{false};
    const PeakTick tick = [&](uint64_t decoded, uint64_t frames) {
        if (!bar.Pump()) {
            cancel.store(true);
            return;
        }
        bar.Show(decoded, frames);
    };
    PeakMap map;
    bool fromCache = false;
    const Outcome loaded = LoadPeakMap(path, map, cancel, &fromCache, dialog != nullptr ? tick : PeakTick{}, true);
    if (loaded.cancelled()) return loaded;
    if (loaded.done() && map.windowFrames != 0) {
        SplitsOfWindows(map, options, out);
        out.fromCache = fromCache;
        bar.Show(1, 1);
    } else if (Outcome decoded = SplitsOfOneDecode(path, options, bar, out); !decoded.done()) {
        out = SilenceSplits{};
        return decoded;
    }
    out.tenths.reserve(out.points.size());
    for (uint64_t point : out.points) out.tenths.push_back(RoundedTenths(point, out.sampleRate));
    return Outcome::Done();
}

std::vector<PieceEntry> PiecesAtSplits(const std::vector<int>& splitTenths, int totalTenths) {
    return PiecesAtSplits(splitTenths, {}, totalTenths);
}

std::vector<PieceEntry> PiecesAtSplits(const std::vector<int>& splitTenths, const std::vector<uint64_t>& splitFrames,
                                       int totalTenths) {
    std::vector<PieceEntry> rows;
    if (totalTenths <= 0) return rows;
    int start = 0;
    for (size_t k = 0; k < splitTenths.size(); ++k) {
        const int point = splitTenths[k];
        if (point <= start || point >= totalTenths) continue;
        rows.emplace_back();
        rows.back().start = start;
        rows.back().end = point;
        if (k < splitFrames.size()) rows.back().endSample = static_cast<int64_t>(splitFrames[k]);
        start = point;
    }
    rows.emplace_back();
    rows.back().start = start;
    rows.back().end = totalTenths;
    return rows;
}

Outcome FindSilencePieces(const std::string& source, const SilenceOptions& options, IProgressDialog* dialog,
                          int totalTenths, std::vector<PieceEntry>& rows) {
    constexpr const char* kNoSilence = "No silence found to cut at.";
    SilenceSplits splits;
    if (Outcome found = DetectSilences(source, options, dialog, splits); !found.done()) return found;
    SourceFacts facts;
    const int total = totalTenths >= 0 ? totalTenths : ReadSourceFacts(source, facts) ? facts.lengthTenths() : -1;
    if (total < 0) return Outcome::Failed(LoadFileFailure(source));
    rows = PiecesAtSplits(splits.tenths, splits.points, total);
    if (rows.size() < 2) return Outcome::Failed(kNoSilence);
    return Outcome::Done();
}

}  // namespace corvane
