// Encoding parameters of re-encoded output: the values offered, the presets, bit-rate snapping.
//
// An MPEG audio stream is described by three numbers: its sample rate in Hz, its bit rate in
// kbps (constant here) and its channel mode as the frame header codes it (0 stereo, 1 joint
// stereo, 2 dual channel, 3 mono). Not every pair of rate and bit rate exists: MPEG 1 (32000,
// 44100, 48000 Hz) has 32..320 kbps without 144, the lower rates (MPEG 2 and 2.5) have
// 8..160 kbps, and LAME keeps MPEG 2.5 (8000, 11025, 12000 Hz) at 64 kbps or less. The lists
// below are what the options pages offer; whether LAME accepts a combination is decided by
// CMp3Encoder::Start.
#pragma once

#include <array>
#include <cstdint>

namespace corvane {

// MPEG channel modes as coded in the frame header, and as MP3ChannelMode stores them. The
// names convert to their numbers where a frame's or a library's plain integer is meant.
enum ChannelMode : int32_t {
    kChannelModeStereo = 0,
    kChannelModeJointStereo = 1,
    kChannelModeDualChannel = 2,  // read from sources, never chosen
    kChannelModeMono = 3,
    kChannelModeNone = 4,         // no frame read, or no parameters chosen
};

// Plain record of the three encoding numbers. The default value means "none chosen".
struct EncodingParams {
    int32_t sampleRate = 0;                  // Hz; 0 = none chosen
    int32_t bitrate = 0;                     // kbps; 0 = none chosen
    int32_t channelMode = kChannelModeNone;  // 0, 1 or 3; 4 = none chosen

    friend bool operator==(const EncodingParams&, const EncodingParams&) = default;
};

// True when all three values were chosen: rate and bit rate non-zero and the mode not 4.
constexpr bool IsChosen(const EncodingParams& p) {
    return p.sampleRate != 0 && p.bitrate != 0 && p.channelMode != kChannelModeNone;
}

// Sample rates offered, in list order; shown with kSampleRateFormat.
constexpr std::array<int32_t, 9> kSampleRates = {8000,  11025, 12000, 16000, 22050,
                                                 24000, 32000, 44100, 48000};
constexpr const char* kSampleRateFormat = "%d Hz";

// Bit rates offered, in list order; shown with kBitrateFormat. NearestStandardBitrate snaps
// to this list.
constexpr std::array<int32_t, 18> kBitrates = {8,  16, 24,  32,  40,  48,  56,  64,  80,
                                               96, 112, 128, 144, 160, 192, 224, 256, 320};
constexpr const char* kBitrateFormat = "%d kbps";

// Channel modes offered, in list order, with their texts.
struct ChannelModeChoice {
    int32_t channelMode;
    const char* text;
};
constexpr std::array<ChannelModeChoice, 3> kChannelModeChoices = {{
    {kChannelModeJointStereo, "Joint Stereo"},
    {kChannelModeStereo, "Stereo"},
    {kChannelModeMono, "Mono"},
}};

// The fixed presets of the joiner options, in list order. The list shown to the user is
// kAutoPresetText, these four, then kCustomizePresetText.
struct EncodingPreset {
    const char* text;
    EncodingParams params;
};
constexpr const char* kAutoPresetText = "Auto";
constexpr const char* kCustomizePresetText = "Customize";
constexpr std::array<EncodingPreset, 4> kEncodingPresets = {{
    {"11025 Hz, 16 kbps, Mono (low quality, smaller file size)", {11025, 16, kChannelModeMono}},
    {"22050 Hz, 32 kbps, Joint Stereo (OK quality, small size)", {22050, 32, kChannelModeJointStereo}},
    {"32000 Hz, 96 kbps, Joint Stereo (medium quality, normal size)", {32000, 96, kChannelModeJointStereo}},
    {"44100Hz, 128 kbps, Joint Stereo (close to CD-quality, large size)", {44100, 128, kChannelModeJointStereo}},
}};

// The entry of kBitrates nearest to kbps; on a tie the lower entry. Below 8 gives 8, 320 or
// more gives 320. Examples: 100 -> 96, 104 -> 96, 105 -> 112, 130 -> 128.
int32_t NearestStandardBitrate(int32_t kbps);

// The bit rates Layer III has at a sample rate and LAME encodes there: 32000 Hz and more
// (MPEG 1) 32 to 320 kbps without 144; 16000 to 24000 Hz (MPEG 2) 8 to 160 kbps; below
// 16000 Hz (MPEG 2.5) 8 to 64 kbps. The entry of kBitrates nearest to kbps among those hz
// allows; on a tie the lower. Parameters derived from the sources (not chosen by the user)
// are snapped with it, so that they are always encodable: 144 kbps at 44100 Hz gives 128,
// 192 kbps at 22050 Hz gives 160.
int32_t NearestBitrateForSampleRate(int32_t hz, int32_t kbps);

// The entry of kSampleRates nearest to hz; on a tie the lower. A derived rate that is no MPEG
// rate (a 96000 Hz WAV source) is snapped with it: 96000 gives 48000, 11000 gives 11025.
int32_t NearestSampleRate(int32_t hz);

// The options pages keep a chosen sample rate and bit rate a pair that Layer III allows.
// When the bit rate is changed to kbps, the sample rate hz is moved into its range: 8 to 24
// kbps allow at most 24000 Hz, 80 to 160 kbps at least 16000 Hz, 192 kbps and more at least
// 32000 Hz; 32 to 64 kbps allow any rate. Returns the rate, moved or as it was.
int32_t SampleRateForBitrate(int32_t kbps, int32_t hz);

// When the sample rate is changed to hz, the bit rate kbps is moved into its range: 8000 to
// 12000 Hz allow at most 64 kbps, 16000 to 24000 Hz at most 160 kbps, 32000 Hz and more at
// least 32 kbps. Returns the bit rate, moved or as it was.
int32_t BitrateForSampleRate(int32_t hz, int32_t kbps);

// Index in kEncodingPresets of the preset whose three values all equal params, or -1.
int FindEncodingPreset(const EncodingParams& params);

// Text of an offered channel mode ("Joint Stereo", "Stereo", "Mono"), or nullptr for any
// other mode.
const char* ChannelModeChoiceText(int32_t channelMode);

}  // namespace corvane
