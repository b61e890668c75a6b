// ConfigureAudioLibrary: one start-up of the audio library for every front end.
#include "audio/AudioStartup.h"

namespace corvane::audio {

bool ConfigureAudioLibrary(SetConfigCall setConfig) {
    return setConfig != nullptr && setConfig(kConfigVerify, kMpegSearchBytes);
}

}  // namespace corvane::audio
