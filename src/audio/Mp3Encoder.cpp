// CMp3Encoder: LAME set-up in the caller's order, the tag first, then MP3 data to a sink.
#include "audio/Mp3Encoder.h"

#include "audio/MpegFrameHeader.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace corvane {

namespace {

constexpr int kMinChannels = 1;
constexpr int kMaxChannels = 2;

// LAME asks for 1.25 × samples + 7200 bytes of output room in the worst case; longer blocks
// are encoded in pieces of this many samples so that every call fits kOutputBufferSize.
constexpr int kMaxSamplesPerCall = 65536;

// LAME reports through these; the engine keeps its own messages.
void QuietReport(const char*, va_list) {}

}  // namespace

std::string BadEncodingParameterText(int sampleRate, int kbps, int channelMode) {
    char text[96];
    std::snprintf(text, sizeof text, "Bad encoding parameter: %dHz, %dkbps, %d", sampleRate, kbps, channelMode);
    return text;
}

CMp3Encoder::CMp3Encoder() : buffer_(kOutputBufferSize) {}

CMp3Encoder::~CMp3Encoder() { Release(); }

bool CMp3Encoder::Open(Sink sink) {
    Finish();
    writeFailed_ = false;
    lameTag_.clear();
    askedKbps_ = 0;
    askedOutRate_ = 0;
    encoder_ = lame_init();
    if (encoder_ == nullptr) return false;
    lame_set_errorf(encoder_, QuietReport);
    lame_set_debugf(encoder_, QuietReport);
    lame_set_msgf(encoder_, QuietReport);
    sink_ = std::move(sink);
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
    askedKbps_ = kbps;
    lame_set_brate(encoder_, kbps);
}

void CMp3Encoder::SetOutSampleRate(int hz) {
    if (encoder_ == nullptr) return;
    askedOutRate_ = hz;
    lame_set_out_samplerate(encoder_, hz);
}

void CMp3Encoder::SetMode(int mode) {
    if (encoder_ == nullptr || mode < STEREO || mode > MONO) return;
    lame_set_mode(encoder_, static_cast<MPEG_mode>(mode));
}

void CMp3Encoder::SetBitReservoir(bool on) {
    if (encoder_ == nullptr) return;
    lame_set_disable_reservoir(encoder_, on ? 0 : 1);
}

void CMp3Encoder::SetShortBlocks(bool on) {
    if (encoder_ == nullptr) return;
    lame_set_no_short_blocks(encoder_, on ? 0 : 1);
}

int CMp3Encoder::EncoderDelay() const { return encoder_ == nullptr ? 0 : lame_get_encoder_delay(encoder_); }

bool CMp3Encoder::Start(ParameterCheck check) {
    if (encoder_ == nullptr || started_) return false;
    lame_set_bWriteVbrTag(encoder_, 1);
    lame_set_VBR(encoder_, vbr_off);
    if (lame_init_params(encoder_) < 0) return false;
    // LAME moves a bit rate that does not exist at the output rate to the nearest valid one,
    // and ignores an output rate that is no MPEG rate, choosing its own; both without
    // failing. Unless moving is accepted, either is a rejection of the parameters as given.
    if (check == ParameterCheck::Exact) {
        if (askedKbps_ > 0 && lame_get_brate(encoder_) != askedKbps_) return false;
        if (askedOutRate_ != 0 && lame_get_out_samplerate(encoder_) != askedOutRate_) return false;
    }
    started_ = true;
    // The first bytes LAME hands out are the placeholder of its tag frame (Encode).
    placeholderPending_ = true;
    if (!tag_.empty() && !Hand(tag_.data(), tag_.size())) return false;
    return true;
}

int CMp3Encoder::Encode(const int16_t* left, const int16_t* right, int samples) {
    if (!started_ || writeFailed_ || left == nullptr || samples < 0) return -1;
    // With one channel LAME reads only the left array; give it a valid pointer anyway.
    if (right == nullptr) right = left;
    int handed = 0;
    while (samples > 0) {
        const int chunk = std::min(samples, kMaxSamplesPerCall);
        const int produced = lame_encode_buffer(encoder_, left, right, chunk, buffer_.data(), kOutputBufferSize);
        if (produced < 0) return -1;
        if (produced > 0 && !Hand(buffer_.data(), static_cast<size_t>(produced))) return -1;
        int placeholder = 0;
        if (placeholderPending_ && produced >= 4 && IsFrameHeader(buffer_.data())) {
            placeholder = std::min(produced, DecodeFrameHeader(buffer_.data()).frameLength);
            placeholderPending_ = false;
        }
        handed += produced - placeholder;
        left += chunk;
        right += chunk;
        samples -= chunk;
    }
    return handed;
}

bool CMp3Encoder::Finish() {
    if (started_ && !writeFailed_) {
        const int produced = lame_encode_flush(encoder_, buffer_.data(), kOutputBufferSize);
        if (produced > 0) Hand(buffer_.data(), static_cast<size_t>(produced));
        const size_t length = lame_get_lametag_frame(encoder_, buffer_.data(), buffer_.size());
        if (!writeFailed_ && length > 0 && length <= buffer_.size()) {
            lameTag_.assign(buffer_.begin(), buffer_.begin() + static_cast<long>(length));
        }
    }
    Release();
    return !writeFailed_;
}

void CMp3Encoder::Release() {
    tag_.clear();
    if (encoder_ != nullptr) {
        lame_close(encoder_);
        encoder_ = nullptr;
    }
    sink_ = nullptr;
    started_ = false;
}

bool CMp3Encoder::Hand(const void* data, size_t length) {
    if (!sink_(static_cast<const uint8_t*>(data), length)) {
        writeFailed_ = true;
        return false;
    }
    return true;
}

}  // namespace corvane
