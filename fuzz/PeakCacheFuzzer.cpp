// Fuzz target: peak cache entries. Each input is parsed (ParseCachedPeaks) as a whole entry,
// and again with its checksum appended, so that the parse past the checksum is reached. What
// is read must be a complete map that columns can be taken from, and that stores (into a
// temporary cache folder, through XDG_CACHE_HOME) and loads back unchanged.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "PeakCacheSeed.h"
#include "engine/Peaks.h"
#include "engine/peaks/PeakCache.h"

namespace {

std::string g_cacheHome;

void RemoveCacheHome() {
    std::error_code error;
    std::filesystem::remove_all(g_cacheHome, error);
}

bool SameMap(const corvane::PeakMap& a, const corvane::PeakMap& b) {
    return a.frames == b.frames && a.sampleRate == b.sampleRate && a.channels == b.channels &&
           a.framesPerBin == b.framesPerBin && a.bins == b.bins && a.windowFrames == b.windowFrames &&
           a.windowedFrames == b.windowedFrames && a.windowSquares == b.windowSquares;
}

void CheckMap(const corvane::PeakCacheKey& key, const corvane::PeakMap& map) {
    using namespace corvane;
    CORVANE_FUZZ_CHECK(map.framesPerBin > 0 && map.Complete());
    CORVANE_FUZZ_CHECK(map.bins.size() == BinCountFor(map.frames, map.framesPerBin));
    for (const PeakColumn& column : EvenColumns(map, 97)) CORVANE_FUZZ_CHECK(column.known);
    CORVANE_FUZZ_CHECK(PeaksOfRange(map, 0, map.frames).known);
    CORVANE_FUZZ_CHECK(PeaksOfRange(map, map.frames, UINT64_MAX).known);
    // Stored again, the entry reads back as the same map.
    if (StoreCachedPeaks(key, map)) {
        PeakMap again;
        CORVANE_FUZZ_CHECK(LoadCachedPeaks(key, again));
        CORVANE_FUZZ_CHECK(SameMap(again, map));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/corvane-peaks-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    g_cacheHome = pattern;
    std::atexit(RemoveCacheHome);
    ::setenv("XDG_CACHE_HOME", g_cacheHome.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvane;
    std::vector<uint8_t> entry(data, data + size);
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            const uint64_t sum = fuzz::PeakChecksum(data, size);
            for (size_t i = 0; i < fuzz::kPeakChecksumBytes; ++i) entry.push_back(static_cast<uint8_t>(sum >> (8 * i)));
        }
        // Exactly as long as the entry: a read past it is an out-of-bounds read.
        const std::vector<uint8_t> exact(entry);
        PeakCacheKey key;
        key.size = 4242;  // untouched unless read
        PeakMap map;
        map.frames = 12345;
        if (ParseCachedPeaks(exact.data(), exact.size(), key, map)) {
            CheckMap(key, map);
        } else {
            CORVANE_FUZZ_CHECK(key.size == 4242 && key.path.empty() && map.frames == 12345 && map.bins.empty());
        }
    }
    return 0;
}
