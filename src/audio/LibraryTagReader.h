// The audio library's tag read: TagLib fields of a channel's file as one record.
#pragma once

#include <string>

#include "audio/AudioLibrary.h"
#include "audio/LibraryChannel.h"

namespace corvane::audio {

// Reads the tags of the file at path (whose content is of the given kind) into info, as
// TagInfo describes. True when the file has a tag; false, with every field empty, when it has
// none, cannot be read, or on any TagLib failure.
bool ReadLibraryTagInfo(const std::string& path, LibraryFileKind kind, TagInfo& info);

// format with "%TRCK", "%TITL", "%ARTI", "%ALBM", "%GNRE", "%YEAR" and "%CMNT" replaced by the
// fields of info; other text is kept. "" for a null format.
std::string FormatTagInfo(const TagInfo& info, const char* format);

}  // namespace corvane::audio
