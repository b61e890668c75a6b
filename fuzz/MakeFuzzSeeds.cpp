// Writes the seeds of the fuzz targets that are made by the code itself: peak cache entries
// as StoreCachedPeaks writes them, and small files of each test MP3's tags (its head and its
// tail) for the tag target.
//
//     MakeFuzzSeeds <tests/data> <out>   writes <out>/peaks/ and <out>/tags/
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "PeakCacheSeed.h"
#include "audio/MpegFrameHeader.h"
#include "engine/Peaks.h"
#include "engine/peaks/PeakCache.h"

namespace fs = std::filesystem;

namespace {

// Bytes of a test file kept after its ID3v2 tag (a few frames), and at its end (an ID3v1 tag
// and an APE footer).
constexpr size_t kHeadFrameBytes = 1500;
constexpr size_t kTailBytes = 160;

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// An entry of a map of frames at rate with channels, its bins a ramp; written by
// StoreCachedPeaks into the cache folder, then copied out without its checksum.
bool WritePeakSeed(const fs::path& out, uint64_t frames, uint32_t rate, uint32_t channels) {
    using namespace corvane;
    PeakMap map = MakeEmptyPeakMap(frames, rate, channels);
    for (size_t i = 0; i < map.bins.size(); ++i) {
        map.bins[i].low = static_cast<int16_t>(-static_cast<int>(i % 30000));
        map.bins[i].high = static_cast<int16_t>(i % 30000);
    }
    // Loudness windows as a decode of exactly the map's frames gives them, quiet to loud.
    map.windowFrames = LoudnessWindowFramesFor(rate);
    map.windowedFrames = frames;
    map.windowSquares.resize(static_cast<size_t>(BinCountFor(frames, map.windowFrames)));
    for (size_t w = 0; w < map.windowSquares.size(); ++w) map.windowSquares[w] = uint64_t{w} * w * 1000;
    const PeakCacheKey key = fuzz::FuzzPeakCacheKey();
    if (!StoreCachedPeaks(key, map)) return false;
    std::vector<uint8_t> entry = ReadAll(PeakCacheEntryPath(PeakCacheFolder(), key));
    if (entry.size() < fuzz::kPeakChecksumBytes) return false;
    entry.resize(entry.size() - fuzz::kPeakChecksumBytes);
    return WriteAll(out, entry);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <tests/data> <out>\n", argv[0]);
        return 2;
    }
    const fs::path data = argv[1];
    const fs::path out = argv[2];
    fs::create_directories(out / "peaks");
    fs::create_directories(out / "tags");
    fs::create_directories(out / "cache-home");
    ::setenv("XDG_CACHE_HOME", fs::absolute(out / "cache-home").c_str(), 1);

    // Small entries: the peak cache target reads inputs of up to 16 KB.
    bool ok = WritePeakSeed(out / "peaks" / "one-bin", 10, 44100, 1) &&
              WritePeakSeed(out / "peaks" / "second", 8000, 8000, 2) &&
              WritePeakSeed(out / "peaks" / "few-seconds", 30000, 11025, 2);
    fs::remove_all(out / "cache-home");

    for (const fs::directory_entry& file : fs::directory_iterator(data)) {
        if (file.path().extension() != ".mp3") continue;
        const std::vector<uint8_t> bytes = ReadAll(file.path());
        const uint64_t tag = corvane::Id3v2TagSize(bytes.data(), bytes.size());
        const size_t head = static_cast<size_t>(std::min<uint64_t>(bytes.size(), tag + kHeadFrameBytes));
        std::vector<uint8_t> seed(bytes.begin(), bytes.begin() + static_cast<long>(head));
        const size_t tail = std::min(bytes.size() - head, kTailBytes);
        seed.insert(seed.end(), bytes.end() - static_cast<long>(tail), bytes.end());
        ok = WriteAll(out / "tags" / file.path().filename(), seed) && ok;
    }
    if (!ok) std::fprintf(stderr, "MakeFuzzSeeds: a seed could not be written\n");
    return ok ? 0 : 1;
}
