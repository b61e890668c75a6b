// CReencodeCutter: pieces by decoding, fading and encoding anew.
#include "engine/cut/ReencodeCutter.h"

#include <algorithm>
#include <cstdio>

#include "audio/EncodingParams.h"
#include "audio/Mp3Encoder.h"
#include "engine/base/Messages.h"
#include "engine/mp3/Id3Chapters.h"
#include "engine/mp3/OutputFile.h"

namespace corvane {

namespace {

constexpr double kBytesPerKbps = 125.0;  // 1000 bits ÷ 8
constexpr double kSecondsPerTenth = 0.1;

// Bytes that tenths of audio take at kbps, truncated.
int64_t TenthsToBytes(int kbps, uint32_t tenths) {
    return static_cast<int64_t>(kbps * kBytesPerKbps * tenths * kSecondsPerTenth);
}

}  // namespace

// One piece in progress: its output file, decoder and encoder. A piece that ends without
// finishing stops the decode-ahead thread (which uses the decoder) and releases the decoder
// and the encoder; the unfinished output is removed by whoever owns it (the cutter or the
// plan's output set).
struct CReencodeCutter::Piece {
    Piece(CDecodeAhead& ahead, COutputFile& output) : decodeAhead(ahead), out(output) {}
    ~Piece() {
        decodeAhead.Stop();
        ReleaseDecoder();
    }

    CDecodeAhead& decodeAhead;
    COutputFile& out;
    audio::CFrameDecoder decoder;
    CMp3Encoder encoder;  // writes into out
    bool writeFailed = false;
    bool readFailed = false;  // the source ended in a read error, not at its end
    // The decoder's first output after a jump into the stream is dropped: that frame lacks
    // the frame before it (its bit reservoir and the overlap of its transform), so it decodes
    // to noise. At the audio start there is nothing before the first frame to miss.
    bool dropFirstOutput = false;
    // At the audio start, the samples a gapless decoder drops (GaplessStart): the encoder's
    // delay and the decoder's own are not the source's audio and are not encoded again.
    uint64_t skipSamples = 0;
    // Where the piece's audio lies in the decoded stream: the samples of the frames before the
    // next one the decoder takes, and the first sample encoded (-1: none yet), for its chapters.
    uint64_t decodedTo = 0;
    int64_t firstEncoded = -1;
    uint64_t encoded = 0;

    void ReleaseDecoder() {
        decoder.Close();
    }
};

// What one frame step did.
struct CReencodeCutter::FrameStep {
    bool exhausted = false;     // the reader had no further frame
    bool encoderError = false;  // LAME reported an error
    bool stop = false;          // cancel or write failure: the piece must stop
    int samples = 0;            // decoded samples per channel
    int skipped = 0;            // of them, dropped before the piece's audio (Piece::skipSamples)
    int bytes = 0;              // encoded bytes written
};

CReencodeCutter::CReencodeCutter() = default;

CReencodeCutter::~CReencodeCutter() = default;

bool CReencodeCutter::LoadSource(const std::string& path) {
    if (!CCutter::LoadSource(path)) return false;
    sourceChannelMode_ = reader_.channelMode();
    startInFrame_ = GaplessStart();  // the first piece's audio starts after the source's delay
    return true;
}

void CReencodeCutter::SetEncodingParams(int sampleRate, int kbps, int channelMode) {
    params_ = {sampleRate, kbps, channelMode};
    chosen_ = IsChosen(params_);
}

CReencodeCutter::Fade CReencodeCutter::MakeFade(bool enable, int tenths) const {
    return {enable, tenths > 0 ? static_cast<uint32_t>(tenths) : 0, TenthsToSamples(tenths)};
}

std::unique_ptr<CReencodeCutter> CReencodeCutter::CloneLoaded() const {
    auto clone = std::make_unique<CReencodeCutter>();
    clone->params_ = params_;
    clone->chosen_ = chosen_;
    if (!clone->LoadLike(*this)) return nullptr;
    clone->fadeIn_ = fadeIn_;
    clone->fadeOut_ = fadeOut_;
    clone->sourceChannelMode_ = sourceChannelMode_;
    return clone;
}

PieceModel CReencodeCutter::ForecastModel() const {
    PieceModel model;
    model.sourceRate = reader_.sampleRate();
    model.sourceKbps = reader_.bitrate();
    model.outputRate = chosen_ ? params_.sampleRate : model.sourceRate;
    model.outputKbps = chosen_ ? params_.bitrate : NearestBitrateForSampleRate(model.outputRate, model.sourceKbps);
    model.forwardOverlapSamples = forwardOverlapSamples_;
    model.backwardOverlapSamples = backwardOverlapSamples_;
    if (backwardOverlapSamples_ > 0) {
        model.backwardOverlapBytes = TenthsToBytes(model.sourceKbps, static_cast<uint32_t>(backwardOverlapTenths_));
    }
    model.fadeInSamples = fadeIn_.enabled ? fadeIn_.samples : 0;
    model.fadeOutSamples = fadeOut_.enabled ? fadeOut_.samples : 0;
    model.fadeOutBytes = fadeOut_.enabled ? TenthsToBytes(model.sourceKbps, fadeOut_.tenths) : 0;
    model.gaplessStart = GaplessStart();
    return model;
}

void CReencodeCutter::SetFadeIn(bool enable, int tenths) { fadeIn_ = MakeFade(enable, tenths); }

void CReencodeCutter::SetFadeOut(bool enable, int tenths) { fadeOut_ = MakeFade(enable, tenths); }

int CReencodeCutter::GetOutputBitrate() { return chosen_ ? params_.bitrate : reader_.bitrate(); }

Outcome CReencodeCutter::StartEncoder(Piece& piece) {
    const int sourceRate = reader_.sampleRate();
    const int rate = chosen_ ? params_.sampleRate : sourceRate;
    const int kbps = chosen_ ? params_.bitrate : NearestBitrateForSampleRate(rate, reader_.bitrate());
    const int mode = chosen_ ? params_.channelMode : sourceChannelMode_;

    const bool decoding = piece.decoder.Open();
    const bool opened =
        piece.encoder.Open([&out = piece.out](const uint8_t* data, size_t count) { return out.Write(data, count); });
    if (!decoding || !opened) return Outcome::Failed(BadEncodingParameterText(rate, kbps, mode));

    piece.encoder.SetInSampleRate(sourceRate);
    piece.encoder.SetChannels(sourceChannelMode_ == kChannelModeMono ? 1 : 2);
    piece.encoder.SetOutSampleRate(rate);
    piece.encoder.SetBitrate(kbps);
    // A mode LAME does not know (kChannelModeNone, when the source's first frame was never
    // read) is left for LAME to choose.
    piece.encoder.SetMode(mode);
    // Chosen parameters must be kept exactly; the source's own bit rate may be moved to the
    // nearest one the rate allows (a 44100 Hz source averaging 144 kbps).
    const auto check = chosen_ ? CMp3Encoder::ParameterCheck::Exact : CMp3Encoder::ParameterCheck::AcceptMoved;
    if (!piece.encoder.Start(check)) return Outcome::Failed(BadEncodingParameterText(rate, kbps, mode));
    return Outcome::Done();
}

uint64_t CReencodeCutter::StepBackForwardOverlap(uint64_t& samples) {
    samples = 0;
    const uint64_t now = reader_.position();
    const ForwardOverlap overlap = FindForwardOverlap();
    if (overlap.start >= now) return 0;
    reader_.SeekTo(overlap.start);
    samples = static_cast<uint64_t>(overlap.frames) * static_cast<uint64_t>(reader_.samplesPerFrame());
    return now - overlap.start;
}

void CReencodeCutter::ProcessFrame(Piece& piece, bool record, double* gain, double step, bool fadeIn,
                                   FrameStep& result, int64_t limit) {
    result = FrameStep{};
    CDecodeAhead::Slot& slot = decodeAhead_.Next();
    if (slot.exhausted) {
        result.exhausted = true;
        piece.readFailed = slot.readFailed;
        return;
    }
    if (record) RecordFrame(slot.offset, slot.frameSamples);
    const uint64_t slotStart = piece.decodedTo;
    piece.decodedTo += static_cast<uint64_t>(slot.frameSamples);

    int16_t* left = slot.left.data();
    int16_t* right = slot.right.data();
    int available = slot.decoded;
    if (available > 0 && piece.skipSamples > 0 && !piece.dropFirstOutput) {
        const int skipped = static_cast<int>(std::min<uint64_t>(piece.skipSamples, static_cast<uint64_t>(available)));
        piece.skipSamples -= static_cast<uint64_t>(skipped);
        result.skipped = skipped;
        left += skipped;
        right += skipped;
        available -= skipped;
    }
    const int n = static_cast<int>(std::min<int64_t>(available, std::max<int64_t>(limit, 0)));
    if (n > 0 && piece.dropFirstOutput) {
        piece.dropFirstOutput = false;
    } else if (n > 0) {
        result.samples = n;
        // The decoder hands out a frame's samples one call late: these are the frame before.
        if (piece.firstEncoded < 0) {
            piece.firstEncoded = static_cast<int64_t>(slotStart) - slot.frameSamples + result.skipped;
        }
        piece.encoded += static_cast<uint64_t>(n);
        if (gain != nullptr) {
            const bool both = sourceChannelMode_ != kChannelModeMono;
            double g = *gain;
            for (int i = 0; i < n; ++i) {
                const double factor = fadeIn ? std::min(g, 1.0) : std::max(g, 0.0);
                left[i] = static_cast<int16_t>(left[i] * factor);
                if (both) right[i] = static_cast<int16_t>(right[i] * factor);
                g = fadeIn ? g + step : g - step;
            }
            *gain = g;
        }
        const int m = piece.encoder.Encode(left, right, n);
        if (m < 0 && piece.encoder.WriteFailed()) {
            decodeAhead_.Release();
            piece.writeFailed = true;
            result.stop = true;
            return;
        }
        if (m < 0) result.encoderError = true;
        if (m > 0) result.bytes = m;
    }
    decodeAhead_.Release();
    UpdateProgress(decodeAhead_.consumedEnd());
    if (PollCancelled()) result.stop = true;
}

bool CReencodeCutter::RunFade(Piece& piece, bool fadeIn, uint64_t n, bool record, int64_t& samples,
                              int64_t& bytes) {
    if (n == 0) return true;
    const double step = 1.0 / static_cast<double>(n);
    double gain = fadeIn ? 0.0 : 1.0;
    int64_t counted = 0;
    FrameStep result;
    while (counted < static_cast<int64_t>(n)) {
        ProcessFrame(piece, record, &gain, step, fadeIn, result);
        if (result.stop) return false;
        if (result.exhausted || result.encoderError) break;
        // The fade-in counts a block once the encoder has returned data for it; the fade-out
        // counts every decoded block.
        if (!fadeIn || result.bytes > 0) counted += result.samples;
        bytes += result.bytes;
    }
    samples += counted;
    return true;
}

Outcome CReencodeCutter::StoppedOutcome(const Piece& piece) {
    return piece.writeFailed ? WriteFailed(piece.out) : Outcome::Cancelled();
}

Outcome CReencodeCutter::CutPiece(const std::string& path, Measure measure, uint64_t target, int index, int count,
                                  int sequence, int titleDigits, bool& eof) {
    eof = false;
    Piece piece(decodeAhead_, NewOutput());
    if (!piece.out.Create(path)) return Outcome::Failed(CreateFileFailure(path));
    const std::vector<uint8_t> tag = MakeTag(index, count, sequence, titleDigits);
    if (!tag.empty() && !piece.out.Write(tag.data(), tag.size())) return WriteFailed(piece.out);
    if (Outcome started = StartEncoder(piece); !started.done()) return started;

    const bool record = measure != Measure::ToEnd;
    const int sourceKbps = reader_.bitrate();
    int64_t budget = static_cast<int64_t>(target);

    // Forward overlap: the frames before the piece are decoded and encoded again.
    uint64_t steppedBackSamples = 0;
    const uint64_t steppedBack = StepBackForwardOverlap(steppedBackSamples);
    piece.decodedTo = SamplePosition() - std::min(steppedBackSamples, SamplePosition());
    if (steppedBack > 0) {
        if (measure == Measure::Bytes) budget += static_cast<int64_t>(steppedBack);
        if (measure == Measure::Samples) budget += static_cast<int64_t>(forwardOverlapSamples_);
    }
    // Backward overlap: the piece runs on past its end by the overlap.
    if (backwardOverlapSamples_ > 0) {
        if (measure == Measure::Bytes) budget += TenthsToBytes(sourceKbps, static_cast<uint32_t>(backwardOverlapTenths_));
        if (measure == Measure::Samples) budget += static_cast<int64_t>(backwardOverlapSamples_);
    }
    piece.dropFirstOutput = reader_.position() != reader_.audioStart();
    if (!piece.dropFirstOutput) piece.skipSamples = GaplessStart();
    decodeAhead_.Start(reader_, piece.decoder);
    if (PollCancelled()) return Outcome::Cancelled();

    int64_t samplesCounted = 0;
    int64_t bytesWritten = 0;
    if (fadeIn_.enabled && !RunFade(piece, true, fadeIn_.samples, record, samplesCounted, bytesWritten)) {
        return StoppedOutcome(piece);
    }

    uint64_t endPosition = reader_.fileSize();
    if (fadeOut_.enabled) {
        const int64_t reserved = TenthsToBytes(sourceKbps, fadeOut_.tenths);
        if (measure == Measure::Bytes) budget -= reserved;
        if (measure == Measure::Samples) budget -= static_cast<int64_t>(fadeOut_.samples);
        if (measure == Measure::ToEnd) {
            endPosition = reserved < static_cast<int64_t>(endPosition) ? endPosition - static_cast<uint64_t>(reserved) : 0;
        }
    }
    if (PollCancelled()) return Outcome::Cancelled();

    // Main phase.
    int64_t counted = measure == Measure::Bytes ? bytesWritten : samplesCounted;
    FrameStep result;
    for (;;) {
        // To the end: without a fade-out the phase runs until the source is exhausted, so
        // the decoder's last frame, handed out after the end of the file, is taken too.
        if (measure == Measure::ToEnd ? fadeOut_.enabled && decodeAhead_.consumedEnd() >= endPosition
                                      : counted >= budget) {
            break;
        }
        // A piece measured in samples ends inside the block that reaches its budget.
        ProcessFrame(piece, record, nullptr, 0.0, false, result,
                     measure == Measure::Samples ? budget - counted : INT64_MAX);
        if (result.stop) return StoppedOutcome(piece);
        if (result.exhausted) {
            if (measure != Measure::ToEnd) eof = true;
            break;
        }
        if (result.encoderError) break;
        if (measure == Measure::Bytes) counted += result.bytes;
        // The samples dropped before the audio count: the budget of the first piece has them.
        if (measure == Measure::Samples) counted += result.samples + result.skipped;
    }

    if (fadeOut_.enabled && !RunFade(piece, false, fadeOut_.samples, record, samplesCounted, bytesWritten)) {
        return StoppedOutcome(piece);
    }
    if (PollCancelled()) return Outcome::Cancelled();
    decodeAhead_.Stop();
    if (piece.readFailed) return ReadFailed();

    if (!piece.encoder.Finish()) return WriteFailed(piece.out);
    // LAME's tag frame goes over the placeholder it began with, after the piece's tag.
    const std::vector<uint8_t>& lameTag = piece.encoder.LameTagFrame();
    if (!lameTag.empty() && !piece.out.WriteAt(tag.size(), lameTag.data(), lameTag.size())) {
        return WriteFailed(piece.out);
    }
    // The chapters over the audio encoded: where a piece after a jump starts, and where one by
    // size ends, are known only now.
    if (!tag.empty() && SourceHasChapters() && piece.firstEncoded >= 0) {
        const uint64_t first = static_cast<uint64_t>(piece.firstEncoded);
        const std::vector<uint8_t> ended = PaddedTo(
            MakeTagOver(index, count, sequence, titleDigits, first, static_cast<int64_t>(first + piece.encoded)),
            tag.size());
        if (ended.size() == tag.size() && ended != tag && !piece.out.WriteAt(0, ended.data(), ended.size())) {
            return WriteFailed(piece.out);
        }
    }
    piece.ReleaseDecoder();
    if (!piece.out.Close() || !PublishAlone(piece.out)) return WriteFailed(piece.out);

    startInFrame_ = 0;  // later pieces start where the reader stands
    if (measure != Measure::ToEnd) {
        if (backwardOverlapSamples_ > 0) {
            uint64_t position = reader_.position();
            uint64_t removed = 0;
            while (removed < backwardOverlapSamples_ && CanStepBack()) {
                const FrameRecord newest = PopPieceRecord();
                position = newest.offset;
                removed += static_cast<uint64_t>(newest.samples);
            }
            reader_.SeekTo(position);
        }
        RewindAfterPiece();
    }
    return Outcome::Done();
}

}  // namespace corvane
