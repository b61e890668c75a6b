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
#include "audio/LibraryTable.h"

struct _SDL_AudioStream;

namespace corvane::audio {

// The voice of a playable stream on this output: the common part and SDL's converter from
// the stream's format to the output's.
class COutputVoice final : public CLibraryVoice {
public:
    COutputVoice() = default;
    ~COutputVoice() override;

    void Restart(int64_t position) override;

    _SDL_AudioStream* converter = nullptr;  // stream format to output format, made by Mix
    uint32_t converterRate = 0;             // output rate the converter was made for
};

class CLibraryOutput final : public CLibraryPlayback {
public:
    static CLibraryOutput& Instance();

    // Selects device -1 (the default SDL output device), n >= 1 (SDL's output device n - 1)
    // or 0 (no sound), closing whatever was open. With the manual output selected, -1 opens
    // that instead of SDL. The default device is not opened here but by OpenDeferred, on the
    // first play: a program that never plays starts no sound server connection and no audio
    // thread, and waits for none at its end. Device n >= 1 opens at once. False when the
    // device does not open (nothing is open then).
    bool Open(int device, uint32_t freq);
    // Opens the default device selected by Open when it is not open yet. When it does not
    // open, the output becomes the "no sound" device (playable streams stay silent). True
    // when an output that plays is open.
    bool OpenDeferred();
    // Closes the device: every stream stops, no sync runs afterwards.
    void Close();
    // True when an output that plays is open or selected (not the "no sound" device, not
    // closed).
    bool Plays() const override;
    std::unique_ptr<CLibraryVoice> NewVoice() override;

    // Adds a playable slot to those Mix looks at (once); Forget removes it.
    void Start(const std::shared_ptr<LibrarySlot>& slot);
    void Forget(const LibrarySlot* slot) override;
    // Returns once no sync procedure is running; at once when called from one.
    void WaitForSyncs() override;

    // Test clock: see UseManualOutput and OutputPump in AudioLibrary.h.
    void SetManual(bool manual) { manual_ = manual; }
    bool Pump(uint32_t frames, int16_t* out);

    // Mixes frames stereo sample frames into out (SDL's callback, or Pump).
    void Mix(int16_t* out, uint32_t frames);

private:
    CLibraryOutput() = default;
    enum class Kind { kClosed, kNoSound, kSdlDeferred, kSdl, kManual };
    struct Due {
        std::shared_ptr<LibrarySlot> slot;
        Handle sync;
    };
    // Opens SDL's device (-1 the default, n >= 1 device n - 1); openLock_ held.
    bool OpenSdl(int device, uint32_t freq);
    void MixSlot(LibrarySlot& slot, uint32_t frames, std::vector<Due>& due, const std::shared_ptr<LibrarySlot>& self);
    void Dispatch(const std::vector<Due>& due);

    std::mutex openLock_;       // Open and Close
    std::mutex listLock_;       // playing_
    std::vector<std::shared_ptr<LibrarySlot>> playing_;
    std::mutex dispatchLock_;   // held while sync procedures run
    std::atomic<std::thread::id> dispatcher_{};
    std::atomic<Kind> kind_{Kind::kClosed};
    std::atomic<bool> plays_{false};  // kSdlDeferred, kSdl or kManual
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
