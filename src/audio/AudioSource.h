// CAudioSource and CLibraryAudioSource: decoded PCM of any file the audio library reads.
//
// A decoded audio source opens one file through the audio library layer (AudioLibrary.h) and
// hands out its PCM block by block, split into a left and a right array, together with the
// facts the joiners and the file lists need: length, sample rate, channel count, sample
// width, average bit rate and, for files named ".mp3", the bit rate and channel mode of the
// first MPEG frame.
//
// Blocks. Every Read asks the library for bytesPerSample × outputChannels × 1152 bytes, so a
// mono or stereo source gives at most 1152 sample frames per block and a source with more
// channels proportionally fewer (six channels: 4608 bytes ÷ 12 = 384 frames). Only channels
// 0 and 1 are delivered; further channels are dropped, not mixed in.
//
// Samples are the library's own: signed 16-bit in native byte order, or unsigned 8-bit when
// the library reports 8-bit data (GetBitsPerSample() == 8; the bytes are then packed in the
// caller's arrays, 1152 bytes at most, and CPcmConverter reads them with inBits = 8).
//
// Average bit rate. GetBitrate() is the whole file, tags included, over its playing time,
// rounded to the nearest kbps. Where the size or the duration is unknown (module music, a
// file of zero decoded length) it is the PCM rate: bits × rate × channels ÷ 1000.
//
// Pitfall: the first-frame facts come from the four bytes at the layer's audio start, and
// they are read only for a path whose last four characters are ".mp3" (any case). An MPEG
// file with another name, or a first frame in free format, reports channel mode 4 and frame
// bit rate 0; that is "unknown", not an error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/AudioLibrary.h"
#include "audio/EncodingParams.h"

namespace corvane {

// PCM sample frames per Read for mono and stereo sources; each of the caller's arrays must
// hold this many int16_t samples.
constexpr int32_t kAudioBlockFrames = 1152;

// The facts and operations common to every decoded source. The virtual operations are in
// their fixed slot order; the first three are abstract. One object may be reused for file
// after file: Open, Read until it returns 0, Close.
class CAudioSource {
public:
    CAudioSource() = default;
    CAudioSource(const CAudioSource&) = delete;
    CAudioSource& operator=(const CAudioSource&) = delete;

    // Slot 0. Releases the open file, if any; safe when nothing is open.
    virtual void Close() = 0;
    // Slot 1. Opens path (UTF-8) and fills the facts; an open source is closed first.
    // frequency is passed only to the module-music loader (0: 44100 Hz). True when
    // the file is open and described; false, with the source closed and every fact zero,
    // when the library reads neither a stream nor module music from it, when its sample rate
    // cannot be converted to any rate of kSampleRates (CPcmConverter::Convertible: below
    // 84 Hz or above 4608000 Hz), and at once, without waiting, when path is no regular file
    // (a named pipe, a device, a directory, a socket). The caller words the message
    // ("Failed to open file \"%s\".").
    virtual bool Open(const std::string& path, int32_t frequency) = 0;
    // Slot 2. Decodes the next block into left and (for two or more channels) right, each an
    // array of at least kAudioBlockFrames samples owned by the caller. Returns the sample
    // frames delivered per channel; 0 at the end of the data, on a library error or when
    // nothing is open. A mono source never writes right (it may be null for one); a source
    // of two or more channels needs both arrays (0 when right is null).
    virtual int32_t Read(int16_t* left, int16_t* right) = 0;
    // Slot 3. Decoded length in PCM bytes, in the source's own channel count and width.
    virtual uint64_t GetLengthBytes() const;
    // Slot 4. PCM bytes decoded so far (same units as GetLengthBytes), for progress.
    virtual uint64_t GetPosition() const;
    // Slot 5. Whole seconds of audio, truncated.
    virtual int32_t GetLengthSeconds() const;
    // Slot 6. Channel count of the source.
    virtual int32_t GetChannels() const;
    // Slot 7. Channels delivered by Read: 1 when the source has fewer than 2, else 2.
    virtual int32_t GetOutputChannels() const;
    // Slot 8. Sample rate in Hz.
    virtual int32_t GetSampleRate() const;
    // Slot 9. 8 or 16.
    virtual int32_t GetBitsPerSample() const;
    // Slot 10. MPEG channel mode of the first frame (0 stereo, 1 joint stereo, 2 dual
    // channel, 3 mono); 4 when unknown. The base class always answers 4.
    virtual int32_t GetChannelMode() const;
    // Slot 11. Average bit rate in kbps (see the overview).
    virtual int32_t GetBitrate() const;
    // Slot 12. Bit rate of the first MPEG frame in kbps; 0 when unknown (always 0 here).
    virtual int32_t GetFrameBitrate() const;
    // Slots 13 to 15 are reserved: they report nothing and return 0 (slot 14 also stores 0
    // through out when it is not null).
    virtual int32_t ReservedSlot13();
    virtual int32_t ReservedSlot14(int32_t* out);
    virtual int32_t ReservedSlot15(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                   int32_t);
    // Slot 16.
    virtual ~CAudioSource() = default;

protected:
    // The common facts of an open source, all zero while nothing is open.
    struct Facts {
        uint64_t lengthBytes = 0;
        uint64_t position = 0;  // only the base GetPosition reads it; never advanced (0)
        int32_t lengthSeconds = 0;
        int32_t sampleRate = 0;
        int32_t channels = 0;
        int32_t outputChannels = 0;
        int32_t bitsPerSample = 0;
        int32_t bytesPerSample = 0;
        int32_t bitrate = 0;
    };

    // Sets the common facts to zero.
    void ResetFacts() { facts_ = Facts{}; }

    Facts facts_;
};

// A decoded source read through the audio library layer: a decode-only stream, or, when no
// stream decoder accepts the file, module music through the module loader. Owns its library
// handle and its block buffer; Close and the destructor release both. Not thread-safe: one
// object is used by one thread at a time.
class CLibraryAudioSource : public CAudioSource {
public:
    CLibraryAudioSource() = default;
    ~CLibraryAudioSource() override;  // calls Close

    void Close() override;
    bool Open(const std::string& path, int32_t frequency) override;
    int32_t Read(int16_t* left, int16_t* right) override;
    // Asks the library for the decoding position; 0 when nothing is open.
    uint64_t GetPosition() const override;
    int32_t GetChannelMode() const override { return channelMode_; }
    int32_t GetFrameBitrate() const override { return frameBitrate_; }

    // True when the open file came from the module loader rather than a stream.
    bool IsModule() const { return isModule_; }

    // Parses a first MPEG frame header (four bytes) for its bit rate and channel mode. On
    // success sets frameBitrate (kbps) and channelMode and returns true. Fails, leaving both
    // untouched, without sync (0xFF and the top three bits of the second byte), with a
    // reserved version or layer, or with bit-rate index 15. A free-format frame (index 0)
    // stores frameBitrate 0 and fails, so channelMode stays as it was. The sample-rate bits
    // are not examined.
    static bool ParseFirstFrameHeader(const uint8_t header[4], int32_t& frameBitrate,
                                      int32_t& channelMode);

private:
    void ReadFirstFrame(const std::string& path);

    bool isModule_ = false;
    audio::Handle handle_ = 0;           // 0 when nothing is open
    std::vector<uint8_t> block_;         // interleaved data of multi-channel sources
    int32_t blockSize_ = 0;              // bytes asked of the library per Read
    int32_t channelMode_ = kChannelModeNone;  // first frame's channel mode
    int32_t frameBitrate_ = 0;           // first frame's kbps; 0 = unknown
};

}  // namespace corvane
