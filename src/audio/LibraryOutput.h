// The audio library's output: the device that playable streams are mixed to, and their syncs.
//
// The output is one SDL2 audio device (16-bit stereo at the rate given to Init; SDL converts
// to whatever the hardware wants), or the "no sound" device, which plays nothing, or, for
// tests, a manual output that plays only when OutputPump is called. SDL calls Mix from its
// own audio thread; Mix decodes each playing stream through its own converter to the
// output's rate and channels, adds it in at the stream's volume, and advances the stream's
// played position by what went to the device.
//
// Locks, and the pitfall they avoid. Every playing stream is guarded by its slot's lock, the
// one the handle table takes for every call on the stream. Mix takes the list lock only to
// copy the list of playing slots, then takes each slot's lock on its own, so a call that
// holds a slot lock may take the list lock but never the reverse. Sync procedures run with no
// lock held (they may call back into the library); they run under the dispatch lock, which
// ChannelRemoveSync and StreamFree take after removing a sync, so that once they return the
// procedure is neither running nor about to run. The SDL device lock is never taken: SDL
// holds it around Mix, and a caller waiting for it while holding a slot lock would deadlock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/AudioLibrary.h"
#include "audio/LibraryChannel.h"

struct _SDL_AudioStream;

namespace corvane::audio {

// One sync of a playable stream.
struct LibrarySync {
    Handle id = 0;
    uint32_t type = kSyncEnd;
    int64_t param = 0;  // kSyncPosition: the byte position
    SyncProc proc;
};

// The playback side of one playable stream; every field is guarded by the slot's lock.
class CLibraryVoice {
public:
    CLibraryVoice() = default;
    ~CLibraryVoice();
    CLibraryVoice(const CLibraryVoice&) = delete;
    CLibraryVoice& operator=(const CLibraryVoice&) = delete;

    // Forgets everything decoded ahead of the device; the played position becomes position.
    void Restart(int64_t position);

    bool playing = false;
    bool decoderEnded = false;  // the channel delivered its last byte to the converter
    int64_t played = 0;         // the played position, bytes of the stream
    int64_t startedAt = 0;      // the position of the last Restart
    uint64_t outputFrames = 0;  // sample frames that went to the device since then
    float volume = 1.0f;
    std::vector<LibrarySync> syncs;
    _SDL_AudioStream* converter = nullptr;  // stream format to output format, made by Mix
    uint32_t converterRate = 0;             // output rate the converter was made for
};

// One entry of the handle table: a channel, its lock, and its voice when playable.
struct LibrarySlot {
    std::mutex lock;
    std::unique_ptr<CLibraryChannel> channel;
    std::unique_ptr<CLibraryVoice> voice;  // null for a decode-only channel
};

class CLibraryOutput {
public:
    static CLibraryOutput& Instance();

    // Opens device -1 (the default SDL output device), n >= 1 (SDL's output device n - 1) or
    // 0 (no sound), closing whatever was open. With the manual output selected, -1 opens
    // that instead of SDL. False when the device does not open (nothing is open then).
    bool Open(int device, uint32_t freq);
    // Closes the device: every stream stops, no sync runs afterwards.
    void Close();
    // True when an output that plays is open (not the "no sound" device, not closed).
    bool Plays() const;

    // Adds a playable slot to those Mix looks at (once); Forget removes it.
    void Start(const std::shared_ptr<LibrarySlot>& slot);
    void Forget(const LibrarySlot* slot);
    // Returns once no sync procedure is running; at once when called from one.
    void WaitForSyncs();

    // Test clock: see UseManualOutput and OutputPump in AudioLibrary.h.
    void SetManual(bool manual) { manual_ = manual; }
    bool Pump(uint32_t frames, int16_t* out);

    // Mixes frames stereo sample frames into out (SDL's callback, or Pump).
    void Mix(int16_t* out, uint32_t frames);

private:
    CLibraryOutput() = default;
    enum class Kind { kClosed, kNoSound, kSdl, kManual };
    struct Due {
        std::shared_ptr<LibrarySlot> slot;
        Handle sync;
    };
    void MixSlot(LibrarySlot& slot, uint32_t frames, std::vector<Due>& due, const std::shared_ptr<LibrarySlot>& self);
    void Dispatch(const std::vector<Due>& due);

    std::mutex openLock_;       // Open and Close
    std::mutex listLock_;       // playing_
    std::vector<std::shared_ptr<LibrarySlot>> playing_;
    std::mutex dispatchLock_;   // held while sync procedures run
    std::atomic<std::thread::id> dispatcher_{};
    std::atomic<Kind> kind_{Kind::kClosed};
    std::atomic<bool> plays_{false};  // kSdl or kManual
    std::atomic<uint32_t> rate_{0};
    std::atomic<bool> manual_{false};
    uint32_t sdlDevice_ = 0;    // SDL_AudioDeviceID, 0 when none

    // Mix's work buffers, used by one mixing thread at a time.
    std::vector<std::shared_ptr<LibrarySlot>> mixList_;
    std::vector<Due> due_;
    std::vector<int32_t> sum_;
    std::vector<int16_t> voiceOut_;
    std::vector<uint8_t> decoded_;
};

}  // namespace corvane::audio
