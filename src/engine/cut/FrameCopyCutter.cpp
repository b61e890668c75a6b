// CFrameCopyCutter: pieces by frame copy.
#include "engine/cut/FrameCopyCutter.h"

#include <vector>

#include "engine/base/Messages.h"
#include "engine/mp3/OutputFile.h"

namespace corvane {

Outcome CFrameCopyCutter::BeginPiece(COutputFile& out, const std::string& path, int index, int count, int sequence,
                                     int titleDigits, uint64_t& tagLength, uint32_t& framesWritten) {
    if (!out.Create(path)) return Outcome::Failed(CreateFileFailure(path));
    const std::vector<uint8_t> tag = MakeTag(index, count, sequence, titleDigits);
    tagLength = tag.size();
    if (!tag.empty()) out.Write(tag.data(), tag.size());
    if (reader_.vbrFrame()) out.Write(reader_.vbrFrame(), reader_.vbrFrameLength());
    if (out.Failed()) return WriteFailed(out);
    if (PollCancelled()) return Outcome::Cancelled();
    framesWritten = 0;
    if (!WriteForwardOverlap(out, framesWritten)) return WriteFailed(out);
    if (PollCancelled()) return Outcome::Cancelled();
    return Outcome::Done();
}

Outcome CFrameCopyCutter::FinishPiece(COutputFile& out, uint64_t tagLength, uint32_t framesWritten) {
    if (!PatchVbrFrame(out, tagLength, framesWritten) || !out.Close()) return WriteFailed(out);
    return Outcome::Done();
}

bool CFrameCopyCutter::WriteForwardOverlap(COutputFile& out, uint32_t& framesWritten) {
    if (forwardOverlapSamples_ == 0 || frameHistory_.empty()) return true;
    const uint64_t now = reader_.position();
    uint64_t start = now;
    uint64_t sum = 0;
    uint32_t walked = 0;
    for (auto it = frameHistory_.rbegin(); it != frameHistory_.rend(); ++it) {
        if (sum >= forwardOverlapSamples_) break;
        sum += static_cast<uint64_t>(it->samples);
        ++walked;
        start = it->offset;
    }
    if (start >= now) return true;
    framesWritten = walked;
    return reader_.CopyRange(out, start, now - start);
}

bool CFrameCopyCutter::PatchVbrFrame(COutputFile& out, uint64_t tagLength, uint32_t framesWritten) {
    if (!reader_.vbrFrame()) return true;
    std::vector<uint8_t> copy(reader_.vbrFrame(), reader_.vbrFrame() + reader_.vbrFrameLength());
    CMp3Reader::PatchVbrHeader(copy.data(), static_cast<uint32_t>(copy.size()), framesWritten,
                               static_cast<uint32_t>(out.Size()));
    return out.WriteAt(tagLength, copy.data(), copy.size());
}

Outcome CFrameCopyCutter::CutPiece(const std::string& path, Measure measure, uint64_t target, int index, int count,
                                   int sequence, int titleDigits, bool& eof) {
    eof = false;
    COutputFile out;
    uint64_t tagLength = 0;
    uint32_t framesWritten = 0;
    Outcome begun = BeginPiece(out, path, index, count, sequence, titleDigits, tagLength, framesWritten);
    if (!begun.done()) return begun;

    int rate, kbps, length, samples;
    uint64_t offset;
    if (target > 0) {
        uint64_t sum = 0;
        do {
            const uint8_t* frame = reader_.ReadFrame(rate, kbps, length, samples, offset);
            if (!frame) {
                eof = true;
                break;
            }
            if (!out.Write(frame, static_cast<size_t>(length))) return WriteFailed(out);
            RecordFrame(offset, samples);
            ++framesWritten;
            sum += measure == Measure::Bytes ? static_cast<uint64_t>(length) : static_cast<uint64_t>(samples);
            UpdateProgress();
            if (PollCancelled()) return Outcome::Cancelled();
        } while (sum < target);
    }

    if (backwardOverlapSamples_ > 0) {
        const uint64_t resume = reader_.position();
        uint64_t sum = 0;
        while (sum < backwardOverlapSamples_) {
            const uint8_t* frame = reader_.ReadFrame(rate, kbps, length, samples, offset);
            if (!frame) break;
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

Outcome CFrameCopyCutter::CutBySize(const std::string& path, uint64_t size, int index, int count, int sequence,
                                    int titleDigits, bool& eof) {
    return CutPiece(path, Measure::Bytes, size, index, count, sequence, titleDigits, eof);
}

Outcome CFrameCopyCutter::CutByDuration(const std::string& path, int tenths, int index, int count, int sequence,
                                        int titleDigits, bool& eof) {
    return CutPiece(path, Measure::Samples, TenthsToSamples(tenths), index, count, sequence, titleDigits, eof);
}

Outcome CFrameCopyCutter::CutToEnd(const std::string& path, int index, int count, int sequence, int titleDigits) {
    COutputFile out;
    uint64_t tagLength = 0;
    uint32_t framesWritten = 0;
    Outcome begun = BeginPiece(out, path, index, count, sequence, titleDigits, tagLength, framesWritten);
    if (!begun.done()) return begun;

    int rate, kbps, length, samples;
    uint64_t offset;
    while (const uint8_t* frame = reader_.ReadFrame(rate, kbps, length, samples, offset)) {
        if (!out.Write(frame, static_cast<size_t>(length))) return WriteFailed(out);
        ++framesWritten;
        UpdateProgress();
        if (PollCancelled()) return Outcome::Cancelled();
    }
    if (PollCancelled()) return Outcome::Cancelled();
    return FinishPiece(out, tagLength, framesWritten);
}

}  // namespace corvane
