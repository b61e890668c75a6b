// Decoded audio sources: facts, block reads and the first-frame parse.
#include "audio/AudioSource.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "audio/EncodingParams.h"
#include "audio/LibraryMpegStream.h"
#include "audio/MpegFrameHeader.h"
#include "audio/PcmConverter.h"

namespace corvane {

namespace {

constexpr int kVersionReserved = 1;
constexpr int kLayerBitsReserved = 0;
constexpr int kBitrateIndexInvalid = 15;

// Rate of module music when the caller asks for none (frequency 0): the rate the desktop
// program starts the library at.
constexpr uint32_t kDefaultMusicFrequency = 44100;

constexpr const char* kMp3Suffix = ".mp3";
constexpr size_t kSuffixLength = 4;
constexpr int64_t kUnknownPosition = -1;
constexpr int kBitsPerByte = 8;
constexpr double kBytesPerKbit = 125.0;  // 1000 bits ÷ 8

bool EndsWithMp3(const std::string& path) {
    return path.size() >= kSuffixLength &&
           strcasecmp(path.c_str() + path.size() - kSuffixLength, kMp3Suffix) == 0;
}

// The position answers of the library are 64-bit; -1, or a value whose low 32 bits are all
// ones, means "not available".
bool IsUnknownPosition(int64_t value) {
    return value == kUnknownPosition || (static_cast<uint64_t>(value) & 0xFFFFFFFFu) == 0xFFFFFFFFu;
}

// True when the converter can bring rate to at least one rate the encoder writes.
bool ReachesAnEncoderRate(int32_t rate) {
    return std::any_of(kSampleRates.begin(), kSampleRates.end(),
                       [rate](int32_t encoderRate) { return CPcmConverter::Convertible(rate, encoderRate); });
}

}  // namespace

// --- CAudioSource ---------------------------------------------------------------------------

uint64_t CAudioSource::GetLengthBytes() const { return facts_.lengthBytes; }
uint64_t CAudioSource::GetPosition() const { return facts_.position; }
int32_t CAudioSource::GetLengthSeconds() const { return facts_.lengthSeconds; }
int32_t CAudioSource::GetChannels() const { return facts_.channels; }
int32_t CAudioSource::GetOutputChannels() const { return facts_.outputChannels; }
int32_t CAudioSource::GetSampleRate() const { return facts_.sampleRate; }
int32_t CAudioSource::GetBitsPerSample() const { return facts_.bitsPerSample; }
int32_t CAudioSource::GetChannelMode() const { return kChannelModeNone; }
int32_t CAudioSource::GetBitrate() const { return facts_.bitrate; }
int32_t CAudioSource::GetFrameBitrate() const { return 0; }
int32_t CAudioSource::ReservedSlot13() { return 0; }

int32_t CAudioSource::ReservedSlot14(int32_t* out) {
    if (out != nullptr) *out = 0;
    return 0;
}

int32_t CAudioSource::ReservedSlot15(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                     int32_t) {
    return 0;
}

// --- CLibraryAudioSource --------------------------------------------------------------------

CLibraryAudioSource::~CLibraryAudioSource() { CLibraryAudioSource::Close(); }

void CLibraryAudioSource::Close() {
    if (handle_ != 0) {
        if (isModule_) {
            audio::MusicFree(handle_);
        } else {
            audio::StreamFree(handle_);
        }
        handle_ = 0;
    }
    std::vector<uint8_t>().swap(block_);
    blockSize_ = 0;
    channelMode_ = kChannelModeNone;
    frameBitrate_ = 0;
    isModule_ = false;
}

bool CLibraryAudioSource::Open(const std::string& path, int32_t frequency) {
    if (handle_ != 0) Close();
    ResetFacts();

    handle_ = audio::StreamCreateFile(path, 0, 0, audio::kStreamDecode | audio::kStreamGapless);
    isModule_ = false;
    if (handle_ == 0) {
        const uint32_t rate = frequency > 0 ? static_cast<uint32_t>(frequency) : kDefaultMusicFrequency;
        handle_ = audio::MusicLoad(path, audio::kMusicDecodeFlags, rate);
        if (handle_ == 0) return false;
        isModule_ = true;
    }

    const int64_t length = audio::ChannelGetLength(handle_);
    facts_.lengthBytes = length > 0 ? static_cast<uint64_t>(length) : 0;
    if (facts_.lengthBytes != 0) {
        facts_.lengthSeconds = static_cast<int32_t>(
            std::trunc(audio::ChannelBytes2Seconds(handle_, static_cast<int64_t>(facts_.lengthBytes))));
    }

    audio::ChannelInfo info{};
    audio::ChannelGetInfo(handle_, &info);
    if (info.freq > static_cast<uint32_t>(INT32_MAX) || !ReachesAnEncoderRate(static_cast<int32_t>(info.freq))) {
        Close();
        ResetFacts();
        return false;
    }
    facts_.sampleRate = static_cast<int32_t>(info.freq);
    facts_.channels = static_cast<int32_t>(info.chans);
    facts_.outputChannels = facts_.channels < 2 ? 1 : 2;
    facts_.bitsPerSample = (info.flags & audio::kSample8Bits) != 0 ? 8 : 16;
    facts_.bytesPerSample = facts_.bitsPerSample / kBitsPerByte;

    if (EndsWithMp3(path)) ReadFirstFrame(path);

    const double seconds = audio::ChannelBytes2Seconds(handle_, static_cast<int64_t>(facts_.lengthBytes));
    const int64_t fileSize = audio::StreamGetFilePosition(handle_, audio::kFilePosEnd);
    if (seconds > 0 && !IsUnknownPosition(fileSize)) {
        facts_.bitrate = static_cast<int32_t>(static_cast<double>(fileSize) / (seconds * kBytesPerKbit) + 0.5);
    } else {
        facts_.bitrate = static_cast<int32_t>(static_cast<uint32_t>(facts_.bitsPerSample) *
                                        static_cast<uint32_t>(facts_.sampleRate) *
                                        static_cast<uint32_t>(facts_.channels) / 1000u);
    }

    blockSize_ = facts_.bytesPerSample * facts_.outputChannels * kAudioBlockFrames;
    block_.assign(static_cast<size_t>(blockSize_), 0);
    return true;
}

void CLibraryAudioSource::ReadFirstFrame(const std::string& path) {
    const int64_t start = audio::StreamGetFilePosition(handle_, audio::kFilePosStart);
    if (IsUnknownPosition(start)) return;
    const int fd = audio::OpenRegularFile(path);
    if (fd < 0) return;
    uint8_t header[4];
    if (::pread(fd, header, sizeof header, static_cast<off_t>(start)) == static_cast<ssize_t>(sizeof header)) {
        ParseFirstFrameHeader(header, frameBitrate_, channelMode_);
    }
    ::close(fd);
}

bool CLibraryAudioSource::ParseFirstFrameHeader(const uint8_t header[4], int32_t& frameBitrate,
                                                int32_t& channelMode) {
    if (header[0] != 0xFF || (header[1] & 0xE0) != 0xE0) return false;
    const int version = (header[1] >> 3) & 0x03;
    if (version == kVersionReserved) return false;
    const int layerBits = (header[1] >> 1) & 0x03;
    if (layerBits == kLayerBitsReserved) return false;
    const int index = header[2] >> 4;
    if (index == kBitrateIndexInvalid) return false;

    frameBitrate = FrameHeaderKbps(header);
    if (frameBitrate == 0) return false;  // free format
    channelMode = header[3] >> 6;
    return true;
}

int32_t CLibraryAudioSource::Read(int16_t* left, int16_t* right) {
    if (handle_ == 0 || left == nullptr) return 0;
    const bool mono = facts_.channels < 2;
    void* destination = mono ? static_cast<void*>(left) : static_cast<void*>(block_.data());
    const int32_t n = audio::ChannelGetData(handle_, destination, static_cast<uint32_t>(blockSize_));
    if (n <= 0) return 0;  // end of data, or -1 (0xFFFFFFFF) for an error
    if (mono) return n / facts_.bytesPerSample;
    if (right == nullptr) return 0;

    const int32_t channels = facts_.channels;
    if (facts_.bitsPerSample == 16) {
        const int32_t frames = (n / 2) / channels;
        const auto* samples = reinterpret_cast<const int16_t*>(block_.data());
        for (int32_t i = 0; i < frames; ++i) {
            left[i] = samples[i * channels];
            right[i] = samples[i * channels + 1];
        }
        return frames;
    }
    const int32_t frames = n / channels;
    auto* leftBytes = reinterpret_cast<uint8_t*>(left);
    auto* rightBytes = reinterpret_cast<uint8_t*>(right);
    for (int32_t i = 0; i < frames; ++i) {
        leftBytes[i] = block_[static_cast<size_t>(i * channels)];
        rightBytes[i] = block_[static_cast<size_t>(i * channels + 1)];
    }
    return frames;
}

uint64_t CLibraryAudioSource::GetPosition() const {
    if (handle_ == 0) return 0;
    const int64_t position = audio::ChannelGetPosition(handle_);
    return position > 0 ? static_cast<uint64_t>(position) : 0;
}

}  // namespace corvane
