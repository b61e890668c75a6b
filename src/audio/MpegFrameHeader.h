// MPEG audio frame headers (Layers I-III, MPEG 1, 2 and 2.5): recognition and decoding.
//
// A frame starts with a four-byte header: eleven sync bits, version, layer, bit-rate index,
// sample-rate index, padding, channel mode and emphasis. The frame's length follows from the
// header alone, except for free-format streams (bit-rate index 0), which this code refuses:
// their length can only be learnt by searching for the next header.
//
// Pitfall: four bytes that pass IsFrameHeader are not proof of MPEG audio. Any byte stream
// contains 0xFF 0xFx now and then. A probe that must tell MPEG audio from other data asks for
// several consecutive headers that agree (see CountAgreeingFrames).
#pragma once

#include <cstddef>
#include <cstdint>

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

// Offset of the VBR header's tag letters ("Xing", "Info") in a frame with this header.
inline int VbrTagOffset(const MpegFrameHeader& h) { return 4 + h.sideInfoLength; }

// True when the frame at frame (length bytes, header included) carries a "Xing" or "Info"
// VBR header at its side-information offset. Never reads past length.
bool IsXingFrame(const uint8_t* frame, size_t length, const MpegFrameHeader& h);

// True when the frame carries a Fraunhofer "VBRI" header (32 bytes after the header).
bool IsVbriFrame(const uint8_t* frame, size_t length);

// Counts the frames that follow one another from offset 0 of data, each header agreeing
// with the first one's version, layer and sample rate, up to maxFrames. A frame that would
// run past size counts only when it ends exactly at size.
int CountAgreeingFrames(const uint8_t* data, size_t size, int maxFrames);

// The bit rate in kbps that the header bytes p code, from the version, layer and bit-rate
// index alone; 0 for the free format. The version and layer must not be the reserved values
// and the index not 15.
int FrameHeaderKbps(const uint8_t* p);

// Size of an ID3v2 tag at p (header, body and a footer when its flag is set), or 0 when p
// does not start a well-formed ID3v2 header. size is the bytes available at p (at least 10
// are read).
uint64_t Id3v2TagSize(const uint8_t* p, size_t size);

}  // namespace corvane
