// CMp3Reader: reads one MP3 file frame by frame.
//
// An MP3 file is an optional ID3v2 tag, then MPEG audio frames, each a four-byte header and
// its data, with nothing required between them; an ID3v1 tag, an APE tag or other bytes may
// follow. The reader finds frames with a one-byte sliding search for a valid header, so
// garbage between frames is passed over.
//
// The stream. The first audio frame fixes the stream's version, layer, sample rate and
// channel count; a frame whose header disagrees with them (FramesAgree) is no frame of this
// stream and is passed over like garbage, so it never reaches a piece or a decoder that has
// locked onto the stream's format. A header found right where the previous frame handed out
// ended is taken at once; one found anywhere else (after garbage, or after SeekTo or
// CopyRange moved the position) is taken only when the header after its frame agrees too, or
// when its frame ends the audio: inside a damaged frame, four bytes that look like a header
// are no proof of one.
//
// The audio's facts. The bit rate is that of the audio alone, never of tags: for a file whose
// frames all share one bit rate (an "Info" header says so, or a scan of its frames finds it)
// that bit rate, else the average over the audio frames' bytes. The length is the audio
// library's: the VBR header's frame count when the file can hold what it counts, else the
// frames found by a scan; a file cut short after it was written (a partial download) is
// therefore measured by the frames it still has, and truncated() tells so.
//
// End and failure. ReadFrame gives nothing both at the end of the data and when a read
// fails; ReadFailed() tells the two apart. A file that gets shorter while it is read is a
// failed read too: its data is lost, not ended.
//
// The VBR header frame: encoders such as LAME write a first frame that holds no audio but a
// "Xing" (VBR) or "Info" (CBR) header: frame and byte counts and a seek table, read by
// players to learn the length. The reader keeps a copy of it, so that each piece cut from
// the file can carry its own copy with the counts patched to describe that piece
// (PatchVbrHeader). The audio start reported by the audio library lies after that frame, so
// it is never copied a second time as audio.
//
// Encoder delay and padding: LAME (and ffmpeg, which writes LAME's layout) appends a 36-byte
// "LAME tag" to the Xing fields of that frame. Among other things it holds the samples the
// encoder put before the audio (its delay) and after it (padding, to fill the last frame).
// A gapless decoder drops both, so it plays decoded samples - delay - padding
// (ReadLameDelays, gaplessSamples).
//
// Reads go through a private buffer: no system call per frame or per byte of the search.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/EncodingParams.h"
#include "audio/MappedFile.h"
#include "audio/MpegFrameHeader.h"
#include "engine/mp3/OutputFile.h"

struct stat;

namespace corvane {

// CRC-16 as LAME computes its tag's and the music's (polynomial 0x8005, reflected), carried
// on from crc over length more bytes; 0 starts a new one.
uint16_t LameCrc16(uint16_t crc, const uint8_t* data, size_t length);

class CMp3Reader {
public:
    CMp3Reader();
    ~CMp3Reader();
    CMp3Reader(const CMp3Reader&) = delete;
    CMp3Reader& operator=(const CMp3Reader&) = delete;

    // Closes whatever was open, then opens the MP3 file at path (UTF-8). On true the reader
    // stands at the audio start the audio library reports and the facts below are set. False
    // when the file cannot be read, is no regular file (a named pipe, a device, a directory
    // or a socket is refused at once, never waited on), is empty, is not MPEG audio (the
    // audio library reads it as another format or not at all), has no audio start, or holds
    // no frame there; the reader is then closed. A symbolic link to a regular file is read.
    bool OpenFile(const std::string& path);

    // Reads the next frame of the stream from the current position, searching byte by byte
    // for a header that belongs to it (see the overview). Returns the frame's bytes (valid
    // until the next ReadFrame or CloseFile) and fills the out values, or nullptr at the end
    // of the file, when the last frame is cut short, or on a read error (ReadFailed() then
    // says so). Sets channelMode, sideInfoLength and position; the reader's own sampleRate
    // and bitrate are not touched.
    const uint8_t* ReadFrame(int& sampleRate, int& kbps, int& frameLength, int& samplesPerFrame,
                             uint64_t& frameOffset);

    // The frames ReadFrame would hand out next, taken in one walk while each follows the one
    // before in the mapping: the walk starts only where the last frame handed out ended, and
    // stops where ReadFrame would have to search (garbage, a header of another stream, the
    // end, a source that shrank), or when visit(offset, header), asked before each frame,
    // says no. Leaves the reader as ReadFrame would after the last frame taken; returns how
    // many were taken (none for a file that is not mapped). cachedTo: the caller has just read
    // the bytes before this offset, so the walk asks for no cache lines before it.
    template <typename Visit>
    uint64_t WalkFrames(Visit&& visit, uint64_t cachedTo = 0);
    // True when a walk can start: the file is mapped and the position is where the last frame
    // handed out ended.
    bool CanWalk() const { return mapped_.IsMapped() && Tell() == state_.frameEnd; }

    // True when the last ReadFrame or CopyRange stopped because a read failed or the file had
    // got shorter than it was at OpenFile, not at the end of the data. Each ReadFrame and
    // CopyRange sets it anew.
    bool ReadFailed() const { return state_.readFailed; }

    // Appends the frame ReadFrame just gave (length bytes from offset) to output: gathered
    // with the frames before it into one run, written from the mapping, when the file is
    // mapped (COutputFile::Append); output must then be written out (Flush, Close) before the
    // reader closes. Written as Write would otherwise.
    bool AppendFrame(COutputFile& output, const uint8_t* frame, uint64_t offset, size_t length) const {
        return InMapping(frame, offset) ? output.Append(fd_, offset, frame, length) : output.Write(frame, length);
    }
    // True when frame, which ReadFrame gave for offset, is the file's own bytes in its mapping:
    // then they stay valid, unchanged, until CloseFile (later ReadFrame calls included).
    bool InMapping(const uint8_t* frame, uint64_t offset) const {
        return mapped_.IsMapped() && frame == mapped_.data() + offset;
    }
    // The file's bytes in its mapping; nullptr when it is not mapped.
    const uint8_t* MappedData() const { return mapped_.IsMapped() ? mapped_.data() : nullptr; }
    uint64_t MappedSize() const { return mapped_.IsMapped() ? mapped_.size() : 0; }
    // True when the file got shorter than it was at OpenFile while it was read through its
    // mapping: bytes read since may be zeros, not the file's.
    bool SourceShrank() const { return mapped_.Shrunk(); }

    // Moves the file position and the recorded position to offset.
    void SeekTo(uint64_t offset);

    // Copies count bytes from offset to the output's end. The recorded position becomes
    // offset; reading continues at offset + count. False when a write failed or the file
    // ended before count bytes (ReadFailed() tells a failed read).
    bool CopyRange(COutputFile& output, uint64_t offset, uint64_t count);

    // Writes frames and bytes (big-endian) and, when given, the 100 bytes of seekTable into
    // the fields of a copy of the VBR header frame, as its flags word allows. Fields that
    // would lie past length are left.
    static void PatchVbrHeader(uint8_t* copy, uint32_t length, uint32_t frames, uint32_t bytes,
                               const uint8_t* seekTable = nullptr);

    // Reads the encoder delay and padding (samples per channel) from the LAME tag of a VBR
    // header frame (length bytes, header included). The tag follows the Xing fields the flags
    // word announces (frame count, byte count, 100-byte seek table, quality: 4, 4, 100 and 4
    // bytes); its first 9 bytes are the encoder's version text and bytes 21..23 hold the delay
    // (high 12 bits) and the padding (low 12 bits). True only for a tag whose version text
    // starts with "LAME", "Lavf" or "Lavc", the encoders whose figures gapless decoders
    // honour; delay and padding are left as they were otherwise. Never reads past length.
    static bool ReadLameDelays(const uint8_t* frame, uint32_t length, int& delay, int& padding);
    // Writes delay and padding (each 0..4095), the music length (the bytes from the header
    // frame's first byte to the last frame's end) and the music CRC (LameCrc16 of the audio
    // frames after the header frame) into the LAME tag of a copy of the VBR header frame, and
    // makes its CRC match again. False, with nothing changed, when the copy has no LAME tag
    // ReadLameDelays would read.
    static bool PatchLameTag(uint8_t* copy, uint32_t length, int delay, int padding, uint32_t musicBytes,
                             uint16_t musicCrc);

    // Closes the file and returns every fact to its closed value.
    void CloseFile();

    bool IsOpen() const { return fd_ >= 0; }

    // Facts, valid while open.
    int sampleRate() const { return state_.sampleRate; }
    // kbps of the audio: the one bit rate of every frame, else the average over the audio
    // frames' bytes (see the overview).
    int bitrate() const { return state_.bitrate; }
    // True when the frames do not all share one bit rate: a "Xing" or "VBRI" header says so,
    // or a scan found several.
    bool variableBitrate() const { return state_.variableBitrate; }
    // MPEG audio layer of the stream, 1..3; 0 when closed.
    int layer() const { return state_.streamKnown ? state_.stream.layerIndex + 1 : 0; }
    // The VBR header frame at the audio's start: kNone, kXing, kInfo or kVbri.
    VbrHeaderKind headerFrame() const { return state_.headerFrame; }
    // The audio frames the VBR header counts, and their length in seconds; 0 without a header
    // or a count.
    uint32_t headerFrameCount() const { return state_.headerFrameCount; }
    double headerDuration() const { return state_.headerDuration; }
    // True when the file holds fewer frames than its VBR header counts: it was cut short after
    // it was written, and the length is that of the frames present.
    bool truncated() const { return state_.truncated; }
    // True when the file holds more frames than its VBR header counts (files glued with cat):
    // the length is that of the frames, and the header's delays are not used.
    bool headerUndercounts() const { return state_.headerUndercounts; }
    uint32_t durationSeconds() const { return state_.durationSeconds; }
    // True when the VBR header frame has a LAME tag with the encoder delay and padding below
    // (ReadLameDelays); both are 0 otherwise.
    bool hasEncoderDelays() const { return state_.hasEncoderDelays; }
    // Samples a Layer III decoder outputs before the encoder's first sample: gapless
    // decoders drop them along with the encoder delay, and as many more at the end.
    static constexpr int kDecoderDelay = 529;
    // Reads up to count bytes of the file at offset, apart from the frames read in order;
    // returns the count read.
    size_t ReadBytes(uint64_t offset, uint8_t* buffer, size_t count) const;
    // Samples per frame of the audio, as its first frame gives them.
    int samplesPerFrame() const { return state_.stream.samplesPerFrame; }
    int encoderDelay() const { return state_.encoderDelay; }
    int encoderPadding() const { return state_.encoderPadding; }
    // The samples per channel the audio library decodes: the length durationExact() gives.
    uint64_t decodedSamples() const { return state_.decodedSamples; }
    // The samples per channel a gapless decoder plays: the decoded ones less the encoder
    // delay and padding. The padding ends the frames the VBR header counts, so a truncated
    // file, which lacks them, loses only the delay and the samples Layer III decoders hold
    // back at the start (kDecoderDelay) beyond it. The decoded samples when there is no
    // LAME tag.
    uint64_t gaplessSamples() const;
    int channelMode() const { return state_.channelMode; }       // 0..3, 4 when none read
    const uint8_t* vbrFrame() const { return vbrFrame_.empty() ? nullptr : vbrFrame_.data(); }
    uint32_t vbrFrameLength() const { return static_cast<uint32_t>(vbrFrame_.size()); }
    int sideInfoLength() const { return state_.sideInfoLength; }
    uint64_t position() const { return state_.position; }
    uint64_t fileSize() const { return state_.fileSize; }
    uint64_t audioStart() const { return state_.audioStart; }
    // Where the audio ends: the file's size less the ID3v1 and APE tags that end it.
    uint64_t audioEnd() const { return state_.audioEnd; }
    double durationExact() const { return state_.durationExact; }  // seconds, not truncated

private:
    // Buffered reading of the open file. Read gives fewer bytes than asked only at the end
    // of the file or on a failed read (then readFailed is set).
    size_t Read(uint8_t* dest, size_t count);
    bool Fill();
    // Copies the count bytes at the current position to dest without moving past them.
    bool Peek(uint8_t* dest, size_t count);
    // True when a header h found at a position the previous frame did not end at is confirmed:
    // its frame ends the audio, or the header at next (the current position) agrees.
    bool Confirmed(uint64_t next, const MpegFrameHeader& h);
    // True when h may be a frame of the open stream (any header while it is not yet known).
    bool BelongsToStream(const MpegFrameHeader& h) const {
        return !state_.streamKnown || FramesAgree(h, state_.stream);
    }
    // Sets bitrate and variableBitrate from the facts read so far (see the overview).
    void LearnBitrate(int fd, const struct stat& st, int firstKbps);
    // ReadFrame over the mapped file.
    const uint8_t* ReadMappedFrame(int& sampleRate, int& kbps, int& frameLength, int& samplesPerFrame,
                                   uint64_t& frameOffset);
    // Hands out frame, of header h at offset at: sets the out values and the position after it.
    const uint8_t* TakeFrame(const uint8_t* frame, uint64_t at, const MpegFrameHeader& h, int& sampleRate, int& kbps,
                             int& frameLength, int& samplesPerFrame, uint64_t& frameOffset);
    uint64_t Tell() const { return state_.bufferStart + state_.bufferPos; }
    // Frames are read one after another, their headers a frame apart: every cache line some
    // way ahead of at is asked for, so that memory streams in (a hint only: a page past the
    // end of a source that got shorter is not touched by it).
    void PrefetchAhead(uint64_t at) {
        const uint64_t want = std::min(at + kMappedReadAhead, mapped_.size());
        for (prefetchedTo_ = std::max(prefetchedTo_, at); prefetchedTo_ < want; prefetchedTo_ += kCacheLineBytes) {
            __builtin_prefetch(mapped_.data() + prefetchedTo_);
        }
    }
    void Seek(uint64_t offset);

    static constexpr size_t kFrameBufferSize = 65536;
    static constexpr uint64_t kMappedReadAhead = 8192;
    static constexpr uint64_t kCacheLineBytes = 64;
    static constexpr size_t kReadBufferSize = 1 << 18;

    // Everything CloseFile returns to its closed value.
    struct State {
        int sampleRate = 0;
        int bitrate = 0;
        bool variableBitrate = false;
        VbrHeaderKind headerFrame = VbrHeaderKind::kNone;
        uint32_t headerFrameCount = 0;
        double headerDuration = 0;
        bool truncated = false;
        bool headerUndercounts = false;
        uint32_t durationSeconds = 0;
        bool hasEncoderDelays = false;
        int encoderDelay = 0;
        int encoderPadding = 0;
        uint64_t decodedSamples = 0;
        int channelMode = kChannelModeNone;
        int sideInfoLength = 0;
        uint64_t position = 0;
        uint64_t fileSize = 0;
        uint64_t audioStart = 0;
        uint64_t audioEnd = 0;
        double durationExact = 0;
        MpegFrameHeader stream;    // the first audio frame's header, once streamKnown
        bool streamKnown = false;
        uint64_t frameEnd = UINT64_MAX;  // where the last frame handed out ended
        bool readFailed = false;
        uint64_t bufferStart = 0;  // file offset of data_[0]
        size_t bufferLength = 0;   // valid bytes in data_
        size_t bufferPos = 0;      // next byte to hand out
    };

    State state_;
    std::vector<uint8_t> vbrFrame_;
    int fd_ = -1;
    std::unique_ptr<uint8_t[]> frameBuffer_;
    std::unique_ptr<uint8_t[]> readBuffer_;  // made when a file is first read without a mapping
    // The file mapped while open, when it can be: then data_ is the whole file and the read
    // buffer is unused (see audio/MappedFile.h for a file that shrinks meanwhile).
    audio::CMappedFile mapped_;
    const uint8_t* data_;
    uint64_t prefetchedTo_ = 0;  // ReadMappedFrame asked for the mapping's lines before this
    CMpegHeaderMemo headerMemo_;  // ReadMappedFrame's decoded headers
};

template <typename Visit>
uint64_t CMp3Reader::WalkFrames(Visit&& visit, uint64_t cachedTo) {
    if (!CanWalk()) return 0;
    const uint8_t* base = mapped_.data();
    const uint64_t size = mapped_.size();
    uint64_t at = Tell();
    uint64_t taken = 0;
    MpegFrameHeader h, last;
    // As ReadMappedFrame takes a frame that follows in step: no confirmation by the next.
    while (at + 4 <= size) {
        if (at + kMappedReadAhead > cachedTo) PrefetchAhead(at);
        if (!headerMemo_.Decode(base + at, &h) || !BelongsToStream(h)) break;
        const uint64_t next = at + static_cast<uint64_t>(h.frameLength);
        if (next > size || mapped_.Shrunk() || !visit(at, static_cast<const MpegFrameHeader&>(h))) break;
        last = h;
        at = next;
        ++taken;
    }
    if (taken > 0) {
        state_.readFailed = false;
        state_.channelMode = last.channelMode;
        state_.sideInfoLength = last.sideInfoLength;
        state_.position = at;
        state_.frameEnd = at;
        Seek(at);
    }
    return taken;
}

}  // namespace corvane
