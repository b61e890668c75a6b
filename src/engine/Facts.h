// The facts and tags of a source file: what one opening by the MP3 reader tells about it.
//
// Every list, page and command reads a source's facts through ReadSourceFacts, so the length
// a cut divides, the bit rate Auto compares and the figures `info` prints always agree, and a
// file one front end refuses ("Failed to load file \"...\"." from LoadFileFailure) every
// front end refuses. Tags are read apart (ReadTags): a source's facts do not need them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/EncodingParams.h"
#include "audio/GenreTable.h"  // the genre names the lists show

namespace corvane {

// What tells one version of a file from another: its size, times of change and identity.
struct FileStamp {
    uint64_t size = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at path (a link is followed); false when it cannot be read.
bool ReadFileStamp(const std::string& path, FileStamp& stamp);

struct SourceFacts {
    FileStamp stamp;                // the file as it was when the facts were read
    uint64_t fileSize = 0;          // bytes
    uint32_t seconds = 0;           // the exact length in whole seconds, truncated
    int64_t milliseconds = 0;       // the exact decoded length, truncated to milliseconds
    int sampleRate = 0;             // Hz, of the first frame at the audio start
    int bitrate = 0;                // kbps of the audio alone (CMp3Reader::bitrate): no tag counts
    bool variableBitrate = false;   // the frames do not all share one bit rate
    int channelMode = kChannelModeNone;  // 0..3 as the frame header codes it
    int layer = 0;                  // MPEG audio layer, 1..3
    bool hasHeaderFrame = false;    // the audio starts with a Xing, Info or VBRI frame
    uint64_t audioStart = 0;        // offset of the first audio frame
    // The file holds fewer frames than its VBR header counts (cut short after it was
    // written): the length above is that of the frames present, headerMilliseconds what the
    // header gives.
    bool truncated = false;
    int64_t headerMilliseconds = 0;
    // The file holds more frames than its VBR header counts (files glued with cat): the length
    // above is that of the frames, and the header gives no delays.
    bool headerUndercounts = false;
    // The encoder delay and padding (samples per channel) a LAME tag in the VBR header frame
    // gives (CMp3Reader::ReadLameDelays); 0 when hasEncoderDelays is false.
    bool hasEncoderDelays = false;
    int encoderDelay = 0;
    int encoderPadding = 0;
    // The length a gapless decoder plays, without the delay and padding, truncated to
    // milliseconds; milliseconds itself (the frames' length) when no LAME tag gives them.
    int64_t gaplessMilliseconds = 0;

    // The length in tenths of a second as the cutter pages take it.
    int lengthTenths() const { return static_cast<int>(milliseconds / 100); }
};

// Opens path with the MP3 reader and fills facts (reset first). False when the reader
// refuses the file (not MPEG audio, unreadable); facts then stay at their defaults.
bool ReadSourceFacts(const std::string& path, SourceFacts& facts);

// True when the file at path is still the one facts were read from: same size, times,
// device and inode. A file replaced, rewritten or gone since is not; work planned from its
// old facts (a piece count, a length) must read them again first.
bool StillAsRead(const std::string& path, const SourceFacts& facts);

// The seven tag fields of a source, in the order the tag reader fills them.
struct TagFields {
    int track = 0;  // the track text read as an integer ("07" gives 7, "3/12" gives 3), 0 when none
    std::string title;
    std::string artist;
    std::string album;
    std::string genre;
    std::string year;
    std::string comment;
};

// Reads the tag of the file at path, field by field from the audio layer's record, so a text
// keeps every character it holds (a title with a line break stays the title). All fields are
// reset first, so they are defined on every return. True when the file has a tag (also one of
// empty fields); false for a file the audio layer cannot open or one without a tag, which
// callers treat as "no tag".
bool ReadTags(const std::string& path, TagFields& out);

// A chapter of a file as its ID3v2 tag marks it (a CHAP frame): start and end in
// milliseconds of the timeline a gapless decoder plays, and the title of its TIT2 sub-frame
// (empty when it has none).
struct Chapter {
    int64_t startMs = 0;
    int64_t endMs = 0;
    std::string title;
    bool operator==(const Chapter&) const = default;
};

// The chapters of the file at path, ordered by start: those of the CHAP frames of its
// leading ID3v2.3 or ID3v2.4 tag, each end at least its start. Empty for a file without a
// tag, without CHAP frames, or that cannot be read (never an error: "no chapters").
std::vector<Chapter> ReadChapters(const std::string& path);

// The leading integer of text: spaces skipped, an optional sign, digits; 0 when none.
int LeadingInteger(const std::string& text);

// The file's size in bytes; false when its attributes cannot be read.
bool GetFileSize64(const std::string& path, uint64_t& size);

// "Stereo", "J-Stereo", "Dual Channel", "Mono" for 0..3; "" for any other value.
const char* ChannelModeName(int mode);

// Display texts of the lists.
std::string BitrateText(int kbps);        // "%d kbps"
std::string SampleRateText(int hz);       // "%d Hz"
std::string TrackText(int track);         // "%d" when 1 or more, else ""

}  // namespace corvane
