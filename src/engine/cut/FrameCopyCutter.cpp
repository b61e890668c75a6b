// CFrameCopyCutter: pieces by frame copy.
#include "engine/cut/FrameCopyCutter.h"

#include <algorithm>
#include <vector>

#include "engine/base/Messages.h"
#include "engine/mp3/OutputFile.h"
#include "engine/output/PieceNaming.h"

namespace corvane {
namespace {

// The frames of buffer (read at offset) one after another from its start, as far as whole
// frames go.
std::vector<LeadInFrame> ParseLeadInFrames(const std::vector<uint8_t>& buffer, uint64_t offset) {
    std::vector<LeadInFrame> frames;
    size_t p = 0;
    while (p + 6 <= buffer.size() && IsFrameHeader(buffer.data() + p)) {
        const MpegFrameHeader h = DecodeFrameHeader(buffer.data() + p);
        const size_t length = static_cast<size_t>(h.frameLength);
        const size_t crc = (buffer[p + 1] & 1) == 0 ? 2 : 0;
        const size_t side = 4 + crc;
        if (h.layerIndex != 2 || p + length > buffer.size() || side + static_cast<size_t>(h.sideInfoLength) > length) break;
        LeadInFrame frame;
        frame.offset = offset + p;
        frame.bytes.assign(buffer.begin() + static_cast<long>(p), buffer.begin() + static_cast<long>(p + length));
        frame.samples = h.samplesPerFrame;
        frame.dataStart = side + static_cast<size_t>(h.sideInfoLength);
        frame.reservoir = h.lsf ? buffer[p + side] : (buffer[p + side] << 1) | (buffer[p + side + 1] >> 7);
        frames.push_back(std::move(frame));
        p += length;
    }
    return frames;
}

// True when every frame of frames[check .. end) finds its reservoir in the frames from first.
bool ReservoirsHeld(const std::vector<LeadInFrame>& frames, size_t first, size_t check, size_t end) {
    for (size_t j = check; j < end; ++j) {
        if (j < first) return false;
        size_t held = 0;
        for (size_t i = first; i < j; ++i) held += frames[i].DataBytes();
        if (static_cast<size_t>(frames[j].reservoir) > held) return false;
    }
    return true;
}

// A frame that decodes to silence (no main data: every granule's length 0) and carries in
// the end of its data area the reservoir bytes the frames after it read; like's version,
// sample rate and channels, the lowest bit rate whose data area holds them, no CRC.
std::vector<uint8_t> CarrierFrame(const LeadInFrame& like, const std::vector<uint8_t>& reservoir) {
    constexpr int kHighestBitrateIndex = 14;
    uint8_t header[4] = {like.bytes[0], static_cast<uint8_t>(like.bytes[1] | 1), like.bytes[2],
                         static_cast<uint8_t>(like.bytes[3] & ~0x30)};
    for (int index = 1; index <= kHighestBitrateIndex; ++index) {
        header[2] = static_cast<uint8_t>((index << 4) | (like.bytes[2] & 0x0D));  // no padding
        if (!IsFrameHeader(header)) continue;
        const MpegFrameHeader h = DecodeFrameHeader(header);
        const size_t data = 4 + static_cast<size_t>(h.sideInfoLength);
        if (static_cast<size_t>(h.frameLength) < data + reservoir.size()) continue;
        std::vector<uint8_t> frame(static_cast<size_t>(h.frameLength), 0);
        std::copy(header, header + 4, frame.begin());
        std::copy(reservoir.begin(), reservoir.end(), frame.end() - static_cast<long>(reservoir.size()));
        return frame;
    }
    return {};
}

}  // namespace

bool CFrameCopyCutter::LoadSource(const std::string& path) {
    if (!CCutter::LoadSource(path)) return false;
    resumeAt_ = reader_.position();
    rewound_ = 0;
    return true;
}

Outcome CFrameCopyCutter::BeginPiece(COutputFile& out, const std::string& path, int index, int count, int sequence,
                                     int titleDigits, uint64_t& tagLength, uint32_t& framesWritten) {
    if (!out.Create(path)) return Outcome::Failed(CreateFileFailure(path));
    // LAME renders the tag, but did not encode these frames: its encoder frame stays out.
    const std::vector<uint8_t> tag = WithoutEncoderFrame(MakeTag(index, count, sequence, titleDigits));
    tagLength = tag.size();
    if (!tag.empty()) out.Write(tag.data(), tag.size());
    if (reader_.vbrFrame()) out.Write(reader_.vbrFrame(), reader_.vbrFrameLength());
    if (out.Failed()) return WriteFailed(out);
    if (PollCancelled()) return Outcome::Cancelled();
    framesWritten = 0;
    if (!WriteLeadIn(out, framesWritten)) return reader_.ReadFailed() ? ReadFailed() : WriteFailed(out);
    if (PollCancelled()) return Outcome::Cancelled();
    return Outcome::Done();
}

bool CFrameCopyCutter::WriteLeadIn(COutputFile& out, uint32_t& framesWritten) {
    const uint64_t now = reader_.position();
    // After a piece the reader stands on the frames it stepped back over, which the copy
    // reads again; after a skip it stands on new audio, so the newest frames skipped go first.
    const uint32_t reread = now == resumeAt_ ? rewound_ : 0;
    const uint32_t leadIn = LeadInFrames();
    ForwardOverlap before = FindForwardOverlap();
    if (reread < leadIn) {
        const ForwardOverlap newest = NewestFrames(leadIn - reread);
        if (newest.frames > before.frames) before = newest;
    }
    piece_ = PieceStart{};
    piece_.firstOffset = before.frames > 0 ? before.start : now;
    piece_.primingFrames = std::min(leadIn, before.frames + reread);
    if (leadIn > 0 && forwardOverlapSamples_ == 0 && piece_.primingFrames > 0 &&
        piece_.firstOffset != reader_.audioStart()) {
        const LeadInCheck lead = CheckLeadIn(now, reread);
        if (lead.carrier) return WriteCarrierLeadIn(out, lead, now, framesWritten);
    }
    if (before.start >= now) return true;
    framesWritten = before.frames;
    return reader_.CopyRange(out, before.start, now - before.start);
}

// A frame's audio may begin in the data of the frames before it (the bit reservoir: up to
// 511 bytes in MPEG-1, 255 in MPEG-2 and 2.5), and its first samples overlap the last ones of
// the frame before. So the frame before a piece's audio must decode as it does in the
// source, and that needs the frames before it that hold its reservoir. Four MPEG-1 frames
// and eight MPEG-2 frames hold it from 64 kbps and 8 kbps up, and are the most a LAME tag's
// delay (at most 4,095 samples) can skip at a start. A piece without a LAME tag, whose
// lead-in every player plays, keeps to the three frames the reader steps back over.
uint32_t CFrameCopyCutter::LeadInFrames() const {
    constexpr int kMpeg1FrameSamples = 1152;
    if (!reader_.hasEncoderDelays()) return 0;
    return reader_.samplesPerFrame() >= kMpeg1FrameSamples ? kMpeg1LeadIn : kMpeg2LeadIn;
}

// Where the plain lead-in would not hold the reservoir of the frames whose audio the piece
// needs (the frame before its audio and, in MPEG-2 and 2.5, whose frames are one granule,
// the one before that too, and the first frame of its audio), and the four or eight frames
// are all a LAME tag's delay can skip, the lead-in is one silent frame that carries the
// reservoir and then just those frames.
CFrameCopyCutter::LeadInCheck CFrameCopyCutter::CheckLeadIn(uint64_t now, uint32_t reread) const {
    constexpr size_t kLongestFrame = 2881;
    LeadInCheck check;
    const ForwardOverlap window = NewestFrames(static_cast<uint32_t>(kKeptNewestFrames));
    std::vector<uint8_t> buffer(static_cast<size_t>(now - window.start) + (reread + 1) * kLongestFrame);
    buffer.resize(reader_.ReadBytes(window.start, buffer.data(), buffer.size()));
    check.frames = ParseLeadInFrames(buffer, window.start);
    size_t atNow = 0;
    while (atNow < check.frames.size() && check.frames[atNow].offset < now) ++atNow;
    size_t first = 0;
    while (first < check.frames.size() && check.frames[first].offset < piece_.firstOffset) ++first;
    check.content = atNow + reread;
    const size_t needed = reader_.samplesPerFrame() >= 1152 ? 1 : 2;  // frames before the audio that must decode
    if (check.content >= check.frames.size() || check.content < needed) return check;
    check.real = check.content - needed;
    check.carrier = !ReservoirsHeld(check.frames, first, check.real, check.content + 1);
    return check;
}

bool CFrameCopyCutter::WriteCarrierLeadIn(COutputFile& out, const LeadInCheck& lead, uint64_t now,
                                          uint32_t& framesWritten) {
    const std::vector<LeadInFrame>& frames = lead.frames;
    // The reservoir bytes the frames from lead.real on reach back for.
    size_t need = 0;
    size_t held = 0;
    for (size_t j = lead.real; j <= lead.content; ++j) {
        need = std::max(need, static_cast<size_t>(frames[j].reservoir) > held ? frames[j].reservoir - held : 0);
        held += frames[j].DataBytes();
    }
    std::vector<uint8_t> reservoir;
    for (size_t i = lead.real; i-- > 0 && reservoir.size() < need;) {
        const LeadInFrame& f = frames[i];
        reservoir.insert(reservoir.begin(), f.bytes.begin() + static_cast<long>(f.dataStart), f.bytes.end());
    }
    if (reservoir.size() > need) reservoir.erase(reservoir.begin(), reservoir.end() - static_cast<long>(need));
    const std::vector<uint8_t> carrier = CarrierFrame(frames[lead.real], reservoir);
    if (carrier.empty()) return true;  // no bit rate holds it: the plain lead-in stays
    if (!out.Write(carrier.data(), carrier.size())) return false;
    framesWritten = 1;
    for (size_t j = lead.real; j < lead.content; ++j) {
        if (!out.Write(frames[j].bytes.data(), frames[j].bytes.size())) return false;
        ++framesWritten;
        // The frames the copy would have read again are passed over: the position counts them.
        if (frames[j].offset >= now) RecordFrame(frames[j].offset, frames[j].samples);
    }
    reader_.SeekTo(frames[lead.content].offset);
    piece_.firstOffset = frames[lead.real].offset;
    piece_.primingFrames = framesWritten;
    return true;
}

Outcome CFrameCopyCutter::FinishPiece(COutputFile& out, uint64_t tagLength, uint32_t framesWritten) {
    if (!PatchVbrFrame(out, tagLength, framesWritten) || !out.Close() || !PublishAlone(out)) return WriteFailed(out);
    return Outcome::Done();
}

bool CFrameCopyCutter::PatchVbrFrame(COutputFile& out, uint64_t tagLength, uint32_t framesWritten) {
    if (!reader_.vbrFrame()) return true;
    std::vector<uint8_t> copy(reader_.vbrFrame(), reader_.vbrFrame() + reader_.vbrFrameLength());
    // The byte count runs from the header frame to the last frame's end, as encoders write it:
    // the piece's tag before it is not audio.
    const uint32_t bytes = static_cast<uint32_t>(out.Size() - tagLength);
    const uint32_t length = static_cast<uint32_t>(copy.size());
    CMp3Reader::PatchVbrHeader(copy.data(), length, framesWritten, bytes);
    if (reader_.hasEncoderDelays()) {
        const GaplessTrim trim = PieceTrim();
        CMp3Reader::PatchLameTag(copy.data(), length, trim.delay, trim.padding, bytes);
    }
    return out.WriteAt(tagLength, copy.data(), copy.size());
}

// A gapless decoder drops delay + kDecoderDelay samples at a file's start and padding -
// kDecoderDelay at its end. The pieces of a source played one after another give the
// source's own gapless playback: the first piece starts where the source's delay ends, each
// later one where its priming frames end (the frames before that only bring the decoder's
// reservoir and overlap up to date), each piece but the last plays its last frame whole, and
// the last ends where the source's padding begins.
CFrameCopyCutter::GaplessTrim CFrameCopyCutter::PieceTrim() const {
    constexpr int kDecoderDelay = CMp3Reader::kDecoderDelay;
    const int frameSamples = reader_.samplesPerFrame();
    const int priming = static_cast<int>(piece_.primingFrames) * frameSamples;
    GaplessTrim trim;
    if (piece_.firstOffset == reader_.audioStart()) {
        trim.delay = std::max(priming - kDecoderDelay, reader_.encoderDelay());
    } else {
        trim.delay = std::max(priming - kDecoderDelay, 0);
    }
    trim.padding = piece_.reachedEnd ? reader_.encoderPadding() : kDecoderDelay;
    return trim;
}

Outcome CFrameCopyCutter::CopyFrames(COutputFile& out, Measure measure, uint64_t target, uint32_t& framesWritten,
                                     bool& eof) {
    int rate, kbps, length, samples;
    uint64_t offset;
    uint64_t sum = 0;
    do {
        const uint8_t* frame = reader_.ReadFrame(rate, kbps, length, samples, offset);
        if (!frame) {
            if (reader_.ReadFailed()) return ReadFailed();
            eof = true;
            piece_.reachedEnd = true;
            break;
        }
        if (!out.Write(frame, static_cast<size_t>(length))) return WriteFailed(out);
        if (measure != Measure::ToEnd) RecordFrame(offset, samples);
        ++framesWritten;
        sum += measure == Measure::Bytes ? static_cast<uint64_t>(length) : static_cast<uint64_t>(samples);
        UpdateProgress();
        if (PollCancelled()) return Outcome::Cancelled();
    } while (measure == Measure::ToEnd || sum < target);
    return Outcome::Done();
}

Outcome CFrameCopyCutter::CutPiece(const std::string& path, Measure measure, uint64_t target, int index, int count,
                                   int sequence, int titleDigits, bool& eof) {
    eof = false;
    COutputFile& out = NewOutput();
    uint64_t tagLength = 0;
    uint32_t framesWritten = 0;
    Outcome begun = BeginPiece(out, path, index, count, sequence, titleDigits, tagLength, framesWritten);
    if (!begun.done()) return begun;

    if (measure == Measure::ToEnd || target > 0) {
        Outcome copied = CopyFrames(out, measure, target, framesWritten, eof);
        if (!copied.done()) return copied;
    }
    if (measure == Measure::ToEnd) {
        eof = false;
        if (PollCancelled()) return Outcome::Cancelled();
        return FinishPiece(out, tagLength, framesWritten);
    }

    if (backwardOverlapSamples_ > 0) {
        const uint64_t resume = reader_.position();
        uint64_t sum = 0;
        int rate, kbps, length, samples;
        uint64_t offset;
        while (sum < backwardOverlapSamples_) {
            const uint8_t* frame = reader_.ReadFrame(rate, kbps, length, samples, offset);
            if (!frame) {
                if (reader_.ReadFailed()) return ReadFailed();
                piece_.reachedEnd = true;
                break;
            }
            if (!out.Write(frame, static_cast<size_t>(length))) return WriteFailed(out);
            sum += static_cast<uint64_t>(samples);
            ++framesWritten;
        }
        reader_.SeekTo(resume);
    }

    Outcome finished = FinishPiece(out, tagLength, framesWritten);
    if (finished.done()) {
        rewound_ = static_cast<uint32_t>(RewindAfterPiece());
        resumeAt_ = reader_.position();
    }
    return finished;
}

}  // namespace corvane
