// ConfigureAudioLibrary: the settings every front end starts the audio library with.
//
// The desktop program and corvane-cli must recognise the same files: a file whose first MPEG
// frame lies far after its ID3v2 tag (a long gap of padding or junk) is found only within the
// search window set here. Both call this one function before they open any file, so the
// window cannot differ between them.
#pragma once

#include <cstdint>

#include "audio/AudioLibrary.h"

namespace corvane::audio {

// Bytes after a leading ID3v2 tag searched for the first MPEG audio frame (kConfigVerify).
constexpr uint32_t kMpegSearchBytes = 100000;

// The library's SetConfig, or a stand-in that records the calls (tests).
using SetConfigCall = bool (*)(uint32_t option, uint32_t value);

// Gives the audio library the front ends' settings through setConfig. True when every
// setting was accepted. Decoding works without it, with the library's defaults.
bool ConfigureAudioLibrary(SetConfigCall setConfig = &SetConfig);

}  // namespace corvane::audio
