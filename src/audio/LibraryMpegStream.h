// MPEG audio streams of the audio library: recognition, exact length and decoding by libmpg123.
//
// A file is taken as MPEG audio only when, after any leading ID3v2 tag, a run of consecutive
// frame headers agree (version, layer, sample rate). The first frame may be a VBR header frame
// ("Xing", "Info" or "VBRI"); it carries no audio, so the stream's audio starts after it and
// libmpg123 is fed the file from there on: it never sees the tag or the VBR frame, decodes
// every remaining frame in full (no gapless trimming) and the PCM matches the length reported.
//
// The length is all audio frames times their samples: the frame count of a Xing/Info/VBRI
// header when it has one and the file can hold what it counts, else a header scan of the file
// in large buffered reads (nothing is decoded to learn it). A file cut short after it was
// written (a partial download) still carries its encoder's counts; the scan then measures the
// frames that are there.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/LibraryChannel.h"
#include "audio/MpegFrameHeader.h"

struct mpg123_handle_struct;

namespace corvane::audio {

// Where the frames of an MPEG audio file stand and what they are.
struct MpegStreamLayout {
    uint64_t fileSize = 0;
    uint64_t firstFrame = 0;       // offset of the first frame (a VBR header frame or audio)
    uint64_t audioStart = 0;       // offset of the first audio frame (after a VBR header frame)
    bool vbrFrame = false;         // the first frame is a "Xing", "Info" or "VBRI" frame
    VbrHeader vbrHeader;           // what that frame counts (kind kNone without one)
    MpegFrameHeader header;        // the first audio frame's header
};

// Frames that must follow one another, agreeing, for a file to be taken as MPEG audio; fewer
// are enough only when the file ends exactly after them.
constexpr int kMpegProbeFrames = 4;

// Recognises MPEG audio in the open file fd of fileSize bytes. After a leading ID3v2 tag (its
// footer included) the first frame is searched for within searchBytes bytes. Returns false
// when the file is not MPEG audio (too short, tag past the end of the file, no run of
// agreeing frames); never reads outside the file or its buffers.
bool ProbeMpegLayout(int fd, uint64_t fileSize, uint32_t searchBytes, MpegStreamLayout* layout);

// Opens the file at path for reading, close-on-exec, and returns its descriptor; -1 when it
// cannot be opened or is no regular file. Every file of the audio layer is opened here.
//
// Pitfall: a plain open() of a named pipe waits until some other process opens it for
// writing, and a device or a pipe never reaches an end of file, so a source named by the
// user must be looked at before it is read. The file is opened without waiting
// (O_NONBLOCK), its descriptor's own facts are checked (fstat: no race with a rename of
// the path in between), and only then is the descriptor switched back to blocking reads.
// A symbolic link to a regular file is accepted. info, when given, receives the facts.
int OpenRegularFile(const std::string& path, struct stat* info = nullptr);

// Initialises libmpg123 for the process, once, whichever thread asks first.
void InitMpg123Once();

// Reads up to count bytes at offset of fd (pread, again after a signal); returns the count
// read, short only at the end of the file or on an error.
size_t ReadAt(int fd, uint64_t offset, uint8_t* buffer, size_t count);

// True when the file at path, after a leading ID3v2 tag, begins with the eleven sync bits of
// an MPEG audio frame header. Such a file is no WAV, AIFF, FLAC or Ogg file (those begin with
// their own magic), so asking libsndfile about it is pointless; libsndfile would hand it to
// its own libmpg123 instance, which prints messages about damaged frames on stderr.
bool StartsWithFrameSync(const std::string& path);

// What a header scan finds from the audio start to the end of a file.
struct MpegFrameTally {
    uint64_t frames = 0;  // whole frames that agree with the first (FramesAgree)
    uint64_t bytes = 0;   // their lengths added up: no tag, garbage or VBR header frame
    int kbps = 0;         // the one bit rate every counted frame has; 0 when they differ (or none)
    bool shrunk = false;  // the file got shorter while it was scanned: the count is of what was there
};

// Scans the frames from offset start to the file's end that agree with first (FramesAgree),
// skipping garbage between frames (a header found after garbage counts only when the next
// header agrees, or when its frame ends the file) and a trailing ID3v1 tag. Reads the file
// mapped (CMappedFile), else in large chunks; a frame cut short by the end of the file is not
// counted.
MpegFrameTally TallyMpegFrames(int fd, uint64_t start, uint64_t fileSize, const MpegFrameHeader& first);

// TallyMpegFrames of the open file fd (st: its fstat facts), remembered for the process: one
// file is often opened several times in a row (facts, tags, the cut itself), and an unchanged
// file (same device, inode, size, modification time and last bytes, same audio start) is not
// scanned again. Thread-safe.
MpegFrameTally RememberedMpegFrameTally(int fd, const struct stat& st, uint64_t start, const MpegFrameHeader& first);

// True when the file holds more audio after the header frame than its VBR header's byte
// count gives (by more than a frame, tags at the end aside): files glued together with cat,
// whose first header counts only the first of them.
bool HeaderUndercounts(int fd, const MpegStreamLayout& layout);

class CLibraryMpegStream final : public CLibraryChannel {
public:
    // Opens path as MPEG audio; nullptr when it is not MPEG audio. The facts (Info, Length,
    // FilePosition) come from the frames themselves; libmpg123 is set up only when samples are
    // first asked for or a position is set, so that reading a file's facts, or copying its
    // frames, costs no decoder. Should libmpg123 refuse the stream then, GetData gives -1 and
    // SetPosition false. gapless: without the samples a LAME tag's delay and padding give
    // (kStreamGapless).
    static std::unique_ptr<CLibraryMpegStream> Open(const std::string& path, uint32_t searchBytes,
                                                    bool gapless = false);
    ~CLibraryMpegStream() override;

    ChannelInfo Info() const override;
    int64_t Length() const override;
    int64_t FilePosition(int mode) const override;
    int32_t GetData(void* buffer, uint32_t bytes) override;
    int64_t Position() const override { return position_; }
    bool SetPosition(int64_t bytes) override;

    const MpegStreamLayout& Layout() const { return layout_; }

    // The reader libmpg123 is given: the file seen from the audio start on, read through a
    // buffer (libmpg123 asks for each frame header and body separately). Public only for the
    // C callbacks.
    struct Source {
        int fd = -1;
        uint64_t base = 0;  // file offset of the reader's position 0
        uint64_t size = 0;  // bytes from base to the end of the file
        uint64_t at = 0;    // reader position
        std::vector<uint8_t> buffer;
        uint64_t bufferAt = 0;    // reader position of buffer[0]
        size_t bufferLength = 0;  // valid bytes in buffer
    };

private:
    CLibraryMpegStream(const std::string& path, int fd, const MpegStreamLayout& layout, uint64_t frames);
    // Sets libmpg123 up on the stream unless that was done (or failed) before; false when it
    // refuses the stream.
    bool EnsureDecoder();
    bool OpenDecoder();

    int fd_ = -1;
    MpegStreamLayout layout_;
    uint64_t frames_ = 0;
    uint32_t rate_ = 0;
    uint32_t chans_ = 0;
    Source source_;
    mpg123_handle_struct* decoder_ = nullptr;
    bool decoderRefused_ = false;
    int64_t position_ = 0;
    uint64_t skipped_ = 0;  // samples of the decode before position 0 (gapless: delay + 529)
    uint64_t discard_ = 0;  // samples still to drop before the next ones handed out
    int64_t length_ = 0;    // bytes Length() gives
};

}  // namespace corvane::audio
