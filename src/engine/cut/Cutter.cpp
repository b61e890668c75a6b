// CCutter: what the frame-copy and re-encoding cutters share.
#include "engine/cut/Cutter.h"

#include <algorithm>
#include <limits>

#include "engine/base/Messages.h"
#include "engine/base/PathUtil.h"
#include "engine/mp3/Id3Chapters.h"
#include "engine/mp3/OutputFile.h"
#include "engine/output/OutputSet.h"

namespace corvane {
namespace {
constexpr int kRewindFrames = 3;
constexpr int kTenthsPerSecond = 10;
// Durations past this (about 3.5 million years) are taken as this, so samples never overflow.
constexpr int64_t kLongestTenths = int64_t{1} << 40;
}  // namespace

CCutter::CCutter() = default;

CCutter::~CCutter() { reader_.CloseFile(); }

bool CCutter::LoadSource(const std::string& path) {
    if (!reader_.OpenFile(path)) return false;
    ReadTags(path, sourceTags_);
    sourceChapters_ = ReadChapters(path);
    baseName_ = PieceBaseName(path);
    sourcePath_ = path;
    frameHistory_.clear();
    samplePosition_ = 0;
    startInFrame_ = 0;
    historySamples_ = 0;
    pieceRecords_ = 0;
    return true;
}

bool CCutter::LoadLike(const CCutter& other) {
    if (!reader_.OpenFile(other.sourcePath_)) return false;
    sourceTags_ = other.sourceTags_;
    sourceChapters_ = other.sourceChapters_;
    baseName_ = other.baseName_;
    sourcePath_ = other.sourcePath_;
    frameHistory_.clear();
    samplePosition_ = 0;
    startInFrame_ = 0;
    historySamples_ = 0;
    pieceRecords_ = 0;
    SetForwardOverlap(other.forwardOverlapTenths_);
    SetBackwardOverlap(other.backwardOverlapTenths_);
    keepTag = other.keepTag;
    titleTemplate = other.titleTemplate;
    trackMode = other.trackMode;
    return true;
}

void CCutter::CloseSource() { reader_.CloseFile(); }

void CCutter::SetCancelFlag(const std::atomic<int>* flag) { cancelFlag_ = flag; }

void CCutter::SetProgressBar(IProgressBar* bar) {
    progressBar_ = bar;
    lastProgress_ = 0;
    if (!bar) return;
    const int width = bar->Steps() > 0 ? bar->Steps() : 1;
    bar->SetRange(0, width);
    bar->SetPosition(0);
    bytesPerStep_ = reader_.fileSize() / static_cast<uint64_t>(width);
    if (bytesPerStep_ == 0) bytesPerStep_ = 1;
    nextStepAt_ = bytesPerStep_;
}

uint64_t TenthsToSamples(int sampleRate, int64_t tenths) {
    if (tenths <= 0 || sampleRate <= 0) return 0;
    const uint64_t clamped = static_cast<uint64_t>(std::min(tenths, kLongestTenths));
    return clamped * static_cast<uint64_t>(sampleRate) / kTenthsPerSecond;
}

uint64_t CCutter::TenthsToSamples(int64_t tenths) const { return corvane::TenthsToSamples(reader_.sampleRate(), tenths); }

void CCutter::SetForwardOverlap(int tenths) {
    forwardOverlapTenths_ = tenths;
    forwardOverlapSamples_ = TenthsToSamples(tenths);
}

void CCutter::SetBackwardOverlap(int tenths) {
    backwardOverlapTenths_ = tenths;
    backwardOverlapSamples_ = TenthsToSamples(tenths);
}

int CCutter::GetOutputBitrate() { return reader_.bitrate(); }

void CCutter::SetEncodingParams(int, int, int) {}

bool CCutter::PollCancelled() {
    PumpMessages();
    if (stopFlag_ && stopFlag_->load(std::memory_order_relaxed) != 0) return true;
    return cancelFlag_ && cancelFlag_->load(std::memory_order_relaxed) != 0;
}

void CCutter::MoveProgress(uint64_t position) {
    const int p = static_cast<int>(position / bytesPerStep_);
    if (p > lastProgress_) {
        progressBar_->SetPosition(p);
        lastProgress_ = p;
    }
    nextStepAt_ = (position / bytesPerStep_ + 1) * bytesPerStep_;
}

void CCutter::RecordFrames(const uint64_t* offsets, uint64_t count, uint64_t fresh, int samples) {
    // Of more than the history keeps, those before the newest only move the position: enough
    // are recorded one by one that the history is trimmed as RecordFrame would leave it.
    uint64_t first = count - fresh;
    if (fresh > kRecentFrames) {
        const uint64_t passed = fresh - kRecentFrames;
        samplePosition_ += passed * static_cast<uint64_t>(samples);
        pieceRecords_ += static_cast<size_t>(passed);
        first += passed;
    }
    for (uint64_t i = first; i < count; ++i) RecordFrame(offsets[i % kRecentFrames], samples);
}

// After a piece the step backs remove the newest records: a backward overlap's worth (its
// last record may go past it) and three more. The next forward overlap then walks the records
// left. So the newest kKeptNewestFrames stay, and before them older records while their
// samples still reach both overlaps without the oldest one.
void CCutter::TrimHistory() {
    if (frameHistory_.size() <= kKeptNewestFrames + 1) return;
    const uint64_t reach = forwardOverlapSamples_ + backwardOverlapSamples_;
    if (reach == 0) {
        // No overlap to reach: only the newest records stay (the common case, every frame).
        while (frameHistory_.size() > kKeptNewestFrames + 1) {
            historySamples_ -= static_cast<uint64_t>(frameHistory_.front().samples);
            frameHistory_.pop_front();
        }
        pieceRecords_ = std::min(pieceRecords_, frameHistory_.size());
        return;
    }
    uint64_t newest = 0;
    for (size_t i = 1; i <= kKeptNewestFrames; ++i) {
        newest += static_cast<uint64_t>(frameHistory_[frameHistory_.size() - i].samples);
    }
    while (frameHistory_.size() > kKeptNewestFrames + 1) {
        const uint64_t oldest = static_cast<uint64_t>(frameHistory_.front().samples);
        if (historySamples_ - newest - oldest < reach) break;
        historySamples_ -= oldest;
        frameHistory_.pop_front();
    }
    pieceRecords_ = std::min(pieceRecords_, frameHistory_.size());
}

FrameRecord CCutter::PopPieceRecord() {
    const FrameRecord newest = frameHistory_.back();
    frameHistory_.pop_back();
    historySamples_ -= static_cast<uint64_t>(newest.samples);
    samplePosition_ -= static_cast<uint64_t>(newest.samples);
    if (pieceRecords_ > 0) --pieceRecords_;
    return newest;
}

void CCutter::StepBackTo(uint64_t sample) {
    uint64_t position = reader_.position();
    while (!frameHistory_.empty() && samplePosition_ > sample) position = PopPieceRecord().offset;
    reader_.SeekTo(position);
    startInFrame_ = sample > samplePosition_ ? sample - samplePosition_ : 0;
}

int CCutter::RewindAfterPiece() {
    uint64_t position = reader_.position();
    int frames = 0;
    for (; frames < kRewindFrames && CanStepBack(); ++frames) position = PopPieceRecord().offset;
    reader_.SeekTo(position);
    return frames;
}

CCutter::ForwardOverlap CCutter::NewestFrames(uint32_t count) const {
    ForwardOverlap newest{reader_.position(), 0};
    for (auto it = frameHistory_.rbegin(); it != frameHistory_.rend() && newest.frames < count; ++it) {
        ++newest.frames;
        newest.start = it->offset;
    }
    return newest;
}

std::vector<uint8_t> CCutter::MakeTag(int index, int count, int sequence, int titleDigits) const {
    return MakeTagOver(index, count, sequence, titleDigits, samplePosition_ + startInFrame_, pieceEndSample_);
}

std::vector<uint8_t> CCutter::MakeTagOver(int index, int count, int sequence, int titleDigits, uint64_t start,
                                          int64_t endSample) const {
    std::vector<uint8_t> tag = MakeFieldsTag(index, count, sequence, titleDigits);
    const int rate = reader_.sampleRate();
    if (tag.empty() || sourceChapters_.empty() || rate <= 0) return tag;
    // The piece's range on the source's gapless timeline, in milliseconds: from where its
    // audio starts to where it is asked to end (a piece by size before its end is known, or to
    // the end: the source's end).
    constexpr int64_t kMillisecondsPerSecond = 1000;
    const auto ms = [rate](uint64_t samples) {
        return static_cast<int64_t>((samples * kMillisecondsPerSecond + static_cast<uint64_t>(rate) / 2) /
                                    static_cast<uint64_t>(rate));
    };
    const int64_t fromMs = ms(start > GaplessStart() ? start - GaplessStart() : 0);
    int64_t toMs = std::numeric_limits<int64_t>::max();
    if (endSample >= 0) {
        const uint64_t end = static_cast<uint64_t>(endSample);
        toMs = ms(end > GaplessStart() ? end - GaplessStart() : 0);
    }
    return WithChapterFrames(tag, ChaptersWithin(sourceChapters_, fromMs, toMs));
}

std::vector<uint8_t> CCutter::MakeFieldsTag(int index, int count, int sequence, int titleDigits) const {
    if (pieceTags_ != nullptr) {
        if (!keepTag) return {};
        const TagFields& t = *pieceTags_;
        const int track = trackMode == TrackNumber::None ? 0 : t.track;
        return BuildId3v2Tag(t.title, t.artist, t.album, t.year, t.comment, t.genre, track);
    }
    PieceTagSource source;
    source.keepTag = keepTag;
    source.titleTemplate = titleTemplate;
    source.trackMode = trackMode;
    source.sourceTrack = sourceTags_.track;
    source.sourceTitle = sourceTags_.title;
    source.sourceArtist = sourceTags_.artist;
    source.sourceAlbum = sourceTags_.album;
    source.sourceYear = sourceTags_.year;
    source.sourceGenre = sourceTags_.genre;
    source.sourceComment = sourceTags_.comment;
    source.baseName = baseName_;
    return BuildPieceTag(source, index, count, sequence, titleDigits);
}

Outcome CCutter::CutBySize(const std::string& path, uint64_t size, int index, int count, int sequence,
                           int titleDigits, bool& eof) {
    BeginPieceRecords();
    pieceEndSample_ = -1;
    return DropUnfinished(CutPiece(path, Measure::Bytes, size, index, count, sequence, titleDigits, eof));
}

Outcome CCutter::CutByDuration(const std::string& path, int64_t tenths, int index, int count, int sequence,
                               int titleDigits, bool& eof) {
    BeginPieceRecords();
    pieceEndSample_ = static_cast<int64_t>(samplePosition_ + startInFrame_ + TenthsToSamples(tenths));
    return DropUnfinished(CutPiece(path, Measure::Samples, startInFrame_ + TenthsToSamples(tenths), index, count,
                                   sequence, titleDigits, eof));
}

Outcome CCutter::CutBySamples(const std::string& path, uint64_t samples, int index, int count, int sequence,
                               int titleDigits, bool& eof) {
    BeginPieceRecords();
    pieceEndSample_ = static_cast<int64_t>(samplePosition_ + std::max<uint64_t>(samples, 1));
    return DropUnfinished(CutPiece(path, Measure::Samples, std::max<uint64_t>(samples, 1), index, count, sequence,
                                   titleDigits, eof));
}

Outcome CCutter::CutToEnd(const std::string& path, int index, int count, int sequence, int titleDigits) {
    bool eof = false;
    BeginPieceRecords();
    pieceEndSample_ = -1;
    return DropUnfinished(CutPiece(path, Measure::ToEnd, 0, index, count, sequence, titleDigits, eof));
}

void CCutter::ResumeAt(uint64_t position, const std::vector<FrameRecord>& history, uint64_t sample) {
    samplePosition_ = sample;
    frameHistory_.assign(history.begin(), history.end());
    historySamples_ = 0;
    for (const FrameRecord& record : history) historySamples_ += static_cast<uint64_t>(record.samples);
    pieceRecords_ = 0;
    startInFrame_ = position == reader_.audioStart() ? GaplessStart() : 0;
    reader_.SeekTo(position);
}

COutputFile& CCutter::NewOutput() {
    if (pieceOutput_ != nullptr) {
        COutputFile& file = *pieceOutput_;
        pieceOutput_ = nullptr;
        return file;
    }
    if (outputs_ != nullptr) return outputs_->Add();
    lone_ = std::make_unique<COutputFile>();
    return *lone_;
}

bool CCutter::PublishAlone(COutputFile& out) {
    if (outputs_ != nullptr || &out != lone_.get()) return true;
    if (out.Publish(out.Path(), true) == COutputFile::Published::Done) return true;
    out.Remove();
    return false;
}

Outcome CCutter::DropUnfinished(Outcome outcome) {
    if (!outcome.done() && lone_) lone_->Remove();
    return outcome;
}

CCutter::ForwardOverlap CCutter::FindForwardOverlap() const {
    ForwardOverlap overlap{reader_.position(), 0};
    if (forwardOverlapSamples_ == 0) return overlap;
    uint64_t sum = 0;
    for (auto it = frameHistory_.rbegin(); it != frameHistory_.rend() && sum < forwardOverlapSamples_; ++it) {
        sum += static_cast<uint64_t>(it->samples);
        ++overlap.frames;
        overlap.start = it->offset;
    }
    return overlap;
}

Outcome CCutter::WriteFailed(const COutputFile& out) { return Outcome::Failed(WriteFileFailure(out.Path())); }

Outcome CCutter::ReadFailed() const { return Outcome::Failed(ReadFileFailure(sourcePath_)); }

Outcome CCutter::SkipDuration(int64_t tenths, bool& eof) {
    const uint64_t samples = TenthsToSamples(tenths);
    return SkipSamples(samples > 0 ? startInFrame_ + samples : 0, eof);
}

Outcome CCutter::SkipSamples(uint64_t target, bool& eof) {
    eof = false;
    if (target == 0) return Outcome::Done();
    const uint64_t end = samplePosition_ + target;
    uint64_t sum = 0;
    int rate, kbps, length, samples;
    uint64_t offset;
    do {
        if (!reader_.ReadFrame(rate, kbps, length, samples, offset)) {
            if (reader_.ReadFailed()) return ReadFailed();
            eof = true;
            return Outcome::Done();
        }
        RecordFrame(offset, samples);
        sum += static_cast<uint64_t>(samples);
        UpdateProgress();
        if (PollCancelled()) return Outcome::Cancelled();
    } while (sum < target);
    SkippedTo(end);
    return Outcome::Done();
}

}  // namespace corvane
