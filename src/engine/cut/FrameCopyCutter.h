// CFrameCopyCutter: pieces made of the source's own frames, copied unchanged.
//
// Each piece is: the ID3v2 tag built for it, a copy of the source's VBR header frame (when
// the source has one) whose counts are patched to describe this piece, the lead-in (frames
// before the piece: the forward overlap, or the frames a decoder needs first, copied as one
// byte range), the piece's frames, and the backward overlap (frames after it). Nothing is
// decoded, so no quality is lost; a piece's length can only be a whole number of frames.
//
// When the source's header frame carries a LAME tag, each piece's copy gets its own encoder
// delay and padding (PieceTrim), so that a gapless decoder plays the pieces one after another
// exactly as it plays the source.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/cut/Cutter.h"

namespace corvane {

// A Layer III frame before a piece's audio, with where its main data begins in the bit
// reservoir.
struct LeadInFrame {
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
    int samples = 0;
    size_t dataStart = 0;  // where the frame's main data area begins (after header, CRC, side info)
    int reservoir = 0;     // main_data_begin: how far its main data reaches into the frames before
    size_t DataBytes() const { return bytes.size() - dataStart; }
};

class CFrameCopyCutter : public CCutter {
public:
    bool LoadSource(const std::string& path) override;
    void SetFadeIn(bool, int) override {}
    void SetFadeOut(bool, int) override {}

protected:
    Outcome CutPiece(const std::string& path, Measure measure, uint64_t target, int index, int count, int sequence,
                     int titleDigits, bool& eof) override;

private:
    // Frames a piece that does not start at the source's start begins with so that the
    // decoder's bit reservoir and overlap are up to date where its audio starts
    // (LeadInFrames).
    static constexpr uint32_t kMpeg1LeadIn = 4;
    static constexpr uint32_t kMpeg2LeadIn = 8;

    // Where the piece being written starts, and whether it reached the source's end.
    struct PieceStart {
        uint64_t firstOffset = 0;     // the source offset of its first frame
        uint32_t primingFrames = 0;   // its first frames, played only by a decoder that ignores the header
        bool reachedEnd = false;      // its last frame is the source's last
    };
    // The LAME tag's figures of the piece being written.
    struct GaplessTrim {
        int delay = 0;
        int padding = 0;
    };

    // Copies the source's frames up to target measured by measure (recording them in the
    // history), or to the end of the source for Measure::ToEnd; eof when the source ran out.
    Outcome CopyFrames(COutputFile& out, Measure measure, uint64_t target, uint32_t& framesWritten, bool& eof);
    // Creates the output and writes the tag, the VBR header placeholder and the lead-in,
    // polling between them.
    Outcome BeginPiece(COutputFile& out, const std::string& path, int index, int count, int sequence,
                       int titleDigits, uint64_t& tagLength, uint32_t& framesWritten);
    // Patches the VBR header frame and closes the output; Failed on a failed write.
    Outcome FinishPiece(COutputFile& out, uint64_t tagLength, uint32_t framesWritten);
    // Copies the frames before the reader's position that go first: the forward overlap, and
    // at least as many as make a lead-in with the frames the copy reads again; counts them in
    // framesWritten.
    bool WriteLeadIn(COutputFile& out, uint32_t& framesWritten);
    // Writes the patched VBR header frame over its placeholder.
    bool PatchVbrFrame(COutputFile& out, uint64_t tagLength, uint32_t framesWritten);
    GaplessTrim PieceTrim() const;
    // What the frames before a piece's audio hold (CheckLeadIn).
    struct LeadInCheck {
        std::vector<LeadInFrame> frames;        // the frames from the oldest recorded one to the audio's first
        size_t content = 0;                    // the index of the audio's first frame
        size_t real = 0;                       // the first frame after a carrier
        bool carrier = false;                  // the plain lead-in does not hold their reservoir
    };
    LeadInCheck CheckLeadIn(uint64_t now, uint32_t reread) const;
    // Writes a silent frame that carries the reservoir, then the frames from lead.real to the
    // audio's first, and puts the reader there.
    bool WriteCarrierLeadIn(COutputFile& out, const LeadInCheck& lead, uint64_t now, uint32_t& framesWritten);
    uint32_t LeadInFrames() const;

    uint64_t resumeAt_ = 0;  // where the reader stood after the last piece stepped back
    uint32_t rewound_ = 0;   // the frames it stepped back over
    PieceStart piece_;
};

}  // namespace corvane
