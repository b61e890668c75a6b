// CSilenceDetector: split points at the silences of a decoded file, for custom pieces.
//
// A podcast or a digitised tape has silences between its parts. The detector looks at the
// decoded audio in windows of 10 ms (sampleRate ÷ 100 sample frames, truncated; the last
// window of a file may be shorter) and measures each window's level as its RMS: the square
// root of the mean of the squares of every sample of both channels in the window, in dBFS
// against the full scale 32768 (a full-scale square wave is 0 dBFS, a full-scale sine
// -3 dBFS). RMS rather than the peak, so that the hiss of a tape and a lone click do not
// break a silence. A window whose level is under the threshold is quiet; a run of quiet
// windows at least the minimum length long is a silence, and its middle (the first frame of
// the run plus half its length, truncated) is a split point.
//
// A silence that starts at the first frame of the file (leading) or ends at its last frame
// (trailing) gives no split point: no piece would hold anything but silence. A file that is
// silent throughout has none either.
//
// The windows come from the peak map of the file (engine/Peaks.h), which measures them in the
// same decode as its bins: from the peak cache when the file was decoded before (the waveform
// of the cutter page, an earlier search at another threshold), else decoded in two halves on
// two threads and stored there. The sums of a window's squares are integers, so the halves
// give exactly what one decode from the start gives, the window the seam cuts included.
//
// Pitfall: positions are those of the decoded stream, without gapless trimming, as the
// frame-copy cutter counts them: the encoder's and the decoder's delay (1105 sample frames
// for LAME and mpg123) shift every silence of an MP3 file, and its middle, later than in the
// PCM that was encoded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Progress.h"
#include "engine/Cut.h"

namespace corvane {

// Windows per second: a window is 10 ms.
constexpr int32_t kSilenceWindowsPerSecond = 100;

// The split points of one file, in increasing order.
struct SilenceSplits {
    int32_t sampleRate = 0;
    uint64_t frames = 0;           // sample frames decoded
    std::vector<uint64_t> points;  // split points in sample frames from the file's start
    std::vector<int> tenths;       // the same points in tenths of a second, rounded to nearest
    bool fromCache = false;        // the windows came from the peak cache: nothing was decoded
};

// Finds the silences of PCM fed to it block by block. Pure: no file, no progress. One object
// serves one stream from its first frame on.
class CSilenceDetector {
public:
    // sampleRate must be positive.
    CSilenceDetector(const SilenceOptions& options, int32_t sampleRate);

    // Feeds the next frames sample frames: left holds them, right too when it is not null
    // (mono when null). Ends the running silence, with a split point when it is long enough
    // and not leading, at the first loud window.
    void AddBlock(const int16_t* left, const int16_t* right, int32_t frames);
    // Feeds the next whole window (the last may be shorter): frames sample frames whose
    // samples samples (frames times the channels) have squares summing to sumSquares. Only
    // between whole windows: not after a block that ended inside one.
    void AddWindow(uint64_t sumSquares, uint64_t samples, int32_t frames);
    // Ends the stream: a silence running to here is trailing and dropped. Returns every split
    // point found, in sample frames. Further blocks are not expected.
    std::vector<uint64_t> Finish();

    // Sample frames fed so far.
    uint64_t Frames() const { return frames_; }
    // The silences of the split points found so far, point for point.
    const std::vector<SilenceSpan>& Silences() const { return silences_; }

private:
    // Judges the window that just filled (or the last, short one) and moves the run on.
    void CloseWindow();

    int32_t windowFrames_;        // sample frames per window
    uint64_t minFrames_;          // the shortest silence, in sample frames
    double quietSquareLevel_;     // mean square under which a window is quiet
    uint64_t frames_ = 0;         // frames fed
    int32_t inWindow_ = 0;        // frames of the current window so far
    uint64_t samplesInWindow_ = 0;
    uint64_t sumSquares_ = 0;     // of the current window's samples
    bool inRun_ = false;          // quiet windows run up to the current one
    uint64_t runStart_ = 0;       // first frame of that run
    std::vector<uint64_t> points_;
    std::vector<SilenceSpan> silences_;
};

// Finds the split points of the file at path from its loudness windows (LoadPeakMap: the
// peak cache, else a decode on two threads, stored). A file the peak map has no windows for
// (module music, a file of more than kMaxLoudnessWindows, one whose decode stopped early) is
// decoded here on one thread through the audio layer (CLibraryAudioSource). dialog may be
// null; otherwise its bar shows the share decoded (range 0 to its width) and, between
// blocks, PumpMessages runs and the dialog's cancelled flag is read. Done: out holds the
// rate, the frames decoded and the split points, counted on the timeline a gapless decoder
// plays (the audio layer decodes so). Failed with "Failed to load file \"path\"." when the
// audio layer cannot open the file (out is then empty). Cancelled when the flag was set; out
// is then empty. A file whose decoding stops early is judged on what was decoded.
Outcome DetectSilences(const std::string& path, const SilenceOptions& options, IProgressDialog* dialog,
                       SilenceSplits& out);

// The custom piece list for split points in tenths: rows from 0 to the first point, between
// neighbouring points and from the last point to totalTenths, all checked, so that they
// cover the whole file as the cutter page keeps its rows. Points at or below 0, at or past
// totalTenths, or not above the point before are left out. One row 0..totalTenths when none
// is left; none for totalTenths <= 0.
std::vector<PieceEntry> PiecesAtSplits(const std::vector<int>& splitTenths, int totalTenths);
// The same with each row that ends at a point ending there exactly: splitFrames holds the
// points in sample frames, index for index with splitTenths (SilenceSplits' points and
// tenths), and becomes the rows' endSample.
std::vector<PieceEntry> PiecesAtSplits(const std::vector<int>& splitTenths, const std::vector<uint64_t>& splitFrames,
                                       int totalTenths);


}  // namespace corvane
