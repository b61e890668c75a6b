// CMp3Encoder: one output file and one LAME instance producing constant-bit-rate MP3 data.
//
// Encoder delay and padding. An MP3 encoder cannot start or stop exactly on the samples it is
// given: LAME puts its own start delay (576 samples plus the decoder's 529) of near-silence
// before the first input sample and pads the last frame to a whole frame (1152 samples at
// 32000 Hz and above, 576 below), so a decoded file is longer than its input by up to about
// two frames. Players that trim this exactly learn the amounts from a "Xing"/"Info" frame
// with LAME's extension; this encoder writes no such frame (the VBR tag is switched off), and
// no ID3v1 tag either, so the output is an optional ID3v2 tag followed by plain frames.
// Pitfall: the delay applies once per encoder. Joining files through one encoder keeps them
// seamless; encoding each file separately and concatenating them puts delay and padding
// between every two.
//
// Writes go through a buffered stream, so a failing disk may show up at a later Encode or
// only in Close; every call reports it, and WriteFailed() tells a write failure apart from an
// encoder failure.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct lame_global_struct;

namespace corvane {

class CMp3Encoder {
public:
    // Bytes of encoded output one LAME call may produce; the output buffer has this size.
    static constexpr int kOutputBufferSize = 147456;  // 0x24000

    CMp3Encoder();
    // Calls Close.
    virtual ~CMp3Encoder();
    CMp3Encoder(const CMp3Encoder&) = delete;
    CMp3Encoder& operator=(const CMp3Encoder&) = delete;

    // Closes any open output first (flushing what was encoded; a caller that must know
    // whether that output was written completely calls Close itself before), creates a LAME
    // encoder and creates or truncates the file at path for binary writing. False, with
    // nothing open and no file created, when no encoder can be created or the file cannot be
    // opened.
    bool Open(const std::string& path);

    // Keeps its own copy of length tag bytes (an ID3v2 tag) that Start writes before the
    // audio. A length of 0 (or null bytes) means no tag. Call between Open (which drops any
    // earlier copy) and Start.
    void SetTag(const uint8_t* bytes, size_t length);

    // Configuration between Open and Start; each does nothing without an open encoder.
    // Channels of the PCM given to Encode, clamped to 1..2.
    void SetChannels(int channels);
    // Rate of the PCM given to Encode, in Hz.
    void SetInSampleRate(int hz);
    // Output bit rate in kbps, clamped to 8..320.
    void SetBitrate(int kbps);
    // Output sample rate in Hz.
    void SetOutSampleRate(int hz);
    // MPEG channel mode of the output: 0 stereo, 1 joint stereo and 3 mono pass; any other
    // value becomes 0.
    void SetMode(int mode);

    // Switches the VBR tag and VBR off, initialises LAME with the parameters set, then writes
    // the tag bytes, if any, as they are. False when LAME rejects the parameters: either
    // lame_init_params fails or LAME would encode at a bit rate or output rate other than the
    // one set (it silently moves, for example, 320 kbps at 8000 Hz to 64 kbps, and replaces
    // an output rate that is no MPEG rate with one of its choice); the caller
    // then closes the encoder and deletes the file. False with WriteFailed() when the tag
    // cannot be written.
    bool Start();

    // Encodes samples samples per channel of signed 16-bit PCM (left, and right for two
    // channels; right may be null for one channel) and writes what LAME returns. True when
    // everything LAME returned was written; false when LAME reports an error, when called
    // before a successful Start, or when a write failed (WriteFailed() then true; after that
    // every Encode is false and nothing more is written).
    bool Encode(const int16_t* left, const int16_t* right, int samples);

    // If a file is open: flushes LAME's last frames into the file (only after a successful
    // Start), closes the file, drops the tag copy and the encoder. Returns false when a
    // write to the last opened output failed, the flush and the final close included (the
    // answer stays the same for further calls until the next Open); true otherwise.
    bool Close();

    // True once a write to the current output failed (disk full, device gone). Reset by Open.
    bool WriteFailed() const { return writeFailed_; }

    // The path given to the last Open.
    const std::string& Path() const { return path_; }

private:
    bool WriteBytes(const void* data, size_t length);

    std::string path_;
    std::FILE* file_ = nullptr;
    lame_global_struct* encoder_ = nullptr;
    std::vector<unsigned char> buffer_;  // kOutputBufferSize bytes, reused for every call
    std::vector<uint8_t> tag_;           // owned copy of the tag bytes; empty = none
    int askedKbps_ = 0;     // bit rate given to SetBitrate after clamping; 0 = none
    int askedOutRate_ = 0;  // rate given to SetOutSampleRate; 0 = none
    bool started_ = false;
    bool writeFailed_ = false;
};

}  // namespace corvane
