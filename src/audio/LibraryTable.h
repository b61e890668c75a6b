// The audio library's handle table as its playback side sees it: slots, voices, the hook.
//
// The handle table (AudioLibrary.cpp) belongs to the decoding library, corvane_audio.
// Playing is a library of its own, corvane_playback (the output device in LibraryOutput,
// the playback operations in LibraryPlayback.cpp, CPreviewPlayer), which programs that only
// decode, such as corvane-cli, do not link: SDL and the sound server's client libraries are
// then never loaded into them. The table reaches the output only through CLibraryPlayback,
// which Init installs; until then no stream is playable (StreamCreateFile with flags 0
// fails, as on the "no sound" device).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/AudioLibrary.h"
#include "audio/LibraryChannel.h"

namespace corvane::audio {

// One sync of a playable stream.
struct LibrarySync {
    Handle id = 0;
    uint32_t type = kSyncEnd;
    int64_t param = 0;  // kSyncPosition: the byte position
    SyncProc proc;
};

// The playback side of one playable stream; every field is guarded by the slot's lock. The
// output makes voices (CLibraryPlayback::NewVoice) and may keep its own state in them.
class CLibraryVoice {
public:
    CLibraryVoice() = default;
    virtual ~CLibraryVoice() = default;
    CLibraryVoice(const CLibraryVoice&) = delete;
    CLibraryVoice& operator=(const CLibraryVoice&) = delete;

    // Forgets everything decoded ahead of the device; the played position becomes position.
    virtual void Restart(int64_t position) {
        decoderEnded = false;
        played = position;
        startedAt = position;
        outputFrames = 0;
    }

    bool playing = false;
    bool decoderEnded = false;  // the channel delivered its last byte to the output
    int64_t played = 0;         // the played position, bytes of the stream
    int64_t startedAt = 0;      // the position of the last Restart
    uint64_t outputFrames = 0;  // sample frames that went to the device since then
    float volume = 1.0f;
    std::vector<LibrarySync> syncs;
};

// One entry of the handle table: a channel, its lock, and its voice when playable.
struct LibrarySlot {
    std::mutex lock;
    std::unique_ptr<CLibraryChannel> channel;
    std::unique_ptr<CLibraryVoice> voice;  // null for a decode-only channel
};

// What the handle table asks of the output.
class CLibraryPlayback {
public:
    // True when an output that plays is open (or will open on the first play).
    virtual bool Plays() const = 0;
    // The voice of a new playable stream.
    virtual std::unique_ptr<CLibraryVoice> NewVoice() = 0;
    // Stops mixing slot (a stream being freed).
    virtual void Forget(const LibrarySlot* slot) = 0;
    // Returns once no sync procedure is running; at once when called from one.
    virtual void WaitForSyncs() = 0;

protected:
    ~CLibraryPlayback() = default;
};

// Installs the output the table uses from now on (it must live until the process ends).
void SetLibraryPlayback(CLibraryPlayback* playback);

// The slot of handle, nullptr for an unknown handle.
std::shared_ptr<LibrarySlot> FindLibrarySlot(Handle handle);

// A new sync handle, never 0.
Handle NewLibrarySyncId();

}  // namespace corvane::audio
