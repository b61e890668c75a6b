// Buffered, checked output files under temporary names.
#include "engine/mp3/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "engine/base/PathUtil.h"

namespace corvane {
namespace {

// Permissions of a new output before the umask.
constexpr mode_t kFileMode = 0666;

// Temporary names: a hidden prefix, the owner's token, "-", random hex digits, a suffix no
// finished output has (".corvane-0123456789ab-01234567.part"). The owner's lock file: the
// prefix, the token, ".lock". Earlier versions, without a lock, named them with the prefix,
// kRandomDigits digits and the suffix only.
constexpr const char* kTemporaryPrefix = ".corvane-";
constexpr const char* kTemporarySuffix = ".part";
constexpr const char* kLockSuffix = ".lock";
constexpr char kTokenSeparator = '-';
constexpr size_t kTokenDigits = 12;
constexpr size_t kRandomDigits = 8;
// Names tried before Create gives up (each one collides only by chance or by malice); the
// same for tokens.
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

std::string RandomDigits(size_t count) {
    uint64_t value = 0;
    if (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
        static std::atomic<uint64_t> fallback{0};
        value = (static_cast<uint64_t>(::getpid()) << 32) ^ fallback.fetch_add(0x9E3779B97F4A7C15ull) ^
                static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&value));
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string digits(count, '0');
    for (char& c : digits) {
        c = kHex[value & 0xF];
        value >>= 4;
    }
    return digits;
}

bool IsHexDigits(const std::string& text, size_t at, size_t count) {
    if (text.size() < at + count) return false;
    for (size_t i = at; i < at + count; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool HasAffixes(const std::string& name, const char* suffix, size_t middle) {
    const size_t prefix = std::strlen(kTemporaryPrefix);
    const size_t suffixSize = std::strlen(suffix);
    return name.size() == prefix + middle + suffixSize && name.compare(0, prefix, kTemporaryPrefix) == 0 &&
           name.compare(name.size() - suffixSize, suffixSize, suffix) == 0;
}

// The token of a temporary's name; "" when name is not one.
std::string TokenOfTemporary(const std::string& name) {
    const size_t at = std::strlen(kTemporaryPrefix);
    if (!HasAffixes(name, kTemporarySuffix, kTokenDigits + 1 + kRandomDigits) || !IsHexDigits(name, at, kTokenDigits) ||
        name[at + kTokenDigits] != kTokenSeparator || !IsHexDigits(name, at + kTokenDigits + 1, kRandomDigits)) {
        return std::string();
    }
    return name.substr(at, kTokenDigits);
}

// The token of a lock file's name; "" when name is not one.
std::string TokenOfLock(const std::string& name) {
    const size_t at = std::strlen(kTemporaryPrefix);
    if (!HasAffixes(name, kLockSuffix, kTokenDigits) || !IsHexDigits(name, at, kTokenDigits)) return std::string();
    return name.substr(at, kTokenDigits);
}

// A temporary of an earlier version (no token, no lock).
bool IsUnlockedTemporaryName(const std::string& name) {
    return HasAffixes(name, kTemporarySuffix, kRandomDigits) &&
           IsHexDigits(name, std::strlen(kTemporaryPrefix), kRandomDigits);
}

std::string LockName(const std::string& token) { return kTemporaryPrefix + token + kLockSuffix; }

// Removes name from the folder dirFd when it is a regular file, and when minimumAge is above
// 0, only if it was last modified that many seconds ago or earlier.
void RemoveRegularFile(int dirFd, const std::string& name, int64_t minimumAge) {
    struct stat info;
    if (::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) return;
    const int64_t age = static_cast<int64_t>(::time(nullptr)) - static_cast<int64_t>(info.st_mtime);
    if (minimumAge > 0 && age < minimumAge) return;
    ::unlinkat(dirFd, name.c_str(), 0);
}

// True when path names the file open at fd (not a link, not a file put there since).
bool NameLeadsTo(int dirFd, const std::string& name, int fd) {
    struct stat opened, named;
    return ::fstat(fd, &opened) == 0 && ::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// The lock this process holds in a folder while it has temporaries there.
struct FolderLock {
    std::string token;
    int fd = -1;
    int temporaries = 0;
};

// Every folder lock of the process, by folder as Create got it ("" for the working folder),
// and the folders already cleaned. One mutex: taking a lock and cleaning a folder are rare.
struct FolderLocks {
    std::mutex mutex;
    std::map<std::string, FolderLock> held;
    std::set<std::string> cleaned;
};

// Never destroyed: a worker may still give back a file while the process exits.
FolderLocks& TheFolderLocks() {
    static FolderLocks* locks = new FolderLocks;
    return *locks;
}

// Makes and locks a new lock file in folder (see the header's overview). False when none
// can be made there.
bool TakeNewLock(const std::string& folder, FolderLock& lock) {
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return false;
    bool taken = false;
    for (int attempt = 0; attempt < kCreateAttempts && !taken; ++attempt) {
        const std::string token = RandomDigits(kTokenDigits);
        const std::string name = LockName(token);
        const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            break;
        }
        // Held: a cleaner took the new file for an abandoned one and will remove it; another
        // token. A file system without locks (ENOLCK, EOPNOTSUPP) lets no cleaner take it
        // either, so there the file stays unlocked and still keeps its temporaries.
        int locked;
        do {
            locked = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (locked != 0 && errno == EINTR);
        if ((locked != 0 && errno == EWOULDBLOCK) || !NameLeadsTo(dirFd, name, fd)) {
            ::close(fd);
            continue;
        }
        lock.token = token;
        lock.fd = fd;
        taken = true;
    }
    ::close(dirFd);
    return taken;
}

// Counts one more temporary of the process in folder; its token, or "" when no lock file
// can be made there. The first time in a folder, cleans it first.
std::string AcquireFolder(const std::string& folder) {
    FolderLocks& locks = TheFolderLocks();
    std::lock_guard<std::mutex> guard(locks.mutex);
    if (locks.cleaned.insert(folder).second) RemoveAbandonedTemporaries(folder);
    FolderLock& lock = locks.held[folder];
    if (lock.temporaries == 0 && !TakeNewLock(folder, lock)) {
        locks.held.erase(folder);
        return std::string();
    }
    ++lock.temporaries;
    return lock.token;
}

// Counts one temporary less in folder; with the last one, unlinks the lock file, then
// unlocks it.
void ReleaseFolderLock(const std::string& folder) {
    FolderLocks& locks = TheFolderLocks();
    std::lock_guard<std::mutex> guard(locks.mutex);
    const auto found = locks.held.find(folder);
    if (found == locks.held.end() || --found->second.temporaries > 0) return;
    ::unlink((folder + LockName(found->second.token)).c_str());
    ::close(found->second.fd);
    locks.held.erase(found);
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

bool IsTemporaryOutputName(const std::string& name) { return !TokenOfTemporary(name).empty(); }

void RemoveAbandonedTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return;
    const int dirFd = ::dirfd(dir);
    // Every token seen, with its temporaries; tokens with only a lock file have none.
    std::map<std::string, std::vector<std::string>> tokens;
    std::vector<std::string> unlocked;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, std::strlen(kTemporaryPrefix), kTemporaryPrefix) != 0) continue;
        if (std::string token = TokenOfTemporary(name); !token.empty()) {
            tokens[token].push_back(name);
        } else if (std::string token = TokenOfLock(name); !token.empty()) {
            tokens[token];
        } else if (IsUnlockedTemporaryName(name)) {
            unlocked.push_back(name);
        }
    }
    for (const auto& [token, temporaries] : tokens) {
        const std::string lockName = LockName(token);
        const int fd = ::openat(dirFd, lockName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            // No lock file: its owner, or a cleaner, removed it after the listing, or a
            // cleaner stopped between a token's temporaries and its lock file.
            if (errno == ENOENT) {
                for (const std::string& name : temporaries) {
                    RemoveRegularFile(dirFd, name, kUnlockedTemporaryAgeSeconds);
                }
            }
            continue;
        }
        struct stat info;
        // The owner is gone when the lock can be taken, and the name still leads to that
        // file (not one its owner unlinked, with another lock file put there since).
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            NameLeadsTo(dirFd, lockName, fd)) {
            for (const std::string& name : temporaries) RemoveRegularFile(dirFd, name, 0);
            ::unlinkat(dirFd, lockName.c_str(), 0);
        }
        ::close(fd);
    }
    for (const std::string& name : unlocked) RemoveRegularFile(dirFd, name, kUnlockedTemporaryAgeSeconds);
    ::closedir(dir);
}

COutputFile::COutputFile() = default;

COutputFile::~COutputFile() { Remove(); }

bool COutputFile::Create(const std::string& path) {
    Remove();
    published_ = false;
    const std::string folder = DirectoryOf(path);
    const std::string token = AcquireFolder(folder);
    if (token.empty()) return false;
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        std::string temporary =
            folder + kTemporaryPrefix + token + kTokenSeparator + RandomDigits(kRandomDigits) + kTemporarySuffix;
        fd_ = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
        if (fd_ >= 0) {
            temporary_ = std::move(temporary);
            break;
        }
        if (errno != EEXIST) break;
    }
    if (fd_ < 0) {
        ReleaseFolderLock(folder);
        return false;
    }
    folder_ = folder;
    holdsFolder_ = true;
    path_ = path;
    if (!buffer_) buffer_ = std::make_unique_for_overwrite<uint8_t[]>(kBufferSize);
    used_ = 0;
    runLength_ = 0;
    runSourceFd_ = -1;
    size_ = 0;
    written_ = 0;
    touched_ = nullptr;
    failed_ = false;
    complete_ = false;
    return true;
}

bool COutputFile::FlushBuffer() {
    if (used_ == 0) return !failed_;
    const bool ok = WriteAll(buffer_.get(), used_);
    used_ = 0;
    return ok;
}

namespace {

// Runs shorter than this are gathered in the buffer: a system call per frame would cost more
// than the copy it saves.
constexpr size_t kShortestKernelCopy = 16384;
// The kernel's copy between files (copy_file_range; on ext4 a splice through the page cache)
// moves whole pages of the source into the target: it is cheap only where a run's offset in
// the source and its place in the target stand at the same offset in their pages. Elsewhere
// every page of the target is written in two parts, and costs half as much again as a write.
constexpr uint64_t kPageBytes = 4096;
// A run the kernel cannot copy cheaply is written from the mapping in writes that end on
// multiples of this in the target: whole large pages of the target's cache at a time (smaller
// writes, or writes across these edges, cost more).
constexpr uint64_t kRunWriteBytes = 1 << 20;
// Whether copy_file_range was refused between two files here: then no later run tries it.
std::atomic<bool> g_kernelCopyRefused{false};

}  // namespace

bool COutputFile::CopyRun(size_t count) {
    const uint8_t* data = runData_;
    auto offset = static_cast<off_t>(runOffset_);
    const int source = runSourceFd_;
    runData_ += count;
    runOffset_ += count;
    runLength_ -= count;
    if (runLength_ == 0) runSourceFd_ = -1;
    const bool samePlace = static_cast<uint64_t>(offset) % kPageBytes == written_ % kPageBytes;
    while (count > 0 && samePlace && !g_kernelCopyRefused.load(std::memory_order_relaxed)) {
        if (InjectedFault(OutputCall::Write)) {
            failed_ = true;
            return false;
        }
        const off_t before = offset;
        const ssize_t n = ::copy_file_range(source, &offset, fd_, nullptr, count, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                      errno == EBADF || errno == EPERM || errno == ETXTBSY)) {
            g_kernelCopyRefused.store(true, std::memory_order_relaxed);
            break;
        }
        if (n <= 0) {
            // A source that ends early got shorter: what is left is written from the mapping
            // (zeros there), and its reader reports the shortening.
            if (n == 0) break;
            failed_ = true;
            return false;
        }
        data += offset - before;
        count -= static_cast<size_t>(n);
        written_ += static_cast<uint64_t>(n);
    }
    return count == 0 || WriteAll(data, count, true);
}

bool COutputFile::WriteAll(const uint8_t* data, size_t count, bool mapped) {
    while (count > 0) {
        const size_t chunk =
            mapped ? static_cast<size_t>(std::min<uint64_t>(count, kRunWriteBytes - written_ % kRunWriteBytes)) : count;
        const ssize_t n = InjectedFault(OutputCall::Write) ? -1 : ::write(fd_, data, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (mapped && n < 0 && errno == EFAULT && TouchPages(data, chunk)) continue;
        if (n <= 0) {
            failed_ = true;
            return false;
        }
        data += n;
        count -= static_cast<size_t>(n);
        written_ += static_cast<uint64_t>(n);
    }
    return true;
}

bool COutputFile::TouchPages(const uint8_t* data, size_t count) {
    // The kernel met a page of the mapping past the source's new end: it refuses the write
    // but raises no signal. Read here, each such page raises SIGBUS, and the mapping's handler
    // puts zeros in its place (audio/MappedFile.h); the write then goes through, and the
    // source's reader reports the shortening. Once only for a run of pages: a second refusal
    // is a failure.
    if (touched_ == data) return false;
    touched_ = data;
    const auto page = reinterpret_cast<uintptr_t>(data) & ~(kPageBytes - 1);
    const auto end = reinterpret_cast<uintptr_t>(data) + count;
    for (uintptr_t at = page; at < end; at += kPageBytes) {
        (void)*reinterpret_cast<const volatile uint8_t*>(std::max(at, reinterpret_cast<uintptr_t>(data)));
    }
    return true;
}

bool COutputFile::Flush() {
    if (!FlushBuffer()) return false;
    return runLength_ == 0 || CopyRun(runLength_);
}

bool COutputFile::Drain() {
    if (fd_ < 0 || failed_) return false;
    const uint64_t runAt = written_ + used_;
    const uint64_t edge = (runAt + runLength_) / kRunWriteBytes * kRunWriteBytes;
    if (runLength_ == 0 || edge <= runAt) return true;
    return FlushBuffer() && CopyRun(static_cast<size_t>(edge - runAt));
}

bool COutputFile::StartRun(int source, uint64_t offset, const void* data, size_t count) {
    if (fd_ < 0 || failed_) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_ += count;
    if (!SettleRun()) return false;
    runSourceFd_ = source;
    runOffset_ = offset;
    runData_ = bytes;
    runLength_ = count;
    return true;
}

bool COutputFile::SettleRun() {
    if (runLength_ == 0) return true;
    if (runLength_ >= kShortestKernelCopy) return Flush();
    // A run too short for the kernel joins the buffer.
    const uint8_t* run = runData_;
    const size_t length = runLength_;
    runLength_ = 0;
    runSourceFd_ = -1;
    return Buffer(run, length);
}

bool COutputFile::Write(const void* data, size_t count) {
    if (fd_ < 0 || failed_) return false;
    size_ += count;
    return SettleRun() && Buffer(static_cast<const uint8_t*>(data), count);
}

bool COutputFile::Buffer(const uint8_t* bytes, size_t count) {
    if (used_ + count <= kBufferSize) {
        std::memcpy(buffer_.get() + used_, bytes, count);
        used_ += count;
        return true;
    }
    if (!FlushBuffer()) return false;
    if (count >= kBufferSize) return WriteAll(bytes, count);
    std::memcpy(buffer_.get(), bytes, count);
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
    buffer_.reset();  // a set may hold many complete files: keep no buffer
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
    ReleaseFolder();
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
    ReleaseFolder();
}

void COutputFile::ReleaseFolder() {
    if (!holdsFolder_) return;
    holdsFolder_ = false;
    ReleaseFolderLock(folder_);
}

}  // namespace corvane
