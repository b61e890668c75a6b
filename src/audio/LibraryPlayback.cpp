// The audio library's playback operations: the output device, playing, syncs and volume.
//
// This file, LibraryOutput and CPreviewPlayer make up corvane_playback, the only part of the
// audio layer that links SDL (LibraryTable.h tells how it joins the handle table).
#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>

#include "audio/AudioLibrary.h"
#include "audio/LibraryOutput.h"
#include "audio/LibraryTable.h"

namespace corvane::audio {
namespace {

std::atomic<bool> g_initialised{false};

// Runs call(channel, voice) under the channel's lock when handle is a playable stream.
template <typename Result, typename Call>
Result WithVoice(Handle handle, Result fallback, Call call) {
    const std::shared_ptr<LibrarySlot> slot = FindLibrarySlot(handle);
    if (slot == nullptr) return fallback;
    std::lock_guard<std::mutex> guard(slot->lock);
    if (!slot->voice) return fallback;
    try {
        return call(*slot->channel, *slot->voice);
    } catch (...) {
        return fallback;
    }
}

}  // namespace

bool Init(int device, uint32_t freq) {
    if (device < -1) return false;
    SetLibraryPlayback(&CLibraryOutput::Instance());
    const bool opened = CLibraryOutput::Instance().Open(device, freq);
    g_initialised = opened;
    return opened;
}

bool Free() {
    const bool was = g_initialised.exchange(false);
    CLibraryOutput::Instance().Close();
    return was;
}

bool ChannelPlay(Handle h, bool restart) {
    const std::shared_ptr<LibrarySlot> slot = FindLibrarySlot(h);
    if (slot == nullptr || !slot->voice) return false;
    CLibraryOutput& output = CLibraryOutput::Instance();
    // The device opens on the first play; false when it does not.
    if (!output.OpenDeferred()) return false;
    {
        std::lock_guard<std::mutex> guard(slot->lock);
        if (!output.Plays()) return false;
        try {
            if (restart) {
                if (!slot->channel->SetPosition(0)) return false;
                slot->voice->Restart(0);
            }
        } catch (...) {
            return false;
        }
        slot->voice->playing = true;
    }
    output.Start(slot);
    return true;
}

bool ChannelPause(Handle h) {
    return WithVoice(h, false, [](CLibraryChannel&, CLibraryVoice& voice) {
        const bool was = voice.playing;
        voice.playing = false;
        return was;
    });
}

bool ChannelIsPlaying(Handle h) {
    return WithVoice(h, false, [](CLibraryChannel&, CLibraryVoice& voice) { return voice.playing; });
}

Handle ChannelSetSync(Handle h, uint32_t type, int64_t param, SyncProc proc) {
    if (type != kSyncPosition && type != kSyncEnd) return 0;
    const Handle id = NewLibrarySyncId();
    return WithVoice(h, Handle{0}, [&](CLibraryChannel&, CLibraryVoice& voice) {
        voice.syncs.push_back({id, type, param, std::move(proc)});
        return id;
    });
}

bool ChannelRemoveSync(Handle h, Handle sync) {
    const bool removed = WithVoice(h, false, [&](CLibraryChannel&, CLibraryVoice& voice) {
        const auto found = std::find_if(voice.syncs.begin(), voice.syncs.end(),
                                        [&](const LibrarySync& entry) { return entry.id == sync; });
        if (found == voice.syncs.end()) return false;
        voice.syncs.erase(found);
        return true;
    });
    // A procedure that fell due before the removal may be running: wait for it.
    if (removed) CLibraryOutput::Instance().WaitForSyncs();
    return removed;
}

bool ChannelSetAttribute(Handle h, uint32_t attribute, float value) {
    if (attribute != kAttribVolume || !(value == value)) return false;
    return WithVoice(h, false, [&](CLibraryChannel&, CLibraryVoice& voice) {
        voice.volume = std::clamp(value, 0.0f, 1.0f);
        return true;
    });
}

bool ChannelGetAttribute(Handle h, uint32_t attribute, float* value) {
    if (attribute != kAttribVolume || value == nullptr) return false;
    return WithVoice(h, false, [&](CLibraryChannel&, CLibraryVoice& voice) {
        *value = voice.volume;
        return true;
    });
}

void UseManualOutput(bool manual) { CLibraryOutput::Instance().SetManual(manual); }

bool OutputPump(uint32_t frames, int16_t* out) { return CLibraryOutput::Instance().Pump(frames, out); }

}  // namespace corvane::audio
