// Fuzz target: peak cache entries as LoadCachedPeaks reads them from the cache folder (a
// temporary one, through XDG_CACHE_HOME). Each input is tried as a whole entry and as an
// entry's body with its checksum appended, so that the parse past the checksum is reached;
// what is read must be a complete map that the columns can be taken from and that stores
// and reads back unchanged.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string g_entryPath;
std::string g_cacheHome;

void RemoveCacheHome() {
    std::error_code error;
    std::filesystem::remove_all(g_cacheHome, error);
}

void WriteEntry(const std::vector<uint8_t>& bytes) {
    const int fd = ::open(g_entryPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) std::abort();
        done += static_cast<size_t>(n);
    }
    ::close(fd);
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
        CORVANE_FUZZ_CHECK(again.frames == map.frames && again.sampleRate == map.sampleRate &&
                           again.channels == map.channels && again.framesPerBin == map.framesPerBin &&
                           again.bins == map.bins);
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
    const std::string folder = corvane::PeakCacheFolder();
    std::filesystem::create_directories(folder);
    g_entryPath = corvane::PeakCacheEntryPath(folder, corvane::fuzz::FuzzPeakCacheKey());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvane;
    const PeakCacheKey key = fuzz::FuzzPeakCacheKey();
    std::vector<uint8_t> entry(data, data + size);
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            const uint64_t sum = fuzz::PeakChecksum(data, size);
            for (size_t i = 0; i < fuzz::kPeakChecksumBytes; ++i) entry.push_back(static_cast<uint8_t>(sum >> (8 * i)));
        }
        WriteEntry(entry);
        PeakMap map;
        map.frames = 12345;  // untouched unless read
        if (LoadCachedPeaks(key, map)) CheckMap(key, map);
        else CORVANE_FUZZ_CHECK(map.frames == 12345 && map.bins.empty());
    }
    return 0;
}
