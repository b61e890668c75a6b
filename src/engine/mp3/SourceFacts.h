// ReadSourceFacts: what one opening of a source by the MP3 reader tells about it.
//
// Every list, page and command reads a source's facts through this one function, so the
// length a cut plan divides, the bit rate Auto compares and the figures `info` prints always
// agree. Tags are read apart (ReadTags in SourceInfo.h): a source's facts do not need them.
#pragma once

#include <cstdint>
#include <string>

#include "audio/EncodingParams.h"

namespace corvane {

struct SourceFacts {
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

    // The length in tenths of a second as the cutter pages take it.
    int lengthTenths() const { return static_cast<int>(milliseconds / 100); }
};

// Opens path with the MP3 reader and fills facts (reset first). False when the reader
// refuses the file (not MPEG audio, unreadable); facts then stay at their defaults.
bool ReadSourceFacts(const std::string& path, SourceFacts& facts);

}  // namespace corvane
