// The peak cache: entries under $XDG_CACHE_HOME/Corvane/peaks, checked and written whole.
#include "engine/peaks/PeakCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "engine/base/PathUtil.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// An entry: the magic, the format version, the key (path length and bytes, size, time), the
// map's facts, its bins as pairs of low and high samples, then the checksum of every byte
// before it. All numbers little-endian.
constexpr char kMagic[8] = {'C', 'V', 'P', 'E', 'A', 'K', 'S', '\n'};
constexpr uint32_t kFormatVersion = 2;  // 2: peaks of the gapless decode
constexpr size_t kBinBytes = 4;
constexpr size_t kChecksumBytes = 8;
// Paths longer than this are not cached (no path of a real file system comes near it).
constexpr uint32_t kMaxPathBytes = 1 << 16;
constexpr char kCacheSubfolder[] = "/Corvane/peaks";
constexpr char kEntrySuffix[] = ".peaks";
constexpr char kTemporaryPattern[] = "/.peaks-XXXXXX";
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
    explicit CEntryReader(const std::vector<uint8_t>& in) : in_(in) {}
    bool Bytes(void* data, size_t count) {
        if (!ok_ || in_.size() - at_ < count) return ok_ = false;
        std::memcpy(data, in_.data() + at_, count);
        at_ += count;
        return true;
    }
    template <typename T>
    bool Number(T& value) {
        using U = std::make_unsigned_t<T>;
        if (!ok_ || in_.size() - at_ < sizeof(T)) return ok_ = false;
        U u = 0;
        for (size_t i = 0; i < sizeof(T); ++i) u = static_cast<U>(u | static_cast<U>(static_cast<U>(in_[at_ + i]) << (8 * i)));
        at_ += sizeof(T);
        value = static_cast<T>(u);
        return true;
    }
    size_t Left() const { return in_.size() - at_; }
    bool Ok() const { return ok_; }

private:
    const std::vector<uint8_t>& in_;
    size_t at_ = 0;
    bool ok_ = true;
};

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& data) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        data.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (ok && done < data.size()) {
            const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) ok = false;
            else done += static_cast<size_t>(n);
        }
    }
    ::close(fd);
    return ok;
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

}  // namespace

bool ReadPeakCacheKey(const std::string& path, PeakCacheKey& key) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::error_code error;
    const fs::path absolute = fs::absolute(fs::path(path), error);
    if (error) return false;
    key.path = absolute.lexically_normal().string();
    key.size = static_cast<uint64_t>(st.st_size);
    key.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * kNanosecondsPerSecond + st.st_mtim.tv_nsec;
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
    char name[17];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    return folder + "/" + name + kEntrySuffix;
}

bool LoadCachedPeaks(const PeakCacheKey& key, PeakMap& map) {
    const std::string folder = PeakCacheFolder();
    if (folder.empty()) return false;
    std::vector<uint8_t> data;
    if (!ReadWholeFile(PeakCacheEntryPath(folder, key), data)) return false;
    if (data.size() < sizeof kMagic + kChecksumBytes) return false;

    // The checksum first: a damaged entry is not parsed any further.
    const size_t body = data.size() - kChecksumBytes;
    uint64_t stored = 0;
    for (size_t i = 0; i < kChecksumBytes; ++i) stored |= static_cast<uint64_t>(data[body + i]) << (8 * i);
    if (Fnv1a(data.data(), body) != stored) return false;
    data.resize(body);

    CEntryReader in(data);
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
    PeakMap read;
    uint64_t binCount = 0;
    in.Number(read.frames);
    in.Number(read.sampleRate);
    in.Number(read.channels);
    in.Number(read.framesPerBin);
    in.Number(binCount);
    if (!in.Ok() || !(found == key)) return false;
    if (read.framesPerBin == 0 || binCount != BinCountFor(read.frames, read.framesPerBin) ||
        binCount > in.Left() / kBinBytes || in.Left() != binCount * kBinBytes)
        return false;
    read.bins.resize(static_cast<size_t>(binCount));
    for (PeakBin& bin : read.bins) {
        in.Number(bin.low);
        in.Number(bin.high);
        if (bin.Empty()) return false;  // only complete maps are stored
    }
    if (!in.Ok()) return false;
    map = std::move(read);
    return true;
}

bool StoreCachedPeaks(const PeakCacheKey& key, const PeakMap& map) {
    const std::string folder = PeakCacheFolder();
    if (folder.empty() || key.path.size() > kMaxPathBytes || !map.Complete() || map.framesPerBin == 0) return false;
    if (!CreateDirectoryTree(folder)) return false;

    CEntryWriter out;
    out.Bytes(kMagic, sizeof kMagic);
    out.Number(kFormatVersion);
    out.Number(static_cast<uint32_t>(key.path.size()));
    out.Bytes(key.path.data(), key.path.size());
    out.Number(key.size);
    out.Number(key.mtimeNs);
    out.Number(map.frames);
    out.Number(map.sampleRate);
    out.Number(map.channels);
    out.Number(map.framesPerBin);
    out.Number(static_cast<uint64_t>(map.bins.size()));
    for (const PeakBin& bin : map.bins) {
        out.Number(bin.low);
        out.Number(bin.high);
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
    return true;
}

}  // namespace corvane
