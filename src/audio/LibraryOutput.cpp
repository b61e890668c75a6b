// The audio library's output device, its mixer and the dispatch of syncs.
#include "audio/LibraryOutput.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>

#include "audio/OptionalLibraries.h"

namespace corvane::audio {
namespace {

// SDL is opened by soname on the first play (SDL_OpenAudioDevice) or the first mix of the
// test clock, not linked: linked, it would load the sound server's and the window systems'
// client libraries (PulseAudio, ALSA, X11, Wayland...) into the program at start, though most
// runs never play. Its functions, with SDL.h's own signatures, are looked up then.
constexpr char kSdlSoname[] = "libSDL2-2.0.so.0";

struct SdlCalls {
    decltype(&SDL_AudioStreamAvailable) AudioStreamAvailable = nullptr;
    decltype(&SDL_AudioStreamClear) AudioStreamClear = nullptr;
    decltype(&SDL_AudioStreamFlush) AudioStreamFlush = nullptr;
    decltype(&SDL_AudioStreamGet) AudioStreamGet = nullptr;
    decltype(&SDL_AudioStreamPut) AudioStreamPut = nullptr;
    decltype(&SDL_CloseAudioDevice) CloseAudioDevice = nullptr;
    decltype(&SDL_FreeAudioStream) FreeAudioStream = nullptr;
    decltype(&SDL_GetAudioDeviceName) GetAudioDeviceName = nullptr;
    decltype(&SDL_GetNumAudioDevices) GetNumAudioDevices = nullptr;
    decltype(&SDL_InitSubSystem) InitSubSystem = nullptr;
    decltype(&SDL_NewAudioStream) NewAudioStream = nullptr;
    decltype(&SDL_OpenAudioDevice) OpenAudioDevice = nullptr;
    decltype(&SDL_PauseAudioDevice) PauseAudioDevice = nullptr;
    decltype(&SDL_QuitSubSystem) QuitSubSystem = nullptr;
    decltype(&SDL_SetHint) SetHint = nullptr;
};

// The loaded library's functions; nullptr when SDL cannot be loaded (nothing plays then).
// Every caller that holds an SDL object (a device, a converter) had it from a loaded SDL.
const SdlCalls* Sdl() {
    static SdlCalls c;
    static const bool loaded = LoadOptionalLibrary(kSdlSoname, [](void* library) {
        return ResolveFunction(library, "SDL_AudioStreamAvailable", c.AudioStreamAvailable) &&
               ResolveFunction(library, "SDL_AudioStreamClear", c.AudioStreamClear) &&
               ResolveFunction(library, "SDL_AudioStreamFlush", c.AudioStreamFlush) &&
               ResolveFunction(library, "SDL_AudioStreamGet", c.AudioStreamGet) &&
               ResolveFunction(library, "SDL_AudioStreamPut", c.AudioStreamPut) &&
               ResolveFunction(library, "SDL_CloseAudioDevice", c.CloseAudioDevice) &&
               ResolveFunction(library, "SDL_FreeAudioStream", c.FreeAudioStream) &&
               ResolveFunction(library, "SDL_GetAudioDeviceName", c.GetAudioDeviceName) &&
               ResolveFunction(library, "SDL_GetNumAudioDevices", c.GetNumAudioDevices) &&
               ResolveFunction(library, "SDL_InitSubSystem", c.InitSubSystem) &&
               ResolveFunction(library, "SDL_NewAudioStream", c.NewAudioStream) &&
               ResolveFunction(library, "SDL_OpenAudioDevice", c.OpenAudioDevice) &&
               ResolveFunction(library, "SDL_PauseAudioDevice", c.PauseAudioDevice) &&
               ResolveFunction(library, "SDL_QuitSubSystem", c.QuitSubSystem) &&
               ResolveFunction(library, "SDL_SetHint", c.SetHint);
    });
    return loaded ? &c : nullptr;
}

constexpr uint32_t kOutputChannels = 2;
constexpr uint32_t kOutputFrameBytes = kOutputChannels * sizeof(int16_t);
// Sample frames per device buffer: about 23 ms at 44.1 kHz, the granularity of positions
// and syncs.
constexpr uint16_t kDeviceFrames = 1024;
// Most sample frames mixed in one step; longer requests are mixed in steps.
constexpr uint32_t kMixFrames = 4096;
// Bytes read from a channel in one decode call.
constexpr uint32_t kDecodeBytes = 16384;

void SdlCallback(void* user, Uint8* stream, int len) {
    auto* output = static_cast<CLibraryOutput*>(user);
    output->Mix(reinterpret_cast<int16_t*>(stream), static_cast<uint32_t>(len) / kOutputFrameBytes);
}

// Sample frames of output at outputRate as bytes of a stream of blockAlign bytes at freq.
int64_t OutputFramesAsStreamBytes(uint64_t frames, uint32_t outputRate, uint32_t freq, uint32_t blockAlign) {
    if (outputRate == 0) return 0;
    const double streamFrames = static_cast<double>(frames) * freq / outputRate;
    return static_cast<int64_t>(std::llround(streamFrames)) * blockAlign;
}

}  // namespace

COutputVoice::~COutputVoice() {
    if (converter != nullptr) Sdl()->FreeAudioStream(converter);
}

void COutputVoice::Restart(int64_t position) {
    if (converter != nullptr) Sdl()->AudioStreamClear(converter);
    CLibraryVoice::Restart(position);
}

CLibraryOutput& CLibraryOutput::Instance() {
    static CLibraryOutput output;
    return output;
}

bool CLibraryOutput::Open(int device, uint32_t freq) {
    Close();
    std::lock_guard<std::mutex> guard(openLock_);
    if (device == 0) {
        rate_ = freq;
        kind_ = Kind::kNoSound;
        return true;
    }
    if (freq == 0) return false;
    if (device == -1 && manual_) {
        rate_ = freq;
        kind_ = Kind::kManual;
        plays_ = true;
        return true;
    }
    if (device == -1) {
        rate_ = freq;
        kind_ = Kind::kSdlDeferred;
        plays_ = true;
        return true;
    }
    return OpenSdl(device, freq);
}

bool CLibraryOutput::OpenDeferred() {
    std::lock_guard<std::mutex> guard(openLock_);
    if (kind_ == Kind::kSdlDeferred && !OpenSdl(-1, rate_)) {
        kind_ = Kind::kNoSound;
        plays_ = false;
    }
    return plays_;
}

bool CLibraryOutput::OpenSdl(int device, uint32_t freq) {
    if (Sdl() == nullptr) return false;
    const SdlCalls& sdl = *Sdl();
    // The programs handle their own signals (a cancel on SIGINT): SDL must not take them.
    sdl.SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (sdl.InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    const char* name = nullptr;
    if (device > 0) {
        name = device - 1 < sdl.GetNumAudioDevices(0) ? sdl.GetAudioDeviceName(device - 1, 0) : nullptr;
        if (name == nullptr) {
            sdl.QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
    }
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(freq);
    want.format = AUDIO_S16SYS;
    want.channels = kOutputChannels;
    want.samples = kDeviceFrames;
    want.callback = &SdlCallback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts our 16-bit stereo at freq to what the hardware takes.
    const SDL_AudioDeviceID id = sdl.OpenAudioDevice(name, 0, &want, &have, 0);
    if (id == 0) {
        sdl.QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    sdlDevice_ = id;
    rate_ = freq;
    kind_ = Kind::kSdl;
    plays_ = true;
    sdl.PauseAudioDevice(id, 0);
    return true;
}

void CLibraryOutput::Close() {
    std::vector<std::shared_ptr<LibrarySlot>> stopped;
    {
        std::lock_guard<std::mutex> guard(openLock_);
        if (sdlDevice_ != 0) {
            // Waits for a running callback, syncs included, to return.
            Sdl()->CloseAudioDevice(sdlDevice_);
            sdlDevice_ = 0;
            Sdl()->QuitSubSystem(SDL_INIT_AUDIO);
        }
        kind_ = Kind::kClosed;
        plays_ = false;
        std::lock_guard<std::mutex> list(listLock_);
        stopped.swap(playing_);
    }
    for (const auto& slot : stopped) {
        std::lock_guard<std::mutex> guard(slot->lock);
        if (slot->voice) slot->voice->playing = false;
    }
    WaitForSyncs();
}

bool CLibraryOutput::Plays() const { return plays_; }

std::unique_ptr<CLibraryVoice> CLibraryOutput::NewVoice() { return std::make_unique<COutputVoice>(); }

void CLibraryOutput::Start(const std::shared_ptr<LibrarySlot>& slot) {
    std::lock_guard<std::mutex> guard(listLock_);
    if (std::find(playing_.begin(), playing_.end(), slot) == playing_.end()) playing_.push_back(slot);
}

void CLibraryOutput::Forget(const LibrarySlot* slot) {
    std::lock_guard<std::mutex> guard(listLock_);
    playing_.erase(std::remove_if(playing_.begin(), playing_.end(),
                                  [slot](const std::shared_ptr<LibrarySlot>& entry) { return entry.get() == slot; }),
                   playing_.end());
}

void CLibraryOutput::WaitForSyncs() {
    if (dispatcher_.load() == std::this_thread::get_id()) return;
    std::lock_guard<std::mutex> guard(dispatchLock_);
}

bool CLibraryOutput::Pump(uint32_t frames, int16_t* out) {
    if (kind_ != Kind::kManual) return false;
    std::vector<int16_t> scratch;
    if (out == nullptr) scratch.resize(static_cast<size_t>(frames) * kOutputChannels);
    Mix(out != nullptr ? out : scratch.data(), frames);
    return true;
}

void CLibraryOutput::Mix(int16_t* out, uint32_t frames) {
    std::vector<Due>& due = due_;
    due.clear();
    while (frames > 0) {
        const uint32_t step = std::min(frames, kMixFrames);
        sum_.assign(static_cast<size_t>(step) * kOutputChannels, 0);
        {
            std::lock_guard<std::mutex> guard(listLock_);
            mixList_ = playing_;
        }
        for (const auto& slot : mixList_) MixSlot(*slot, step, due, slot);
        mixList_.clear();  // a freed stream is not kept alive by the mixer
        for (size_t i = 0; i < sum_.size(); ++i) {
            out[i] = static_cast<int16_t>(std::clamp<int32_t>(sum_[i], INT16_MIN, INT16_MAX));
        }
        out += sum_.size();
        frames -= step;
        // Syncs run in order with the sound: before the next step is mixed.
        if (!due.empty()) {
            Dispatch(due);
            due.clear();  // the slots with it
        }
    }
}

void CLibraryOutput::MixSlot(LibrarySlot& slot, uint32_t frames, std::vector<Due>& due,
                             const std::shared_ptr<LibrarySlot>& self) {
    std::lock_guard<std::mutex> guard(slot.lock);
    if (!slot.voice || !slot.voice->playing) return;
    auto& voice = static_cast<COutputVoice&>(*slot.voice);  // made by NewVoice
    CLibraryChannel& channel = *slot.channel;
    const ChannelInfo info = channel.Info();
    const uint32_t blockAlign = channel.BlockAlign();
    const uint32_t rate = rate_;
    if (Sdl() == nullptr) {
        voice.playing = false;  // without SDL nothing converts: silent
        return;
    }
    const SdlCalls& sdl = *Sdl();
    if (voice.converter == nullptr || voice.converterRate != rate) {
        if (voice.converter != nullptr) sdl.FreeAudioStream(voice.converter);
        voice.converter = sdl.NewAudioStream(AUDIO_S16SYS, static_cast<Uint8>(info.chans), static_cast<int>(info.freq),
                                             AUDIO_S16SYS, kOutputChannels, static_cast<int>(rate));
        voice.converterRate = rate;
        if (voice.converter == nullptr) {
            voice.playing = false;  // a format SDL cannot convert stays silent
            return;
        }
    }

    const int need = static_cast<int>(frames * kOutputFrameBytes);
    const uint32_t decodeBytes = kDecodeBytes / blockAlign * blockAlign;
    decoded_.resize(decodeBytes);
    while (sdl.AudioStreamAvailable(voice.converter) < need && !voice.decoderEnded) {
        const int32_t got = channel.GetData(decoded_.data(), decodeBytes);
        if (got <= 0 || sdl.AudioStreamPut(voice.converter, decoded_.data(), got) != 0) {
            voice.decoderEnded = true;
            sdl.AudioStreamFlush(voice.converter);
        }
    }
    voiceOut_.resize(static_cast<size_t>(frames) * kOutputChannels);
    const int gotBytes = std::max(0, sdl.AudioStreamGet(voice.converter, voiceOut_.data(), need));
    const size_t samples = static_cast<size_t>(gotBytes) / sizeof(int16_t);
    for (size_t i = 0; i < samples; ++i) {
        sum_[i] += static_cast<int32_t>(std::lround(voiceOut_[i] * voice.volume));
    }

    // The played position: the time that went to the device since the last restart, as
    // stream bytes (never beyond what was decoded; at the end, all of it). Counting output
    // time, not decoded bytes less the converter's backlog, keeps it exact whatever the
    // resampler holds back internally.
    voice.outputFrames += static_cast<uint64_t>(gotBytes) / kOutputFrameBytes;
    const bool finished = voice.decoderEnded && sdl.AudioStreamAvailable(voice.converter) == 0;
    const int64_t before = voice.played;
    const int64_t decoded = channel.Position();
    int64_t after = finished ? decoded
                             : std::min(decoded, voice.startedAt + OutputFramesAsStreamBytes(voice.outputFrames, rate,
                                                                                             info.freq, blockAlign));
    after = std::max(before, after);
    voice.played = after;

    // Reaching the end passes every later position too, so that a range whose end lies at
    // or beyond the decoded end (a length estimated from headers) still reports it.
    for (const LibrarySync& sync : voice.syncs) {
        const bool passed = before < sync.param && (sync.param <= after || finished);
        if ((sync.type == kSyncPosition && passed) || (sync.type == kSyncEnd && finished)) {
            due.push_back({self, sync.id});
        }
    }
    if (finished) voice.playing = false;
}

void CLibraryOutput::Dispatch(const std::vector<Due>& due) {
    std::lock_guard<std::mutex> guard(dispatchLock_);
    dispatcher_ = std::this_thread::get_id();
    for (const Due& entry : due) {
        SyncProc proc;
        {
            // Still set? ChannelRemoveSync or StreamFree may have removed it since it fell due.
            std::lock_guard<std::mutex> slotGuard(entry.slot->lock);
            if (!entry.slot->voice) continue;
            for (const LibrarySync& sync : entry.slot->voice->syncs) {
                if (sync.id == entry.sync) proc = sync.proc;
            }
        }
        if (proc) {
            try {
                proc();
            } catch (...) {
            }
        }
    }
    dispatcher_ = std::thread::id{};
}

}  // namespace corvane::audio
