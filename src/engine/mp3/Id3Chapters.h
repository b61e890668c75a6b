// Chapters in an ID3v2 tag: CHAP frames and the CTOC frame that lists them.
//
// A CHAP frame marks one chapter: an element ID (a NUL-terminated Latin-1 text unique in the
// tag), start and end time in milliseconds, start and end byte offsets (0xFFFFFFFF: not
// given, the times count), then sub-frames laid out like the tag's own frames, of which a
// TIT2 holds the chapter's title. A CTOC frame is a table of contents: its element ID, a flags
// byte (bit 1: the top-level table, bit 0: its entries are in order), an entry count byte and
// the entries' element IDs, each NUL-terminated. Players show the chapters the top-level
// table lists, in its order.
//
// Chapters written here join a tag as the tag's renderer made it (LAME's ID3v2.3): the same
// version, so frame sizes are plain 32-bit numbers and only the tag header's size is syncsafe,
// and the same text encodings: a plain ASCII title as ISO-8859-1 (encoding 0), any other as
// UTF-16 with a byte-order mark (encoding 1). Pitfall: the CTOC's entry count is one byte, so
// a tag holds at most kMostChapters chapters; more are left out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/Facts.h"

namespace corvane {

constexpr size_t kMostChapters = 255;

// tag (an ID3v2.3 tag, or empty for none) with a CHAP frame for each of chapters (element IDs
// "ch0", "ch1", ...; at most kMostChapters) and a top-level, ordered CTOC frame "toc" listing
// them, after the tag's frames and before its padding; the header's size grows to match.
// Empty chapters give tag unchanged; an empty tag becomes a tag holding only the chapters.
// The length of the result depends on the titles and the count alone, never on the times, so
// a writer may place a tag and put the exact times over it later.
std::vector<uint8_t> WithChapterFrames(const std::vector<uint8_t>& tag, const std::vector<Chapter>& chapters);

// tag (an ID3v2 tag without a footer) grown to size bytes by padding (zero bytes after its
// frames), the header's size to match: a tag made again with fewer chapters fits over the one
// it replaces. tag unchanged when it is not shorter or is no such tag.
std::vector<uint8_t> PaddedTo(const std::vector<uint8_t>& tag, size_t size);

// The chapters of the CHAP frames of an ID3v2.3 or ID3v2.4 tag (bytes from its "ID3" header
// on), ordered by start, each end at least its start. Frames that are compressed, encrypted
// or cut short are passed over; anything that is not such a tag gives none.
std::vector<Chapter> ParseChapterFrames(const uint8_t* tag, size_t size);

// The chapters of a file cut from [fromMs, toMs) of chapters' file, on its own timeline:
// those that overlap the range, clipped to it and moved by -fromMs.
std::vector<Chapter> ChaptersWithin(const std::vector<Chapter>& chapters, int64_t fromMs, int64_t toMs);

}  // namespace corvane
