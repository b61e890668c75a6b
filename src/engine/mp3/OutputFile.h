// A file written anew through a buffer, with every write checked.
//
// Pieces and joined files are written through this class. Writes are gathered in a buffer
// and reach the disk in large blocks; the first failure (disk full, file size limit, device
// gone) is remembered, every later write is refused, and Close reports it. The object owns
// the file it created until Close succeeds: a file that was not closed successfully (a
// failed write, a cancel, an early return) is deleted when the object goes, so a truncated
// output never looks complete and a caller only has to return.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

class COutputFile {
public:
    COutputFile();
    // Deletes a file that was created and not closed successfully.
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Creates the file anew (replacing an existing one), write access only. False when it
    // cannot be created; the object then stays closed. A file still open is closed first, as
    // by Close.
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

    // Flushes and closes. True: the file is complete and stays on disk. False when any write,
    // the flush or the close failed: the file is deleted.
    bool Close();

    // Closes (if open) and deletes the file, unless it was closed successfully already.
    // Safe to call when nothing was created, and more than once.
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
    bool owned_ = false;  // created and not yet closed successfully: deleted unless Close succeeds
};

}  // namespace corvane
