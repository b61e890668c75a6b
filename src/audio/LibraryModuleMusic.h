// Module music of the audio library (MOD, XM, IT, S3M...), rendered by libopenmpt.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/LibraryChannel.h"

struct openmpt_module;

namespace corvane::audio {

struct OpenmptCalls;

class CLibraryModuleMusic final : public CLibraryChannel {
public:
    // Loads the module at path, rendered at freq Hz, stereo. nullptr when libopenmpt does not
    // take the file for a module, is not installed (OptionalLibraries.h), or freq is 0. The length is the module's duration (song
    // played once) times freq sample frames; no more is delivered.
    static std::unique_ptr<CLibraryModuleMusic> Load(const std::string& path, uint32_t freq);
    ~CLibraryModuleMusic() override;

    ChannelInfo Info() const override;
    int64_t Length() const override { return frames_ * kBlockAlign; }
    // Always -1: module music has no stream file positions.
    int64_t FilePosition(int mode) const override { return -1; }
    int32_t GetData(void* buffer, uint32_t bytes) override;
    int64_t Position() const override { return position_ * kBlockAlign; }
    bool SetPosition(int64_t bytes) override;

private:
    static constexpr int64_t kBlockAlign = 4;  // stereo, 16-bit
    CLibraryModuleMusic(const std::string& path, const OpenmptCalls& mpt, openmpt_module* module, uint32_t freq,
                        int64_t frames);

    const OpenmptCalls& mpt_;  // the loaded library's functions
    openmpt_module* module_ = nullptr;
    uint32_t freq_ = 0;
    int64_t frames_ = 0;    // sample frames in the whole song
    int64_t position_ = 0;  // sample frames delivered since the start
};

}  // namespace corvane::audio
