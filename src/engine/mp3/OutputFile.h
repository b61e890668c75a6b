// A file written anew through a buffer, with every write checked.
//
// Pieces and joined files are written through this class. Writes are gathered in a buffer
// and reach the disk in large blocks; the first failure (disk full, file size limit, device
// gone) is remembered, every later write is refused, and Close reports it. A caller that sees
// a failure deletes the file with Remove, so a truncated output never looks complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

class COutputFile {
public:
    COutputFile();
    ~COutputFile();  // closes without deleting
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Creates the file anew (replacing an existing one), write access only. False when it
    // cannot be created; the object then stays closed.
    bool Create(const std::string& path);

    // Appends count bytes. False once any write has failed.
    bool Write(const void* data, size_t count);

    // Overwrites count bytes at offset (which must lie inside what was written) and leaves
    // the end of the file as the write position.
    bool WriteAt(uint64_t offset, const void* data, size_t count);

    // Bytes written so far (what the file's size will be once flushed).
    uint64_t Size() const { return size_; }

    // True after any failed write.
    bool Failed() const { return failed_; }

    // Flushes and closes; false when any write failed or the flush or close failed.
    bool Close();

    // Closes (if open) and deletes the file. Safe to call when nothing was created.
    void Remove();

    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

private:
    bool Flush();
    bool WriteAll(const uint8_t* data, size_t count);

    static constexpr size_t kBufferSize = 1 << 18;

    int fd_ = -1;
    std::string path_;
    std::vector<uint8_t> buffer_;
    size_t used_ = 0;
    uint64_t size_ = 0;
    bool failed_ = false;
};

}  // namespace corvane
