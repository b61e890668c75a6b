// Buffered, checked output files under temporary names.
#include "engine/mp3/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>

#include "engine/base/PathUtil.h"

namespace corvane {
namespace {

// Permissions of a new output before the umask.
constexpr mode_t kFileMode = 0666;

// Temporary names: a hidden prefix, random hex digits, a suffix no finished output has.
constexpr const char* kTemporaryPrefix = ".corvane-";
constexpr const char* kTemporarySuffix = ".part";
constexpr size_t kRandomDigits = 8;
// Names tried before Create gives up (each one collides only by chance or by malice).
constexpr int kCreateAttempts = 64;

struct FaultCounter {
    std::atomic<int> failAt{0};
    std::atomic<int> calls{0};
};
std::array<FaultCounter, 3> g_faults;

// Counts a call of that kind; true when the test seam wants it to fail (errno is set).
bool InjectedFault(OutputCall call) {
    FaultCounter& counter = g_faults[static_cast<size_t>(call)];
    const int n = counter.calls.fetch_add(1, std::memory_order_relaxed) + 1;
    if (n != counter.failAt.load(std::memory_order_relaxed)) return false;
    errno = EIO;
    return true;
}

std::string RandomDigits() {
    uint64_t value = 0;
    if (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
        static std::atomic<uint64_t> fallback{0};
        value = (static_cast<uint64_t>(::getpid()) << 32) ^ fallback.fetch_add(0x9E3779B97F4A7C15ull) ^
                static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&value));
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string digits(kRandomDigits, '0');
    for (char& c : digits) {
        c = kHex[value & 0xF];
        value >>= 4;
    }
    return digits;
}

// rename without replacing, for file systems that refuse RENAME_NOREPLACE: a hard link fails
// when the name is taken; without hard links (FAT), a last look before the rename.
COutputFile::Published PublishWithoutFlag(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return COutputFile::Published::Done;
    }
    if (errno == EEXIST) return COutputFile::Published::Taken;
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != ENOSYS) {
        return COutputFile::Published::Failed;
    }
    if (PathExists(to)) return COutputFile::Published::Taken;
    return ::rename(from.c_str(), to.c_str()) == 0 ? COutputFile::Published::Done : COutputFile::Published::Failed;
}

}  // namespace

void InjectOutputFault(OutputCall call, int n) {
    FaultCounter& counter = g_faults[static_cast<size_t>(call)];
    counter.failAt.store(n);
    counter.calls.store(0);
}

int OutputCallCount(OutputCall call) { return g_faults[static_cast<size_t>(call)].calls.load(); }

bool IsTemporaryOutputName(const std::string& name) {
    const size_t prefix = std::strlen(kTemporaryPrefix);
    const size_t suffix = std::strlen(kTemporarySuffix);
    return name.size() == prefix + kRandomDigits + suffix && name.compare(0, prefix, kTemporaryPrefix) == 0 &&
           name.compare(name.size() - suffix, suffix, kTemporarySuffix) == 0;
}

COutputFile::COutputFile() = default;

COutputFile::~COutputFile() { Remove(); }

bool COutputFile::Create(const std::string& path) {
    Remove();
    published_ = false;
    const std::string folder = DirectoryOf(path);
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        std::string temporary = folder + kTemporaryPrefix + RandomDigits() + kTemporarySuffix;
        fd_ = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
        if (fd_ >= 0) {
            temporary_ = std::move(temporary);
            break;
        }
        if (errno != EEXIST) return false;
    }
    if (fd_ < 0) return false;
    path_ = path;
    if (buffer_.empty()) buffer_.resize(kBufferSize);
    used_ = 0;
    size_ = 0;
    failed_ = false;
    complete_ = false;
    return true;
}

bool COutputFile::WriteAll(const uint8_t* data, size_t count) {
    while (count > 0) {
        const ssize_t n = InjectedFault(OutputCall::Write) ? -1 : ::write(fd_, data, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            return false;
        }
        data += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

bool COutputFile::Flush() {
    if (used_ == 0) return !failed_;
    const bool ok = WriteAll(buffer_.data(), used_);
    used_ = 0;
    return ok;
}

bool COutputFile::Write(const void* data, size_t count) {
    if (fd_ < 0 || failed_) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_ += count;
    if (used_ + count <= buffer_.size()) {
        std::memcpy(buffer_.data() + used_, bytes, count);
        used_ += count;
        return true;
    }
    if (!Flush()) return false;
    if (count >= buffer_.size()) return WriteAll(bytes, count);
    std::memcpy(buffer_.data(), bytes, count);
    used_ = count;
    return true;
}

bool COutputFile::WriteAt(uint64_t offset, const void* data, size_t count) {
    if (fd_ < 0 || failed_ || offset + count > size_) return false;
    if (!Flush()) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (count > 0) {
        const ssize_t n = InjectedFault(OutputCall::Write)
                              ? -1
                              : ::pwrite(fd_, bytes, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            return false;
        }
        bytes += n;
        offset += static_cast<uint64_t>(n);
        count -= static_cast<size_t>(n);
    }
    return true;
}

bool COutputFile::Close() {
    if (fd_ < 0) return complete_ || published_;
    Flush();
    if (InjectedFault(OutputCall::Close)) {
        ::close(fd_);
        failed_ = true;
    } else if (::close(fd_) != 0) {
        failed_ = true;
    }
    fd_ = -1;
    std::vector<uint8_t>().swap(buffer_);  // a set may hold many complete files: keep no buffer
    if (failed_) {
        Remove();
        return false;
    }
    complete_ = true;
    return true;
}

COutputFile::Published COutputFile::Publish(const std::string& path, bool replace) {
    if (!complete_) return Published::Failed;
    Published result;
    if (InjectedFault(OutputCall::Rename)) {
        result = Published::Failed;
    } else if (replace) {
        result = ::rename(temporary_.c_str(), path.c_str()) == 0 ? Published::Done : Published::Failed;
    } else if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
        result = Published::Done;
    } else if (errno == EEXIST) {
        result = Published::Taken;
    } else if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) {
        result = PublishWithoutFlag(temporary_, path);
    } else {
        result = Published::Failed;
    }
    if (result != Published::Done) return result;
    path_ = path;
    temporary_.clear();
    complete_ = false;
    published_ = true;
    return result;
}

void COutputFile::Remove() {
    if (fd_ >= 0) {
        used_ = 0;  // nothing more reaches the disk
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    complete_ = false;
}

}  // namespace corvane
