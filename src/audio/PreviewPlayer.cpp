// CPreviewPlayer: one playable (or decode-only) stream of the audio library with its end sync.
#include "audio/PreviewPlayer.h"

#include <algorithm>

#include "audio/AudioLibrary.h"

namespace corvane {
namespace {

constexpr double kMsPerSecond = 1000.0;
constexpr int kMaxGain = 65535;
// Bytes per second in one kbps: the bit rate is file bytes / (seconds * 125).
constexpr double kBytesPerKbps = 125.0;

}  // namespace

CPreviewPlayer::CPreviewPlayer() = default;

CPreviewPlayer::~CPreviewPlayer() { Free(); }

bool CPreviewPlayer::Load(const std::string& path, Notify notify) {
    Free();
    audio::Handle stream = audio::StreamCreateFile(path, 0, 0, audio::kStreamGapless);
    if (stream == 0) stream = audio::StreamCreateFile(path, 0, 0, audio::kStreamDecode | audio::kStreamGapless);
    if (stream == 0) return false;

    audio::ChannelInfo info;
    if (!audio::ChannelGetInfo(stream, &info)) {
        audio::StreamFree(stream);
        return false;
    }
    stream_ = stream;
    notify_ = std::move(notify);
    sampleRate_ = static_cast<int>(info.freq);
    channels_ = static_cast<int>(info.chans);

    const double seconds = audio::ChannelBytes2Seconds(stream_, audio::ChannelGetLength(stream_));
    const int64_t fileSize = audio::StreamGetFilePosition(stream_, audio::kFilePosEnd);
    bitrate_ = seconds > 0.0 && fileSize > 0
                   ? static_cast<int>(static_cast<double>(fileSize) / (seconds * kBytesPerKbps) + 0.5)
                   : 0;
    SetVolume(gain_);
    return true;
}

bool CPreviewPlayer::IsLoaded() const { return stream_ != 0; }

int64_t CPreviewPlayer::GetLengthMs() const {
    if (stream_ == 0) return 0;
    const double seconds = audio::ChannelBytes2Seconds(stream_, audio::ChannelGetLength(stream_));
    return seconds > 0.0 ? static_cast<int64_t>(seconds * kMsPerSecond) : 0;
}

int64_t CPreviewPlayer::GetPositionMs() const {
    if (stream_ == 0) return 0;
    const double seconds = audio::ChannelBytes2Seconds(stream_, audio::ChannelGetPosition(stream_));
    return seconds > 0.0 ? static_cast<int64_t>(seconds * kMsPerSecond) : 0;
}

void CPreviewPlayer::Seek(int64_t ms) {
    if (stream_ == 0) return;
    const int64_t length = audio::ChannelGetLength(stream_);
    int64_t bytes = audio::ChannelSeconds2Bytes(stream_, static_cast<double>(std::max<int64_t>(ms, 0)) * 0.001);
    bytes = std::clamp<int64_t>(bytes, 0, std::max<int64_t>(length, 0));
    audio::ChannelSetPosition(stream_, bytes);
}

bool CPreviewPlayer::Play(bool restart) {
    if (stream_ == 0) return false;
    if (sync_ != 0) audio::ChannelRemoveSync(stream_, sync_);
    sync_ = audio::ChannelSetSync(stream_, audio::kSyncEnd, 0, notify_);
    return audio::ChannelPlay(stream_, restart);
}

bool CPreviewPlayer::PlayRange(int64_t startMs, int64_t endMs) {
    if (stream_ == 0) return false;
    if (sync_ != 0) audio::ChannelRemoveSync(stream_, sync_);
    const int64_t endBytes =
        audio::ChannelSeconds2Bytes(stream_, static_cast<double>(std::max<int64_t>(endMs, 0)) * 0.001);
    sync_ = audio::ChannelSetSync(stream_, audio::kSyncPosition, endBytes, notify_);
    Seek(startMs);
    return audio::ChannelPlay(stream_, false);
}

void CPreviewPlayer::Pause() {
    if (stream_ != 0) audio::ChannelPause(stream_);
}

bool CPreviewPlayer::Resume() { return stream_ != 0 && audio::ChannelPlay(stream_, false); }

void CPreviewPlayer::Free() {
    if (stream_ != 0) {
        if (sync_ != 0) audio::ChannelRemoveSync(stream_, sync_);
        audio::StreamFree(stream_);
    }
    stream_ = 0;
    sync_ = 0;
    notify_ = nullptr;
    sampleRate_ = 0;
    channels_ = 0;
    bitrate_ = 0;
}

void CPreviewPlayer::SetVolume(int gain) {
    gain_ = std::clamp(gain, 0, kMaxGain);
    if (stream_ != 0) audio::ChannelSetAttribute(stream_, audio::kAttribVolume, static_cast<float>(gain_) / kMaxGain);
}

}  // namespace corvane
