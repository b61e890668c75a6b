// The peak cache: the bins and loudness windows of files already decoded, kept between runs.
//
// A file's PeakMap (its bins, and its loudness windows when it has them) is stored under $XDG_CACHE_HOME/Corvane/peaks/ (~/.cache when the variable
// is unset, empty or not absolute), in a file named after a hash of the file's absolute path
// (16 lowercase hex digits and ".peaks"). The entry holds what it was made from, the absolute
// path, the size, the inode and the modification and change times in nanoseconds, and is used
// only while all of them still match: a file that was changed, touched, or replaced by
// another (even one of the same size and modification time) is decoded again and its entry
// rewritten.
//
// An entry is written under a temporary name in the cache folder and renamed over the old
// one when complete, so a reader never sees half an entry. Every entry ends with a checksum
// of all its bytes. An entry is read only when its size is one an entry can have (a few
// hundred kilobytes of bins and some 2 MB of windows an hour, 26 MB at most; the size is
// looked at before a byte is read), and every field is checked against what a decode can
// give; an entry that fails any check (short, too large, damaged, of an older format
// version, of another file) is removed, and the file decoded and stored again. Nothing here fails loudly: the cache only ever saves a decode.
//
// The cache holds at most kPeakCacheLimitBytes of entries. After each store the least
// recently used entries are removed until the rest fit; an entry's modification time is set
// to the present whenever it is used, so the order holds on file systems that do not keep
// access times. Only files named as entries (and temporaries of writers long gone) are ever
// removed from the folder. Several processes may read, store and prune at once: each
// replaces or removes whole files only, and a file another process removed first is passed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/Peaks.h"

namespace corvane {

// The most bytes of entries the cache folder keeps.
constexpr uint64_t kPeakCacheLimitBytes = uint64_t{64} << 20;

// What identifies the decoded content of a file.
struct PeakCacheKey {
    std::string path;       // absolute, lexically normal
    uint64_t size = 0;
    int64_t mtimeNs = 0;    // modification time, nanoseconds since the epoch
    uint64_t inode = 0;
    int64_t ctimeNs = 0;    // status change time, nanoseconds since the epoch
    bool operator==(const PeakCacheKey&) const = default;
};

// The key of the file at path as it is now; false when it cannot be examined.
bool ReadPeakCacheKey(const std::string& path, PeakCacheKey& key);

// The cache folder ($XDG_CACHE_HOME/Corvane/peaks, or ~/.cache/Corvane/peaks), without a
// trailing "/"; empty when neither the variable nor HOME gives one.
std::string PeakCacheFolder();

// The entry file of key inside folder.
std::string PeakCacheEntryPath(const std::string& folder, const PeakCacheKey& key);

// Parses the size bytes at data as a whole entry: true, with the key it was made for in key
// and its complete map in map, when every check holds; false otherwise, with key and map
// untouched. Reads nothing outside [data, data + size).
bool ParseCachedPeaks(const uint8_t* data, size_t size, PeakCacheKey& key, PeakMap& map);

// Reads the entry of key into map and marks it used. False, with map untouched, when there
// is none or it is not a whole, matching entry of a complete map; such an entry is removed.
bool LoadCachedPeaks(const PeakCacheKey& key, PeakMap& map);

// Writes map (complete) as the entry of key, creating the cache folder when missing, then
// prunes the folder to kPeakCacheLimitBytes. False when it could not be written; nothing but
// a temporary file of its own is then removed.
bool StoreCachedPeaks(const PeakCacheKey& key, const PeakMap& map);

}  // namespace corvane
