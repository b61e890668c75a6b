// Facts and tags of a source file as every list and page shows them.
#pragma once

#include <cstdint>
#include <string>

#include "audio/GenreTable.h"  // the genre names the lists show

namespace corvane {

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
