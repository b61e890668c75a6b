// CFrameCopyCutter: pieces by frame copy.
#include "engine/cut/FrameCopyCutter.h"

#include <algorithm>
#include <vector>

#include "engine/base/Messages.h"
#include "engine/mp3/Id3Chapters.h"
#include "engine/mp3/OutputFile.h"
#include "engine/output/PieceNaming.h"

namespace corvane {
namespace {

constexpr int kDecoderDelay = CMp3Reader::kDecoderDelay;
constexpr int kLongestDelay = 4095;  // the LAME tag's 12-bit fields
// Bytes read past the reader for the reservoirs of the frames a piece starts with: more than
// the frames that can reach back 511 bytes span at the lowest bit rates.
constexpr size_t kReadAhead = 8192;
// The source's frames are summed (music CRC) and handed to the output in spans of about this
// size: small enough to stay in the processor's caches until they are written.
constexpr size_t kSumStep = 1 << 20;

// The frame at p of buffer (read at offset), any layer; empty bytes when there is none.
LayerIIIFrame FrameAt(const std::vector<uint8_t>& buffer, size_t p, uint64_t offset) {
    LayerIIIFrame frame;
    if (p + 6 > buffer.size() || !IsFrameHeader(buffer.data() + p)) return frame;
    const MpegFrameHeader h = DecodeFrameHeader(buffer.data() + p);
    const size_t length = static_cast<size_t>(h.frameLength);
    if (p + length > buffer.size()) return frame;
    if (h.layerIndex == 2) {
        std::vector<uint8_t> one(buffer.begin() + static_cast<long>(p), buffer.begin() + static_cast<long>(p + length));
        std::vector<LayerIIIFrame> parsed = ParseLayerIIIFrames(one, offset + p);
        if (!parsed.empty()) return std::move(parsed.front());
        return frame;
    }
    frame.offset = offset + p;
    frame.bytes.assign(buffer.begin() + static_cast<long>(p), buffer.begin() + static_cast<long>(p + length));
    frame.samples = h.samplesPerFrame;
    frame.dataStart = length;
    return frame;
}

}  // namespace

bool CFrameCopyCutter::LoadSource(const std::string& path) {
    if (!CCutter::LoadSource(path)) return false;
    layerIII_ = reader_.layer() == 3;
    header_.clear();
    const bool headerRead =
        reader_.ReadBytes(reader_.audioStart(), firstHeader_, sizeof firstHeader_) == sizeof firstHeader_ &&
        IsFrameHeader(firstHeader_);
    if (reader_.hasEncoderDelays() || (!layerIII_ && reader_.vbrFrame())) {
        header_.assign(reader_.vbrFrame(), reader_.vbrFrame() + reader_.vbrFrameLength());
    } else if (layerIII_ && headerRead) {
        header_ = MakeHeaderFrame(firstHeader_, reader_.variableBitrate());
    }
    startInFrame_ = GaplessStart();
    // The shortest frame the stream's frames may have: of its one bit rate, unpadded, or of
    // the lowest when the rate varies.
    smallestFrame_ = 0;
    if (headerRead) {
        const MpegFrameHeader first = DecodeFrameHeader(firstHeader_);
        smallestFrame_ = static_cast<uint64_t>(reader_.variableBitrate() ? SmallestFrameLength(first)
                                                                          : first.frameLength - first.padding);
    }
    return true;
}

CFrameCopyCutter::Neighbourhood CFrameCopyCutter::ReadNeighbourhood() const {
    Neighbourhood n;
    const std::deque<FrameRecord>& history = frameHistory();
    const uint64_t now = reader_.position();
    const uint64_t base = history.empty() ? now : history.front().offset;
    std::vector<uint8_t> buffer(static_cast<size_t>(now - base) + kReadAhead);
    buffer.resize(reader_.ReadBytes(base, buffer.data(), buffer.size()));
    uint64_t start = SamplePosition();
    for (const FrameRecord& record : history) start -= static_cast<uint64_t>(record.samples);
    for (const FrameRecord& record : history) {
        LayerIIIFrame frame = FrameAt(buffer, static_cast<size_t>(record.offset - base), base);
        if (frame.bytes.empty()) {  // not as recorded: nothing before it can be used
            n.frames.clear();
            n.starts.clear();
        } else {
            n.frames.push_back(std::move(frame));
            n.starts.push_back(start);
        }
        start += static_cast<uint64_t>(record.samples);
    }
    n.at = n.frames.size();
    if (!layerIII_ || now - base > buffer.size()) return n;
    std::vector<uint8_t> ahead(buffer.begin() + static_cast<long>(now - base), buffer.end());
    for (LayerIIIFrame& frame : ParseLayerIIIFrames(ahead, now)) {
        n.starts.push_back(start);
        start += static_cast<uint64_t>(frame.samples);
        n.frames.push_back(std::move(frame));
    }
    return n;
}

bool CFrameCopyCutter::WriteFrame(COutputFile& out, const uint8_t* frame, size_t length, PieceFrames& piece) {
    Count(out, frame, length, piece);
    return out.Write(frame, length);
}

void CFrameCopyCutter::Count(const COutputFile& out, const uint8_t* frame, size_t length, PieceFrames& piece,
                             bool mapped) const {
    piece.seekTable.Add(out.Size() - piece.headerAt);
    ++piece.frames;
    if (header_.empty()) return;
    if (mapped && frame == piece.pending + piece.pendingLength) {
        piece.pendingLength += length;
        return;
    }
    SumPending(piece);
    if (mapped) {
        piece.pending = frame;
        piece.pendingLength = length;
    } else {
        piece.musicCrc = LameCrc16(piece.musicCrc, frame, length);
    }
}

void CFrameCopyCutter::SumPending(PieceFrames& piece) const {
    if (piece.pendingLength > 0) piece.musicCrc = LameCrc16(piece.musicCrc, piece.pending, piece.pendingLength);
    piece.pending = nullptr;
    piece.pendingLength = 0;
    piece.summedAhead = 0;
}

bool CFrameCopyCutter::WriteLeadIn(COutputFile& out, uint64_t from, PieceFrames& piece) {
    const Neighbourhood n = ReadNeighbourhood();
    size_t k = n.at;  // the frame that holds from, or the reader's
    while (k > 0 && n.starts[k - 1] + static_cast<uint64_t>(n.frames[k - 1].samples) > from) --k;
    size_t first = k;                  // the first source frame written
    std::vector<uint8_t> silent;       // a frame written before it
    const int frameSamples = reader_.samplesPerFrame();
    const bool fromSourceStart = n.at > 0 ? n.frames[0].offset == reader_.audioStart() && n.starts[0] == 0
                                          : reader_.position() == reader_.audioStart() && SamplePosition() == 0;
    // Without a LAME tag a gapless decoder's 529 samples fall in a silent frame first.
    const uint64_t silentSlot = reader_.hasEncoderDelays() ? 0 : static_cast<uint64_t>(frameSamples);
    if (!layerIII_) {
        // Whole frames, no reservoir: from the frame the range starts in.
    } else if (fromSourceStart && from + silentSlot <= static_cast<uint64_t>(kLongestDelay + kDecoderDelay)) {
        first = 0;
        if (silentSlot > 0) silent = CarrierFrame(firstHeader_, {});
    } else {
        const size_t needed = frameSamples >= 1152 ? 1 : 2;  // frames whose decode the range's first needs
        first = k >= needed ? k - needed : 0;
        const size_t need = ReservoirNeed(n.frames, first);
        if (need > 0) {
            std::vector<uint8_t> reservoir = ReservoirBefore(n.frames, first, need);
            reservoir.insert(reservoir.begin(), need - reservoir.size(), 0);
            silent = CarrierFrame(n.frames[first].bytes.data(), reservoir);
        }
    }
    // The decoded stream's sample where the piece's first frame begins (a silent one before
    // the source's first begins before the stream).
    const int64_t base = static_cast<int64_t>(first < n.starts.size() ? n.starts[first] : SamplePosition()) -
                         (silent.empty() ? 0 : frameSamples);
    const int64_t delay = static_cast<int64_t>(from) - base - kDecoderDelay;
    piece.delay = static_cast<int>(std::clamp<int64_t>(delay, 0, kLongestDelay));
    if (!silent.empty() && !WriteFrame(out, silent.data(), silent.size(), piece)) return false;
    for (size_t i = first; i < n.at; ++i) {
        if (!WriteFrame(out, n.frames[i].bytes.data(), n.frames[i].bytes.size(), piece)) return false;
    }
    return true;
}

Outcome CFrameCopyCutter::CopyFrames(COutputFile& out, Measure measure, uint64_t end, uint64_t bytes,
                                     PieceFrames& piece, bool& eof) {
    int rate, kbps, length, samples;
    uint64_t offset;
    uint64_t sum = 0;
    bool any = false;
    // Without an overlap the history keeps only the newest frames: those in step are then
    // taken a sum step at a time (CopyRun), the rest one by one.
    const bool walk = measure == Measure::ToEnd || forwardOverlapSamples_ + backwardOverlapSamples_ == 0;
    for (;;) {
        if (measure == Measure::Samples && copiedTo_ >= end) break;
        if (measure == Measure::Bytes && any && sum >= bytes) break;
        if (walk && CopyRun(out, measure, end, bytes, piece, sum, any)) {
            if (out.Failed()) return WriteFailed(out);
            UpdateProgress();
            if (PollCancelled()) return Outcome::Cancelled();
            continue;
        }
        const uint8_t* frame = reader_.ReadFrame(rate, kbps, length, samples, offset);
        if (!frame) {
            if (reader_.ReadFailed()) return ReadFailed();
            eof = true;
            break;
        }
        Count(out, frame, static_cast<size_t>(length), piece, reader_.InMapping(frame, offset));
        if (!reader_.AppendFrame(out, frame, offset, static_cast<size_t>(length))) return WriteFailed(out);
        // A long span is summed and written in steps, each while its bytes are still in the
        // processor's caches.
        if (piece.summedAhead + piece.pendingLength >= kSumStep) {
            SumPending(piece);
            if (!out.Drain()) return WriteFailed(out);
        }
        if (measure != Measure::ToEnd) RecordFrame(offset, samples);
        copiedTo_ += static_cast<uint64_t>(samples);
        sum += static_cast<uint64_t>(length);
        any = true;
        UpdateProgress();
        if (PollCancelled()) return Outcome::Cancelled();
    }
    SumPending(piece);
    return Outcome::Done();
}

bool CFrameCopyCutter::CopyRun(COutputFile& out, Measure measure, uint64_t end, uint64_t bytes, PieceFrames& piece,
                               uint64_t& sum, bool& any) {
    // What the loop of CopyFrames does frame by frame, for the frames that follow in step up
    // to a sum step: each still gets its seek table entry; the rest is done once.
    // Nothing is summed ahead for a walk that cannot start (the first frame after a seek is
    // read one by one).
    if (!reader_.CanWalk()) return false;
    const uint64_t start = reader_.position();
    const uint8_t* run = reader_.MappedData() + start;
    const bool sums = !header_.empty();
    if (sums && piece.pending + piece.pendingLength != run) {
        SumPending(piece);
        piece.pending = run;
    }
    const uint64_t stepBefore = sums ? piece.summedAhead + piece.pendingLength : 0;
    const uint64_t stepAt = progressBar_ != nullptr ? nextStepAt_ : UINT64_MAX;

    // The music CRC first streams in the bytes that the walk surely takes, so that the walk
    // finds its headers in the processor's caches: as many frames of the smallest length as
    // reach the piece's end, and no further than the step or the bar's next move.
    uint64_t ahead = 0;
    uint16_t crcAhead = piece.musicCrc;
    if (sums && stepBefore < kSumStep) {
        uint64_t sure = std::min<uint64_t>(kSumStep - stepBefore, reader_.MappedSize() - start);
        sure = std::min(sure, stepAt > start ? stepAt - start : smallestFrame_);
        if (measure == Measure::Samples) {
            const uint64_t spf = static_cast<uint64_t>(reader_.samplesPerFrame());
            const uint64_t frames = end > copiedTo_ && spf > 0 ? (end - copiedTo_ + spf - 1) / spf : 0;
            sure = std::min(sure, frames * smallestFrame_);
        } else if (measure == Measure::Bytes) {
            sure = std::min(sure, bytes > sum ? bytes - sum : 0);
        }
        ahead = sure;
        crcAhead = LameCrc16(piece.musicCrc, piece.pending, piece.pendingLength + static_cast<size_t>(ahead));
    }

    uint64_t offsets[kRecentFrames];
    const uint64_t recorded = frameHistory().empty() ? 0 : frameHistory().back().offset + 1;
    const uint64_t outAt = out.Size() - piece.headerAt;
    uint64_t row = 0, length = 0, copied = copiedTo_, total = sum, fresh = 0;
    int samples = 0;
    bool taken = any;
    const uint64_t frames = reader_.WalkFrames([&](uint64_t at, const MpegFrameHeader& h) {
        if (measure == Measure::Samples && copied >= end) return false;
        if (measure == Measure::Bytes && taken && total >= bytes) return false;
        // The loop polls for a cancel where the bar moves on: so does the walk.
        if (stepBefore + length >= kSumStep || (row > 0 && at >= stepAt)) return false;
        piece.seekTable.Add(outAt + length);
        offsets[row++ % kRecentFrames] = at;
        fresh += at >= recorded ? 1 : 0;
        length += static_cast<uint64_t>(h.frameLength);
        copied += static_cast<uint64_t>(h.samplesPerFrame);
        total += static_cast<uint64_t>(h.frameLength);
        samples = h.samplesPerFrame;
        taken = true;
        return true;
    }, start + ahead);
    if (frames == 0) return false;
    piece.frames += static_cast<uint32_t>(frames);
    if (sums && length >= ahead) {
        piece.musicCrc = crcAhead;
        piece.summedAhead += piece.pendingLength + static_cast<size_t>(ahead);
        piece.pending = run + ahead;
        piece.pendingLength = static_cast<size_t>(length - ahead);
    } else if (sums) {
        piece.pendingLength += static_cast<size_t>(length);  // the sum ahead went too far: summed again later
    }
    reader_.AppendFrame(out, run, start, static_cast<size_t>(length));
    if (stepBefore + length >= kSumStep) {
        SumPending(piece);
        out.Drain();
    }
    if (measure != Measure::ToEnd) RecordFrames(offsets, frames, fresh, samples);
    copiedTo_ = copied;
    sum = total;
    any = true;
    return true;
}

uint64_t CFrameCopyCutter::GaplessEnd() const {
    if (!reader_.hasEncoderDelays()) return copiedTo_;
    const uint64_t padding = static_cast<uint64_t>(reader_.encoderPadding());
    return copiedTo_ + kDecoderDelay - std::min<uint64_t>(padding, copiedTo_ + kDecoderDelay);
}

Outcome CFrameCopyCutter::FinishPiece(COutputFile& out, const PieceFrames& piece, uint64_t end, bool eof) {
    if (eof) end = std::min(end, std::min(GaplessEnd(), copiedTo_));
    if (!header_.empty()) {
        std::vector<uint8_t> frame = header_;
        HeaderFigures figures;
        figures.frames = piece.frames;
        figures.bytes = static_cast<uint32_t>(out.Size() - piece.headerAt);
        figures.delay = piece.delay;
        figures.musicCrc = piece.musicCrc;
        const int64_t padding = static_cast<int64_t>(copiedTo_) + kDecoderDelay - static_cast<int64_t>(end);
        figures.padding = static_cast<int>(std::clamp<int64_t>(padding, 0, kLongestDelay));
        figures.seekTable = piece.seekTable.Entries(figures.bytes);
        FinishHeaderFrame(frame, figures);
        if (!out.WriteAt(piece.headerAt, frame.data(), frame.size())) return WriteFailed(out);
    }
    if (!out.Flush()) return WriteFailed(out);
    if (reader_.SourceShrank()) return ReadFailed();
    if (!out.Close() || !PublishAlone(out)) return WriteFailed(out);
    return Outcome::Done();
}

Outcome CFrameCopyCutter::CutPiece(const std::string& path, Measure measure, uint64_t target, int index, int count,
                                   int sequence, int titleDigits, bool& eof) {
    eof = false;
    const uint64_t start = SamplePosition() + startInFrame_;
    // Where the next piece starts: the end asked for, or after the frames of a size.
    uint64_t next = measure == Measure::Samples ? std::max(SamplePosition() + target, start + 1) : 0;
    COutputFile& out = NewOutput();
    if (!out.Create(path)) return Outcome::Failed(CreateFileFailure(path));
    // LAME renders the tag, but did not encode these frames: its encoder frame stays out.
    const std::vector<uint8_t> tag = WithoutEncoderFrame(MakeTag(index, count, sequence, titleDigits));
    if (!tag.empty()) out.Write(tag.data(), tag.size());
    PieceFrames piece;
    piece.headerAt = tag.size();
    if (!header_.empty()) out.Write(header_.data(), header_.size());
    if (out.Failed()) return WriteFailed(out);
    if (PollCancelled()) return Outcome::Cancelled();

    const uint64_t overlap = std::min(forwardOverlapSamples_, start);
    const uint64_t from = std::max(start - overlap, GaplessStart());
    if (!WriteLeadIn(out, from, piece)) return reader_.ReadFailed() ? ReadFailed() : WriteFailed(out);
    if (PollCancelled()) return Outcome::Cancelled();

    copiedTo_ = SamplePosition();
    Outcome copied = CopyFrames(out, measure, next, target, piece, eof);
    if (!copied.done()) return copied;
    if (measure == Measure::Bytes) next = copiedTo_;
    uint64_t end = measure == Measure::ToEnd ? copiedTo_ : next + backwardOverlapSamples_;
    // A backward overlap that runs into the source's end ends this piece there, not the cut:
    // the next piece still starts at next.
    bool overlapRanOut = false;
    if (!eof && measure != Measure::ToEnd && backwardOverlapSamples_ > 0) {
        copied = CopyFrames(out, Measure::Samples, end, 0, piece, overlapRanOut);
        if (!copied.done()) return copied;
    }
    const bool ranOut = eof || overlapRanOut || measure == Measure::ToEnd;
    if (!tag.empty() && SourceHasChapters() && measure == Measure::Bytes) {
        const std::vector<uint8_t> ended =
            PaddedTo(WithoutEncoderFrame(MakeTagOver(index, count, sequence, titleDigits, start,
                                                     static_cast<int64_t>(end))),
                     tag.size());
        if (ended.size() == tag.size() && ended != tag && !out.WriteAt(0, ended.data(), ended.size())) {
            return WriteFailed(out);
        }
    }
    Outcome finished = FinishPiece(out, piece, end, ranOut);
    if (!finished.done()) return finished;
    if (measure == Measure::ToEnd) {
        eof = false;
    } else if (!eof) {
        StepBackTo(next);
    }
    return finished;
}

void CFrameCopyCutter::SkippedTo(uint64_t sample) { StepBackTo(sample); }

}  // namespace corvane
