// CMappedFile: a read-only mapping of an open file that survives the file shrinking.
#include "audio/MappedFile.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace corvane::audio {
namespace {

// The mappings the SIGBUS handler answers for. A slot is taken by the first Map of a file
// and given back when its last holder lets go (and no CMappingKeep keeps it); the handler only
// reads the bounds, so it needs no lock. The rest is guarded by g_mutex.
struct Slot {
    std::atomic<bool> taken{false};
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> shrunk{false};
    dev_t device = 0;
    ino_t inode = 0;
    int holders = 0;        // CMappedFile objects on it; 0 for a kept one
    uint64_t released = 0;  // when a kept one was let go (g_clock)
};

// Released mappings kept while a CMappingKeep exists: the latest few, older ones unmapped.
constexpr int kKeptMappings = 2;

std::mutex g_mutex;
int g_keeps = 0;
uint64_t g_clock = 0;
Slot g_slots[kMaxMappedFiles];
struct sigaction g_previous {};
uintptr_t g_pageSize = 4096;
std::once_flag g_installed;

void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (Slot& slot : g_slots) {
        const uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        const uintptr_t end = slot.end.load(std::memory_order_acquire);
        if (address < begin || address >= end) continue;
        // Every page from this one on lies past the new end: zeros in place of all of them,
        // so one fault answers for the rest of the mapping.
        const uintptr_t page = address & ~(g_pageSize - 1);
        void* zeros = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros == MAP_FAILED) break;
        slot.shrunk.store(true, std::memory_order_release);
        return;
    }
    // Not a page of ours: what was there before acts.
    if ((g_previous.sa_flags & SA_SIGINFO) != 0 && g_previous.sa_sigaction != nullptr) {
        g_previous.sa_sigaction(signal, info, context);
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
    } else {
        ::signal(SIGBUS, SIG_DFL);  // the access faults again and the default action ends the process
    }
}

void InstallHandler() {
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pageSize > 0) g_pageSize = static_cast<uintptr_t>(pageSize);
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &g_previous);
}

void Unmapped(Slot& s) {
    const uintptr_t begin = s.begin.load(std::memory_order_relaxed);
    const uintptr_t end = s.end.load(std::memory_order_relaxed);
    s.begin.store(0, std::memory_order_release);
    s.end.store(0, std::memory_order_release);
    ::munmap(reinterpret_cast<void*>(begin), end - begin);
    s.holders = 0;
    s.taken.store(false);
}

// Unmaps kept mappings until at most keep are left, the longest released first.
void DropKept(int keep) {
    for (;;) {
        Slot* oldest = nullptr;
        int kept = 0;
        for (Slot& s : g_slots) {
            if (!s.taken.load() || s.holders > 0) continue;
            ++kept;
            if (oldest == nullptr || s.released < oldest->released) oldest = &s;
        }
        if (kept <= keep) return;
        Unmapped(*oldest);
    }
}

}  // namespace

bool CMappedFile::Map(int fd, uint64_t size) {
    Unmap();
    struct stat st {};
    if (size == 0 || size > SIZE_MAX || ::fstat(fd, &st) != 0) return false;
    std::call_once(g_installed, InstallHandler);
    std::lock_guard<std::mutex> lock(g_mutex);
    for (int k = 0; k < kMaxMappedFiles; ++k) {
        Slot& s = g_slots[k];
        if (!s.taken.load() || s.device != st.st_dev || s.inode != st.st_ino || s.shrunk.load() ||
            s.end.load() - s.begin.load() < size) {
            continue;
        }
        ++s.holders;
        data_ = reinterpret_cast<const uint8_t*>(s.begin.load());
        size_ = size;
        slot_ = k;
        shrunk_ = &s.shrunk;
        return true;
    }
    int slot = 0;
    for (; slot < kMaxMappedFiles && g_slots[slot].taken.load(); ++slot) {
    }
    if (slot == kMaxMappedFiles) return false;
    // The whole file, so that a later reader of more of it finds it mapped too.
    const uint64_t length = std::max(size, static_cast<uint64_t>(std::max<off_t>(st.st_size, 0)));
    void* data = ::mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) return false;
    Slot& s = g_slots[slot];
    s.taken.store(true);
    s.shrunk.store(false);
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.holders = 1;
    s.end.store(reinterpret_cast<uintptr_t>(data) + static_cast<uintptr_t>(length), std::memory_order_release);
    s.begin.store(reinterpret_cast<uintptr_t>(data), std::memory_order_release);
    data_ = static_cast<const uint8_t*>(data);
    size_ = size;
    slot_ = slot;
    shrunk_ = &s.shrunk;
    return true;
}

void CMappedFile::Unmap() {
    if (data_ == nullptr) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    Slot& s = g_slots[slot_];
    if (--s.holders == 0) {
        if (g_keeps > 0 && !s.shrunk.load()) {
            s.released = ++g_clock;
            DropKept(kKeptMappings);
        } else {
            Unmapped(s);
        }
    }
    data_ = nullptr;
    size_ = 0;
    slot_ = -1;
    shrunk_ = nullptr;
}

CMappingKeep::CMappingKeep() {
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_keeps;
}

CMappingKeep::~CMappingKeep() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (--g_keeps == 0) DropKept(0);
}


}  // namespace corvane::audio
