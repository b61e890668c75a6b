// MPEG audio frame headers (Layers I-III, MPEG 1, 2 and 2.5): recognition and decoding.
//
// A frame starts with a four-byte header: eleven sync bits, version, layer, bit-rate index,
// sample-rate index, padding, channel mode and emphasis. The frame's length follows from the
// header alone, except for free-format streams (bit-rate index 0), which this code refuses:
// their length can only be learnt by searching for the next header.
//
// Pitfall: four bytes that pass IsFrameHeader are not proof of MPEG audio. Any byte stream
// contains 0xFF 0xFx now and then. A probe that must tell MPEG audio from other data asks for
// several consecutive headers that agree (see CountAgreeingFrames), and a reader that lands
// at an arbitrary offset takes a header only when the next frame's header agrees with it.
//
// VBR header frames: encoders write a first frame that holds no audio but a header with the
// stream's counts: "Xing" (LAME and others: a variable bit rate), "Info" (the same layout,
// written by LAME and ffmpeg for a constant bit rate) or Fraunhofer's "VBRI". Their counts
// describe the stream as it was written; a file cut short later still carries them, so a
// count is believed only where the file can hold what it counts (VbrHeaderFitsFile).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace corvane {

struct MpegFrameHeader {
    int version = 0;          // header bits: 0 MPEG 2.5, 2 MPEG 2, 3 MPEG 1
    int layerIndex = 0;       // 0 Layer I, 1 Layer II, 2 Layer III
    int lsf = 0;              // 1 for MPEG 2 and 2.5
    int sampleRate = 0;       // Hz
    int kbps = 0;
    int padding = 0;
    int channelMode = 0;      // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    int samplesPerFrame = 0;
    int frameLength = 0;      // bytes, header included
    int sideInfoLength = 0;   // bytes after the header where a VBR header's tag would stand
};

// True when the four bytes at p can start a frame: sync, a known version and layer, a
// bit-rate index of 1..14, a sample-rate index of 0..2 and an emphasis other than 2.
bool IsFrameHeader(const uint8_t* p);

// Decodes the header at p; p must pass IsFrameHeader.
MpegFrameHeader DecodeFrameHeader(const uint8_t* p);

// True when two headers belong to one stream: same version, layer, sample rate and channel
// count (mono or two channels). Bit rate, padding and stereo coding may change per frame.
// Asked of every frame a scan or a copy meets, so it is inline.
inline bool FramesAgree(const MpegFrameHeader& a, const MpegFrameHeader& b) {
    return a.version == b.version && a.layerIndex == b.layerIndex && a.sampleRate == b.sampleRate &&
           (a.channelMode == 3) == (b.channelMode == 3);
}

// Length in bytes of the shortest frame of h's version, layer and sample rate: the lowest
// bit rate, unpadded.
int SmallestFrameLength(const MpegFrameHeader& h);

// Offset of the VBR header's tag letters ("Xing", "Info") in a frame with this header.
inline int VbrTagOffset(const MpegFrameHeader& h) { return 4 + h.sideInfoLength; }

// True when the frame at frame (length bytes, header included) carries a "Xing" or "Info"
// VBR header at its side-information offset. Never reads past length.
bool IsXingFrame(const uint8_t* frame, size_t length, const MpegFrameHeader& h);

// True when the frame carries a Fraunhofer "VBRI" header (32 bytes after the header).
bool IsVbriFrame(const uint8_t* frame, size_t length);

// Which VBR header frame a frame is.
enum class VbrHeaderKind { kNone, kXing, kInfo, kVbri };

// What a VBR header frame says of its stream.
struct VbrHeader {
    VbrHeaderKind kind = VbrHeaderKind::kNone;
    uint32_t frames = 0;  // audio frames counted (the header frame not among them); 0 when not given
    uint32_t bytes = 0;   // bytes of the stream, the header frame included; 0 when not given
    // The encoder delay and padding of a LAME tag after the Xing fields, when its version text
    // starts with "LAME", "Lavf" or "Lavc" (the encoders whose figures gapless decoders trust).
    bool hasDelays = false;
    int delay = 0;
    int padding = 0;
};

// Reads the VBR header of the frame at frame (length bytes, header included): a "Xing" or
// "Info" header at the side-information offset (flags word, then the frame count when flag
// bit 0 is set and the byte count when bit 1 is set), or a "VBRI" header 32 bytes after the
// frame header, and the delays of a LAME tag after the Xing fields (the ones the flags word
// announces: frame count, byte count, 100-byte seek table, quality; then 9 bytes of version
// text, 11 more, and the delay and padding as two 12-bit numbers). kind is kNone for any
// other frame. Never reads past length; a count that would lie past it is left at 0.
VbrHeader ReadVbrHeader(const uint8_t* frame, size_t length, const MpegFrameHeader& h);

// True when a file of fileSize bytes can hold what header counts: its byte count, from the
// header frame at firstFrame, ends inside the file, and its frames, each at least as long as
// the shortest frame of audioFrame's format (for an "Info" header, of audioFrame's own bit
// rate, unpadded), fit between audioStart and the end of the file. A file cut short (a
// partial download) fails this test and is measured by its frames instead.
bool VbrHeaderFitsFile(const VbrHeader& header, const MpegFrameHeader& audioFrame, uint64_t firstFrame,
                       uint64_t audioStart, uint64_t fileSize);

// Counts the frames that follow one another from offset 0 of data, each header agreeing
// with the first one (FramesAgree), up to maxFrames. A frame that would
// run past size counts only when it ends exactly at size.
int CountAgreeingFrames(const uint8_t* data, size_t size, int maxFrames);

// The bit rate in kbps that the header bytes p code, from the version, layer and bit-rate
// index alone; 0 for the free format. The version and layer must not be the reserved values
// and the index not 15.
int FrameHeaderKbps(const uint8_t* p);

// Bytes of the tags that end a file: an ID3v1 tag ("TAG", 128 bytes) and an APE tag (its
// 32-byte "APETAGEX" footer, the items, and its header when the footer's flags announce one)
// before it or alone. tail holds the file's last length bytes (at least 160 are needed to see
// both footers); fileSize is the whole file's size, which the result never exceeds.
uint64_t TrailingTagSize(const uint8_t* tail, size_t length, uint64_t fileSize);

// Size of an ID3v2 tag at p (header, body and a footer when its flag is set), or 0 when p
// does not start a well-formed ID3v2 header. size is the bytes available at p (at least 10
// are read).
uint64_t Id3v2TagSize(const uint8_t* p, size_t size);

// IsFrameHeader and DecodeFrameHeader for a scan that meets one header after another: the
// decoded headers of the last two header words met are kept. A stream's frames mostly repeat
// one or two headers (a constant bit rate, padded or not), and decoding each anew (table
// look-ups and a division) costs more than comparing four bytes. A pure cache: it is never
// out of date, whichever bytes it is given.
class CMpegHeaderMemo {
public:
    // True when the four bytes at p pass IsFrameHeader; then *h is DecodeFrameHeader(p).
    bool Decode(const uint8_t* p, MpegFrameHeader* h) {
        uint32_t word;
        std::memcpy(&word, p, sizeof word);
        for (int i = 0; i < 2; ++i) {
            if (word == words_[i]) {
                *h = headers_[i];
                return true;
            }
        }
        if (!IsFrameHeader(p)) return false;
        *h = DecodeFrameHeader(p);
        words_[1] = words_[0];
        headers_[1] = headers_[0];
        words_[0] = word;
        headers_[0] = *h;
        return true;
    }

private:
    uint32_t words_[2] = {0, 0};  // no header is four zero bytes
    MpegFrameHeader headers_[2];
};

}  // namespace corvane
