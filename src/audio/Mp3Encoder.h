// CMp3Encoder: one LAME instance producing constant-bit-rate MP3 data for the caller's output.
//
// Encoder delay and padding. An MP3 encoder cannot start or stop exactly on the samples it is
// given: LAME puts its own start delay (576 samples plus the decoder's 529) of near-silence
// before the first input sample and pads the last frame to a whole frame (1152 samples at
// 32000 Hz and above, 576 below), so a decoded file is longer than its input by up to about
// two frames. Players that trim this exactly learn the amounts from an "Info" frame with
// LAME's extension (the LAME tag): the encoder's first frame is a placeholder for it, and once
// the encoding is finished LameTagFrame() holds the frame to write over that placeholder
// (only the caller, who owns the file, can). No ID3v1 tag is written, so the output is an
// optional ID3v2 tag, the Info frame and the audio frames.
// Pitfall: the delay applies once per encoder. Joining files through one encoder keeps them
// seamless; encoding each file separately and concatenating them puts delay and padding
// between every two.
//
// Output. The encoder owns no file: every byte it produces (the tag, the frames, the frames
// LAME holds back until Finish) is handed in order to the sink given to Open, which writes it
// where the caller wants (the joiner and the re-encoding cutter: a COutputFile, which deletes
// an unfinished file). The first refusal of the sink is remembered: WriteFailed() turns true
// and nothing more is handed over, which tells a write failure apart from an encoder failure.
// LAME's own reports (errorf, debugf, msgf) are silenced; failures come back as results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct lame_global_struct;

namespace corvane {

// The message for encoding parameters LAME refuses or would change: "Bad encoding parameter:
// <rate>Hz, <kbps>kbps, <mode>", with the values as the caller asked for them.
std::string BadEncodingParameterText(int sampleRate, int kbps, int channelMode);

class CMp3Encoder {
public:
    // Bytes of encoded output one LAME call may produce; the output buffer has this size.
    static constexpr int kOutputBufferSize = 147456;  // 0x24000

    // Receives the encoded bytes, in order. Returns false when it could not keep them (a
    // failed write); the encoder then hands it nothing more.
    using Sink = std::function<bool(const uint8_t* data, size_t count)>;

    // What Start accepts of what LAME made of the parameters.
    enum class ParameterCheck {
        Exact,        // the bit rate and output rate set must be the ones LAME encodes at
        AcceptMoved,  // LAME may move them to values it can encode (the source's own ones)
    };

    CMp3Encoder();
    // Releases LAME without Finish: what it still holds is not handed to the sink.
    virtual ~CMp3Encoder();
    CMp3Encoder(const CMp3Encoder&) = delete;
    CMp3Encoder& operator=(const CMp3Encoder&) = delete;

    // Finishes any earlier encoding first (as Finish), then creates a LAME encoder whose
    // output goes to sink. False, with nothing open, when no encoder can be created.
    bool Open(Sink sink);

    // Keeps its own copy of length tag bytes (an ID3v2 tag) that Start hands to the sink
    // before the audio. A length of 0 (or null bytes) means no tag. Call between Open (which
    // drops any earlier copy) and Start.
    void SetTag(const uint8_t* bytes, size_t length);

    // Configuration between Open and Start, one LAME setting each, in the order called; each
    // does nothing without an open encoder.
    // Channels of the PCM given to Encode, clamped to 1..2.
    void SetChannels(int channels);
    // Rate of the PCM given to Encode, in Hz.
    void SetInSampleRate(int hz);
    // Output bit rate in kbps, as given.
    void SetBitrate(int kbps);
    // Output sample rate in Hz.
    void SetOutSampleRate(int hz);
    // MPEG channel mode of the output as coded in the frame header (0 stereo, 1 joint
    // stereo, 2 dual channel, 3 mono); any other value is not passed on and LAME chooses.
    void SetMode(int mode);
    // Off: every frame's main data lies in the frame itself (main_data_begin 0), so any frame
    // decodes without the frames before it. On unless set.
    void SetBitReservoir(bool on);
    // Off: every granule is one long transform block. On unless set.
    void SetShortBlocks(bool on);

    // Switches the VBR tag and VBR off, initialises LAME with the parameters set, then hands
    // the tag bytes, if any, to the sink as they are. False when LAME rejects the parameters:
    // lame_init_params fails, or, with ParameterCheck::Exact, LAME would encode at a bit rate
    // or output rate other than the one set (it silently moves, for example, 320 kbps at
    // 8000 Hz to 64 kbps, and replaces an output rate that is no MPEG rate with one of its
    // choice). False with WriteFailed() when the sink refuses the tag.
    bool Start(ParameterCheck check = ParameterCheck::Exact);

    // Encodes samples samples per channel of signed 16-bit PCM (left, and right for two
    // channels; right may be null for one channel) and hands what LAME returns to the sink.
    // Returns the number of audio bytes handed over, the tag frame's placeholder not counted
    // (0 while LAME gathers a frame), or -1 when LAME
    // reports an error, when called before a successful Start, or when the sink refused the
    // bytes (WriteFailed() then true; after that every Encode returns -1).
    int Encode(const int16_t* left, const int16_t* right, int samples);

    // Hands LAME's last frames to the sink (only after a successful Start and while the sink
    // has refused nothing), then releases LAME and the tag copy. Returns false when the sink
    // refused any bytes since Open, the last frames included (the answer stays the same for
    // further calls until the next Open); true otherwise.
    bool Finish();

    // Samples of near-silence LAME puts before the first input sample (a decoder's own 529
    // come on top); 0 without an open encoder.
    int EncoderDelay() const;

    // True once the sink refused bytes. Reset by Open.
    bool WriteFailed() const { return writeFailed_; }

    // After a Finish that returned true: the Info frame with LAME's tag (delay, padding, music
    // length and CRCs of this encoding) to write over the first frame after the ID3v2 tag;
    // empty when LAME gave none. Reset by Open.
    const std::vector<uint8_t>& LameTagFrame() const { return lameTag_; }

private:
    bool Hand(const void* data, size_t length);
    void Release();

    Sink sink_;
    lame_global_struct* encoder_ = nullptr;
    std::vector<unsigned char> buffer_;  // kOutputBufferSize bytes, reused for every call
    std::vector<uint8_t> tag_;           // owned copy of the tag bytes; empty = none
    std::vector<uint8_t> lameTag_;       // LameTagFrame()
    bool placeholderPending_ = false;    // the tag frame's placeholder is yet to come
    int askedKbps_ = 0;     // bit rate given to SetBitrate; 0 = none
    int askedOutRate_ = 0;  // rate given to SetOutSampleRate; 0 = none
    bool started_ = false;
    bool writeFailed_ = false;
};

}  // namespace corvane
