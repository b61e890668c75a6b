// The peak cache: entries under $XDG_CACHE_HOME/Corvane/peaks, checked and written whole.
#include "engine/peaks/PeakCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include "engine/base/PathUtil.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// An entry: the magic, the format version, the key (path length and bytes, size, modification
// time, inode, change time), the map's facts (frames, rate, channels, frames per bin, bin
// count), its bins as pairs of low and high samples, the loudness windows' facts (frames per
// window, 0 when there are none, and frames decoded), the windows' sums of squares in
// SquareBytesFor bytes each, then the checksum of every byte before it. All numbers
// little-endian.
constexpr char kMagic[8] = {'C', 'V', 'P', 'E', 'A', 'K', 'S', '\n'};
// 2: peaks of the gapless decode; 3: the key holds the inode and the change time; 4: the
// loudness windows.
constexpr uint32_t kFormatVersion = 4;
constexpr size_t kBinBytes = 4;
constexpr size_t kChecksumBytes = 8;
// Paths longer than this are not cached (no path of a real file system comes near it).
constexpr uint32_t kMaxPathBytes = 1 << 16;
// Every byte of an entry but its path, its bins and its windows.
constexpr size_t kFixedEntryBytes =
    sizeof kMagic + 4 + 4 + 8 + 8 + 8 + 8 + 8 + 4 + 4 + 4 + 8 + 4 + 8 + kChecksumBytes;
// The rates and channel counts an entry may hold: every rate audio files use (up to 16 times
// 48 kHz), and up to libsndfile's own limit of channels (MPEG audio has one or two).
constexpr uint32_t kMaxSampleRate = 768000;
constexpr uint32_t kMaxChannels = 1024;
// The largest square of a 16-bit sample, (-32768)².
constexpr uint64_t kMaxSquare = uint64_t{1} << 30;

// The bytes one window's sum takes: enough for the largest sum a window of sampleRate's
// length can have (two channels count), 5 for every MPEG rate and at most 6.
size_t SquareBytesFor(uint32_t sampleRate) {
    const uint64_t largest = uint64_t{LoudnessWindowFramesFor(sampleRate)} * 2 * kMaxSquare;
    size_t bytes = 1;
    while (bytes < 8 && (largest >> (8 * bytes)) != 0) ++bytes;
    return bytes;
}

// The largest entry there can be: the longest path, the most bins and the most windows of the
// widest sums (about 26 MB; an hour at 44100 Hz takes some 2 MB).
constexpr size_t kMaxEntryBytes =
    kFixedEntryBytes + kMaxPathBytes + size_t{kOverviewBins} * kBinBytes + size_t{kMaxLoudnessWindows} * 6;
constexpr char kCacheSubfolder[] = "/Corvane/peaks";
constexpr char kEntrySuffix[] = ".peaks";
constexpr size_t kEntryHashDigits = 16;
constexpr char kTemporaryPrefix[] = ".peaks-";
constexpr char kTemporaryPattern[] = "/.peaks-XXXXXX";
// A temporary this old belongs to a writer that is gone (one is renamed within milliseconds).
constexpr int64_t kStaleTemporaryNs = int64_t{3600} * 1000000000;
constexpr uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr uint64_t kFnvPrime = 1099511628211ULL;
constexpr int64_t kNanosecondsPerSecond = 1000000000;

uint64_t Fnv1a(const uint8_t* data, size_t count, uint64_t hash = kFnvOffset) {
    for (size_t i = 0; i < count; ++i) {
        hash ^= data[i];
        hash *= kFnvPrime;
    }
    return hash;
}

class CEntryWriter {
public:
    void Bytes(const void* data, size_t count) {
        const auto* p = static_cast<const uint8_t*>(data);
        out_.insert(out_.end(), p, p + count);
    }
    template <typename T>
    void Number(T value) {
        using U = std::make_unsigned_t<T>;
        U u = static_cast<U>(value);
        for (size_t i = 0; i < sizeof(T); ++i) {
            out_.push_back(static_cast<uint8_t>(u & 0xFF));
            u = static_cast<U>(u >> 8);
        }
    }
    std::vector<uint8_t>& Out() { return out_; }

private:
    std::vector<uint8_t> out_;
};

// Reads numbers and bytes from an entry; every read past the end fails, and the reader
// stays failed.
class CEntryReader {
public:
    CEntryReader(const uint8_t* in, size_t size) : in_(in), size_(size) {}
    bool Bytes(void* data, size_t count) {
        if (!ok_ || size_ - at_ < count) return ok_ = false;
        if (count != 0) std::memcpy(data, in_ + at_, count);
        at_ += count;
        return true;
    }
    template <typename T>
    bool Number(T& value) {
        using U = std::make_unsigned_t<T>;
        if (!ok_ || size_ - at_ < sizeof(T)) return ok_ = false;
        U u = 0;
        for (size_t i = 0; i < sizeof(T); ++i) u = static_cast<U>(u | static_cast<U>(static_cast<U>(in_[at_ + i]) << (8 * i)));
        at_ += sizeof(T);
        value = static_cast<T>(u);
        return true;
    }
    size_t Left() const { return size_ - at_; }
    bool Ok() const { return ok_; }

private:
    const uint8_t* in_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

int64_t TimeNs(const struct timespec& t) { return static_cast<int64_t>(t.tv_sec) * kNanosecondsPerSecond + t.tv_nsec; }

// True when facts describe a map a decode can give: a real rate and channel count, a length
// that bins can hold, and the bin size the map maker picks for that length.
bool PlausibleFacts(uint64_t frames, uint32_t sampleRate, uint32_t channels, uint32_t framesPerBin) {
    return sampleRate >= 1 && sampleRate <= kMaxSampleRate && channels >= 1 && channels <= kMaxChannels &&
           frames <= kMaxPeakFrames && framesPerBin == BinFramesFor(frames);
}

// Reads exactly count bytes of fd into data.
bool ReadExactly(int fd, std::vector<uint8_t>& data, size_t count) {
    data.resize(count);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd, data.data() + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const std::vector<uint8_t>& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool IsEntryName(const std::string& name) {
    const size_t suffix = sizeof kEntrySuffix - 1;
    if (name.size() != kEntryHashDigits + suffix || name.compare(kEntryHashDigits, suffix, kEntrySuffix) != 0)
        return false;
    return std::all_of(name.begin(), name.begin() + kEntryHashDigits,
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// The names mkostemp gives kTemporaryPattern: the prefix and six letters or digits.
bool IsTemporaryName(const std::string& name) {
    const size_t prefix = sizeof kTemporaryPrefix - 1;
    return name.size() == prefix + 6 && name.compare(0, prefix, kTemporaryPrefix) == 0 &&
           std::all_of(name.begin() + prefix, name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

// Removes the least recently used entries of folder until the others take at most limit
// bytes. Entries of a size no entry can have go first, as do temporaries older than
// kStaleTemporaryNs; nothing else in the folder is looked at. A file that is gone by the time
// it is removed (another process pruned it) is passed over.
void PruneFolder(const std::string& folder, uint64_t limit) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    const int dirFd = ::dirfd(dir);
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct Found {
        int64_t usedNs;
        std::string name;
        uint64_t bytes;
    };
    std::vector<Found> entries;
    uint64_t total = 0;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        const bool entry = IsEntryName(name);
        if (!entry && !IsTemporaryName(name)) continue;
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
        const auto bytes = static_cast<uint64_t>(st.st_size);
        if (!entry) {
            if (TimeNs(now) - TimeNs(st.st_mtim) > kStaleTemporaryNs) ::unlinkat(dirFd, name.c_str(), 0);
        } else if (bytes < kFixedEntryBytes || bytes > kMaxEntryBytes) {
            ::unlinkat(dirFd, name.c_str(), 0);
        } else {
            entries.push_back({TimeNs(st.st_mtim), name, bytes});
            total += bytes;
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const Found& a, const Found& b) { return a.usedNs != b.usedNs ? a.usedNs < b.usedNs : a.name < b.name; });
    for (const Found& found : entries) {
        if (total <= limit) break;
        ::unlinkat(dirFd, found.name.c_str(), 0);
        total -= found.bytes;
    }
    ::closedir(dir);
}

}  // namespace

bool ReadPeakCacheKey(const std::string& path, PeakCacheKey& key) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::error_code error;
    const fs::path absolute = fs::absolute(fs::path(path), error);
    if (error) return false;
    key.path = absolute.lexically_normal().string();
    key.size = static_cast<uint64_t>(st.st_size);
    key.mtimeNs = TimeNs(st.st_mtim);
    key.inode = static_cast<uint64_t>(st.st_ino);
    key.ctimeNs = TimeNs(st.st_ctim);
    return true;
}

std::string PeakCacheFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && cache[0] == '/') return std::string(cache) + kCacheSubfolder;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.cache" + kCacheSubfolder;
    return {};
}

std::string PeakCacheEntryPath(const std::string& folder, const PeakCacheKey& key) {
    const uint64_t hash = Fnv1a(reinterpret_cast<const uint8_t*>(key.path.data()), key.path.size());
    char name[kEntryHashDigits + 1];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    return folder + "/" + name + kEntrySuffix;
}

bool ParseCachedPeaks(const uint8_t* data, size_t size, PeakCacheKey& key, PeakMap& map) {
    if (size < kFixedEntryBytes || size > kMaxEntryBytes) return false;

    // The checksum first: a damaged entry is not parsed any further.
    const size_t body = size - kChecksumBytes;
    uint64_t stored = 0;
    for (size_t i = 0; i < kChecksumBytes; ++i) stored |= static_cast<uint64_t>(data[body + i]) << (8 * i);
    if (Fnv1a(data, body) != stored) return false;

    CEntryReader in(data, body);
    char magic[sizeof kMagic];
    uint32_t version = 0;
    uint32_t pathBytes = 0;
    if (!in.Bytes(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0) return false;
    if (!in.Number(version) || version != kFormatVersion) return false;
    if (!in.Number(pathBytes) || pathBytes > kMaxPathBytes || pathBytes > in.Left()) return false;
    PeakCacheKey found;
    found.path.resize(pathBytes);
    in.Bytes(found.path.data(), pathBytes);
    in.Number(found.size);
    in.Number(found.mtimeNs);
    in.Number(found.inode);
    in.Number(found.ctimeNs);
    PeakMap read;
    uint64_t binCount = 0;
    in.Number(read.frames);
    in.Number(read.sampleRate);
    in.Number(read.channels);
    in.Number(read.framesPerBin);
    in.Number(binCount);
    if (!in.Ok() || !PlausibleFacts(read.frames, read.sampleRate, read.channels, read.framesPerBin)) return false;
    if (binCount != BinCountFor(read.frames, read.framesPerBin) || binCount > in.Left() / kBinBytes) return false;
    read.bins.resize(static_cast<size_t>(binCount));
    for (PeakBin& bin : read.bins) {
        in.Number(bin.low);
        in.Number(bin.high);
        if (bin.Empty()) return false;  // only complete maps are stored
    }
    in.Number(read.windowFrames);
    in.Number(read.windowedFrames);
    if (!in.Ok()) return false;
    if (read.windowFrames == 0 ? read.windowedFrames != 0 : read.windowFrames != LoudnessWindowFramesFor(read.sampleRate))
        return false;
    const uint64_t windowCount = BinCountFor(read.windowedFrames, read.windowFrames);
    const size_t squareBytes = SquareBytesFor(read.sampleRate);
    if (windowCount > kMaxLoudnessWindows || in.Left() != windowCount * squareBytes) return false;
    read.windowSquares.resize(static_cast<size_t>(windowCount));
    const uint64_t channels = std::min<uint32_t>(read.channels, 2);
    for (uint64_t w = 0; w < windowCount; ++w) {
        uint8_t bytes[8] = {};
        in.Bytes(bytes, squareBytes);
        uint64_t sum = 0;
        for (size_t i = 0; i < squareBytes; ++i) sum |= static_cast<uint64_t>(bytes[i]) << (8 * i);
        // No window holds more than the squares of its samples at full scale.
        const uint64_t frames = std::min<uint64_t>(read.windowFrames, read.windowedFrames - w * read.windowFrames);
        if (sum > frames * channels * kMaxSquare) return false;
        read.windowSquares[static_cast<size_t>(w)] = sum;
    }
    if (!in.Ok()) return false;
    key = std::move(found);
    map = std::move(read);
    return true;
}

bool LoadCachedPeaks(const PeakCacheKey& key, PeakMap& map) {
    const std::string folder = PeakCacheFolder();
    if (folder.empty()) return false;
    const std::string path = PeakCacheEntryPath(folder, key);
    // Not blocking: a named pipe in an entry's place must not hold the reader.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    // The size decides before anything is read: no entry is larger than kMaxEntryBytes.
    std::vector<uint8_t> data;
    PeakCacheKey found;
    PeakMap read;
    const auto bytes = static_cast<uint64_t>(st.st_size);
    if (bytes >= kFixedEntryBytes && bytes <= kMaxEntryBytes && ReadExactly(fd, data, static_cast<size_t>(bytes)) &&
        ParseCachedPeaks(data.data(), data.size(), found, read) && found == key) {
        ::futimens(fd, nullptr);  // used now: the last to be pruned
        ::close(fd);
        map = std::move(read);
        return true;
    }
    // Of no use to anyone: removed, unless another process has put a new entry there since.
    struct stat now {};
    if (::lstat(path.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino) ::unlink(path.c_str());
    ::close(fd);
    return false;
}

bool StoreCachedPeaks(const PeakCacheKey& key, const PeakMap& map) {
    const std::string folder = PeakCacheFolder();
    if (folder.empty() || key.path.size() > kMaxPathBytes || !map.Complete() ||
        !PlausibleFacts(map.frames, map.sampleRate, map.channels, map.framesPerBin) ||
        map.bins.size() != BinCountFor(map.frames, map.framesPerBin))
        return false;
    if (!CreateDirectoryTree(folder)) return false;

    CEntryWriter out;
    out.Bytes(kMagic, sizeof kMagic);
    out.Number(kFormatVersion);
    out.Number(static_cast<uint32_t>(key.path.size()));
    out.Bytes(key.path.data(), key.path.size());
    out.Number(key.size);
    out.Number(key.mtimeNs);
    out.Number(key.inode);
    out.Number(key.ctimeNs);
    out.Number(map.frames);
    out.Number(map.sampleRate);
    out.Number(map.channels);
    out.Number(map.framesPerBin);
    out.Number(static_cast<uint64_t>(map.bins.size()));
    for (const PeakBin& bin : map.bins) {
        out.Number(bin.low);
        out.Number(bin.high);
    }
    // Windows that do not fit the rules are not kept; the peaks still are.
    const bool windows = map.windowFrames != 0 && map.windowFrames == LoudnessWindowFramesFor(map.sampleRate) &&
                         map.windowSquares.size() == BinCountFor(map.windowedFrames, map.windowFrames) &&
                         map.windowSquares.size() <= kMaxLoudnessWindows;
    out.Number(windows ? map.windowFrames : uint32_t{0});
    out.Number(windows ? map.windowedFrames : uint64_t{0});
    if (windows) {
        const size_t squareBytes = SquareBytesFor(map.sampleRate);
        for (uint64_t sum : map.windowSquares)
            for (size_t i = 0; i < squareBytes; ++i) out.Out().push_back(static_cast<uint8_t>(sum >> (8 * i)));
    }
    out.Number(Fnv1a(out.Out().data(), out.Out().size()));

    std::string temporary = folder + kTemporaryPattern;
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const bool written = WriteAll(fd, out.Out());
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), PeakCacheEntryPath(folder, key).c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    PruneFolder(folder, kPeakCacheLimitBytes);
    return true;
}

}  // namespace corvane
