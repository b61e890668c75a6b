// CPreviewPlayer: plays one file, or one range of it, through the audio library's output.
//
// The cutter page listens to its source with this: the whole file from a position (Seek,
// then Play), one planned piece (PlayRange), pause and resume, and the output gain. The
// player has no play states of its own; it does what it is told and reports one thing: that
// playback reached its end point (the end of the stream, or the end of the range). That
// report comes on an audio thread, through the notify function given to Load, which must
// only hand the news over to its own thread (the page posts itself a queued signal) and
// return.
//
// Without a sound device (the library started on the "no sound" device) Load still opens
// the file decode-only: length and format are known, playing is silent and never notifies.
//
// Positions cross the interface in milliseconds of the decoded stream, truncated.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace corvane {

class CPreviewPlayer {
public:
    // Called on an audio thread when playback reaches its end point.
    using Notify = std::function<void()>;

    CPreviewPlayer();
    // Calls Free.
    virtual ~CPreviewPlayer();
    CPreviewPlayer(const CPreviewPlayer&) = delete;
    CPreviewPlayer& operator=(const CPreviewPlayer&) = delete;

    // Frees any open stream, then opens path as a playable stream, else decode-only. Reads
    // the sample rate, channels, length and the average bit rate (file size over length).
    // False, with nothing open, when the library cannot open the file.
    bool Load(const std::string& path, Notify notify);
    bool IsLoaded() const;

    // The whole stream's length, and the play position, in milliseconds; 0 when nothing is
    // open.
    int64_t GetLengthMs() const;
    int64_t GetPositionMs() const;

    // Moves the play position to ms (clamped to the stream).
    void Seek(int64_t ms);
    // Removes the current end notification, sets one at the end of the stream and plays
    // from the current position (from the start with restart). The output device opens on
    // the first play. False when nothing sounds: no file, a decode-only stream, or no
    // device opens (then nothing is notified either).
    bool Play(bool restart = false);
    // Removes the current end notification, sets one at endMs, seeks to startMs and plays;
    // false as for Play.
    bool PlayRange(int64_t startMs, int64_t endMs);
    // Stops the sound where it is; Resume continues from there (false as for Play).
    void Pause();
    bool Resume();
    // Releases the stream and its notification: nothing is notified afterwards.
    void Free();

    // Output gain of this player, 0 (silent) to 65535 (full, the initial gain); kept across
    // Load and Free.
    void SetVolume(int gain);
    int volume() const { return gain_; }

    int sampleRate() const { return sampleRate_; }
    int channels() const { return channels_; }
    int bitrate() const { return bitrate_; }  // average kbps, 0 when unknown

private:
    uint32_t stream_ = 0;  // library handle, 0 when none
    uint32_t sync_ = 0;    // the current end notification, 0 when none
    Notify notify_;
    int sampleRate_ = 0;
    int channels_ = 0;
    int bitrate_ = 0;
    int gain_ = 65535;
};

}  // namespace corvane
