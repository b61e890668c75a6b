// CFrameCopyCutter: pieces made of the source's own frames, copied unchanged.
//
// Nothing is decoded, so no quality is lost. A piece covers an exact range of samples of the
// timeline a gapless decoder plays ([start, end), the overlaps around it), whole frames
// carry it, and its header frame tells a gapless decoder which of their samples to drop:
//
//   ID3v2 tag | header frame | lead-in | the frames that hold the range
//
// The header frame is the source's copy with its counts, seek table and LAME tag patched for
// the piece, or one made for it when the source has no LAME tag (GaplessFrames.h). Its
// encoder delay drops the lead-in and the part of the first frame before the range; its
// padding drops the part of the last frame after it. So the pieces of a source, played one
// after another by a gapless decoder, are the source as it plays it, sample for sample, and
// a piece's end lies where its rule puts it, not on a frame's edge: neighbouring pieces share
// the frame their seam falls in.
//
// The lead-in. A frame's audio depends on the frame before it (the transform's overlap and
// the synthesis filter's memory) and its data may begin in the data of the frames before
// that (the bit reservoir). So a piece that starts in frame k starts with the frames whose
// decode that needs: frame k-1 in MPEG-1, whose frames hold two granules, and k-2 in MPEG-2
// and 2.5, whose frames hold one; before them, when they or the frames after them reach back
// for reservoir bytes, a silent carrier frame holding those bytes. The delay (at most 4,095
// samples) then never exceeds 2,926 samples in MPEG-1 and 1,774 in MPEG-2. A piece within
// the first few frames of its source copies the frames from the source's start instead, as
// they are. A source without a LAME tag is played by gapless decoders with 529 more samples
// dropped at its start than by plain ones, so its first piece starts with one silent frame
// that those samples fall in: the pieces played gaplessly are the source played plainly.
//
// Layer I and II streams keep no reservoir: their pieces are whole frames from the frame the
// range starts in, with the source's header frame (when it has one) counting them.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/cut/Cutter.h"
#include "engine/mp3/GaplessFrames.h"

namespace corvane {

class CFrameCopyCutter : public CCutter {
public:
    bool LoadSource(const std::string& path) override;
    void SetFadeIn(bool, int) override {}
    void SetFadeOut(bool, int) override {}

protected:
    Outcome CutPiece(const std::string& path, Measure measure, uint64_t target, int index, int count, int sequence,
                     int titleDigits, bool& eof) override;
    void SkippedTo(uint64_t sample) override;

private:
    // What is written of a piece so far.
    struct PieceFrames {
        uint32_t frames = 0;   // frames after the header frame
        CSeekTable seekTable;
        int delay = 0;         // the header's encoder delay
        uint16_t musicCrc = 0; // of the frames after the header frame, up to pending
        uint64_t headerAt = 0; // the output offset of the header frame
        // The source's frames written since, not yet in musicCrc: a span of its mapping, summed
        // in one go (SumPending) rather than frame by frame.
        const uint8_t* pending = nullptr;
        size_t pendingLength = 0;
        // The bytes of the span before pending that were summed ahead (CopyRun): with the
        // pending ones, what the current sum step has taken.
        size_t summedAhead = 0;
    };
    // The frames around the reader: the recorded ones before it, oldest first, and those
    // parsed after it; at is the index of the reader's frame, starts their first samples.
    struct Neighbourhood {
        std::vector<LayerIIIFrame> frames;
        std::vector<uint64_t> starts;
        size_t at = 0;
    };

    // Writes the lead-in and the recorded frames before the reader from the frame that holds
    // from (a sample of the decoded stream) on.
    bool WriteLeadIn(COutputFile& out, uint64_t from, PieceFrames& piece);
    // Copies the source's frames from the reader on (recording them) until their samples
    // reach end, or bytes of them are written, or the source ends.
    Outcome CopyFrames(COutputFile& out, Measure measure, uint64_t end, uint64_t bytes, PieceFrames& piece, bool& eof);
    // Takes the frames that follow in step (CMp3Reader::WalkFrames), up to a sum step of the
    // music CRC, as that loop would one by one; sum and any are its. False when none follow
    // so (the loop then reads one). The output may have failed (out.Failed()).
    bool CopyRun(COutputFile& out, Measure measure, uint64_t end, uint64_t bytes, PieceFrames& piece, uint64_t& sum,
                 bool& any);
    bool WriteFrame(COutputFile& out, const uint8_t* frame, size_t length, PieceFrames& piece);
    // Counts a frame about to be written into the piece's figures: its seek table entry, the
    // frame count and the music CRC. mapped: the frame is the source's own bytes in its
    // mapping (CMp3Reader::InMapping), which may join the pending span.
    void Count(const COutputFile& out, const uint8_t* frame, size_t length, PieceFrames& piece,
               bool mapped = false) const;
    // Adds the pending span to the music CRC.
    void SumPending(PieceFrames& piece) const;
    Neighbourhood ReadNeighbourhood() const;
    // Patches the header frame for a piece that ends at sample end, and closes the output.
    Outcome FinishPiece(COutputFile& out, const PieceFrames& piece, uint64_t end, bool eof);
    // The sample of the decoded stream where a gapless decoder stops playing the source,
    // once it ran out: its samples, less the padding a LAME tag gives (529 included).
    uint64_t GaplessEnd() const;

    bool layerIII_ = false;
    std::vector<uint8_t> header_;  // the header frame each piece starts from; empty for none
    uint8_t firstHeader_[4] = {};  // the source's first audio frame's header
    uint64_t smallestFrame_ = 0;   // bytes of the stream's shortest frame
    uint64_t copiedTo_ = 0;        // the end of the last frame written, in samples of the decoded stream
};

}  // namespace corvane
