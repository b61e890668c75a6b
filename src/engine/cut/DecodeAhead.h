// CDecodeAhead: the re-encoding cutter's second thread, reading and decoding frames ahead.
//
// Decoding a frame and encoding it both cost real time, so while the cutter fades, encodes
// and writes one frame, this thread reads and decodes the next ones into a ring of kSlots
// slots. The cutter still takes the frames strictly in file order (Next, then Release) and
// makes every decision itself (budgets, history, progress, cancel).
//
// Ownership. Between Start and Stop the reader and the decoder belong to the decoding
// thread: the caller must not read, seek, decode or release them, nor close the reader,
// until Stop has returned. Stop hands them back with the reader standing right after the
// last frame released, so frames decoded ahead and never taken are read again later. The
// slots belong to the thread until they are handed out by Next; a slot handed out stays the
// caller's until Release.
//
// Pitfall: the decoder (CFrameDecoder) hands out each frame's samples only when the next
// frame is fed. At the end of the source the thread flushes it once, so the last frame's
// samples come out too; they are passed on as that frame again (same offsets), so that the
// frame history does not count the frame twice.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/FrameDecoder.h"
#include "engine/mp3/Mp3Reader.h"

namespace corvane {

class CDecodeAhead {
public:
    // PCM samples per channel the decoder may deliver for one frame; each slot holds this
    // many per channel, allocated once.
    static constexpr int kPcmBufferSamples = audio::CFrameDecoder::kMaxSamples;

    // One frame read and decoded.
    struct Slot {
        bool exhausted = false;  // the reader had no further frame
        bool readFailed = false; // exhausted by a failed read, not by the end of the data
        uint64_t offset = 0;     // the frame's file offset
        uint64_t end = 0;        // the file offset after it
        int frameSamples = 0;    // samples in the frame
        int decoded = 0;         // samples per channel the decoder delivered (0 for none)
        std::vector<int16_t> left;
        std::vector<int16_t> right;
    };

    CDecodeAhead();
    // Stops the thread, as Stop.
    ~CDecodeAhead();
    CDecodeAhead(const CDecodeAhead&) = delete;
    CDecodeAhead& operator=(const CDecodeAhead&) = delete;

    // Stops any earlier run, then starts the thread reading at the reader's position and
    // decoding with decoder. Both must outlive the run; from here until Stop they are the
    // thread's (see the ownership note above).
    void Start(CMp3Reader& reader, audio::CFrameDecoder& decoder);

    // The next frame in file order, waiting for the thread when none is ready yet. The slot
    // stays valid and unchanged until Release. Once the source is exhausted, every call
    // returns the exhausted slot. Only between Start and Stop.
    Slot& Next();

    // Gives the slot of the last Next back to the thread. Releasing the exhausted slot does
    // nothing.
    void Release();

    // Stops and joins the thread and hands the reader and decoder back, the reader standing
    // after the last frame released (or where Start found it). Does nothing when no thread
    // runs, so it may be called more than once.
    void Stop();

    // File offset after the last frame released.
    uint64_t consumedEnd() const { return consumedEnd_; }

private:
    void Run();

    // The decoder fills the ring and then sleeps until the taker has emptied half of it, so
    // the two threads wake each other once per kSlots / 2 frames, not once a frame.
    static constexpr size_t kSlots = 32;
    static constexpr size_t kRefillBelow = kSlots / 2;

    CMp3Reader* reader_ = nullptr;
    audio::CFrameDecoder* decoder_ = nullptr;
    std::array<Slot, kSlots> slots_;
    // Guarded by mutex_: which slots are filled, and who waits.
    size_t head_ = 0;  // next slot to take
    size_t tail_ = 0;  // next slot to fill
    size_t filled_ = 0;
    bool stop_ = false;
    bool decoderWaiting_ = false;
    bool takerWaiting_ = false;
    // The thread's own, between Start and Stop.
    bool fedAny_ = false;   // a frame went to the decoder since Start
    bool flushed_ = false;  // the decoder's last frame was taken out at the end
    bool endReadFailed_ = false;  // the read that found no further frame failed
    // The caller's.
    uint64_t consumedEnd_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
};

}  // namespace corvane
