// MPEG audio streams: frame probing, header scan for the exact length, libmpg123 decoding.
#include "audio/LibraryMpegStream.h"

#include <fcntl.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/MappedFile.h"

namespace corvane::audio {
namespace {

constexpr size_t kId3v2HeaderSize = 10;
constexpr size_t kId3v1Size = 128;
// The header scan of a mapped file reads every cache line this far ahead of its position.
constexpr size_t kReadAheadBytes = 8192;
constexpr size_t kCacheLineBytes = 64;
// The longest frame the tables allow (MPEG 2.5 Layer II, 160 kbps, 8000 Hz, padded).
constexpr size_t kMaxFrameLength = 2881;
// Bytes read beyond the search window so that kMpegProbeFrames frames of any size fit.
constexpr size_t kProbeTail = 16384;
// The probe's first look, and the bytes its probe frames may span from a start (and a header
// after them).
constexpr size_t kFirstLook = 32768;
constexpr size_t kProbeReach = kMpegProbeFrames * kMaxFrameLength + 4;
// The header scan reads the file in chunks of this size.
constexpr size_t kScanChunk = 65536;
// A frame and the header after it: what the scan keeps in its buffer ahead of its position.
constexpr size_t kScanLookahead = 2 * kMaxFrameLength + 8;
// Bytes requested by a single mpg123_read may come back empty a few times (frames without
// output); after this many empty results in a row the stream is taken as ended.
constexpr int kMaxEmptyReads = 64;
// A seek: libmpg123 decodes this many frames silently before the frame it is sent to (Layer
// III; it takes at most 2 for Layers I and II), enough to fill the bit reservoir (511 bytes
// back, some nine frames at 32 kbps) and the overlap of the transforms.
constexpr uint64_t kSeekPrerollFrames = 16;
constexpr uint64_t kOtherLayersPrerollFrames = 2;
// What no preroll restores: libmpg123's synthesis keeps its place in a ring of 16 (a step
// per 32 samples) and alternates two frame buffers, and where they stand changes the last bit
// of a sample now and then. A fresh stream's preroll that starts on a frame whose number is a
// multiple of this finds them where a decode from the start has them, so a seek gives exactly
// the samples of that decode (MPEG-1; measured, as the library does not promise it).
constexpr uint64_t kSeekPhaseFrames = 16;


// Sum of the lengths of count consecutive frames from data (they are known to be there).
size_t LengthOfFrames(const uint8_t* data, int count) {
    size_t at = 0;
    for (int i = 0; i < count; ++i) at += static_cast<size_t>(DecodeFrameHeader(data + at).frameLength);
    return at;
}

ssize_t SourceRead(void* handle, void* buffer, size_t bytes) {
    auto* source = static_cast<CLibraryMpegStream::Source*>(handle);
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < bytes && source->at < source->size) {
        const bool buffered =
            source->at >= source->bufferAt && source->at < source->bufferAt + source->bufferLength;
        if (!buffered) {
            const size_t count = static_cast<size_t>(
                std::min<uint64_t>(source->buffer.size(), source->size - source->at));
            source->bufferAt = source->at;
            source->bufferLength = ReadAt(source->fd, source->base + source->at, source->buffer.data(), count);
            if (source->bufferLength == 0) break;  // the file shrank or cannot be read
        }
        const size_t offset = static_cast<size_t>(source->at - source->bufferAt);
        const size_t count = std::min(bytes - done, source->bufferLength - offset);
        std::memcpy(out + done, source->buffer.data() + offset, count);
        done += count;
        source->at += count;
    }
    return static_cast<ssize_t>(done);
}

off_t SourceSeek(void* handle, off_t offset, int whence) {
    auto* source = static_cast<CLibraryMpegStream::Source*>(handle);
    int64_t target;
    switch (whence) {
        case SEEK_SET: target = offset; break;
        case SEEK_CUR: target = static_cast<int64_t>(source->at) + offset; break;
        case SEEK_END: target = static_cast<int64_t>(source->size) + offset; break;
        default: return -1;
    }
    if (target < 0) return -1;
    source->at = static_cast<uint64_t>(target);
    return static_cast<off_t>(target);
}

}  // namespace

void InitMpg123Once() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

size_t ReadAt(int fd, uint64_t offset, uint8_t* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, buffer + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

bool ProbeMpegLayout(int fd, uint64_t fileSize, uint32_t searchBytes, MpegStreamLayout* layout) {
    if (fileSize < 4) return false;
    uint8_t head[kId3v2HeaderSize];
    const size_t headBytes = ReadAt(fd, 0, head, static_cast<size_t>(std::min<uint64_t>(fileSize, sizeof head)));
    const uint64_t tagSize = Id3v2TagSize(head, headBytes);
    if (tagSize >= fileSize) return false;  // a tag that claims the whole file, or more

    const size_t window = std::max<size_t>(searchBytes, 1);
    const size_t want = static_cast<size_t>(std::min<uint64_t>(window + kProbeTail, fileSize - tagSize));
    // Most files show their first frame at once: a first look decides for every start whose
    // probe frames it holds whole, and the rest of the window is read only when it cannot.
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[want]);
    const size_t first = std::min(want, kFirstLook);
    size_t got = ReadAt(fd, tagSize, buffer.get(), first);
    bool whole = got == want || got < first;  // all there is to read: no second look
    size_t s = 0;
    for (;;) {
        const bool reachesEnd = tagSize + got == fileSize;
        const size_t decidable = whole ? window : std::min(window, got > kProbeReach ? got - kProbeReach : 0);
        for (; s < decidable && s + 4 <= got; ++s) {
            const uint8_t* p = buffer.get() + s;
            if (!IsFrameHeader(p)) continue;
            const int count = CountAgreeingFrames(p, got - s, kMpegProbeFrames);
            const bool accepted = count >= kMpegProbeFrames ||
                                  (count >= 1 && reachesEnd && s + LengthOfFrames(p, count) == got);
            if (!accepted) continue;

            MpegStreamLayout result;
            result.fileSize = fileSize;
            result.firstFrame = tagSize + s;
            result.audioStart = result.firstFrame;
            result.header = DecodeFrameHeader(p);
            const size_t frameLength = static_cast<size_t>(result.header.frameLength);  // inside buffer
            result.vbrHeader = ReadVbrHeader(p, frameLength, result.header);
            result.vbrFrame = result.vbrHeader.kind != VbrHeaderKind::kNone;
            if (result.vbrFrame) {
                result.audioStart += frameLength;
                // Channel count and rate come from the first audio frame when the buffer holds it.
                if (s + frameLength + 4 <= got && IsFrameHeader(p + frameLength)) {
                    const MpegFrameHeader next = DecodeFrameHeader(p + frameLength);
                    if (FramesAgree(next, result.header)) result.header = next;
                }
            }
            *layout = result;
            return true;
        }
        if (whole) break;
        got += ReadAt(fd, tagSize + got, buffer.get() + got, want - got);
        whole = true;
    }
    return false;
}

int OpenRegularFile(const std::string& path, struct stat* info) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    if (info != nullptr) *info = st;
    return fd;
}

bool StartsWithFrameSync(const std::string& path) {
    const int fd = OpenRegularFile(path);
    if (fd < 0) return false;
    uint8_t bytes[kId3v2HeaderSize];
    const size_t got = ReadAt(fd, 0, bytes, sizeof bytes);
    const uint64_t tagSize = Id3v2TagSize(bytes, got);
    const size_t sync = tagSize == 0 ? (got >= 2 ? 2 : 0) : ReadAt(fd, tagSize, bytes, 2);
    ::close(fd);
    return sync == 2 && bytes[0] == 0xFF && (bytes[1] & 0xE0) == 0xE0;
}

MpegFrameTally TallyMpegFrames(int fd, uint64_t start, uint64_t fileSize, const MpegFrameHeader& first) {
    uint64_t end = fileSize;
    if (fileSize >= start + kId3v1Size) {
        uint8_t tag[3];
        if (ReadAt(fd, fileSize - kId3v1Size, tag, sizeof tag) == sizeof tag && std::memcmp(tag, "TAG", 3) == 0)
            end -= kId3v1Size;
    }

    // The file mapped, when it can be, is one buffer that holds it all: the headers are read
    // in place and no byte is copied.
    CMappedFile mapped;
    std::vector<uint8_t> buffer;
    const uint8_t* data = nullptr;
    uint64_t bufferStart = start;
    size_t bufferLength = 0;
    if (mapped.Map(fd, end)) {
        data = mapped.data();
        bufferStart = 0;
        bufferLength = static_cast<size_t>(end);
    } else {
        buffer.resize(kScanChunk);
        data = buffer.data();
    }
    uint64_t position = start;
    size_t ahead = 0;  // in the mapping: the lines before this have been read ahead
    CMpegHeaderMemo memo;
    MpegFrameTally tally;
    bool oneBitrate = true;
    bool inStep = true;  // position is where the previous frame ended (or the audio start)

    while (position + 4 <= end) {
        if (!mapped.IsMapped() && position + kScanLookahead > bufferStart + bufferLength &&
            bufferStart + bufferLength < end) {
            bufferStart = position;
            bufferLength = ReadAt(fd, position, buffer.data(),
                                  static_cast<size_t>(std::min<uint64_t>(kScanChunk, end - position)));
        }
        const size_t at = static_cast<size_t>(position - bufferStart);
        if (at + 4 > bufferLength) break;  // read error
        const uint8_t* p = data + at;
        // Headers lie a frame apart: reading one cache line in seven leaves the processor's
        // prefetchers idle, and each header would wait for memory (a prefetch hint a fixed
        // distance on helps half as much, as it rarely lands on a header's line). Every line
        // some way ahead is read instead, so that the mapping streams in as it does for a
        // copy. A page past the end of a file that got shorter turns to zeros here as it
        // would a little later (CMappedFile), and the tally says it shrank.
        if (mapped.IsMapped()) {
            const size_t want = std::min(at + kReadAheadBytes, bufferLength);
            for (; ahead < want; ahead += kCacheLineBytes) static_cast<const volatile uint8_t*>(data)[ahead];
        }
        MpegFrameHeader h;
        if (memo.Decode(p, &h)) {
            const uint64_t next = position + static_cast<uint64_t>(h.frameLength);
            if (FramesAgree(h, first) && next <= end) {
                // After garbage a header must be confirmed by the next one (or the end), as a
                // stray sync pattern is no frame.
                bool confirmed = inStep || next == end;
                if (!confirmed && next + 4 <= end) {
                    const size_t nextAt = static_cast<size_t>(next - bufferStart);
                    confirmed = nextAt + 4 <= bufferLength && IsFrameHeader(data + nextAt) &&
                                FramesAgree(DecodeFrameHeader(data + nextAt), first);
                }
                if (confirmed) {
                    if (tally.frames == 0) tally.kbps = h.kbps;
                    oneBitrate = oneBitrate && h.kbps == tally.kbps;
                    ++tally.frames;
                    tally.bytes += static_cast<uint64_t>(h.frameLength);
                    position = next;
                    inStep = true;
                    continue;
                }
            }
        }
        inStep = false;
        ++position;
    }
    if (!oneBitrate) tally.kbps = 0;
    tally.shrunk = mapped.Shrunk();
    return tally;
}

namespace {

// What identifies an unchanged file and where its audio starts.
struct FrameCountKey {
    uint64_t device, inode, size;
    int64_t mtimeSeconds, mtimeNanoseconds;
    uint64_t audioStart;
    uint8_t tail[32];  // the file's last bytes: a file rewritten within one clock tick differs here
    bool operator==(const FrameCountKey&) const = default;
};

constexpr size_t kFrameCountCacheSize = 64;

std::mutex g_frameCountMutex;
std::deque<std::pair<FrameCountKey, MpegFrameTally>> g_frameCounts;  // newest last

bool LookUpFrameTally(const FrameCountKey& key, MpegFrameTally& tally) {
    std::lock_guard<std::mutex> lock(g_frameCountMutex);
    for (const auto& [k, remembered] : g_frameCounts) {
        if (k == key) {
            tally = remembered;
            return true;
        }
    }
    return false;
}

void RememberFrameTally(const FrameCountKey& key, const MpegFrameTally& tally) {
    std::lock_guard<std::mutex> lock(g_frameCountMutex);
    if (g_frameCounts.size() == kFrameCountCacheSize) g_frameCounts.pop_front();
    g_frameCounts.emplace_back(key, tally);
}

}  // namespace

MpegFrameTally RememberedMpegFrameTally(int fd, const struct stat& st, uint64_t start, const MpegFrameHeader& first) {
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    FrameCountKey key{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), fileSize,
                      static_cast<int64_t>(st.st_mtim.tv_sec), static_cast<int64_t>(st.st_mtim.tv_nsec), start, {}};
    const uint64_t tailAt = fileSize > sizeof key.tail ? fileSize - sizeof key.tail : 0;
    const bool tailRead = ReadAt(fd, tailAt, key.tail, sizeof key.tail) > 0;
    MpegFrameTally tally;
    if (tailRead && LookUpFrameTally(key, tally)) return tally;
    tally = TallyMpegFrames(fd, start, fileSize, first);
    if (!tally.shrunk) RememberFrameTally(key, tally);
    return tally;
}

CLibraryMpegStream::CLibraryMpegStream(const std::string& path, int fd, const MpegStreamLayout& layout,
                                       uint64_t frames)
    : CLibraryChannel(path, LibraryFileKind::kMpeg), fd_(fd), layout_(layout), frames_(frames) {
    rate_ = static_cast<uint32_t>(layout.header.sampleRate);
    chans_ = layout.header.channelMode == 3 ? 1 : 2;
    source_.fd = fd;
    source_.base = layout.audioStart;
    source_.size = layout.fileSize - layout.audioStart;
}

CLibraryMpegStream::~CLibraryMpegStream() {
    if (decoder_ != nullptr) {
        mpg123_close(decoder_);
        mpg123_delete(decoder_);
    }
    if (fd_ >= 0) ::close(fd_);
}

bool HeaderUndercounts(int fd, const MpegStreamLayout& layout) {
    constexpr size_t kTailProbe = 160;  // an ID3v1 tag and an APE footer
    if (layout.vbrHeader.bytes == 0) return false;
    uint8_t tail[kTailProbe];
    const size_t probe = static_cast<size_t>(std::min<uint64_t>(layout.fileSize, kTailProbe));
    const uint64_t trailing = ReadAt(fd, layout.fileSize - probe, tail, probe) == probe
                                  ? TrailingTagSize(tail, probe, layout.fileSize)
                                  : 0;
    const uint64_t audio = layout.fileSize - std::min(layout.fileSize, trailing + layout.firstFrame);
    return audio > uint64_t{layout.vbrHeader.bytes} + kMaxFrameLength;
}

std::unique_ptr<CLibraryMpegStream> CLibraryMpegStream::Open(const std::string& path, uint32_t searchBytes,
                                                         bool gapless) {
    struct stat st {};
    const int fd = OpenRegularFile(path, &st);
    if (fd < 0) return nullptr;
    MpegStreamLayout layout;
    if (!ProbeMpegLayout(fd, static_cast<uint64_t>(st.st_size), searchBytes, &layout)) {
        ::close(fd);
        return nullptr;
    }
    uint64_t frames = layout.vbrHeader.frames;
    if (frames != 0 && !VbrHeaderFitsFile(layout.vbrHeader, layout.header, layout.firstFrame, layout.audioStart,
                                          layout.fileSize)) {
        frames = 0;  // cut short since it was written: its frames are counted instead
    }
    if (frames != 0 && HeaderUndercounts(fd, layout)) {
        // More audio follows than the header counts (files glued with cat): its frames are
        // counted, and its delays, which describe only the first of them, are not applied.
        frames = 0;
        layout.vbrHeader.hasDelays = false;
    }
    if (frames == 0) frames = RememberedMpegFrameTally(fd, st, layout.audioStart, layout.header).frames;
    std::unique_ptr<CLibraryMpegStream> stream(new CLibraryMpegStream(path, fd, layout, frames));
    const int64_t block = static_cast<int64_t>(stream->chans_) * 2;
    const uint64_t decoded = frames * static_cast<uint64_t>(layout.header.samplesPerFrame);
    uint64_t kept = decoded;
    if (gapless && layout.vbrHeader.hasDelays) {
        constexpr uint64_t kDecoderDelay = 529;
        const VbrHeader& v = layout.vbrHeader;
        stream->skipped_ = std::min<uint64_t>(static_cast<uint64_t>(v.delay) + kDecoderDelay, decoded);
        const uint64_t dropped = static_cast<uint64_t>(v.delay) + static_cast<uint64_t>(v.padding);
        kept = decoded > dropped ? decoded - dropped : 0;
    }
    stream->length_ = static_cast<int64_t>(kept) * block;
    stream->discard_ = stream->skipped_;
    return stream;
}

bool CLibraryMpegStream::EnsureDecoder() {
    if (decoder_ != nullptr) return true;
    if (decoderRefused_) return false;
    if (OpenDecoder()) return true;
    if (decoder_ != nullptr) {
        mpg123_close(decoder_);
        mpg123_delete(decoder_);
        decoder_ = nullptr;
    }
    decoderRefused_ = true;
    return false;
}

bool CLibraryMpegStream::OpenDecoder() {
    InitMpg123Once();
    source_.buffer.resize(kScanChunk);
    int error = MPG123_OK;
    decoder_ = mpg123_new(nullptr, &error);
    if (decoder_ == nullptr) return false;
    // Every frame in full: no gapless trimming, no resync give-up on long garbage, no output
    // format but the stream's own.
    if (mpg123_param(decoder_, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0) != MPG123_OK ||
        mpg123_param(decoder_, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0) != MPG123_OK ||
        mpg123_param(decoder_, MPG123_RESYNC_LIMIT, -1, 0.0) != MPG123_OK ||
        mpg123_param(decoder_, MPG123_PREFRAMES, kSeekPrerollFrames, 0.0) != MPG123_OK ||
        mpg123_format_none(decoder_) != MPG123_OK ||
        mpg123_format(decoder_, static_cast<long>(rate_), chans_ == 1 ? MPG123_MONO : MPG123_STEREO,
                      MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_replace_reader_handle(decoder_, SourceRead, SourceSeek, nullptr) != MPG123_OK ||
        mpg123_open_handle(decoder_, &source_) != MPG123_OK)
        return false;
    if (frames_ == 0) return true;  // nothing to decode; mpg123 would find no frame
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    return mpg123_getformat(decoder_, &rate, &channels, &encoding) == MPG123_OK;
}

ChannelInfo CLibraryMpegStream::Info() const {
    ChannelInfo info;
    info.freq = rate_;
    info.chans = chans_;
    info.ctype = kCtypeMpegLayer1 + static_cast<uint32_t>(layout_.header.layerIndex);
    return info;
}

int64_t CLibraryMpegStream::Length() const { return length_; }

int64_t CLibraryMpegStream::FilePosition(int mode) const {
    if (mode == kFilePosStart) return static_cast<int64_t>(layout_.audioStart);
    if (mode == kFilePosEnd) return static_cast<int64_t>(layout_.fileSize);
    return -1;
}

int32_t CLibraryMpegStream::GetData(void* buffer, uint32_t bytes) {
    if (frames_ == 0) return 0;
    if (!EnsureDecoder()) return -1;
    // A gapless stream starts after the delay, decoded and dropped (a seek into the first
    // frames would not give the same samples), and ends where the padding begins.
    const int64_t block = static_cast<int64_t>(chans_) * 2;
    while (discard_ > 0) {
        unsigned char dropped[16384];
        const size_t ask = static_cast<size_t>(std::min<uint64_t>(discard_ * static_cast<uint64_t>(block), sizeof dropped));
        size_t done = 0;
        const int result = mpg123_read(decoder_, dropped, ask, &done);
        discard_ -= std::min<uint64_t>(discard_, done / static_cast<size_t>(block));
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) return result == MPG123_DONE ? 0 : -1;
    }
    if (skipped_ > 0) bytes = static_cast<uint32_t>(std::min<int64_t>(bytes, std::max<int64_t>(length_ - position_, 0)));
    if (bytes == 0) return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    size_t total = 0;
    int empty = 0;
    bool failed = false;
    while (total < bytes) {
        size_t done = 0;
        const int result = mpg123_read(decoder_, out + total, bytes - total, &done);
        total += done;
        if (result == MPG123_DONE) break;
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            failed = true;
            break;
        }
        empty = done == 0 ? empty + 1 : 0;
        if (empty > kMaxEmptyReads) break;
    }
    if (total == 0 && failed) return -1;
    position_ += static_cast<int64_t>(total);
    return static_cast<int32_t>(total);
}

bool CLibraryMpegStream::SetPosition(int64_t bytes) {
    if (bytes < 0 || bytes > Length()) return false;
    const int64_t block = chans_ * 2;
    if (frames_ == 0) {
        position_ = 0;
        return true;
    }
    if (!EnsureDecoder()) return false;
    // The sample of the whole decode wanted, and the frame libmpg123 is sent to: one that
    // starts its preroll (kSeekPrerollFrames frames decoded silently before it) on a frame
    // whose number is a multiple of kSeekPhaseFrames, or the first frame. The samples from
    // that frame's start to the one wanted are decoded and dropped (as the delay is from the
    // start).
    const uint64_t wanted = static_cast<uint64_t>(bytes / block) + skipped_;
    const uint64_t perFrame = static_cast<uint64_t>(layout_.header.samplesPerFrame);
    const uint64_t frame = wanted / perFrame;
    const uint64_t preroll = layout_.header.layerIndex == 2 ? kSeekPrerollFrames : kOtherLayersPrerollFrames;
    const uint64_t start = frame < preroll + kSeekPhaseFrames
                               ? 0
                               : preroll + (frame - preroll) / kSeekPhaseFrames * kSeekPhaseFrames;
    const off_t reached = mpg123_seek(decoder_, static_cast<off_t>(start * perFrame), SEEK_SET);
    if (reached < 0) return false;
    if (static_cast<uint64_t>(reached) != start * perFrame) {
        // Fewer frames than counted (a file cut short): the stream stands where it got to.
        if (static_cast<uint64_t>(reached) < skipped_) return false;
        position_ = static_cast<int64_t>(static_cast<uint64_t>(reached) - skipped_) * block;
        discard_ = 0;
        return true;
    }
    position_ = bytes;
    discard_ = wanted - start * perFrame;
    return true;
}

}  // namespace corvane::audio
