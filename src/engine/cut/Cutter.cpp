// CCutter: what the frame-copy and re-encoding cutters share.
#include "engine/cut/Cutter.h"

#include "engine/base/Messages.h"
#include "engine/base/PathUtil.h"
#include "engine/mp3/OutputFile.h"
#include "engine/output/OutputSet.h"

namespace corvane {
namespace {
constexpr int kRewindFrames = 3;
}  // namespace

CCutter::CCutter() = default;

CCutter::~CCutter() { reader_.CloseFile(); }

bool CCutter::LoadSource(const std::string& path) {
    if (!reader_.OpenFile(path)) return false;
    ReadTags(path, sourceTags_);
    baseName_ = PieceBaseName(path);
    frameHistory_.clear();
    return true;
}

void CCutter::CloseSource() { reader_.CloseFile(); }

void CCutter::SetCancelFlag(const std::atomic<int>* flag) { cancelFlag_ = flag; }

void CCutter::SetProgressBar(IProgressBar* bar) {
    progressBar_ = bar;
    lastProgress_ = 0;
    if (!bar) return;
    const int width = bar->Width() > 0 ? bar->Width() : 1;
    bar->SetRange(0, width);
    bar->SetPosition(0);
    bytesPerStep_ = reader_.fileSize() / static_cast<uint64_t>(width);
    if (bytesPerStep_ == 0) bytesPerStep_ = 1;
}

uint32_t CCutter::TenthsToSamples(int tenths) const {
    if (tenths <= 0) return 0;
    return static_cast<uint32_t>(tenths * 0.1 * reader_.sampleRate());
}

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
    return cancelFlag_ && cancelFlag_->load(std::memory_order_relaxed) != 0;
}

void CCutter::UpdateProgress() { UpdateProgress(reader_.position()); }

void CCutter::UpdateProgress(uint64_t position) {
    if (!progressBar_) return;
    const int p = static_cast<int>(position / bytesPerStep_);
    if (p > lastProgress_) {
        progressBar_->SetPosition(p);
        lastProgress_ = p;
    }
}

void CCutter::RecordFrame(uint64_t offset, int samples) {
    if (frameHistory_.empty() || offset > frameHistory_.back().offset) frameHistory_.push_back({offset, samples});
}

void CCutter::RewindAfterPiece() {
    uint64_t position = reader_.position();
    for (int i = 0; i < kRewindFrames && !frameHistory_.empty(); ++i) {
        position = frameHistory_.back().offset;
        frameHistory_.pop_back();
    }
    reader_.SeekTo(position);
}

std::vector<uint8_t> CCutter::MakeTag(int index, int count, int sequence, int titleDigits) const {
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
    return DropUnfinished(CutPiece(path, Measure::Bytes, size, index, count, sequence, titleDigits, eof));
}

Outcome CCutter::CutByDuration(const std::string& path, int tenths, int index, int count, int sequence,
                               int titleDigits, bool& eof) {
    return DropUnfinished(
        CutPiece(path, Measure::Samples, TenthsToSamples(tenths), index, count, sequence, titleDigits, eof));
}

Outcome CCutter::CutToEnd(const std::string& path, int index, int count, int sequence, int titleDigits) {
    bool eof = false;
    return DropUnfinished(CutPiece(path, Measure::ToEnd, 0, index, count, sequence, titleDigits, eof));
}

COutputFile& CCutter::NewOutput() {
    if (outputs_ != nullptr) return outputs_->Add();
    lone_ = std::make_unique<COutputFile>();
    return *lone_;
}

bool CCutter::PublishAlone(COutputFile& out) {
    if (outputs_ != nullptr) return true;
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

Outcome CCutter::SkipDuration(int tenths, bool& eof) {
    eof = false;
    const uint64_t target = TenthsToSamples(tenths);
    if (target == 0) return Outcome::Done();
    uint64_t sum = 0;
    int rate, kbps, length, samples;
    uint64_t offset;
    do {
        if (!reader_.ReadFrame(rate, kbps, length, samples, offset)) {
            eof = true;
            return Outcome::Done();
        }
        RecordFrame(offset, samples);
        sum += static_cast<uint64_t>(samples);
        UpdateProgress();
        if (PollCancelled()) return Outcome::Cancelled();
    } while (sum < target);
    return Outcome::Done();
}

}  // namespace corvane
