// CMappedFile: a read-only mapping of an open file that survives the file shrinking.
//
// Sources are read through mappings where the system allows it: frames are parsed in place,
// and runs of them reach their targets straight from the mapping (a write of its pages, or the
// kernel's copy between the files), where reads into a buffer cost one copy more. The pitfall is truncation: touching a mapped page that lies past
// the file's end raises SIGBUS, and another program may shorten a source at any moment (an
// editor saving over it, a download restarted). So while any mapping exists a SIGBUS handler
// is installed: a fault inside one of these mappings is answered by putting a page of zeros
// in place of the page that faulted, and the mapping is marked Shrunk(); the code reading it
// goes on over zeros and must ask Shrunk() before it trusts what it read (a reader treats it
// as a failed read). A fault anywhere else gets the action that was there before. The kernel
// reading such a page for a write from the mapping raises no signal: the write fails with
// EFAULT, and the writer touches the pages itself to have them turned to zeros
// (COutputFile::Append).
//
// Mappings of one file are shared: a second Map of a file that is mapped already, whole and
// not shrunk, hands out the same pages, so they are not faulted in a second time. While a
// CMappingKeep exists, the latest mappings that nobody holds any more stay mapped too (a
// cut counts a source's frames for its facts, then reads it again to copy it).
//
// At most kMaxMappedFiles mappings exist at once; Map fails beyond that (and wherever the
// system refuses a mapping) and the caller reads with pread instead.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace corvane::audio {

constexpr int kMaxMappedFiles = 64;

class CMappedFile {
public:
    CMappedFile() = default;
    ~CMappedFile() { Unmap(); }
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    // Maps the first size bytes of the open file fd (size > 0) for reading, dropping any
    // mapping held before. False when it cannot be mapped; the object then holds nothing.
    bool Map(int fd, uint64_t size);
    void Unmap();

    const uint8_t* data() const { return data_; }
    uint64_t size() const { return size_; }
    bool IsMapped() const { return data_ != nullptr; }
    // True once a page past the file's end was touched: zeros stand where it was.
    bool Shrunk() const { return shrunk_ != nullptr && shrunk_->load(std::memory_order_acquire); }

private:
    const uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
    int slot_ = -1;
    const std::atomic<bool>* shrunk_ = nullptr;  // the flag of the mapping's slot
};

// Keeps released mappings (CMappedFile) for a later Map of the same file while it exists;
// the last one to go unmaps them. Held around one source's work, so that a deleted source's
// space is not held on to afterwards.
class CMappingKeep {
public:
    CMappingKeep();
    ~CMappingKeep();
    CMappingKeep(const CMappingKeep&) = delete;
    CMappingKeep& operator=(const CMappingKeep&) = delete;
};

}  // namespace corvane::audio
