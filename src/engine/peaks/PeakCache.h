// The peak cache: the bins of files already decoded, kept between runs.
//
// A file's PeakMap is stored under $XDG_CACHE_HOME/Corvane/peaks/ (~/.cache when the variable
// is unset, empty or not absolute), in a file named after a hash of the file's absolute path.
// The entry holds what it was made from, the absolute path, the size and the modification
// time in nanoseconds, and is used only while all three still match: a file that was
// changed, replaced or touched is decoded again and its entry rewritten.
//
// An entry is written under a temporary name in the cache folder and renamed over the old
// one when complete, so a reader never sees half an entry. Every entry ends with a checksum
// of all its bytes; an entry that is short, damaged, of another version or of another file is
// treated as absent. Nothing here fails loudly: the cache only ever saves a decode.
#pragma once

#include <cstdint>
#include <string>

#include "engine/Peaks.h"

namespace corvane {

// What identifies the decoded content of a file.
struct PeakCacheKey {
    std::string path;       // absolute, lexically normal
    uint64_t size = 0;
    int64_t mtimeNs = 0;    // modification time, nanoseconds since the epoch
    bool operator==(const PeakCacheKey&) const = default;
};

// The key of the file at path as it is now; false when it cannot be examined.
bool ReadPeakCacheKey(const std::string& path, PeakCacheKey& key);

// The cache folder ($XDG_CACHE_HOME/Corvane/peaks, or ~/.cache/Corvane/peaks), without a
// trailing "/"; empty when neither the variable nor HOME gives one.
std::string PeakCacheFolder();

// The entry file of key inside folder.
std::string PeakCacheEntryPath(const std::string& folder, const PeakCacheKey& key);

// Reads the entry of key into map. False, with map untouched, when there is none or it is
// not a whole, matching entry of a complete map.
bool LoadCachedPeaks(const PeakCacheKey& key, PeakMap& map);

// Writes map (complete) as the entry of key, creating the cache folder when missing. False
// when it could not be written; nothing but a temporary file of its own is then removed.
bool StoreCachedPeaks(const PeakCacheKey& key, const PeakMap& map);

}  // namespace corvane
