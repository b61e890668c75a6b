// CMp3Reader: frame scanning, facts and byte-range copies of an MP3 file.
#include "engine/mp3/Mp3Reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/AudioLibrary.h"
#include "audio/LibraryMpegStream.h"
#include "audio/MpegFrameHeader.h"
#include "engine/mp3/OutputFile.h"

namespace corvane {
namespace {

constexpr size_t kHeaderBytes = 4;
constexpr size_t kId3HeaderBytes = 10;
constexpr size_t kCopyChunk = 65536;

uint32_t ReadBigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

void WriteBigEndian32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// What the audio library tells about the file: where audio starts, how long it lasts, how
// big it is. False when it does not read the file as MPEG audio.
struct LibraryFacts {
    int64_t start = -1;
    int64_t end = -1;
    double seconds = 0;
};

bool QueryLibrary(const std::string& path, LibraryFacts& facts) {
    const audio::Handle stream = audio::StreamCreateFile(path, 0, 0, audio::kStreamDecode);
    if (stream == 0) return false;
    audio::ChannelInfo info;
    const bool mpeg = audio::ChannelGetInfo(stream, &info) && audio::IsMpegCtype(info.ctype);
    if (mpeg) {
        facts.start = audio::StreamGetFilePosition(stream, audio::kFilePosStart);
        facts.end = audio::StreamGetFilePosition(stream, audio::kFilePosEnd);
        const int64_t bytes = audio::ChannelGetLength(stream);
        facts.seconds = bytes > 0 ? audio::ChannelBytes2Seconds(stream, bytes) : 0.0;
    }
    audio::StreamFree(stream);
    return mpeg;
}

}  // namespace

CMp3Reader::CMp3Reader()
    : frameBuffer_(new uint8_t[kFrameBufferSize]), readBuffer_(new uint8_t[kReadBufferSize]) {}

CMp3Reader::~CMp3Reader() { CloseFile(); }

bool CMp3Reader::Fill() {
    state_.bufferStart += state_.bufferLength;
    state_.bufferLength = 0;
    state_.bufferPos = 0;
    for (;;) {
        const ssize_t n = ::pread(fd_, readBuffer_.get(), kReadBufferSize, static_cast<off_t>(state_.bufferStart));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        state_.bufferLength = static_cast<size_t>(n);
        return true;
    }
}

size_t CMp3Reader::Read(uint8_t* dest, size_t count) {
    size_t done = 0;
    while (done < count) {
        if (state_.bufferPos == state_.bufferLength && !Fill()) break;
        const size_t take = std::min(count - done, state_.bufferLength - state_.bufferPos);
        std::memcpy(dest + done, readBuffer_.get() + state_.bufferPos, take);
        state_.bufferPos += take;
        done += take;
    }
    return done;
}

void CMp3Reader::Seek(uint64_t offset) {
    if (offset >= state_.bufferStart && offset <= state_.bufferStart + state_.bufferLength) {
        state_.bufferPos = static_cast<size_t>(offset - state_.bufferStart);
        return;
    }
    state_.bufferStart = offset;
    state_.bufferLength = 0;
    state_.bufferPos = 0;
}

void CMp3Reader::SeekTo(uint64_t offset) {
    Seek(offset);
    state_.position = offset;
}

const uint8_t* CMp3Reader::ReadFrame(int& sampleRate, int& kbps, int& frameLength, int& samplesPerFrame,
                                     uint64_t& frameOffset) {
    uint8_t* frame = frameBuffer_.get();
    if (Read(frame, kHeaderBytes) < kHeaderBytes) return nullptr;
    while (!IsFrameHeader(frame)) {
        frame[0] = frame[1];
        frame[1] = frame[2];
        frame[2] = frame[3];
        if (Read(frame + 3, 1) != 1) return nullptr;
    }
    const MpegFrameHeader h = DecodeFrameHeader(frame);
    kbps = h.kbps;
    sampleRate = h.sampleRate;
    state_.channelMode = h.channelMode;
    samplesPerFrame = h.samplesPerFrame;
    frameLength = h.frameLength;
    state_.sideInfoLength = h.sideInfoLength;
    const size_t rest = static_cast<size_t>(h.frameLength) - kHeaderBytes;
    if (Read(frame + kHeaderBytes, rest) < rest) return nullptr;
    state_.position = Tell();
    frameOffset = state_.position - static_cast<uint64_t>(h.frameLength);
    return frame;
}

bool CMp3Reader::CopyRange(COutputFile& output, uint64_t offset, uint64_t count) {
    SeekTo(offset);
    while (count > 0) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(count, kCopyChunk));
        const size_t got = Read(frameBuffer_.get(), chunk);
        if (got > 0 && !output.Write(frameBuffer_.get(), got)) return false;
        if (got < chunk) return false;
        count -= chunk;
    }
    return true;
}

void CMp3Reader::PatchVbrHeader(uint8_t* copy, uint32_t length, uint32_t frames, uint32_t bytes) {
    if (length < kHeaderBytes || !IsFrameHeader(copy)) return;
    const MpegFrameHeader h = DecodeFrameHeader(copy);
    size_t p = static_cast<size_t>(VbrTagOffset(h)) + 4;
    if (p + 4 > length) return;
    const uint32_t flags = ReadBigEndian32(copy + p);
    p += 4;
    if (flags & 1) {
        if (p + 4 > length) return;
        WriteBigEndian32(copy + p, frames);
        p += 4;
    }
    if ((flags & 2) && p + 4 <= length) WriteBigEndian32(copy + p, bytes);
}

bool CMp3Reader::OpenFile(const std::string& path) {
    CloseFile();

    // Never a plain open(): that of a named pipe waits for a writer.
    struct stat st {};
    fd_ = audio::OpenRegularFile(path, &st);
    if (fd_ < 0) return false;
    if (st.st_size <= 0) {
        CloseFile();
        return false;
    }
    state_.fileSize = static_cast<uint64_t>(st.st_size);
    state_.bufferStart = 0;
    state_.bufferLength = 0;
    state_.bufferPos = 0;

    // Where to look for the VBR header frame: just past a leading ID3v2 tag (its footer
    // included) when a frame header stands there, else from the start of the file.
    uint8_t head[kId3HeaderBytes];
    uint64_t searchFrom = 0;
    if (Read(head, kId3HeaderBytes) == kId3HeaderBytes) {
        const uint64_t tagLength = Id3v2TagSize(head, kId3HeaderBytes);
        if (tagLength > 0) {
            Seek(tagLength);
            uint8_t header[kHeaderBytes];
            if (Read(header, kHeaderBytes) == kHeaderBytes && IsFrameHeader(header)) searchFrom = tagLength;
        }
    }
    SeekTo(searchFrom);

    LibraryFacts facts;
    if (!QueryLibrary(path, facts) || facts.start < 0 || static_cast<uint64_t>(facts.start) >= state_.fileSize) {
        CloseFile();
        return false;
    }
    state_.durationExact = facts.seconds;
    state_.durationSeconds = static_cast<uint32_t>(facts.seconds);
    const double end = static_cast<double>(facts.end >= 0 ? facts.end : static_cast<int64_t>(state_.fileSize));
    const int averageKbps = facts.seconds > 0 ? static_cast<int>(end / (facts.seconds * 125.0) + 0.5) : 0;

    int rate = 0, kbps = 0, length = 0, samples = 0;
    uint64_t offset = 0;
    if (const uint8_t* first = ReadFrame(rate, kbps, length, samples, offset)) {
        if (IsXingFrame(first, static_cast<size_t>(length), DecodeFrameHeader(first))) {
            vbrFrame_.assign(first, first + length);
        }
    }

    state_.audioStart = static_cast<uint64_t>(facts.start);
    SeekTo(state_.audioStart);
    if (ReadFrame(rate, kbps, length, samples, offset) == nullptr) {
        CloseFile();
        return false;
    }
    state_.sampleRate = rate;
    SeekTo(state_.audioStart);
    state_.bitrate = averageKbps;
    return true;
}

void CMp3Reader::CloseFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    state_ = State{};
    vbrFrame_.clear();
    vbrFrame_.shrink_to_fit();
}

}  // namespace corvane
