// CMappedFile: a read-only mapping of an open file that survives the file shrinking.
#include "audio/MappedFile.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

namespace corvane::audio {
namespace {

// The mappings the SIGBUS handler answers for. A slot is taken by Map and given back by
// Unmap; the handler only reads the bounds, so it needs no lock.
struct Slot {
    std::atomic<bool> taken{false};
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> shrunk{false};
};

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

}  // namespace

bool CMappedFile::Map(int fd, uint64_t size) {
    Unmap();
    if (size == 0 || size > SIZE_MAX) return false;
    int slot = 0;
    for (; slot < kMaxMappedFiles; ++slot) {
        bool expected = false;
        if (g_slots[slot].taken.compare_exchange_strong(expected, true)) break;
    }
    if (slot == kMaxMappedFiles) return false;
    std::call_once(g_installed, InstallHandler);
    void* data = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        g_slots[slot].taken.store(false);
        return false;
    }
    Slot& s = g_slots[slot];
    s.shrunk.store(false);
    s.end.store(reinterpret_cast<uintptr_t>(data) + static_cast<uintptr_t>(size), std::memory_order_release);
    s.begin.store(reinterpret_cast<uintptr_t>(data), std::memory_order_release);
    data_ = static_cast<const uint8_t*>(data);
    size_ = size;
    slot_ = slot;
    return true;
}

void CMappedFile::Unmap() {
    if (data_ == nullptr) return;
    Slot& s = g_slots[slot_];
    s.begin.store(0, std::memory_order_release);
    s.end.store(0, std::memory_order_release);
    ::munmap(const_cast<uint8_t*>(data_), static_cast<size_t>(size_));
    s.taken.store(false);
    data_ = nullptr;
    size_ = 0;
    slot_ = -1;
}

bool CMappedFile::Shrunk() const {
    return data_ != nullptr && g_slots[slot_].shrunk.load(std::memory_order_acquire);
}

}  // namespace corvane::audio
