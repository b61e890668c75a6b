// The peak cache entries of the seed maker and the checksum the peak cache target appends.
#pragma once

#include <cstdint>

#include "engine/peaks/PeakCache.h"

namespace corvane::fuzz {

// The file the seed entries are of.
inline PeakCacheKey FuzzPeakCacheKey() {
    PeakCacheKey key;
    key.path = "/music/Live at Home.mp3";
    key.size = 4242424;
    key.mtimeNs = 1700000000123456789;
    key.inode = 131075;
    key.ctimeNs = 1700000000987654321;
    return key;
}

// Bytes of the checksum that ends an entry (FNV-1a, 64 bits, little-endian, of every byte
// before it). The target appends it, so that its inputs are parsed past it.
constexpr size_t kPeakChecksumBytes = 8;

inline uint64_t PeakChecksum(const uint8_t* data, size_t count) {
    uint64_t hash = 14695981039346656037ULL;
    for (size_t i = 0; i < count; ++i) {
        hash ^= data[i];
        hash *= 1099511628211ULL;
    }
    return hash;
}

}  // namespace corvane::fuzz
