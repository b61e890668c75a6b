// CFrameCopyCutter: pieces made of the source's own frames, copied unchanged.
//
// Each piece is: the ID3v2 tag built for it, a copy of the source's VBR header frame (when
// the source has one) whose frame and byte counts are patched to describe this piece, the
// forward overlap (frames before the piece, copied as one byte range), the piece's frames,
// and the backward overlap (frames after it). Nothing is decoded, so no quality is lost; a
// piece's length can only be a whole number of frames.
#pragma once

#include "engine/cut/Cutter.h"

namespace corvane {

class CFrameCopyCutter : public CCutter {
public:
    void SetFadeIn(bool, int) override {}
    void SetFadeOut(bool, int) override {}

protected:
    Outcome CutPiece(const std::string& path, Measure measure, uint64_t target, int index, int count, int sequence,
                     int titleDigits, bool& eof) override;

private:
    // Copies the source's frames up to target measured by measure (recording them in the
    // history), or to the end of the source for Measure::ToEnd; eof when the source ran out.
    Outcome CopyFrames(COutputFile& out, Measure measure, uint64_t target, uint32_t& framesWritten, bool& eof);
    // Creates the output and writes the tag, the VBR header placeholder and the forward
    // overlap, polling between them.
    Outcome BeginPiece(COutputFile& out, const std::string& path, int index, int count, int sequence,
                       int titleDigits, uint64_t& tagLength, uint32_t& framesWritten);
    // Patches the VBR header frame and closes the output; Failed on a failed write.
    Outcome FinishPiece(COutputFile& out, uint64_t tagLength, uint32_t framesWritten);
    // Copies the newest recorded frames worth the forward overlap; returns the frame count.
    bool WriteForwardOverlap(COutputFile& out, uint32_t& framesWritten);
    // Writes the patched VBR header frame over its placeholder.
    bool PatchVbrFrame(COutputFile& out, uint64_t tagLength, uint32_t framesWritten);
};

}  // namespace corvane
