// CFrameIndex: where the frames of a source lie, read ahead of the pieces that will cut them.
//
// A parallel cut must know, before a piece is cut, the file position of the frame a forecast
// names (PieceForecast.h) and the frames before a position that the forward overlap reads
// again. The index reads the source frame by frame from its audio start with a reader of its
// own, the way a cutter reading straight through meets the frames, and keeps their offsets,
// lengths and sample counts. Frames are numbered from 0 at the audio start. It reads only as
// far as asked and forgets frames behind the pieces still to come (ForgetBefore), so it costs
// memory for the pieces in flight, not for the whole source.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "engine/cut/Cutter.h"
#include "engine/mp3/Mp3Reader.h"

namespace corvane {

class CFrameIndex {
public:
    // Opens the source; false when the reader refuses it.
    bool Open(const std::string& path);
    uint64_t audioStart() const { return reader_.audioStart(); }

    // The number of the first frame that starts at or after position, reading on as far as
    // needed; Count() when none does (the source ended before).
    uint64_t FrameAt(uint64_t position);
    // Frame n's offset and samples (and its end in end); false when the source has no
    // frame n. n must not lie before what ForgetBefore kept.
    bool Frame(uint64_t n, FrameRecord& frame, uint64_t* end = nullptr);
    // The number of frames once the source has been read to its end, else the frames read
    // so far plus one.
    uint64_t Count() const { return base_ + frames_.size() + (ended_ ? 0 : 1); }

    // The newest frames before position, oldest first, whose samples reach samples (all of
    // them, from frame 0, when fewer do).
    std::vector<FrameRecord> FramesBefore(uint64_t position, uint64_t samples);

    // Where a reader at position stands after reading past samples (CCutter::SkipDuration):
    // the end of the frame whose samples reach them. eof is set when the source ran out
    // first. samples 0 leaves position as it is.
    uint64_t Skip(uint64_t position, uint64_t samples, bool& eof);

    // Forgets the frames before position, but for the newest ones whose samples reach
    // samples.
    void ForgetBefore(uint64_t position, uint64_t samples);

    // How many of the first kQuietProbeFrames frames from position the frame decoder, started
    // there as a piece starts it, hands no samples for: its delay of one call, and after a
    // jump a first frame whose bit reservoir lies before position. Decodes those frames once
    // and remembers the answer.
    uint64_t QuietFrames(uint64_t position);
    static constexpr uint64_t kQuietProbeFrames = 8;

    CFrameIndex() = default;
    ~CFrameIndex();
    CFrameIndex(const CFrameIndex&) = delete;
    CFrameIndex& operator=(const CFrameIndex&) = delete;

private:
    struct Entry {
        uint64_t offset = 0;
        uint32_t length = 0;
        int32_t samples = 0;
    };
    // Reads on until frame n is known or the source ended; false when it has no frame n.
    bool ReadTo(uint64_t n);

    CMp3Reader reader_;
    std::deque<Entry> frames_;  // frames base_, base_ + 1, ...
    uint64_t base_ = 0;
    bool ended_ = false;
    int fd_ = -1;                          // the source, for the bytes QuietFrames decodes
    std::map<uint64_t, uint64_t> quiet_;   // QuietFrames by position
};

}  // namespace corvane
