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
// The last bytes of a file read for the tags that may end it (an ID3v1 tag and an APE footer).
constexpr size_t kTrailingTagProbe = 160;
constexpr double kBytesPerKbitSecond = 125.0;  // 1000 bits / 8
constexpr int kBitsPerByte = 8;
constexpr int kBitsPerKbit = 1000;

// The Xing fields after the "Xing"/"Info" letters: the flags word, then what its bits announce.
constexpr uint32_t kXingFrames = 1, kXingBytes = 2, kXingToc = 4, kXingQuality = 8;
constexpr size_t kXingTocBytes = 100;
// The LAME tag after them: 9 bytes of version text, 11 more, then the delay and padding as
// two 12-bit numbers in 3 bytes.
constexpr size_t kLameDelaysAt = 21;

uint32_t ReadBigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}


void WriteBigEndian32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// What the audio library tells about the file: where audio starts and how long it lasts.
// False when it does not read the file as MPEG audio.
struct LibraryFacts {
    int64_t start = -1;
    double seconds = 0;
    uint64_t samples = 0;  // per channel
};

bool QueryLibrary(const std::string& path, LibraryFacts& facts) {
    const audio::Handle stream = audio::StreamCreateFile(path, 0, 0, audio::kStreamDecode);
    if (stream == 0) return false;
    audio::ChannelInfo info;
    const bool mpeg = audio::ChannelGetInfo(stream, &info) && audio::IsMpegCtype(info.ctype);
    if (mpeg) {
        facts.start = audio::StreamGetFilePosition(stream, audio::kFilePosStart);
        const int64_t bytes = audio::ChannelGetLength(stream);
        facts.seconds = bytes > 0 ? audio::ChannelBytes2Seconds(stream, bytes) : 0.0;
        const int64_t blockAlign = int64_t{info.chans} * 2;  // 16-bit samples
        facts.samples = bytes > 0 && blockAlign > 0 ? static_cast<uint64_t>(bytes / blockAlign) : 0;
    }
    audio::StreamFree(stream);
    return mpeg;
}

}  // namespace

CMp3Reader::CMp3Reader()
    : frameBuffer_(new uint8_t[kFrameBufferSize]), data_(nullptr) {}

CMp3Reader::~CMp3Reader() { CloseFile(); }

bool CMp3Reader::Fill() {
    if (mapped_.IsMapped()) {
        // The mapping is the whole file as it was opened: nothing follows it.
        state_.readFailed = mapped_.Shrunk();
        return false;
    }
    state_.bufferStart += state_.bufferLength;
    state_.bufferLength = 0;
    state_.bufferPos = 0;
    for (;;) {
        const ssize_t n = ::pread(fd_, readBuffer_.get(), kReadBufferSize, static_cast<off_t>(state_.bufferStart));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || (n == 0 && state_.bufferStart < state_.fileSize)) {
            state_.readFailed = true;  // an error, or the file got shorter than it was
            return false;
        }
        if (n == 0) return false;
        state_.bufferLength = static_cast<size_t>(n);
        return true;
    }
}

size_t CMp3Reader::Read(uint8_t* dest, size_t count) {
    size_t done = 0;
    while (done < count) {
        if (state_.bufferPos == state_.bufferLength && !Fill()) break;
        const size_t take = std::min(count - done, state_.bufferLength - state_.bufferPos);
        std::memcpy(dest + done, data_ + state_.bufferPos, take);
        state_.bufferPos += take;
        done += take;
    }
    return done;
}

bool CMp3Reader::Peek(uint8_t* dest, size_t count) {
    if (state_.bufferLength - state_.bufferPos >= count) {
        std::memcpy(dest, data_ + state_.bufferPos, count);
        return true;
    }
    // The bytes straddle the buffer's end: read them apart, leaving the buffer as it is.
    return audio::ReadAt(fd_, Tell(), dest, count) == count;
}

void CMp3Reader::Seek(uint64_t offset) {
    if (mapped_.IsMapped()) {
        state_.bufferStart = 0;
        state_.bufferLength = static_cast<size_t>(mapped_.size());
    }
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

bool CMp3Reader::Confirmed(uint64_t next, const MpegFrameHeader& h) {
    if (next >= state_.audioEnd && state_.audioEnd != 0) return true;
    uint8_t header[kHeaderBytes];
    if (!Peek(header, kHeaderBytes) || !IsFrameHeader(header)) return false;
    return FramesAgree(DecodeFrameHeader(header), state_.streamKnown ? state_.stream : h);
}

const uint8_t* CMp3Reader::TakeFrame(const uint8_t* frame, uint64_t at, const MpegFrameHeader& h, int& sampleRate,
                                     int& kbps, int& frameLength, int& samplesPerFrame, uint64_t& frameOffset) {
    kbps = h.kbps;
    sampleRate = h.sampleRate;
    state_.channelMode = h.channelMode;
    samplesPerFrame = h.samplesPerFrame;
    frameLength = h.frameLength;
    state_.sideInfoLength = h.sideInfoLength;
    state_.position = at + static_cast<uint64_t>(h.frameLength);
    state_.frameEnd = state_.position;
    frameOffset = at;
    return frame;
}

const uint8_t* CMp3Reader::ReadMappedFrame(int& sampleRate, int& kbps, int& frameLength, int& samplesPerFrame,
                                           uint64_t& frameOffset) {
    // The same search as below, over the mapping in place: the frame handed out is the
    // file's own bytes.
    const uint8_t* base = mapped_.data();
    const uint64_t size = mapped_.size();
    PrefetchAhead(Tell());
    for (uint64_t at = Tell(); at + kHeaderBytes <= size; ++at) {
        const uint8_t* p = base + at;
        MpegFrameHeader h;
        if (!headerMemo_.Decode(p, &h) || !BelongsToStream(h)) continue;
        const bool inStep = at == state_.frameEnd;
        const uint64_t next = at + static_cast<uint64_t>(h.frameLength);
        if (next > size) {
            if (inStep) break;
            continue;
        }
        Seek(next);
        if (!inStep && !Confirmed(next, h)) continue;
        if (mapped_.Shrunk()) break;
        return TakeFrame(p, at, h, sampleRate, kbps, frameLength, samplesPerFrame, frameOffset);
    }
    Seek(size);
    state_.readFailed = mapped_.Shrunk();
    return nullptr;
}

const uint8_t* CMp3Reader::ReadFrame(int& sampleRate, int& kbps, int& frameLength, int& samplesPerFrame,
                                     uint64_t& frameOffset) {
    state_.readFailed = false;
    if (mapped_.IsMapped()) return ReadMappedFrame(sampleRate, kbps, frameLength, samplesPerFrame, frameOffset);
    uint8_t* frame = frameBuffer_.get();
    uint64_t at = Tell();
    if (Read(frame, kHeaderBytes) < kHeaderBytes) return nullptr;
    for (;;) {
        if (IsFrameHeader(frame)) {
            const MpegFrameHeader h = DecodeFrameHeader(frame);
            if (BelongsToStream(h)) {
                const bool inStep = at == state_.frameEnd;
                const size_t rest = static_cast<size_t>(h.frameLength) - kHeaderBytes;
                const uint64_t next = at + static_cast<uint64_t>(h.frameLength);
                if (Read(frame + kHeaderBytes, rest) < rest) {
                    // A last frame cut short ends the data; after a jump it may be a false
                    // header whose claimed length runs past the end, so the search goes on.
                    if (inStep || state_.readFailed) return nullptr;
                } else if (inStep || Confirmed(next, h)) {
                    return TakeFrame(frame, at, h, sampleRate, kbps, frameLength, samplesPerFrame, frameOffset);
                }
                Seek(at + kHeaderBytes);  // back to the byte after these four; the search goes on
            }
        }
        frame[0] = frame[1];
        frame[1] = frame[2];
        frame[2] = frame[3];
        if (Read(frame + 3, 1) != 1) return nullptr;
        ++at;
    }
}

bool CMp3Reader::CopyRange(COutputFile& output, uint64_t offset, uint64_t count) {
    state_.readFailed = false;
    SeekTo(offset);
    if (mapped_.IsMapped()) {
        if (offset > mapped_.size() || count > mapped_.size() - offset) return false;
        // Flushed at once: the output must not hold on to this mapping.
        const bool written = output.Append(fd_, offset, mapped_.data() + offset, static_cast<size_t>(count)) &&
                             output.Flush();
        SeekTo(offset + count);
        state_.position = offset;
        state_.readFailed = mapped_.Shrunk();
        return written && !state_.readFailed;
    }
    while (count > 0) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(count, kCopyChunk));
        const size_t got = Read(frameBuffer_.get(), chunk);
        if (got > 0 && !output.Write(frameBuffer_.get(), got)) return false;
        if (got < chunk) return false;
        count -= chunk;
    }
    return true;
}

namespace {

// Where a LAME tag keeps its CRC: after its version text, method, lowpass, peak, gains,
// flags, bit rate, delays, misc, gain, preset, music length and music CRC.
constexpr size_t kLameTagCrcOffset = 34;

uint16_t ReadBigEndian16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

uint16_t Crc16(const uint8_t* data, size_t length) { return LameCrc16(0, data, length); }

// Where the LAME tag of a VBR header frame with these Xing flags would start: after the
// fields the flags announce, which follow the flags word at flagsAt.
size_t LameTagOffset(size_t flagsAt, uint32_t flags) {
    size_t p = flagsAt + 4;
    if (flags & kXingFrames) p += 4;
    if (flags & kXingBytes) p += 4;
    if (flags & kXingToc) p += kXingTocBytes;
    if (flags & kXingQuality) p += 4;
    return p;
}

}  // namespace

void CMp3Reader::PatchVbrHeader(uint8_t* copy, uint32_t length, uint32_t frames, uint32_t bytes,
                                const uint8_t* seekTable) {
    if (length < kHeaderBytes || !IsFrameHeader(copy)) return;
    const MpegFrameHeader h = DecodeFrameHeader(copy);
    size_t p = static_cast<size_t>(VbrTagOffset(h)) + 4;
    if (p + 4 > length) return;
    const uint32_t flags = ReadBigEndian32(copy + p);
    p += 4;
    // A LAME tag follows the Xing fields; its last two bytes are a CRC-16 of the frame up to
    // them, which the counts below change. A CRC that matched before is made to match again;
    // anything else there is left as it was.
    const size_t crcAt = LameTagOffset(p - 4, flags) + kLameTagCrcOffset;
    const bool lameCrc = crcAt + 2 <= length && ReadBigEndian16(copy + crcAt) == Crc16(copy, crcAt);
    if (flags & kXingFrames) {
        if (p + 4 > length) return;
        WriteBigEndian32(copy + p, frames);
        p += 4;
    }
    if (flags & kXingBytes) {
        if (p + 4 > length) return;
        WriteBigEndian32(copy + p, bytes);
        p += 4;
    }
    if ((flags & kXingToc) && seekTable != nullptr && p + kXingTocBytes <= length) {
        std::memcpy(copy + p, seekTable, kXingTocBytes);
    }
    if (lameCrc) {
        const uint16_t crc = Crc16(copy, crcAt);
        copy[crcAt] = static_cast<uint8_t>(crc >> 8);
        copy[crcAt + 1] = static_cast<uint8_t>(crc);
    }
}

bool CMp3Reader::ReadLameDelays(const uint8_t* frame, uint32_t length, int& delay, int& padding) {
    if (length < kHeaderBytes || !IsFrameHeader(frame)) return false;
    const VbrHeader header = ReadVbrHeader(frame, length, DecodeFrameHeader(frame));
    if (!header.hasDelays) return false;
    delay = header.delay;
    padding = header.padding;
    return true;
}

bool CMp3Reader::PatchLameTag(uint8_t* copy, uint32_t length, int delay, int padding, uint32_t musicBytes,
                              uint16_t musicCrc) {
    constexpr size_t kMusicLengthAt = 28;
    constexpr size_t kMusicCrcAt = 32;
    constexpr int kMaxDelay = 4095;
    int oldDelay = 0;
    int oldPadding = 0;
    if (!ReadLameDelays(copy, length, oldDelay, oldPadding)) return false;
    const MpegFrameHeader h = DecodeFrameHeader(copy);
    const size_t flagsAt = static_cast<size_t>(VbrTagOffset(h)) + 4;
    const size_t tag = LameTagOffset(flagsAt, ReadBigEndian32(copy + flagsAt));
    const size_t crcAt = tag + kLameTagCrcOffset;
    if (crcAt + 2 > length) return false;
    delay = std::clamp(delay, 0, kMaxDelay);
    padding = std::clamp(padding, 0, kMaxDelay);
    uint8_t* d = copy + tag + kLameDelaysAt;
    d[0] = static_cast<uint8_t>(delay >> 4);
    d[1] = static_cast<uint8_t>(((delay & 0x0F) << 4) | (padding >> 8));
    d[2] = static_cast<uint8_t>(padding);
    WriteBigEndian32(copy + tag + kMusicLengthAt, musicBytes);
    copy[tag + kMusicCrcAt] = static_cast<uint8_t>(musicCrc >> 8);
    copy[tag + kMusicCrcAt + 1] = static_cast<uint8_t>(musicCrc);
    const uint16_t crc = Crc16(copy, crcAt);
    copy[crcAt] = static_cast<uint8_t>(crc >> 8);
    copy[crcAt + 1] = static_cast<uint8_t>(crc);
    return true;
}

size_t CMp3Reader::ReadBytes(uint64_t offset, uint8_t* buffer, size_t count) const {
    return fd_ < 0 ? 0 : audio::ReadAt(fd_, offset, buffer, count);
}

uint64_t CMp3Reader::gaplessSamples() const {
    const uint64_t samples = state_.decodedSamples;
    if (!state_.hasEncoderDelays) return samples;
    const uint64_t delay = static_cast<uint64_t>(state_.encoderDelay);
    const uint64_t padding = static_cast<uint64_t>(state_.encoderPadding);
    const uint64_t counted = uint64_t{state_.headerFrameCount} * static_cast<uint64_t>(state_.stream.samplesPerFrame);
    if (state_.truncated && counted >= padding) {
        // The decoder's output is kDecoderDelay samples late: it plays from delay + kDecoderDelay
        // to counted - padding + kDecoderDelay, and this file ends before that end.
        const uint64_t end = std::min(samples, counted - padding + kDecoderDelay);
        return end > delay + kDecoderDelay ? end - delay - kDecoderDelay : 0;
    }
    return samples > delay + padding ? samples - delay - padding : 0;
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
    if (mapped_.Map(fd_, state_.fileSize)) {
        data_ = mapped_.data();
    } else {
        if (readBuffer_ == nullptr) readBuffer_.reset(new uint8_t[kReadBufferSize]);
        data_ = readBuffer_.get();
    }
    Seek(0);

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

    LibraryFacts facts;
    if (!QueryLibrary(path, facts) || facts.start < 0 || static_cast<uint64_t>(facts.start) >= state_.fileSize) {
        CloseFile();
        return false;
    }
    state_.durationExact = facts.seconds;
    state_.durationSeconds = static_cast<uint32_t>(facts.seconds);
    state_.decodedSamples = facts.samples;
    state_.audioStart = static_cast<uint64_t>(facts.start);

    // The audio ends before the tags that end the file.
    uint8_t tail[kTrailingTagProbe];
    const size_t tailLength = static_cast<size_t>(std::min<uint64_t>(state_.fileSize, kTrailingTagProbe));
    const bool tailRead = audio::ReadAt(fd_, state_.fileSize - tailLength, tail, tailLength) == tailLength;
    const uint64_t trailing = tailRead ? TrailingTagSize(tail, tailLength, state_.fileSize) : 0;
    state_.audioEnd = std::max(state_.fileSize - trailing, state_.audioStart);

    int rate = 0, kbps = 0, length = 0, samples = 0;
    uint64_t offset = 0;
    SeekTo(searchFrom);
    if (const uint8_t* first = ReadFrame(rate, kbps, length, samples, offset)) {
        const VbrHeader header = ReadVbrHeader(first, static_cast<size_t>(length), DecodeFrameHeader(first));
        state_.headerFrame = header.kind;
        state_.headerFrameCount = header.frames;
        if (header.kind == VbrHeaderKind::kXing || header.kind == VbrHeaderKind::kInfo) {
            vbrFrame_.assign(first, first + length);
            state_.hasEncoderDelays = ReadLameDelays(first, static_cast<uint32_t>(length), state_.encoderDelay,
                                                     state_.encoderPadding);
        }
    }

    SeekTo(state_.audioStart);
    state_.frameEnd = UINT64_MAX;
    const uint8_t* audio = ReadFrame(rate, kbps, length, samples, offset);
    if (audio == nullptr) {
        CloseFile();
        return false;
    }
    state_.stream = DecodeFrameHeader(audio);
    state_.streamKnown = true;
    state_.sampleRate = rate;
    const uint64_t frames = samples > 0 ? facts.samples / static_cast<uint64_t>(samples) : 0;
    state_.truncated = state_.headerFrameCount > 0 && frames < state_.headerFrameCount;
    // A header that counts fewer frames than the file holds (files glued with cat) describes
    // the first of them only: neither its count nor its delays are the file's.
    state_.headerUndercounts = state_.headerFrameCount > 0 && frames > uint64_t{state_.headerFrameCount} + 1;
    if (state_.headerUndercounts) {
        state_.hasEncoderDelays = false;
        state_.encoderDelay = state_.encoderPadding = 0;
    }
    state_.headerDuration = static_cast<double>(state_.headerFrameCount) * samples / rate;
    LearnBitrate(fd_, st, kbps);
    SeekTo(state_.audioStart);
    state_.frameEnd = UINT64_MAX;
    return true;
}

namespace {

// An average bit rate, rounded; never above the highest any frame can have (bytes between
// frames that are no audio can make the quotient anything, even more than an int holds).
int AverageKbps(double kbps) {
    constexpr double kHighestKbps = 448;  // Layer I, MPEG-1
    return static_cast<int>(std::clamp(kbps, 0.0, kHighestKbps) + 0.5);
}

}  // namespace

void CMp3Reader::LearnBitrate(int fd, const struct stat& st, int firstKbps) {
    const VbrHeaderKind kind = state_.headerFrame;
    if (kind == VbrHeaderKind::kNone || state_.truncated || state_.headerUndercounts) {
        // The audio library has just scanned this file's frames for its length: its tally is
        // remembered, and tells whether every frame has one bit rate.
        const audio::MpegFrameTally tally = audio::RememberedMpegFrameTally(fd, st, state_.audioStart, state_.stream);
        state_.variableBitrate = tally.kbps == 0 && tally.frames > 1;
        if (tally.kbps != 0 || tally.frames == 0) {
            state_.bitrate = tally.kbps != 0 ? tally.kbps : firstKbps;
            return;
        }
        const double bits = static_cast<double>(tally.bytes) * kBitsPerByte * state_.stream.sampleRate;
        const double kbits = static_cast<double>(tally.frames) * state_.stream.samplesPerFrame * kBitsPerKbit;
        state_.bitrate = AverageKbps(bits / kbits);
        return;
    }
    if (kind == VbrHeaderKind::kInfo) {
        // The encoder's word: a constant bit rate, the first audio frame's.
        state_.bitrate = firstKbps;
        return;
    }
    state_.variableBitrate = true;
    const double seconds = state_.durationExact;
    const double bytes = static_cast<double>(state_.audioEnd - state_.audioStart);
    state_.bitrate = seconds > 0 ? AverageKbps(bytes / (seconds * kBytesPerKbitSecond)) : 0;
}

void CMp3Reader::CloseFile() {
    mapped_.Unmap();
    prefetchedTo_ = 0;
    data_ = readBuffer_.get();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    state_ = State{};
    vbrFrame_.clear();
    vbrFrame_.shrink_to_fit();
}

}  // namespace corvane
