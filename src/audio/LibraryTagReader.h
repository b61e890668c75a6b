// The audio library's tag read: TagLib fields of a channel's file put into a format text.
#pragma once

#include <string>

#include "audio/LibraryChannel.h"

namespace corvane::audio {

// Reads the tags of the file at path (whose content is of the given kind) and returns format
// with "%TRCK", "%TITL", "%ARTI", "%ALBM", "%GNRE", "%YEAR" and "%CMNT" replaced by the tag's
// texts in UTF-8; other text is kept. For MPEG audio each field comes from the ID3v2 tag
// (2.2, 2.3, 2.4), else the APE tag, else the ID3v1 tag. The track and year are the tag's own
// texts ("3/12", "07", "2004-05-06"); a genre given as an ID3v1 number ("17" or "(17)")
// becomes its name. Returns "" when the file has no tag at all, cannot be read, or on any
// TagLib failure.
std::string ReadLibraryTags(const std::string& path, LibraryFileKind kind, const char* format);

}  // namespace corvane::audio
