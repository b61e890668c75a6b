// The frames a frame copy writes besides the source's own: the header frame that tells a
// gapless decoder what to play, and the silent frame that carries a bit reservoir.
//
// The header frame. Its first frame tells a player the file's length ("Xing" for frames of
// varying bit rate, "Info" for one bit rate: frame and byte counts, a 100-entry seek table),
// and its LAME tag tells a gapless decoder how many samples to drop at the start (the encoder
// delay; the decoder's own 529 samples come on top) and at the end (the padding, less those
// 529). Each written file gets its own: the source's copied and patched when it has a LAME
// tag, else one made here with "LAME" as the tag's version text, the marker decoders look for
// before they trust the figures.
//
// The carrier frame. A Layer III frame's main data may begin in the data areas of the frames
// before it (the bit reservoir: main_data_begin bytes back, at most 511 in MPEG-1, 255 in
// MPEG-2 and 2.5). A file that starts in the middle of a stream must hand the decoder those
// bytes first: a frame whose granules hold no data (it decodes to silence) and whose data
// area ends with them does that in one frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

// A Layer III frame as read from a file, with where its main data begins.
struct LayerIIIFrame {
    uint64_t offset = 0;     // in the file it was read from
    std::vector<uint8_t> bytes;
    int samples = 0;
    size_t dataStart = 0;    // where the main data area begins (after header, CRC, side info)
    int reservoir = 0;       // main_data_begin: how far its main data reaches into the frames before
    size_t DataBytes() const { return bytes.size() - dataStart; }
};

// The Layer III frames of buffer (read at offset) one after another from its start, as far as
// whole frames go.
std::vector<LayerIIIFrame> ParseLayerIIIFrames(const std::vector<uint8_t>& buffer, uint64_t offset);

// The block types of a Layer III frame's granules, channel by channel, granule after granule
// (0 long, 1 start, 2 short, 3 stop). A granule's transform overlaps the next one's, and
// their windows must meet: a long second half (types 0 and 3) before a long first half
// (types 0 and 1).
std::vector<int> GranuleBlockTypes(const LayerIIIFrame& frame);

// The reservoir bytes frames[first ..] reach back for before frames[first]'s data, counting
// every frame whose reservoir can still reach there.
size_t ReservoirNeed(const std::vector<LayerIIIFrame>& frames, size_t first);

// The last count bytes of the data areas of frames[0 .. before), oldest first (fewer when
// they hold fewer).
std::vector<uint8_t> ReservoirBefore(const std::vector<LayerIIIFrame>& frames, size_t before, size_t count);

// A frame that decodes to silence and ends its data area with reservoir: like's version,
// sample rate and channel mode, the lowest bit rate that holds the bytes, no CRC. Empty when
// no bit rate does.
std::vector<uint8_t> CarrierFrame(const uint8_t* like, const std::vector<uint8_t>& reservoir);

// frame (Layer III, no CRC) in the smallest frame of its kind whose data area holds its own
// data and then ends with reservoir, the bytes between zero (a decoder skips them as
// ancillary data). Empty when no bit rate holds both.
std::vector<uint8_t> FrameEndingWith(const std::vector<uint8_t>& frame, const std::vector<uint8_t>& reservoir);

// The header frame made for audio whose source has no LAME tag: like's version, sample rate
// and channel mode, the lowest bit rate that holds the Xing fields and the LAME tag; "Xing"
// when vbr, else "Info"; counts, seek table and delays zero until FinishHeaderFrame.
std::vector<uint8_t> MakeHeaderFrame(const uint8_t* like, bool vbr);

// Where each frame of a written file begins, for its seek table: one offset kept of every
// stride frames, the stride doubling as the file grows, so a ten-hour file keeps as few as a
// song.
class CSeekTable {
public:
    CSeekTable() { kept_.reserve(kMostKept); }  // room for every offset it keeps at once
    // The frame that begins at offset (from the header frame's first byte), in order. Runs
    // for every frame a copy writes: stride_ is a power of two, so a mask tells the kept ones.
    void Add(uint64_t offset) {
        if ((frames_ & (stride_ - 1)) == 0) {
            if (kept_.size() < kMostKept) {
                kept_.push_back(offset);
            } else {
                Keep(offset);
            }
        }
        ++frames_;
    }
    uint32_t Frames() const { return frames_; }
    // The 100 entries of a file of bytes from the header frame's first byte, the first frame
    // added being the first after the header frame: entry i is where the frame at i percent
    // of the frames ends, in 256ths of the audio frames' bytes.
    std::vector<uint8_t> Entries(uint64_t bytes) const;

private:
    void Keep(uint64_t offset);  // Add's offset when the table is full: the stride doubles first
    static constexpr size_t kMostKept = 4096;
    std::vector<uint64_t> kept_;
    uint32_t stride_ = 1;
    uint32_t frames_ = 0;
};

// What a written file's header frame says about it.
struct HeaderFigures {
    uint32_t frames = 0;   // audio frames after the header frame
    uint32_t bytes = 0;    // from the header frame's first byte to the last frame's end
    int delay = 0;         // samples a gapless decoder drops at the start, its own 529 apart
    int padding = 0;       // and at the end, 529 included
    uint16_t musicCrc = 0; // LameCrc16 of the audio frames after the header frame
    std::vector<uint8_t> seekTable;  // 100 entries, or empty to leave the table as it is
};

// Writes figures into frame (a header frame: the source's copy or MakeHeaderFrame's), its
// LAME tag when it has one, and makes the tag's CRC match.
void FinishHeaderFrame(std::vector<uint8_t>& frame, const HeaderFigures& figures);

}  // namespace corvane
