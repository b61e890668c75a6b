// CFrameCopyCutter: pieces by frame copy.
#include "engine/cut/FrameCopyCutter.h"

#include <vector>

#include "engine/base/Messages.h"
#include "engine/mp3/OutputFile.h"
#include "engine/output/PieceNaming.h"

namespace corvane {

Outcome CFrameCopyCutter::BeginPiece(COutputFile& out, const std::string& path, int index, int count, int sequence,
                                     int titleDigits, uint64_t& tagLength, uint32_t& framesWritten) {
    if (!out.Create(path)) return Outcome::Failed(CreateFileFailure(path));
    // LAME renders the tag, but did not encode these frames: its encoder frame stays out.
    const std::vector<uint8_t> tag = WithoutEncoderFrame(MakeTag(index, count, sequence, titleDigits));
    tagLength = tag.size();
    if (!tag.empty()) out.Write(tag.data(), tag.size());
    if (reader_.vbrFrame()) out.Write(reader_.vbrFrame(), reader_.vbrFrameLength());
    if (out.Failed()) return WriteFailed(out);
    if (PollCancelled()) return Outcome::Cancelled();
    framesWritten = 0;
    if (!WriteForwardOverlap(out, framesWritten)) return reader_.ReadFailed() ? ReadFailed() : WriteFailed(out);
    if (PollCancelled()) return Outcome::Cancelled();
    return Outcome::Done();
}

Outcome CFrameCopyCutter::FinishPiece(COutputFile& out, uint64_t tagLength, uint32_t framesWritten) {
    if (!PatchVbrFrame(out, tagLength, framesWritten) || !out.Close() || !PublishAlone(out)) return WriteFailed(out);
    return Outcome::Done();
}

bool CFrameCopyCutter::WriteForwardOverlap(COutputFile& out, uint32_t& framesWritten) {
    const uint64_t now = reader_.position();
    const ForwardOverlap overlap = FindForwardOverlap();
    if (overlap.start >= now) return true;
    framesWritten = overlap.frames;
    return reader_.CopyRange(out, overlap.start, now - overlap.start);
}

bool CFrameCopyCutter::PatchVbrFrame(COutputFile& out, uint64_t tagLength, uint32_t framesWritten) {
    if (!reader_.vbrFrame()) return true;
    std::vector<uint8_t> copy(reader_.vbrFrame(), reader_.vbrFrame() + reader_.vbrFrameLength());
    // The byte count runs from the header frame to the last frame's end, as encoders write it:
    // the piece's tag before it is not audio.
    CMp3Reader::PatchVbrHeader(copy.data(), static_cast<uint32_t>(copy.size()), framesWritten,
                               static_cast<uint32_t>(out.Size() - tagLength));
    return out.WriteAt(tagLength, copy.data(), copy.size());
}

Outcome CFrameCopyCutter::CopyFrames(COutputFile& out, Measure measure, uint64_t target, uint32_t& framesWritten,
                                     bool& eof) {
    int rate, kbps, length, samples;
    uint64_t offset;
    uint64_t sum = 0;
    do {
        const uint8_t* frame = reader_.ReadFrame(rate, kbps, length, samples, offset);
        if (!frame) {
            if (reader_.ReadFailed()) return ReadFailed();
            eof = true;
            break;
        }
        if (!out.Write(frame, static_cast<size_t>(length))) return WriteFailed(out);
        if (measure != Measure::ToEnd) RecordFrame(offset, samples);
        ++framesWritten;
        sum += measure == Measure::Bytes ? static_cast<uint64_t>(length) : static_cast<uint64_t>(samples);
        UpdateProgress();
        if (PollCancelled()) return Outcome::Cancelled();
    } while (measure == Measure::ToEnd || sum < target);
    return Outcome::Done();
}

Outcome CFrameCopyCutter::CutPiece(const std::string& path, Measure measure, uint64_t target, int index, int count,
                                   int sequence, int titleDigits, bool& eof) {
    eof = false;
    COutputFile& out = NewOutput();
    uint64_t tagLength = 0;
    uint32_t framesWritten = 0;
    Outcome begun = BeginPiece(out, path, index, count, sequence, titleDigits, tagLength, framesWritten);
    if (!begun.done()) return begun;

    if (measure == Measure::ToEnd || target > 0) {
        Outcome copied = CopyFrames(out, measure, target, framesWritten, eof);
        if (!copied.done()) return copied;
    }
    if (measure == Measure::ToEnd) {
        eof = false;
        if (PollCancelled()) return Outcome::Cancelled();
        return FinishPiece(out, tagLength, framesWritten);
    }

    if (backwardOverlapSamples_ > 0) {
        const uint64_t resume = reader_.position();
        uint64_t sum = 0;
        int rate, kbps, length, samples;
        uint64_t offset;
        while (sum < backwardOverlapSamples_) {
            const uint8_t* frame = reader_.ReadFrame(rate, kbps, length, samples, offset);
            if (!frame) {
                if (reader_.ReadFailed()) return ReadFailed();
                break;
            }
            if (!out.Write(frame, static_cast<size_t>(length))) return WriteFailed(out);
            sum += static_cast<uint64_t>(samples);
            ++framesWritten;
        }
        reader_.SeekTo(resume);
    }

    Outcome finished = FinishPiece(out, tagLength, framesWritten);
    if (finished.done()) RewindAfterPiece();
    return finished;
}

}  // namespace corvane
