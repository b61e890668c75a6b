// The audio library layer: decoding streams, lengths, file positions, PCM, tags and playback.
//
// One small library in the manner of a classic audio library: a process-wide handle table of
// channels, each a stream of a file, decode-only or played through the output device (SDL2
// audio; see "Playback" below). MPEG audio (Layers I-III) is decoded by libmpg123,
// WAV/AIFF/FLAC/Ogg Vorbis/Opus by libsndfile, module music (MOD, XM, IT, S3M...) by
// libopenmpt, tags are read by TagLib. libsndfile and libopenmpt are loaded when a file is
// first offered to them (OptionalLibraries.h).
//
// Formats are recognised by content, never by file name. libsndfile is asked first; MPEG
// audio is accepted only where several consecutive frame headers agree, so a stray 0xFFFx
// pair in random data or in another format is never decoded as noise.
//
// PCM is delivered as interleaved signed 16-bit samples in native byte order at the
// stream's own sample rate and channel count. Byte positions and lengths count those bytes.
//
// Handles are non-zero 32-bit numbers; 0 means failure. All calls are thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace corvane::audio {

using Handle = uint32_t;

// Flags of StreamCreateFile and MusicLoad.
constexpr uint32_t kStreamDecode = 0x200000;      // decode-only: read with ChannelGetData
// MPEG audio as a gapless decoder plays it: without the encoder delay and padding a LAME tag
// gives (and the 529 samples a Layer III decoder puts first); lengths and positions count
// those samples only.
constexpr uint32_t kStreamGapless = 0x400000;
constexpr uint32_t kMusicDecodeFlags = 0x220200;  // decode-only module, pre-scanned length, ramping

// Modes of StreamGetFilePosition.
constexpr int kFilePosEnd = 2;    // the file's size in bytes
constexpr int kFilePosStart = 3;  // where the audio data starts

// Flag bit of ChannelInfo::flags.
constexpr uint32_t kSample8Bits = 1;  // samples are 8-bit (else 16-bit)

constexpr uint32_t kVersion = 0x02040000;  // GetVersion: high 16 bits 0x0204

// Option of SetConfig: bytes after a leading ID3v2 tag searched for the first MPEG audio
// frame when recognising a file (default 16000).
constexpr uint32_t kConfigVerify = 23;

// Channel types of ChannelInfo::ctype: what the stream was recognised as.
constexpr uint32_t kCtypeMpegLayer1 = 0x10003;
constexpr uint32_t kCtypeMpegLayer2 = 0x10004;
constexpr uint32_t kCtypeMpegLayer3 = 0x10005;
constexpr uint32_t kCtypeSndfile = 0x40000;   // WAV, AIFF, FLAC, Ogg Vorbis, Opus
constexpr uint32_t kCtypeModule = 0x20000;    // module music

inline bool IsMpegCtype(uint32_t ctype) { return ctype >= kCtypeMpegLayer1 && ctype <= kCtypeMpegLayer3; }

struct ChannelInfo {
    uint32_t freq = 0;    // sample rate, Hz
    uint32_t chans = 0;   // channel count
    uint32_t flags = 0;   // kSample8Bits
    uint32_t ctype = 0;   // kCtype...: the decoder that accepted the file
};

// Library life cycle. Init(-1, freq) selects the default output device (SDL2 audio, 16-bit
// stereo at freq), which opens on the first ChannelPlay, not before: until something plays
// there is no sound server connection and no audio thread. When it does not open then, that
// ChannelPlay fails and the library goes on as on the "no sound" device. Init(n, freq) with
// n >= 1 opens SDL's output device n - 1 at once, and Init(0, ...) the "no sound" device,
// which always opens and plays nothing; false when the device does not open (and below -1,
// and for freq 0 with a device that plays). Init again closes the device first. Free closes
// the device (every playing stream stops) and returns false when Init had not succeeded.
// Decoding works without any of them. GetVersion returns kVersion.
//
// Init, Free and the playback operations below (ChannelPlay to OutputPump) live in the
// playback library, corvane_playback, which links SDL; a program that only decodes links
// corvane_audio alone (LibraryTable.h).
uint32_t GetVersion();
bool Init(int device, uint32_t freq);
bool Free();
// Sets a library option (kConfigVerify); false for an unknown option.
bool SetConfig(uint32_t option, uint32_t value);

// Opens a stream of the file at path (UTF-8). offset and length must be 0. Returns 0 when
// no decoder accepts the file's content. libsndfile is asked first (WAV, AIFF, FLAC, Ogg
// Vorbis, Opus); otherwise the file is MPEG audio only when, after a leading ID3v2 tag, at
// least four consecutive frame headers agree (fewer when the file ends exactly after them).
// flags may be kStreamDecode, kStreamGapless, both, or 0; the stream owns an open descriptor of the file until
// StreamFree.
Handle StreamCreateFile(const std::string& path, uint64_t offset, uint64_t length, uint32_t flags);

// Opens module music (MOD, XM, IT, S3M...) decoded at freq Hz, stereo. 0 when not a module.
// Its length is the song's duration (played once) times freq; no file positions (-1).
Handle MusicLoad(const std::string& path, uint32_t flags, uint32_t freq);

// Release a stream or module music and everything it holds. False for an unknown handle and
// for a handle of the other kind (StreamFree of music, MusicFree of a stream). The handle is
// dead afterwards: every call on it fails.
bool StreamFree(Handle h);
bool MusicFree(Handle h);

// Sample rate, channel count and flags (samples are always 16-bit: kSample8Bits is clear).
bool ChannelGetInfo(Handle h, ChannelInfo* info);

// Exact decoded length in PCM bytes (all frames times their samples for MPEG audio, with
// no gapless trimming: the frame count of a Xing/Info header when it has one, else a header
// scan of the file); -1 on a bad handle.
int64_t ChannelGetLength(Handle h);
// Whole sample frames of bytes in seconds; -1 on a bad handle or negative bytes.
double ChannelBytes2Seconds(Handle h, int64_t bytes);
// Seconds as bytes of whole sample frames (truncated); -1 on a bad handle or negative seconds.
int64_t ChannelSeconds2Bytes(Handle h, double seconds);

// kFilePosStart: the offset of the first audio frame (after a leading ID3v2 tag, its footer
// included, and after a "Xing", "Info" or "VBRI" frame when the first frame is one);
// kFilePosEnd: the file's size. -1 when not available.
int64_t StreamGetFilePosition(Handle h, int mode);

// Reads up to bytes PCM bytes into buffer; returns the count delivered (less at the end,
// 0 at the end), or -1 on error, a bad handle or a playable stream.
int32_t ChannelGetData(Handle h, void* buffer, uint32_t bytes);

// Decoding position in PCM bytes (the played position of a playable stream), and a seek to
// one (false on a bad handle or a position outside 0..length; a playable stream continues
// from there at once, dropping what it had decoded ahead). A seek lands on the sample frame
// that holds the byte; MPEG audio is positioned sample-accurately (decoding restarts up to 31
// frames earlier), and a decode-only stream then gives the samples a decode from the start
// gives (MPEG-1 exactly; MPEG-2 and 2.5 Layer III at low bit rates may differ in the last bit
// of a few samples).
int64_t ChannelGetPosition(Handle h);
bool ChannelSetPosition(Handle h, int64_t bytes);

// Tags.
//
// The tag of a file is read into one record of seven texts (TagsGetInfo). Any text may hold
// any character, line breaks included: a title "a\nb" is one field, so callers take the
// fields from the record and never split a formatted text apart again. TagsRead formats the
// same record for display.

// The tag fields of a file, each in UTF-8 and "" when the tag has none. The tag of MPEG audio
// is read field by field from ID3v2 (2.2-2.4), else APE, else ID3v1; other formats use their
// own tags (a WAV file's ID3v2 chunk before its RIFF INFO list).
struct TagInfo {
    std::string track;    // the tag's own text: "3/12", "07"
    std::string title;
    std::string artist;
    std::string album;
    std::string genre;    // an ID3v1 genre number ("17", "(17)") becomes its name
    std::string year;     // the tag's own text: "1999", "2004-05-06"
    std::string comment;  // the comment without a description; its line breaks are kept
};

// Fills info with the tag of the stream's file. True when the file has a tag (also one whose
// fields are all empty); false, with every field of info empty, when it has none, on a bad
// handle, a null info, or a file the tag reader cannot read.
bool TagsGetInfo(Handle h, TagInfo* info);

// The same for the file at path without a stream: its content is recognised as
// StreamCreateFile recognises it (libsndfile's formats first, then MPEG audio within the
// kConfigVerify window), but no decoder is started, so reading the tag of a file costs the
// tag reader's work alone. False, with every field of info empty, when StreamCreateFile would
// find no audio in the file or as TagsGetInfo.
bool TagsGetFileInfo(const std::string& path, TagInfo* info);

// The record of TagsGetInfo as text: format with "%TRCK" (track), "%TITL", "%ARTI", "%ALBM",
// "%GNRE", "%YEAR" and "%CMNT" replaced by the fields; other text is kept. Empty when
// TagsGetInfo would be false.
std::string TagsRead(Handle h, const char* format);

// Playback.
//
// A stream opened with flags 0 is playable: it is mixed to the output device opened by Init,
// and its position (ChannelGetPosition) is the position played, what has gone to the device,
// not what has been decoded ahead of it. Playable streams exist only while Init holds a real
// output device; on the "no sound" device StreamCreateFile with flags 0 fails, so callers
// open the file decode-only instead. A decode-only stream cannot be played (ChannelPlay fails)
// and a playable one cannot be read (ChannelGetData fails).

// Sync types of ChannelSetSync.
constexpr uint32_t kSyncPosition = 0;  // the played position reaches param (bytes)
constexpr uint32_t kSyncEnd = 2;       // playback reaches the end of the stream

// Attribute of ChannelSetAttribute / ChannelGetAttribute.
constexpr uint32_t kAttribVolume = 2;  // gain applied when mixing, 0 (silent) to 1 (full)

// Called on the audio thread when a sync is reached, with no lock of the library held. It may
// call the library's channel operations (not Init or Free), but must not wait for a thread
// that might at that moment be in ChannelRemoveSync, StreamFree or Free (they wait for a
// running sync procedure to return); it should only hand the news over to its own thread.
using SyncProc = std::function<void()>;

// Starts playback from the current position (from the start with restart), opening the
// default output device first when it is not open yet. False on a bad handle, a decode-only
// stream, or when no output device is open or opens.
bool ChannelPlay(Handle h, bool restart);
// Stops the sound where it is; ChannelPlay(h, false) continues. False when not playing.
bool ChannelPause(Handle h);
// True while the channel is playing (not paused, not stopped at its end).
bool ChannelIsPlaying(Handle h);

// Sets a sync of type kSyncPosition (param: a byte position; the procedure runs each time the
// played position passes it, and when playback reaches the end before it) or kSyncEnd (param
// ignored; runs when playback reaches the end).
// Returns the sync's handle, 0 on a bad handle, a decode-only stream or an unknown type.
Handle ChannelSetSync(Handle h, uint32_t type, int64_t param, SyncProc proc);
// Removes a sync. When it returns, the procedure is not running and will not run again, even
// when it was already due (unless called from that procedure itself). False when unknown.
bool ChannelRemoveSync(Handle h, Handle sync);

// kAttribVolume of a playable stream (clamped to 0..1). False on a bad handle or attribute.
bool ChannelSetAttribute(Handle h, uint32_t attribute, float value);
bool ChannelGetAttribute(Handle h, uint32_t attribute, float* value);

// Test clock. UseManualOutput(true) before Init(-1, freq) makes Init open, in place of an
// SDL device, an output that plays only inside OutputPump: each call plays frames sample
// frames at once on the calling thread, advancing every playing stream and running its
// syncs there; out, when given, receives the 16-bit stereo samples played. OutputPump is
// false when that output is not open.
void UseManualOutput(bool manual);
bool OutputPump(uint32_t frames, int16_t* out = nullptr);

}  // namespace corvane::audio
