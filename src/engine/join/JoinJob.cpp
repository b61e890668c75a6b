// CJoinJob: the frame-copy and re-encoding joins with their progress and failure handling.
#include "engine/join/JoinJob.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

#include "engine/base/Messages.h"
#include "engine/base/PathUtil.h"
#include "audio/AudioSource.h"
#include "audio/EncodingParams.h"
#include "audio/Mp3Encoder.h"
#include "audio/PcmConverter.h"
#include "engine/output/PieceNaming.h"
#include "engine/join/SeamBridge.h"
#include "engine/mp3/GaplessFrames.h"
#include "engine/mp3/Id3Chapters.h"
#include "engine/mp3/Mp3Reader.h"
#include "engine/mp3/OutputFile.h"
#include "engine/output/OutputRun.h"
#include "engine/output/OutputSet.h"

namespace corvane {
namespace {

constexpr int kPercentScale = 100;
constexpr int kSampleBits = 16;
constexpr int kTrackMask = 0xFF;
constexpr const char* kTargetIsAnInput = "Target file name is same as original file";

// The shares of the bar and of the percentage text: each input gets 1/n of both, measured
// against its own length. Updates are shown only when they move forward.
class CJoinProgress {
public:
    CJoinProgress(IProgressDialog* dialog, size_t inputs, const std::string& target)
        : dialog_(dialog), inputs_(static_cast<uint64_t>(inputs)), targetName_(FileNameOf(target)) {}

    // Range 0..width, status at 0%, bar at 0.
    void Start() {
        PumpMessages();
        if (dialog_ == nullptr) return;
        IProgressBar& bar = dialog_->Bar();
        width_ = std::max(bar.Steps(), 0);
        bar.SetRange(0, width_);
        ShowPercent(0);
        bar.SetPosition(0);
    }

    // Divisors of input index of the list for an input of length units.
    void BeginInput(size_t index, uint64_t length) {
        const uint64_t total = inputs_ * length;
        bytesPerPercent_ = std::max<uint64_t>(total / kPercentScale, 1);
        bytesPerPixel_ = width_ > 0 ? std::max<uint64_t>(total / static_cast<uint64_t>(width_), 1) : 1;
        basePercent_ = static_cast<int>(kPercentScale * index / inputs_);
        basePixel_ = static_cast<int>(static_cast<uint64_t>(width_) * index / inputs_);
    }

    // position: how far the current input has been read, in its length's units.
    void Update(uint64_t position) {
        if (dialog_ == nullptr) return;
        const uint64_t percent = std::min<uint64_t>(position / bytesPerPercent_ + static_cast<uint64_t>(basePercent_),
                                                    kPercentScale);
        if (percent > static_cast<uint64_t>(shownPercent_)) ShowPercent(static_cast<int>(percent));
        const uint64_t pixel = std::min<uint64_t>(position / bytesPerPixel_ + static_cast<uint64_t>(basePixel_),
                                                  static_cast<uint64_t>(width_));
        if (pixel > static_cast<uint64_t>(shownPixel_)) {
            shownPixel_ = static_cast<int>(pixel);
            dialog_->Bar().SetPosition(shownPixel_);
        }
    }

    // Pumps the front end's messages and reads the cancel flag.
    bool Cancelled() const {
        PumpMessages();
        return dialog_ != nullptr && dialog_->cancelled.load(std::memory_order_relaxed) != 0;
    }

private:
    void ShowPercent(int percent) {
        shownPercent_ = percent;
        char text[64];
        std::snprintf(text, sizeof text, "%d", percent);
        dialog_->SetStatusText("Joining " + std::to_string(inputs_) + " files into " + targetName_ + "..." +
                               text + "%");
    }

    IProgressDialog* dialog_;
    uint64_t inputs_;
    std::string targetName_;
    int width_ = 0;
    uint64_t bytesPerPercent_ = 1;
    uint64_t bytesPerPixel_ = 1;
    int basePercent_ = 0;
    int basePixel_ = 0;
    int shownPercent_ = 0;
    int shownPixel_ = 0;
};

// The chapters a join writes: each input's title and own chapters, read before the join, and
// where each input starts on the target's timeline, learnt while it is joined.
class CJoinChapters {
public:
    // Reads the inputs' titles and chapters when write is on and there are two or more inputs.
    CJoinChapters(bool write, const std::vector<std::string>& inputs) {
        if (!write || inputs.size() < 2) return;
        for (const std::string& input : inputs) {
            Input in;
            TagFields tags;
            ReadTags(input, tags);
            in.title = tags.title.empty() ? NameWithoutExtension(input) : tags.title;
            in.own = ReadChapters(input);
            inputs_.push_back(std::move(in));
        }
    }

    // tag (the job's, maybe empty) with the chapters' frames at time 0: as long as the tag
    // Placed gives later. tag itself when there are no chapters.
    std::vector<uint8_t> Placeholder(const std::vector<uint8_t>& tag) const {
        return WithChapterFrames(tag, Place(0, 1));
    }

    // Input index starts sample samples into the target's timeline.
    void SetStart(size_t index, int64_t sample) {
        if (index < inputs_.size()) inputs_[index].start = sample;
    }

    // tag with the chapters at their places; end: the target's length in samples at rate Hz.
    std::vector<uint8_t> Placed(const std::vector<uint8_t>& tag, int64_t end, int rate) const {
        return WithChapterFrames(tag, Place(end, rate));
    }

    bool Written() const { return !inputs_.empty(); }

private:
    struct Input {
        std::string title;
        std::vector<Chapter> own;
        int64_t start = 0;  // samples
    };

    static std::string NameWithoutExtension(const std::string& path) {
        std::string name = FileNameOf(path);
        const size_t dot = name.rfind('.');
        return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    }

    // One chapter per input, or its own ones moved to its start and kept within it (so
    // their count never depends on the times); starts to the nearest millisecond, the last
    // end truncated as lengths are.
    std::vector<Chapter> Place(int64_t end, int rate) const {
        constexpr int64_t kMillisecondsPerSecond = 1000;
        const auto ms = [rate](int64_t samples) {
            return (std::max<int64_t>(samples, 0) * kMillisecondsPerSecond + rate / 2) / rate;
        };
        const int64_t endMs = std::max<int64_t>(end, 0) * kMillisecondsPerSecond / rate;
        std::vector<Chapter> chapters;
        for (size_t i = 0; i < inputs_.size(); ++i) {
            const int64_t from = std::min(ms(inputs_[i].start), endMs);
            const int64_t to = i + 1 < inputs_.size() ? std::clamp(ms(inputs_[i + 1].start), from, endMs) : endMs;
            if (inputs_[i].own.empty()) {
                chapters.push_back({from, to, inputs_[i].title});
                continue;
            }
            for (const Chapter& own : inputs_[i].own) {
                const int64_t start = std::min(from + own.startMs, to);
                chapters.push_back({start, std::clamp(from + own.endMs, start, to), own.title});
            }
        }
        return chapters;
    }

    std::vector<Input> inputs_;
};

// The re-encoding join's work on each input, with its buffers reused from input to input.
class CInputEncoder {
public:
    // sampleRate and channels: the target's.
    CInputEncoder(CMp3Encoder& encoder, CJoinProgress& progress, const std::string& target, int sampleRate,
                  int channels)
        : encoder_(encoder), progress_(progress), target_(target), sampleRate_(sampleRate), channels_(channels) {}

    // Decodes the open source of input index to its end, converts each block when the source
    // differs from the target's rate, channels or sample size, and encodes it. The caller
    // closes the source.
    Outcome Encode(CAudioSource& source, size_t index, const std::string& input) {
        progress_.BeginInput(index, source.GetLengthBytes());
        if (progress_.Cancelled()) return Outcome::Cancelled();
        const int bits = source.GetBitsPerSample();
        const bool convert = channels_ != source.GetOutputChannels() || sampleRate_ != source.GetSampleRate() ||
                             bits != kSampleBits;
        if (convert) {
            converter_.Reset();
            converter_.outChannels = channels_;
            converter_.outRate = sampleRate_;
            converter_.outBits = kSampleBits;
            converter_.inChannels = source.GetOutputChannels();
            converter_.inRate = source.GetSampleRate();
            converter_.inBits = bits;
            if (!converter_.Prepare()) return Outcome::Failed(OpenFileFailure(input));
            const size_t capacity = static_cast<size_t>(converter_.MaxOutputCount(kAudioBlockFrames));
            outLeft_.assign(capacity, 0);
            outRight_.assign(channels_ == 2 ? capacity : 0, 0);
        }
        for (;;) {
            int count = source.Read(left_.data(), right_.data());
            if (count <= 0) break;
            progress_.Update(source.GetPosition());
            if (progress_.Cancelled()) return Outcome::Cancelled();
            const int16_t* pcmLeft = left_.data();
            const int16_t* pcmRight = right_.data();
            if (convert) {
                converter_.Process(left_.data(), right_.data(), count, outLeft_.data(),
                                   channels_ == 2 ? outRight_.data() : nullptr, count);
                pcmLeft = outLeft_.data();
                pcmRight = outRight_.data();
                if (count == 0) continue;
            }
            if (encoder_.Encode(pcmLeft, channels_ == 2 ? pcmRight : nullptr, count) < 0) {
                return Outcome::Failed(WriteFileFailure(target_));
            }
            encoded_ += static_cast<uint64_t>(count);
        }
        outLeft_ = {};
        outRight_ = {};
        return Outcome::Done();
    }

    // Sample frames given to the encoder so far, at the target's rate: where the next input
    // starts on the timeline a gapless decoder plays.
    uint64_t Encoded() const { return encoded_; }

private:
    uint64_t encoded_ = 0;
    CMp3Encoder& encoder_;
    CJoinProgress& progress_;
    const std::string& target_;
    const int sampleRate_;
    const int channels_;
    std::vector<int16_t> left_ = std::vector<int16_t>(static_cast<size_t>(kAudioBlockFrames));
    std::vector<int16_t> right_ = std::vector<int16_t>(static_cast<size_t>(kAudioBlockFrames));
    std::vector<int16_t> outLeft_;
    std::vector<int16_t> outRight_;
    CPcmConverter converter_;
};

}  // namespace

CJoinJob::CJoinJob() = default;
CJoinJob::~CJoinJob() = default;

void CJoinJob::AddFile(const std::string& path) { inputs_.push_back(path); }

void CJoinJob::AddFiles(const std::vector<std::string>& paths) {
    inputs_.insert(inputs_.end(), paths.begin(), paths.end());
}

void CJoinJob::MakeTag(const std::string& title, const std::string& artist, const std::string& album,
                       const std::string& year, const std::string& comment, const std::string& genre,
                       int track) {
    tag_.clear();
    const int trackByte = track & kTrackMask;
    if (title.empty() && artist.empty() && album.empty() && year.empty() && comment.empty() && genre.empty() &&
        trackByte == 0) {
        return;  // no field: LAME would still render its encoder frame, a tag that says nothing
    }
    tag_ = BuildId3v2Tag(title, artist, album, year, comment, genre, trackByte);
}

void CJoinJob::SetAudioSource(std::unique_ptr<CAudioSource> source) { source_ = std::move(source); }

void CJoinJob::SetTargetRule(TargetExists rule, COutputRun* run) {
    rule_ = rule;
    run_ = run;
}

Outcome CJoinJob::CheckTarget(const std::string& target) const {
    for (const std::string& input : inputs_) {
        if (IsSameFile(target, input)) return Outcome::Failed(kTargetIsAnInput);
    }
    if (run_ != nullptr && run_->IsSource(target)) return Outcome::Failed(kTargetIsAnInput);
    if (!IsReplaceableTarget(target)) return Outcome::Failed(CreateFileFailure(target));
    return Outcome::Done();
}

Outcome CJoinJob::PublishTarget(COutputSet& outputs) {
    Outcome published = outputs.Publish(rule_);
    if (published.done()) publishedTarget_ = outputs.Published().front();
    return published;
}

namespace {

// A carrier frame as the frame copy writes it: its side information all zero (no granule
// holds data), so it decodes to silence and only hands on the reservoir bytes it ends with.
bool IsCarrier(const uint8_t* frame, size_t length) {
    if (length < 4 || !IsFrameHeader(frame)) return false;
    const MpegFrameHeader h = DecodeFrameHeader(frame);
    const size_t side = (frame[1] & 1) == 0 ? 6 : 4;
    const size_t end = side + static_cast<size_t>(h.sideInfoLength);
    return h.layerIndex == 2 && end <= length && std::all_of(frame + side, frame + end, [](uint8_t b) { return b == 0; });
}

// The target of a frame-copy join as it is written: a header frame for the whole (patched at
// the end), the frames counted for it and the newest ones kept, for the next input's lead-in
// to be matched against.
class CFrameJoinTarget {
public:
    explicit CFrameJoinTarget(COutputFile& out) : out_(out) {}

    // Writes the header frame's placeholder for a join whose first input reader has open: a
    // copy of its header frame when it has a LAME tag (the delay stays its own), else one made
    // for it, with a silent frame first that a gapless decoder's 529 samples fall in.
    bool Begin(const CMp3Reader& reader) {
        headerAt_ = out_.Size();
        uint8_t first[4] = {};
        if (reader.ReadBytes(reader.audioStart(), first, sizeof first) != sizeof first || !IsFrameHeader(first)) {
            return true;  // no frame to model one on: no header
        }
        if (reader.hasEncoderDelays()) {
            header_.assign(reader.vbrFrame(), reader.vbrFrame() + reader.vbrFrameLength());
            delay_ = reader.encoderDelay();
        } else {
            header_ = MakeHeaderFrame(first, false);
            delay_ = reader.samplesPerFrame() - CMp3Reader::kDecoderDelay;
        }
        if (header_.empty() || !out_.Write(header_.data(), header_.size())) return header_.empty();
        if (reader.hasEncoderDelays()) return true;
        const std::vector<uint8_t> silent = CarrierFrame(first, {});
        return Write(silent.data(), silent.size());
    }

    // Writes frame after the others. The newest frames wait among the frames kept (Drop may
    // take them back) until more follow or Finish.
    bool Write(const uint8_t* frame, size_t length) {
        samples_ += static_cast<uint64_t>(DecodeFrameHeader(frame).samplesPerFrame);
        Keep(frame, length);
        if (++pending_ <= kPending) return true;
        --pending_;
        return WriteOut(recent_[recent_.size() - 1 - pending_]);
    }

    // Takes back the newest count frames; false, with nothing changed, when some are written.
    bool Drop(size_t count) {
        if (count > pending_) return false;
        for (size_t k = recent_.size() - count; k < recent_.size(); ++k) {
            samples_ -= static_cast<uint64_t>(DecodeFrameHeader(recent_[k].data()).samplesPerFrame);
        }
        pending_ -= count;
        recent_.resize(recent_.size() - count);
        return true;
    }

    // The samples of the audio frames written (or waiting) so far, the header frame not
    // counted: where the next frame starts in the decoded stream.
    uint64_t Samples() const { return samples_; }
    // The delay and padding the header frame gives (a gapless decoder plays the samples
    // from Delay() to Samples() - Padding()).
    int Delay() const { return delay_; }
    int Padding() const { return padding_; }

    // The newest frames, oldest first.
    std::vector<std::vector<uint8_t>> Recent() const { return {recent_.begin(), recent_.end()}; }

    // The padding of the last input (its LAME tag's, else none beyond the decoder's 529).
    void SetLast(const CMp3Reader& reader) {
        padding_ = reader.hasEncoderDelays() ? reader.encoderPadding() : CMp3Reader::kDecoderDelay;
    }

    // Writes the frames still waiting and patches the header frame: "Xing" when the frames'
    // bit rates differ.
    bool Finish() {
        for (; pending_ > 0; --pending_) {
            if (!WriteOut(recent_[recent_.size() - pending_])) return false;
        }
        if (header_.empty()) return true;
        const MpegFrameHeader h = DecodeFrameHeader(header_.data());
        uint8_t* letters = header_.data() + VbrTagOffset(h);
        if (variable_ && std::memcmp(letters, "Info", 4) == 0) std::memcpy(letters, "Xing", 4);
        HeaderFigures figures;
        figures.frames = seekTable_.Frames();
        figures.bytes = static_cast<uint32_t>(out_.Size() - headerAt_);
        figures.delay = delay_;
        figures.padding = padding_;
        figures.musicCrc = musicCrc_;
        figures.seekTable = seekTable_.Entries(figures.bytes);
        FinishHeaderFrame(header_, figures);
        return out_.WriteAt(headerAt_, header_.data(), header_.size());
    }

    // True when frames[from, to) are the newest frames written, byte for byte, in order.
    bool EndsWith(const std::vector<std::vector<uint8_t>>& frames, size_t from, size_t to) const {
        if (to <= from || to - from > recent_.size()) return false;
        return std::equal(frames.begin() + static_cast<long>(from), frames.begin() + static_cast<long>(to),
                          recent_.end() - static_cast<long>(to - from));
    }

private:
    bool WriteOut(const std::vector<uint8_t>& bytes) {
        const uint8_t* frame = bytes.data();
        const size_t length = bytes.size();
        if (!header_.empty()) {
            seekTable_.Add(out_.Size() - headerAt_);
            // A carrier's bit rate is the lowest that holds its bytes: it says nothing of the audio.
            const int kbps = DecodeFrameHeader(frame).kbps;
            if (kbps != kbps_ && !IsCarrier(frame, length)) {
                variable_ = variable_ || kbps_ != 0;
                kbps_ = kbps;
            }
            musicCrc_ = LameCrc16(musicCrc_, frame, length);
        }
        return out_.Write(frame, length);
    }

    // Keeps a copy of frame as the newest, in the storage of the oldest once kKept are held.
    void Keep(const uint8_t* frame, size_t length) {
        if (recent_.size() == kKept) {
            recent_.push_back(std::move(recent_.front()));
            recent_.pop_front();
            recent_.back().assign(frame, frame + length);
        } else {
            recent_.emplace_back(frame, frame + length);
        }
    }

    // The longest lead-in a LAME tag's delay can skip, and one; and what a seam's decode needs
    // before the frames it replaces at the lowest bit rates.
    static constexpr size_t kKept = 16;
    static constexpr size_t kPending = 8;  // more than a LAME tag's padding can span
    COutputFile& out_;
    std::deque<std::vector<uint8_t>> recent_;
    size_t pending_ = 0;  // the newest of recent_ not written yet
    uint64_t samples_ = 0;
    std::vector<uint8_t> header_;
    uint64_t headerAt_ = 0;
    CSeekTable seekTable_;
    int delay_ = 0;
    int padding_ = CMp3Reader::kDecoderDelay;
    int kbps_ = 0;
    uint16_t musicCrc_ = 0;
    bool variable_ = false;
};

// The frames a gapless decoder drops at reader's input's start before the sample it plays
// first (its LAME tag's delay and the decoder's 529), and whether that sample lies inside a
// frame rather than at the start of one.
struct LeadIn {
    size_t frames = 0;
    bool midFrame = false;
};
LeadIn LeadInOf(const CMp3Reader& reader) {
    const int frame = reader.samplesPerFrame();
    if (!reader.hasEncoderDelays() || frame <= 0) return {};
    const int skipped = reader.encoderDelay() + CMp3Reader::kDecoderDelay;
    return {static_cast<size_t>(skipped / frame), skipped % frame != 0};
}

// What of an input's first frames (held) the join leaves out, after the newest frames of
// target. A piece of a cut whose lead-in (and the frame its start falls in) repeats the frames
// before it, byte for byte, loses them, a carrier frame before them too: the frames then run
// on as in the source. A piece that does not continue what is before it (its lead-in starts
// with a carrier, or is the frames its first one's decode needs) loses its lead-in, and a new
// carrier (written to carrier) hands its first frame the reservoir it reaches back for; a
// decoder then plays a frame of silence there, not frames decoded from the wrong bytes, nor
// two unrelated frames overlapping.
size_t FramesLeftOut(const CFrameJoinTarget& target, const std::vector<std::vector<uint8_t>>& held, LeadIn lead,
                     std::vector<uint8_t>& carrier) {
    const size_t c = lead.frames;
    if (c == 0) return 0;
    const bool startsWithCarrier = !held.empty() && IsCarrier(held.front().data(), held.front().size());
    for (const size_t j : {c + (lead.midFrame ? 1 : 0), c}) {
        if (held.size() < j) continue;
        if (target.EndsWith(held, 0, j)) return j;
        if (startsWithCarrier && target.EndsWith(held, 1, j)) return j;
    }
    // Without a carrier, a lead-in is the frames the first one's decode needs (one in MPEG-1,
    // two in MPEG-2 and 2.5); fewer are an encoder's own start.
    const bool mpeg1 = !held.empty() && DecodeFrameHeader(held.front().data()).samplesPerFrame >= 1152;
    if ((!startsWithCarrier && c < (mpeg1 ? 1u : 2u)) || held.size() <= c) return 0;
    std::vector<uint8_t> bytes;
    for (const std::vector<uint8_t>& frame : held) bytes.insert(bytes.end(), frame.begin(), frame.end());
    const std::vector<LayerIIIFrame> frames = ParseLayerIIIFrames(bytes, 0);
    if (frames.size() != held.size()) return 0;
    // The silent frame also keeps the input before from running into this one's first frame.
    const size_t need = ReservoirNeed(frames, c);
    std::vector<uint8_t> reservoir = ReservoirBefore(frames, c, need);
    reservoir.insert(reservoir.begin(), need - reservoir.size(), 0);
    carrier = CarrierFrame(held[c].data(), reservoir);
    return c;
}

}  // namespace

Outcome CJoinJob::JoinByFrames(const std::string& target, IProgressDialog* dialog) {
    // Frames an input's lead-in is matched with, and the frames after them that a new carrier's
    // reservoir serves.
    constexpr size_t kLookAhead = 8;
    publishedTarget_.clear();
    if (Outcome checked = CheckTarget(target); !checked.done()) return checked;
    COutputRun ownRun;
    COutputSet outputs(run_ != nullptr ? *run_ : ownRun);
    COutputFile& output = outputs.Add();
    if (!output.Create(target)) return Outcome::Failed(CreateFileFailure(target));
    // The frames are copied, not encoded by LAME: the tag names no encoder.
    const std::vector<uint8_t> bare = WithoutEncoderFrame(tag_);
    CJoinChapters chapters(chapters_, inputs_);
    const std::vector<uint8_t> tag = chapters.Placeholder(bare);
    if (!tag.empty() && !output.Write(tag.data(), tag.size())) return Outcome::Failed(WriteFileFailure(target));
    // Where the first input's audio starts in the decoded stream: the target's time 0.
    int64_t origin = 0;
    int targetRate = 0;

    CJoinProgress progress(dialog, inputs_.size(), target);
    progress.Start();

    CMp3Reader reader;
    CFrameJoinTarget joined(output);
    int paddingBefore = CMp3Reader::kDecoderDelay;  // the LAME tag padding of the input before
    for (size_t i = 0; i < inputs_.size(); ++i) {
        if (!reader.OpenFile(inputs_[i])) return Outcome::Failed(OpenFileFailure(inputs_[i]));
        progress.BeginInput(i, reader.fileSize());
        if (progress.Cancelled()) return Outcome::Cancelled();
        if (i == 0 && !joined.Begin(reader)) return Outcome::Failed(WriteFileFailure(target));
        if (i + 1 == inputs_.size()) joined.SetLast(reader);
        const LeadIn lead = i > 0 ? LeadInOf(reader) : LeadIn{};
        std::vector<std::vector<uint8_t>> held;
        int rate = 0, kbps = 0, length = 0, samples = 0;
        uint64_t offset = 0;
        const uint8_t* frame = nullptr;
        while (lead.frames > 0 && held.size() < lead.frames + kLookAhead &&
               (frame = reader.ReadFrame(rate, kbps, length, samples, offset)) != nullptr) {
            held.emplace_back(frame, frame + length);
        }
        std::vector<uint8_t> carrier;
        size_t leftOut = FramesLeftOut(joined, held, lead, carrier);
        if (!carrier.empty()) {
            // Not a continuation: the frames around the seam are encoded again when they can be.
            const std::vector<std::vector<uint8_t>> recent = joined.Recent();
            const uint64_t frameSamples = static_cast<uint64_t>(reader.samplesPerFrame());
            const uint64_t trimmed = static_cast<uint64_t>(std::max(paddingBefore - CMp3Reader::kDecoderDelay, 0));
            const uint64_t endBefore = recent.size() * frameSamples - std::min(trimmed, recent.size() * frameSamples);
            const uint64_t startAfter = static_cast<uint64_t>(reader.encoderDelay() + CMp3Reader::kDecoderDelay);
            SeamBridge bridge = BridgeSeam(recent, endBefore, held, startAfter);
            if (!bridge.frames.empty() && joined.Drop(bridge.dropBefore)) {
                for (const std::vector<uint8_t>& bridging : bridge.frames) {
                    if (!joined.Write(bridging.data(), bridging.size())) return Outcome::Failed(WriteFileFailure(target));
                }
                leftOut = bridge.dropAfter;
                carrier.clear();
            }
        }
        if (!carrier.empty() && !joined.Write(carrier.data(), carrier.size())) {
            return Outcome::Failed(WriteFileFailure(target));
        }
        // The input's audio starts its delay after its first frame (a decoder's own delay
        // before it when no LAME tag names one), the frames left out counted back.
        const int64_t startsAt = static_cast<int64_t>(joined.Samples()) +
                                 (reader.hasEncoderDelays() ? reader.encoderDelay() : -CMp3Reader::kDecoderDelay) -
                                 static_cast<int64_t>(leftOut) * reader.samplesPerFrame();
        if (i == 0) {
            origin = startsAt;
            targetRate = reader.sampleRate();
        }
        chapters.SetStart(i, startsAt - origin);
        for (size_t k = leftOut; k < held.size(); ++k) {
            if (!joined.Write(held[k].data(), held[k].size())) return Outcome::Failed(WriteFileFailure(target));
        }
        while ((frame = reader.ReadFrame(rate, kbps, length, samples, offset)) != nullptr) {
            if (!joined.Write(frame, static_cast<size_t>(length))) return Outcome::Failed(WriteFileFailure(target));
            progress.Update(reader.position());
            if (progress.Cancelled()) return Outcome::Cancelled();
        }
        if (reader.ReadFailed()) return Outcome::Failed(ReadFileFailure(inputs_[i]));
        paddingBefore = reader.hasEncoderDelays() ? reader.encoderPadding() : CMp3Reader::kDecoderDelay;
        reader.CloseFile();
    }
    if (progress.Cancelled()) return Outcome::Cancelled();
    if (!joined.Finish()) return Outcome::Failed(WriteFileFailure(target));
    if (chapters.Written() && targetRate > 0) {
        const int64_t end = static_cast<int64_t>(joined.Samples()) - joined.Padding() - origin;
        const std::vector<uint8_t> placed = chapters.Placed(bare, end, targetRate);
        if (!output.WriteAt(0, placed.data(), placed.size())) return Outcome::Failed(WriteFileFailure(target));
    }
    if (!output.Close()) return Outcome::Failed(WriteFileFailure(target));
    return PublishTarget(outputs);
}

Outcome CJoinJob::JoinByReencoding(const std::string& target, int sampleRate, int bitrate, int channelMode,
                                   IProgressDialog* dialog) {
    publishedTarget_.clear();
    if (Outcome checked = CheckTarget(target); !checked.done()) return checked;
    const int channels = channelMode == kChannelModeMono ? 1 : 2;

    COutputRun ownRun;
    COutputSet ownOutputs(run_ != nullptr ? *run_ : ownRun);
    COutputSet& outputs = outputs_ != nullptr ? *outputs_ : ownOutputs;
    COutputFile& output = outputs.Add();
    CMp3Encoder encoder;
    if (!output.Create(target)) return Outcome::Failed(CreateFileFailure(target));
    if (!encoder.Open([&output](const uint8_t* data, size_t count) { return output.Write(data, count); })) {
        return Outcome::Failed(CreateFileFailure(target));
    }
    PumpMessages();
    CJoinChapters chapters(chapters_, inputs_);
    const std::vector<uint8_t> tag = chapters.Placeholder(tag_);
    if (!tag.empty()) encoder.SetTag(tag.data(), tag.size());
    encoder.SetChannels(channels);
    encoder.SetInSampleRate(sampleRate);
    // Any bit rate and mode are taken: the bit rate is clamped to the ones offered, and a mode
    // other than joint stereo and mono encodes as stereo.
    encoder.SetBitrate(std::clamp(bitrate, kBitrates.front(), kBitrates.back()));
    encoder.SetOutSampleRate(sampleRate);
    encoder.SetMode(channelMode == kChannelModeJointStereo || channelMode == kChannelModeMono ? channelMode
                                                                                            : kChannelModeStereo);
    if (!encoder.Start()) {
        if (encoder.WriteFailed()) return Outcome::Failed(WriteFileFailure(target));
        return Outcome::Failed(BadEncodingParameterText(sampleRate, bitrate, channelMode));
    }

    CJoinProgress progress(dialog, inputs_.size(), target);
    progress.Start();

    if (!source_) source_ = std::make_unique<CLibraryAudioSource>();
    CInputEncoder inputEncoder(encoder, progress, target, sampleRate, channels);
    for (size_t i = 0; i < inputs_.size(); ++i) {
        chapters.SetStart(i, static_cast<int64_t>(inputEncoder.Encoded()));
        if (!source_->Open(inputs_[i], 0)) return Outcome::Failed(OpenFileFailure(inputs_[i]));
        const Outcome input = inputEncoder.Encode(*source_, i, inputs_[i]);
        source_->Close();
        if (!input.done()) return input;
    }
    if (!encoder.Finish()) return Outcome::Failed(WriteFileFailure(target));
    // LAME's tag frame goes over the placeholder it began with, after the target's tag.
    const std::vector<uint8_t>& lameTag = encoder.LameTagFrame();
    if (!lameTag.empty() && !output.WriteAt(tag.size(), lameTag.data(), lameTag.size())) {
        return Outcome::Failed(WriteFileFailure(target));
    }
    // The chapters' times over those the tag was written with: the encoder's own delay and
    // padding are what a gapless decoder leaves out, so the timeline is the samples given.
    if (chapters.Written()) {
        const std::vector<uint8_t> placed = chapters.Placed(tag_, static_cast<int64_t>(inputEncoder.Encoded()), sampleRate);
        if (!output.WriteAt(0, placed.data(), placed.size())) return Outcome::Failed(WriteFileFailure(target));
    }
    if (progress.Cancelled()) return Outcome::Cancelled();
    if (!output.Close()) return Outcome::Failed(WriteFileFailure(target));
    if (outputs_ != nullptr) return Outcome::Done();  // the caller publishes
    return PublishTarget(outputs);
}

}  // namespace corvane
