// A file written under a temporary name, with every write checked, that takes its final name
// only once it is complete.
//
// Pieces and joined files are written through this class. Create makes a new file with a
// name of its own (".corvane-XXXXXXXX.part") in the folder of the final name, with O_EXCL and
// O_NOFOLLOW, so nothing that stands at the final name, or anywhere else, is opened, truncated
// or followed. Writes are gathered in a buffer and reach the disk in large blocks; the first
// failure (disk full, file size limit, device gone) is remembered, every later write is
// refused, and Close reports it. Publish then renames the complete file to its final name in
// one step: until then a file of that name is untouched, and a reader never sees a truncated
// output under a finished name. The object owns its temporary file: one that was not
// published (a failed write, a cancel, an early return) is deleted when the object goes, and
// nothing else is ever deleted.
//
// Test seam: InjectOutputFault makes the nth write, close or rename of output files fail as
// a full disk would, so tests can sweep every failure point of a cut or a join.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

class COutputFile {
public:
    COutputFile();
    // Deletes the temporary file unless it was published.
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Creates a new temporary file, write access only, in the folder of path ("." when path
    // has none); path becomes the final name Publish gives it. False when no file can be
    // created there; the object then holds nothing. A file this object still holds is
    // removed first.
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

    // Flushes and closes. True: the file is complete and waits under its temporary name for
    // Publish. False when any write, the flush or the close failed: the file is deleted.
    bool Close();

    // What Publish did.
    enum class Published {
        Done,   // the file now has the name
        Taken,  // replace was off and something stands at the name; nothing changed
        Failed  // the rename failed otherwise; nothing changed
    };

    // Gives the complete (closed) file the name path in one step. replace: whatever stands
    // at path (a file, or a symbolic link itself, never what it points to) is replaced;
    // otherwise a name taken by anything, even at the last moment, is left alone (Taken).
    // On Done, Path() is path and the object no longer owns the file. A file that is not
    // complete gives Failed.
    Published Publish(const std::string& path, bool replace);

    // Deletes the temporary file (closing it first), unless it was published. Safe to call
    // when nothing was created, and more than once.
    void Remove();

    bool IsOpen() const { return fd_ >= 0; }
    // Closed successfully and not yet published.
    bool IsComplete() const { return complete_; }
    bool IsPublished() const { return published_; }
    // The final name (the name given to Create, or to a successful Publish).
    const std::string& Path() const { return path_; }
    // Where the bytes are until published; empty when nothing is held.
    const std::string& TemporaryPath() const { return temporary_; }

private:
    bool Flush();
    bool WriteAll(const uint8_t* data, size_t count);

    static constexpr size_t kBufferSize = 1 << 18;

    int fd_ = -1;
    std::string path_;
    std::string temporary_;
    std::vector<uint8_t> buffer_;
    size_t used_ = 0;
    uint64_t size_ = 0;
    bool failed_ = false;
    bool complete_ = false;
    bool published_ = false;
};

// The calls of output files that InjectOutputFault can make fail.
enum class OutputCall { Write, Close, Rename };

// Test seam: from now on, the nth call of that kind (counting from 1, over every output file
// of the process) fails with EIO; 0 turns injection off for that kind. Resets the counts.
void InjectOutputFault(OutputCall call, int n);
// How many calls of that kind were made since the last InjectOutputFault (or start-up).
int OutputCallCount(OutputCall call);

// True when name (a file name without folder) is one Create uses for its temporary files.
bool IsTemporaryOutputName(const std::string& name);

}  // namespace corvane
