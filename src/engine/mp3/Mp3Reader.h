// CMp3Reader: reads one MP3 file frame by frame.
//
// An MP3 file is an optional ID3v2 tag, then MPEG audio frames, each a four-byte header and
// its data, with nothing required between them; an ID3v1 tag or other bytes may follow. The
// reader finds frames with a one-byte sliding search for a valid header, so garbage between
// frames is passed over.
//
// The VBR header frame: encoders such as LAME write a first frame that holds no audio but a
// "Xing" (VBR) or "Info" (CBR) header: frame and byte counts and a seek table, read by
// players to learn the length. The reader keeps a copy of it, so that each piece cut from
// the file can carry its own copy with the counts patched to describe that piece
// (PatchVbrHeader). The audio start reported by the audio library lies after that frame, so
// it is never copied a second time as audio.
//
// Reads go through a private buffer: no system call per frame or per byte of the search.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/EncodingParams.h"

namespace corvane {

class COutputFile;

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

    // Reads the next frame from the current position, searching byte by byte for a valid
    // header. Returns the frame's bytes (valid until the next ReadFrame or CloseFile) and
    // fills the out values, or nullptr at the end of the file, on a read error or when the
    // last frame is cut short. Sets channelMode, sideInfoLength and position; the reader's
    // own sampleRate and bitrate are not touched.
    const uint8_t* ReadFrame(int& sampleRate, int& kbps, int& frameLength, int& samplesPerFrame,
                             uint64_t& frameOffset);

    // Moves the file position and the recorded position to offset.
    void SeekTo(uint64_t offset);

    // Copies count bytes from offset to the output's end. The recorded position becomes
    // offset; reading continues at offset + count. False when a write failed or the file
    // ended before count bytes.
    bool CopyRange(COutputFile& output, uint64_t offset, uint64_t count);

    // Writes frames and bytes (big-endian) into the counter fields of a copy of the VBR
    // header frame, as its flags word allows. Fields that would lie past length are left.
    static void PatchVbrHeader(uint8_t* copy, uint32_t length, uint32_t frames, uint32_t bytes);

    // Closes the file and returns every fact to its closed value.
    void CloseFile();

    bool IsOpen() const { return fd_ >= 0; }

    // Facts, valid while open.
    int sampleRate() const { return state_.sampleRate; }
    int bitrate() const { return state_.bitrate; }               // average kbps
    uint32_t durationSeconds() const { return state_.durationSeconds; }
    int channelMode() const { return state_.channelMode; }       // 0..3, 4 when none read
    const uint8_t* vbrFrame() const { return vbrFrame_.empty() ? nullptr : vbrFrame_.data(); }
    uint32_t vbrFrameLength() const { return static_cast<uint32_t>(vbrFrame_.size()); }
    int sideInfoLength() const { return state_.sideInfoLength; }
    uint64_t position() const { return state_.position; }
    uint64_t fileSize() const { return state_.fileSize; }
    uint64_t audioStart() const { return state_.audioStart; }
    double durationExact() const { return state_.durationExact; }  // seconds, not truncated

private:
    // Buffered reading of the open file.
    size_t Read(uint8_t* dest, size_t count);
    bool Fill();
    uint64_t Tell() const { return state_.bufferStart + state_.bufferPos; }
    void Seek(uint64_t offset);

    static constexpr size_t kFrameBufferSize = 65536;
    static constexpr size_t kReadBufferSize = 1 << 18;

    // Everything CloseFile returns to its closed value.
    struct State {
        int sampleRate = 0;
        int bitrate = 0;
        uint32_t durationSeconds = 0;
        int channelMode = kChannelModeNone;
        int sideInfoLength = 0;
        uint64_t position = 0;
        uint64_t fileSize = 0;
        uint64_t audioStart = 0;
        double durationExact = 0;
        uint64_t bufferStart = 0;  // file offset of readBuffer_[0]
        size_t bufferLength = 0;   // valid bytes in readBuffer_
        size_t bufferPos = 0;      // next byte to hand out
    };

    State state_;
    std::vector<uint8_t> vbrFrame_;
    int fd_ = -1;
    std::unique_ptr<uint8_t[]> frameBuffer_;
    std::unique_ptr<uint8_t[]> readBuffer_;
};

}  // namespace corvane
