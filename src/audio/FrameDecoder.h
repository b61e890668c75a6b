// CFrameDecoder: the re-encoding cutter's MP3 decoder, fed one whole frame at a time.
//
// libmpg123 decodes each frame as soon as it is fed (its read-ahead is off, since the frames
// come whole). The decoder hands out the samples of the frame fed before the current one, so
// that the first call after Open gives none, and Flush gives the last frame's. After a jump
// into a Layer III stream, a first frame whose main data begins in the frames before it (its
// bit reservoir) cannot be decoded: it gives no samples either. The second frame decodes, but
// to noise where its reservoir or the overlap of its transform reaches back past the jump; the
// caller drops that output itself.
//
// A VBR header frame ("Xing", "Info") fed first is taken as what it is and gives no samples.
//
// Every instance is independent: instances on different threads need no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct mpg123_handle_struct;

namespace corvane::audio {

class CFrameDecoder {
public:
    // Samples per channel one call may deliver; left and right must hold this many.
    static constexpr int kMaxSamples = 4608;

    CFrameDecoder() = default;
    ~CFrameDecoder();
    CFrameDecoder(const CFrameDecoder&) = delete;
    CFrameDecoder& operator=(const CFrameDecoder&) = delete;

    // Makes a new decoder (dropping any earlier one and what it held); false when libmpg123
    // cannot.
    bool Open();

    // Feeds one whole frame, header included, and delivers the samples of the frame fed
    // before it: the count per channel, 0 when there are none. A mono frame fills left only.
    int Decode(const uint8_t* frame, size_t length, int16_t* left, int16_t* right);

    // Delivers the samples of the last frame fed (the count per channel, 0 when none).
    int Flush(int16_t* left, int16_t* right);

    // Drops the decoder and what it held; Decode then delivers nothing until Open.
    void Close();

private:
    // Decodes the frame into held_ (nothing held when it gives no samples).
    void DecodeIntoHeld(const uint8_t* frame, size_t length);
    // Moves the held samples into left and right; returns their count per channel.
    int DeliverHeld(int16_t* left, int16_t* right);

    mpg123_handle_struct* handle_ = nullptr;
    bool decodedAny_ = false;     // libmpg123 has given samples since Open
    std::vector<int16_t> held_;   // interleaved samples of the last frame fed
    int heldChannels_ = 0;
    int channels_ = 0;            // of libmpg123's current output format
};

}  // namespace corvane::audio
