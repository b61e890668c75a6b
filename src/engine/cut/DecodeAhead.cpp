// CDecodeAhead: frames read and decoded on a second thread, taken in file order.
#include "engine/cut/DecodeAhead.h"

namespace corvane {

CDecodeAhead::CDecodeAhead() {
    for (Slot& slot : slots_) {
        slot.left.resize(kPcmBufferSamples);
        slot.right.resize(kPcmBufferSamples);
    }
}

CDecodeAhead::~CDecodeAhead() { Stop(); }

void CDecodeAhead::Start(CMp3Reader& reader, audio::CFrameDecoder& decoder) {
    Stop();
    reader_ = &reader;
    decoder_ = &decoder;
    head_ = tail_ = filled_ = 0;
    stop_ = decoderWaiting_ = takerWaiting_ = false;
    fedAny_ = flushed_ = endReadFailed_ = false;
    consumedEnd_ = reader.position();
    thread_ = std::thread(&CDecodeAhead::Run, this);
}

void CDecodeAhead::Run() {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (filled_ == kSlots) {
                decoderWaiting_ = true;
                changed_.wait(lock, [this] { return stop_ || filled_ < kRefillBelow; });
                decoderWaiting_ = false;
            }
            if (stop_) return;
        }
        // The slot at tail_ is not visible to the taker until it is counted in filled_.
        Slot& slot = slots_[tail_];
        const Slot& previous = slots_[(tail_ + kSlots - 1) % kSlots];
        int rate, kbps, length;
        const uint8_t* frame = flushed_ ? nullptr : reader_->ReadFrame(rate, kbps, length, slot.frameSamples, slot.offset);
        // A read that fails ahead of what the cutter takes is none of its business: it is
        // told only with the exhausted slot, if it gets that far.
        if (frame == nullptr && !flushed_) endReadFailed_ = reader_->ReadFailed();
        if (frame != nullptr) {
            slot.exhausted = false;
            slot.end = slot.offset + static_cast<uint64_t>(length);
            slot.decoded = decoder_->Decode(frame, static_cast<size_t>(length), slot.left.data(), slot.right.data());
            fedAny_ = true;
        } else if (!flushed_ && fedAny_) {
            // The decoder hands out each frame's samples when the next one is fed; at the end
            // of the source a flush gives the last frame's. It is passed on as that frame
            // again (same offset, so the history does not count it twice).
            flushed_ = true;
            slot.exhausted = false;
            slot.offset = previous.offset;
            slot.end = previous.end;
            slot.frameSamples = previous.frameSamples;
            slot.decoded = decoder_->Flush(slot.left.data(), slot.right.data());
        } else {
            slot.exhausted = true;
            slot.readFailed = endReadFailed_;
        }
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            tail_ = (tail_ + 1) % kSlots;
            ++filled_;
            wake = takerWaiting_;
        }
        if (wake) changed_.notify_all();
        if (slot.exhausted) return;
    }
}

CDecodeAhead::Slot& CDecodeAhead::Next() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (filled_ == 0) {
        takerWaiting_ = true;
        changed_.wait(lock, [this] { return filled_ > 0; });
        takerWaiting_ = false;
    }
    return slots_[head_];
}

void CDecodeAhead::Release() {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (slots_[head_].exhausted) return;  // stays for every later Next
        consumedEnd_ = slots_[head_].end;
        head_ = (head_ + 1) % kSlots;
        --filled_;
        wake = decoderWaiting_ && filled_ < kRefillBelow;
    }
    if (wake) changed_.notify_all();
}

void CDecodeAhead::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
    reader_->SeekTo(consumedEnd_);
}

}  // namespace corvane
