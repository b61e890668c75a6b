// CCutter: the cut of one source file into pieces, one piece operation at a time.
//
// A cut plan creates one cutter per source, loads the source, wires progress and cancel,
// sets the overlaps and fades, and then asks for the pieces in file order: so many bytes
// (CutBySize), so many tenths of a second (CutByDuration), skip so many tenths
// (SkipDuration), or the rest (CutToEnd).
//
// Why neighbouring pieces share frames: a Layer III frame's audio may begin in the data of up
// to a few frames before it (the bit reservoir). A piece that started exactly at the next
// frame would lose the start of that frame's audio. The frame-copy cutter starts each piece
// with the frames its decode needs and steps back to the frame its start falls in
// (StepBackTo, FrameCopyCutter.h); the re-encoding one steps back three frames after each
// piece (RewindAfterPiece) and starts the next with them again. A piece of three frames or
// fewer steps back over all but its first frame, so every piece moves the reader on by at
// least one frame. The history of frames read (FrameRecord) makes the step back, the lead-in
// and the forward overlap possible without a second scan; it holds only the newest frames
// those can reach, so a cut needs the same memory for a ten-hour source as for a song.
//
// Durations are tenths of a second and sample counts 64-bit: a source of many hours has more
// samples than 32 bits count.
//
// A piece operation's outcome is Done when the piece file was written and closed; Failed when
// the output could not be created or written (the message names the file: "Failed to create
// file \"%s\".", "Failed to write file \"%s\"."); Cancelled when the user cancelled. Each
// piece is written through a COutputFile under a temporary name. With an output set (the
// plans) a Done piece waits there until the plan publishes the source's pieces together;
// without one it takes its name as soon as it is complete. Unless the outcome is Done,
// nothing of that piece is left on disk.
//
// A parallel cut (ParallelCut.h) runs pieces of one source on several cutters at once: each
// worker's cutter is put at the piece's start with ResumeAt and writes into the file given by
// SetPieceOutput; what a piece writes depends only on where it starts and the frames before.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/Progress.h"
#include "engine/output/PieceNaming.h"
#include "engine/mp3/Mp3Reader.h"
#include "engine/Facts.h"

namespace corvane {

class COutputFile;
class COutputSet;

struct FrameRecord {
    uint64_t offset = 0;  // file offset of the frame
    int32_t samples = 0;  // samples in the frame
};

// Samples of tenths of a second at sampleRate, truncated; 0 for tenths <= 0. Durations past
// about 3.5 million years are taken as that, so the count never overflows.
uint64_t TenthsToSamples(int sampleRate, int64_t tenths);

class CCutter {
public:
    CCutter();
    virtual ~CCutter();
    CCutter(const CCutter&) = delete;
    CCutter& operator=(const CCutter&) = delete;

    // Writes the next piece of at least size bytes of frames (the frame that crosses the
    // size is written whole), plus tag, VBR header frame and overlaps. eof is set when the
    // source ran out during the piece (the piece is still complete and the outcome Done).
    Outcome CutBySize(const std::string& path, uint64_t size, int index, int count, int sequence, int titleDigits,
                      bool& eof);
    // The same measured in tenths of a second of audio.
    Outcome CutByDuration(const std::string& path, int64_t tenths, int index, int count, int sequence,
                          int titleDigits, bool& eof);
    // The same up to an exact place: samples (at least 1) counted from SamplePosition(), so a
    // plan that knows where a piece must end in the source asks for SamplePosition() up to
    // there; the piece ends with the frame that reaches it.
    Outcome CutBySamples(const std::string& path, uint64_t samples, int index, int count, int sequence,
                         int titleDigits, bool& eof);
    // Writes the rest of the source as the last piece.
    Outcome CutToEnd(const std::string& path, int index, int count, int sequence, int titleDigits);
    // Reads past tenths of audio without writing; the frames stay in the history. Done, or
    // Cancelled; eof as for the cuts.
    virtual Outcome SkipDuration(int64_t tenths, bool& eof);
    // The same for samples counted from SamplePosition().
    Outcome SkipSamples(uint64_t samples, bool& eof);
    // The samples of the source's frames before the next one a piece takes: the frames read
    // since LoadSource, less those stepped back over. A position in the decoded stream as it
    // comes from the first audio frame, without gapless trimming.
    // The next piece's audio starts startInFrame_ samples after it.
    uint64_t SamplePosition() const { return samplePosition_; }
    // Samples from SamplePosition() to end, a sample of the timeline a gapless decoder plays
    // (GaplessStart() on in the decoded stream): at least 1, so a piece or skip asked to end
    // at a place the reader has passed still takes one frame.
    uint64_t SamplesTo(int64_t end) const {
        const uint64_t target = (end > 0 ? static_cast<uint64_t>(end) : 0) + GaplessStart();
        return target > samplePosition_ ? target - samplePosition_ : 1;
    }
    // Where a gapless decoder starts to play the source, in samples of the decoded stream: the
    // encoder delay and the decoder's own delay when a LAME tag gives them, else its start.
    uint64_t GaplessStart() const {
        if (!reader_.hasEncoderDelays()) return 0;
        return static_cast<uint64_t>(reader_.encoderDelay()) + CMp3Reader::kDecoderDelay;
    }
    virtual void SetFadeIn(bool enable, int tenths) = 0;
    virtual void SetFadeOut(bool enable, int tenths) = 0;
    // Bit rate of the pieces in kbps; the source's average here.
    virtual int GetOutputBitrate();
    // Encoding of re-encoded pieces; 0, 0, kChannelModeNone means the source's own. Ignored here.
    virtual void SetEncodingParams(int sampleRate, int kbps, int channelMode);
    // Opens the source and reads its tag. False when the reader refuses the file.
    virtual bool LoadSource(const std::string& path);
    virtual void CloseSource();
    virtual void SetCancelFlag(const std::atomic<int>* flag);
    // Must follow LoadSource: the steps of the bar are bytes of the source.
    virtual void SetProgressBar(IProgressBar* bar);
    virtual void SetForwardOverlap(int tenths);
    virtual void SetBackwardOverlap(int tenths);
    // Where the pieces go: files of set (which must outlive the pieces), left complete under
    // their temporary names for the caller to publish. Without a set (null, the default)
    // each piece takes its name as soon as it is complete, replacing a file or link there.
    void SetOutputSet(COutputSet* set) { outputs_ = set; }

    // For a piece cut on a worker thread of a parallel cut (ParallelCut.h). The next piece
    // operation writes into file (which must outlive it) instead of a file of the set, and
    // leaves it complete under its temporary name; later ones go back to the set.
    void SetPieceOutput(COutputFile* file) { pieceOutput_ = file; }
    // Puts the reader at position with history as the frames read before it (oldest first),
    // as a cut that reached position one piece after another would have them: the next piece
    // then comes out exactly as it would there. history must hold the newest frames before
    // position whose samples reach the forward overlap (all of them when fewer do); sample:
    // the samples of the frames before position (SamplePosition() there).
    void ResumeAt(uint64_t position, const std::vector<FrameRecord>& history, uint64_t sample);
    // A second flag read with the cancel flag: set, it stops the piece as a cancel does (the
    // parallel cut stops a piece it no longer wants). Null for none.
    void SetStopFlag(const std::atomic<int>* flag) { stopFlag_ = flag; }
    // Where the file position reached is stored as the piece runs, for a coordinating thread
    // to read (the bar, when set, still moves too). Null for none.
    void SetPositionCounter(std::atomic<uint64_t>* counter) { positionCounter_ = counter; }

    // The record of the next piece's tag instead of the source's (null: the source's): its
    // title is the piece's title as it is (no title template), its track number the piece's
    // own (none when trackMode is None), and it fills the name placeholders. Set by the plan
    // before each piece; tags must outlive the piece.
    void SetPieceTags(const TagFields* tags) { pieceTags_ = tags; }

    // Settings of the pieces' tags, set by the plan before the first piece.
    bool keepTag = true;
    std::string titleTemplate;
    TrackNumber trackMode = TrackNumber::Sequence;

    // The newest frames read, oldest first: at least the newest kKeptNewestFrames and,
    // before them, the fewest older ones whose samples reach the forward and backward
    // overlaps together. Frames read again after a step back are not recorded twice.
    const std::deque<FrameRecord>& frameHistory() const { return frameHistory_; }
    static constexpr size_t kKeptNewestFrames = 12;
    CMp3Reader& reader() { return reader_; }
    // The path LoadSource opened.
    const std::string& sourcePath() const { return sourcePath_; }

protected:
    // What a piece's target counts: bytes of frames, samples at the source's rate, or
    // nothing (the piece runs to the end of the source).
    enum class Measure { Bytes, Samples, ToEnd };

    // The piece operations' common work: the piece index of count (sequence: the batch's
    // running number) at path, up to target measured by measure, as the three operations
    // describe it. eof as there (never set for Measure::ToEnd).
    virtual Outcome CutPiece(const std::string& path, Measure measure, uint64_t target, int index, int count,
                             int sequence, int titleDigits, bool& eof) = 0;

    // The forward overlap before the reader's position: the newest recorded frames whose
    // samples reach the overlap (all of them when the history holds fewer). start is the
    // oldest one's offset, frames their count; start is the reader's position and frames 0
    // when there is no overlap.
    struct ForwardOverlap {
        uint64_t start = 0;
        uint32_t frames = 0;
    };
    ForwardOverlap FindForwardOverlap() const;

    // Pumps messages and reads the cancel flag: true when the user asked to stop.
    bool PollCancelled();
    // Moves the bar to the reader's position (or the given one), never backwards. Called for
    // every frame, so the bar is only asked when the position passed its next step.
    void UpdateProgress() { UpdateProgress(reader_.position()); }
    void UpdateProgress(uint64_t position) {
        if (positionCounter_) positionCounter_->store(position, std::memory_order_relaxed);
        if (progressBar_ && position >= nextStepAt_) MoveProgress(position);
    }
    // Appends a frame read to the history (unless it is there already) and lets the oldest
    // records go that no overlap or step back can reach any more.
    void RecordFrame(uint64_t offset, int samples) {
        if (!frameHistory_.empty() && offset <= frameHistory_.back().offset) return;
        frameHistory_.push_back({offset, samples});
        historySamples_ += static_cast<uint64_t>(samples);
        samplePosition_ += static_cast<uint64_t>(samples);
        ++pieceRecords_;
        if (frameHistory_.size() > kKeptNewestFrames + 1) TrimHistory();
    }
    // RecordFrame for count frames in a row, each of samples, when no overlap is to be
    // reached: the last fresh of them are newer than the newest record (the others are
    // recorded already, after a step back), and offsets holds the newest, frame i at
    // offsets[i % kRecentFrames]. Only the newest enter the history; the rest would leave it
    // at once.
    static constexpr size_t kRecentFrames = 16;
    void RecordFrames(const uint64_t* offsets, uint64_t count, uint64_t fresh, int samples);
    // Steps back over the newest recorded frames while they end after sample, and seeks to the
    // oldest one stepped back over: the reader then stands on the frame that holds sample (or
    // begins at it), and the next piece's audio starts there (startInFrame_).
    void StepBackTo(uint64_t sample);
    // Called when a skip read up to sample (of the decoded stream): by default the next piece
    // starts where the reader stands.
    virtual void SkippedTo(uint64_t) { startInFrame_ = 0; }
    // Removes the newest record of the current piece and returns it. Only while
    // CanStepBack().
    FrameRecord PopPieceRecord();
    // True while more than one frame of the current piece is recorded: a step back may
    // remove the newest one and the piece still moves the reader on.
    bool CanStepBack() const { return pieceRecords_ > 1; }
    // Steps back over up to three recorded frames of the piece just written (removing
    // them), never over its first frame, and seeks there. Returns the frames stepped back.
    int RewindAfterPiece();
    // The newest recorded frames, up to count of them: start is the oldest one's offset
    // (the reader's position when there are none).
    ForwardOverlap NewestFrames(uint32_t count) const;
    // The piece's tag (empty when keepTag is off) with the chapters of the source's tag that
    // fall inside the piece, clipped to it and moved to its start (Id3Chapters.h). Called at
    // the start of a piece operation, before its frames are written.
    std::vector<uint8_t> MakeTag(int index, int count, int sequence, int titleDigits) const;
    // MakeTag for the piece over [startSample, endSample) of the decoded stream (endSample -1:
    // to the source's end), for a piece whose end was not known before it was written.
    std::vector<uint8_t> MakeTagOver(int index, int count, int sequence, int titleDigits, uint64_t startSample,
                                     int64_t endSample) const;
    // Whether the source has chapters: a piece's tag is made again once its exact range is known.
    bool SourceHasChapters() const { return !sourceChapters_.empty(); }
    // Samples of tenths at the source's sample rate, truncated; 0 for tenths <= 0.
    uint64_t TenthsToSamples(int64_t tenths) const;
    // The outcome of a piece whose output failed a write: "Failed to write file \"<path>\".".
    static Outcome WriteFailed(const COutputFile& out);
    // The outcome of a piece whose source could not be read on (a read error, or a file that
    // got shorter): "Failed to read file \"<source>\".". The end of the data is no failure.
    Outcome ReadFailed() const;
    // A new output file for the next piece: one of the output set, else the cutter's own.
    COutputFile& NewOutput();
    // After a piece's output closed: without an output set, gives it its name. False when
    // that failed (the file is removed).
    bool PublishAlone(COutputFile& out);

    IProgressBar* progressBar_ = nullptr;
    int lastProgress_ = 0;
    uint64_t bytesPerStep_ = 0;
    uint64_t nextStepAt_ = 0;  // the position where the bar moves on next
    const std::atomic<int>* cancelFlag_ = nullptr;
    CMp3Reader reader_;
    int forwardOverlapTenths_ = 0;
    int backwardOverlapTenths_ = 0;
    uint64_t startInFrame_ = 0;  // samples from SamplePosition() to where the next piece's audio starts
    uint64_t forwardOverlapSamples_ = 0;
    uint64_t backwardOverlapSamples_ = 0;
    TagFields sourceTags_;
    std::vector<Chapter> sourceChapters_;
    std::string baseName_;
    std::string sourcePath_;

    // Opens the source other has loaded with this cutter's own reader and takes other's tag
    // fields (not read again), overlaps and tag settings. False when the file can no longer
    // be opened.
    bool LoadLike(const CCutter& other);

private:
    // Starts counting the records of a new piece.
    void BeginPieceRecords() { pieceRecords_ = 0; }
    // Drops the oldest records that neither overlap nor step back can reach.
    void TrimHistory();
    // Moves the bar to position's step.
    void MoveProgress(uint64_t position);

    std::deque<FrameRecord> frameHistory_;
    uint64_t samplePosition_ = 0;  // SamplePosition()
    const TagFields* pieceTags_ = nullptr;
    // Where the piece being cut is asked to end, in samples of the decoded stream; -1: not
    // known before it is written (by size) or the end of the source.
    int64_t pieceEndSample_ = -1;
    // MakeTag without the chapters.
    std::vector<uint8_t> MakeFieldsTag(int index, int count, int sequence, int titleDigits) const;
    uint64_t historySamples_ = 0;  // samples of the records in frameHistory_
    size_t pieceRecords_ = 0;      // the newest records that belong to the current piece

    // Removes the unfinished output of a piece that did not end Done (without a set; with
    // one, the plan discards the set; a piece output given by SetPieceOutput is its giver's).
    Outcome DropUnfinished(Outcome outcome);

    COutputSet* outputs_ = nullptr;
    COutputFile* pieceOutput_ = nullptr;
    std::unique_ptr<COutputFile> lone_;
    const std::atomic<int>* stopFlag_ = nullptr;
    std::atomic<uint64_t>* positionCounter_ = nullptr;
};

}  // namespace corvane
