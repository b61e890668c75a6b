// CMp3Encoder: LAME set-up in a fixed order, the tag first, then checked writes of MP3 data.
#include "audio/Mp3Encoder.h"

#include <lame/lame.h>

#include <algorithm>

namespace corvane {

namespace {

constexpr int kMinChannels = 1;
constexpr int kMaxChannels = 2;
constexpr int kMinBitrate = 8;
constexpr int kMaxBitrate = 320;

// LAME asks for 1.25 × samples + 7200 bytes of output room in the worst case; longer blocks
// are encoded in pieces of this many samples so that every call fits kOutputBufferSize.
constexpr int kMaxSamplesPerCall = 65536;

}  // namespace

CMp3Encoder::CMp3Encoder() : buffer_(kOutputBufferSize) {}

CMp3Encoder::~CMp3Encoder() { Close(); }

bool CMp3Encoder::Open(const std::string& path) {
    Close();
    path_ = path;
    writeFailed_ = false;
    started_ = false;
    askedKbps_ = 0;
    askedOutRate_ = 0;
    // The encoder first, so that a failure leaves no file behind.
    encoder_ = lame_init();
    if (encoder_ == nullptr) return false;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        lame_close(encoder_);
        encoder_ = nullptr;
        return false;
    }
    return true;
}

void CMp3Encoder::SetTag(const uint8_t* bytes, size_t length) {
    if (bytes == nullptr || length == 0) {
        tag_.clear();
        return;
    }
    tag_.assign(bytes, bytes + length);
}

void CMp3Encoder::SetChannels(int channels) {
    if (encoder_ == nullptr) return;
    lame_set_num_channels(encoder_, std::clamp(channels, kMinChannels, kMaxChannels));
}

void CMp3Encoder::SetInSampleRate(int hz) {
    if (encoder_ == nullptr) return;
    lame_set_in_samplerate(encoder_, hz);
}

void CMp3Encoder::SetBitrate(int kbps) {
    if (encoder_ == nullptr) return;
    askedKbps_ = std::clamp(kbps, kMinBitrate, kMaxBitrate);
    lame_set_brate(encoder_, askedKbps_);
}

void CMp3Encoder::SetOutSampleRate(int hz) {
    if (encoder_ == nullptr) return;
    askedOutRate_ = hz;
    lame_set_out_samplerate(encoder_, hz);
}

void CMp3Encoder::SetMode(int mode) {
    if (encoder_ == nullptr) return;
    if (mode != STEREO && mode != JOINT_STEREO && mode != MONO) mode = STEREO;
    lame_set_mode(encoder_, static_cast<MPEG_mode>(mode));
}

bool CMp3Encoder::Start() {
    if (encoder_ == nullptr || file_ == nullptr || started_) return false;
    lame_set_bWriteVbrTag(encoder_, 0);
    lame_set_VBR(encoder_, vbr_off);
    if (lame_init_params(encoder_) < 0) return false;
    // LAME moves a bit rate that does not exist at the output rate to the nearest valid one,
    // and ignores an output rate that is no MPEG rate, choosing its own; both without
    // failing. Either is a rejection of the parameters as given.
    if (askedKbps_ > 0 && lame_get_brate(encoder_) != askedKbps_) return false;
    if (askedOutRate_ != 0 && lame_get_out_samplerate(encoder_) != askedOutRate_) return false;
    started_ = true;
    if (!tag_.empty() && !WriteBytes(tag_.data(), tag_.size())) return false;
    return true;
}

bool CMp3Encoder::Encode(const int16_t* left, const int16_t* right, int samples) {
    if (!started_ || writeFailed_ || left == nullptr || samples < 0) return false;
    // With one channel LAME reads only the left array; give it a valid pointer anyway.
    if (right == nullptr) right = left;
    while (samples > 0) {
        const int chunk = std::min(samples, kMaxSamplesPerCall);
        const int produced = lame_encode_buffer(encoder_, left, right, chunk, buffer_.data(),
                                                kOutputBufferSize);
        if (produced < 0) return false;
        if (produced > 0 && !WriteBytes(buffer_.data(), static_cast<size_t>(produced))) return false;
        left += chunk;
        right += chunk;
        samples -= chunk;
    }
    return true;
}

bool CMp3Encoder::Close() {
    if (file_ != nullptr) {
        if (started_ && !writeFailed_) {
            const int produced = lame_encode_flush(encoder_, buffer_.data(), kOutputBufferSize);
            if (produced > 0) WriteBytes(buffer_.data(), static_cast<size_t>(produced));
        }
        if (std::fclose(file_) != 0) writeFailed_ = true;
        file_ = nullptr;
    }
    tag_.clear();
    if (encoder_ != nullptr) {
        lame_close(encoder_);
        encoder_ = nullptr;
    }
    started_ = false;
    return !writeFailed_;
}

bool CMp3Encoder::WriteBytes(const void* data, size_t length) {
    if (std::fwrite(data, 1, length, file_) != length) {
        writeFailed_ = true;
        return false;
    }
    return true;
}

}  // namespace corvane
