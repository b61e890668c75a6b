// CFrameDecoder: whole frames into libmpg123, each frame's samples out one call later.
#include "audio/FrameDecoder.h"

#include <mpg123.h>

#include <algorithm>

#include "audio/LibraryMpegStream.h"

namespace corvane::audio {
namespace {

constexpr size_t kHeaderBytes = 4;
constexpr size_t kCrcBytes = 2;

// Whether a Layer III frame's main data begins before the frame (in its bit reservoir). Other
// layers, and frames too short to tell, never do.
bool MainDataBeginsEarlier(const uint8_t* frame, size_t length) {
    if (length < kHeaderBytes + kCrcBytes + 2) return false;
    const int layerBits = (frame[1] >> 1) & 0x3;
    if (layerBits != 1) return false;  // not Layer III
    const bool mpeg1 = ((frame[1] >> 3) & 0x3) == 3;
    const bool crc = (frame[1] & 0x1) == 0;
    const uint8_t* side = frame + kHeaderBytes + (crc ? kCrcBytes : 0);
    // main_data_begin: the first 9 bits of the side information in MPEG-1, 8 bits otherwise.
    const int begin = mpeg1 ? (side[0] << 1) | (side[1] >> 7) : side[0];
    return begin > 0;
}

}  // namespace

CFrameDecoder::~CFrameDecoder() { Close(); }

void CFrameDecoder::Close() {
    if (handle_ != nullptr) mpg123_delete(handle_);
    handle_ = nullptr;
    decodedAny_ = false;
    held_.clear();
    heldChannels_ = channels_ = 0;
}

bool CFrameDecoder::Open() {
    InitMpg123Once();
    Close();

    int error = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (handle == nullptr) return false;
    // 16-bit samples at the stream's own rate and channel count, every frame in full (no
    // gapless trimming), output from the first frame on, no resampling and no printing.
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    bool ok = mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS | MPG123_AUTO_RESAMPLE, 0.0) == MPG123_OK &&
              mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_NO_READAHEAD, 0.0) == MPG123_OK &&
              mpg123_format_none(handle) == MPG123_OK;
    for (size_t i = 0; ok && i < rateCount; ++i)
        ok = mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16) == MPG123_OK;
    if (!ok || mpg123_open_feed(handle) != MPG123_OK) {
        mpg123_delete(handle);
        return false;
    }
    handle_ = handle;
    return true;
}

int CFrameDecoder::Decode(const uint8_t* frame, size_t length, int16_t* left, int16_t* right) {
    const int delivered = DeliverHeld(left, right);
    DecodeIntoHeld(frame, length);
    return delivered;
}

int CFrameDecoder::Flush(int16_t* left, int16_t* right) { return DeliverHeld(left, right); }

void CFrameDecoder::DecodeIntoHeld(const uint8_t* frame, size_t length) {
    held_.clear();
    heldChannels_ = 0;
    if (handle_ == nullptr || frame == nullptr || length == 0) return;
    if (mpg123_feed(handle_, frame, length) != MPG123_OK) return;
    for (;;) {
        off_t number = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const int result = mpg123_decode_frame(handle_, &number, &audio, &bytes);
        if (result == MPG123_NEW_FORMAT) {
            long rate = 0;
            int encoding = 0;
            if (mpg123_getformat(handle_, &rate, &channels_, &encoding) != MPG123_OK) channels_ = 0;
            continue;
        }
        if (result != MPG123_OK) break;  // the frame is used up (or could not be decoded)
        if (audio == nullptr || bytes == 0 || (channels_ != 1 && channels_ != 2)) continue;
        if (heldChannels_ != 0 && heldChannels_ != channels_) continue;  // keep one layout per call
        heldChannels_ = channels_;
        const auto* samples = reinterpret_cast<const int16_t*>(audio);
        const size_t room = static_cast<size_t>(kMaxSamples * channels_) - held_.size();
        held_.insert(held_.end(), samples, samples + std::min(bytes / sizeof(int16_t), room));
    }
    if (held_.empty()) return;
    if (!decodedAny_) {
        decodedAny_ = true;
        if (MainDataBeginsEarlier(frame, length)) {
            held_.clear();
            heldChannels_ = 0;
        }
    }
}

int CFrameDecoder::DeliverHeld(int16_t* left, int16_t* right) {
    if (heldChannels_ == 0 || held_.empty()) return 0;
    const size_t count = held_.size() / static_cast<size_t>(heldChannels_);
    if (heldChannels_ == 1) {
        std::copy(held_.begin(), held_.begin() + static_cast<ptrdiff_t>(count), left);
    } else {
        for (size_t i = 0; i < count; ++i) {
            left[i] = held_[2 * i];
            right[i] = held_[2 * i + 1];
        }
    }
    held_.clear();
    heldChannels_ = 0;
    return static_cast<int>(count);
}

}  // namespace corvane::audio
