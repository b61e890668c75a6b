// A file written under a temporary name, with every write checked, that takes its final name
// only once it is complete.
//
// Pieces and joined files are written through this class. Create makes a new file with a
// name of its own in the folder of the final name, with O_EXCL and O_NOFOLLOW, so nothing
// that stands at the final name, or anywhere else, is opened, truncated or followed. Writes
// are gathered in a buffer and reach the disk in large blocks; the first failure (disk full,
// file size limit, device gone) is remembered, every later write is refused, and Close
// reports it. Publish then renames the complete file to its final name in one step: until
// then a file of that name is untouched, and a reader never sees a truncated output under a
// finished name. The object owns its temporary file: one that was not published (a failed
// write, a cancel, an early return) is deleted when the object goes, and nothing else is
// ever deleted by it.
//
// Temporaries a killed process left. A process that is killed (SIGKILL, a crash, power
// loss) deletes nothing, so every temporary carries its owner's mark: while a process has
// temporaries in a folder it holds a lock file there, ".corvane-<token>.lock", locked with
// flock(LOCK_EX), and names its temporaries ".corvane-<token>-<digits>.part" with the same
// token. The kernel drops the lock when the process dies, however it dies. One lock per
// process and folder, not per file: a cut of an hour into one-second pieces keeps 3,600
// complete pieces waiting for their names, closed, and only one descriptor for the lock.
// The first time a process writes into a folder it removes the temporaries there whose
// token's lock it can take at once (their owner is gone), then the lock file itself.
//
// The pitfall is the moment between making a lock file and locking it: a cleaner could take
// the new, still unlocked file for an abandoned one. So the owner creates the lock file with
// O_EXCL, locks it, and only then checks that the name still leads to the file it locked
// (a cleaner unlinks a lock file only while it holds the lock); when it does not, the owner
// starts over with a new token. It creates no temporary before that check, so a cleaner
// never finds a temporary of a live process whose lock it could take. When the last
// temporary of a process in a folder is published or removed, the process unlinks its lock
// file, then unlocks it.
//
// Test seam: InjectOutputFault makes the nth write, close or rename of output files fail as
// a full disk would, so tests can sweep every failure point of a cut or a join.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace corvane {

class COutputFile {
public:
    COutputFile();
    // Deletes the temporary file unless it was published.
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Creates a new temporary file, write access only, in the folder of path ("." when path
    // has none); path becomes the final name Publish gives it. The first Create of the
    // process in a folder removes the temporaries other, dead processes left there
    // (RemoveAbandonedTemporaries). The process's lock file in that folder is made (or its
    // count of temporaries there raised) before the file. False when no file can be created
    // there; the object then holds nothing. A file this object still holds is removed first.
    bool Create(const std::string& path);

    // Appends count bytes. False once any write has failed.
    bool Write(const void* data, size_t count);

    // Appends the count bytes that stand at offset in the open file source; data holds the
    // same bytes (the file mapped). Appends that continue each other are gathered into one run.
    // A run that stands at the same offset in its page of the source as in the file is copied
    // by the kernel from file to file (copy_file_range); any other run, and one the kernel
    // refuses, is written from data in writes that end on the file's megabyte edges (a page
    // cache filled by whole large pages; the kernel's copy of a run out of step with its pages
    // costs half as much again), and a short run joins the buffer. Pages of data past the end
    // of a source that got shorter are written as zeros (audio/MappedFile.h). source and data
    // must stay open and mapped until the next Write, WriteAt or Close. False once any write
    // has failed.
    bool Append(int source, uint64_t offset, const void* data, size_t count) {
        // The common case, a frame that follows the run (inline: it is every frame of a copy).
        if (fd_ >= 0 && !failed_ && runLength_ > 0 && source == runSourceFd_ && offset == runOffset_ + runLength_ &&
            static_cast<const uint8_t*>(data) == runData_ + runLength_) {
            size_ += count;
            runLength_ += count;
            return true;
        }
        return StartRun(source, offset, data, count);
    }
    // Writes what is gathered (the buffer, then Append's run) to the file. False once any
    // write has failed.
    bool Flush();
    // Writes what is gathered as far as it reaches a large page edge of the file (a multiple
    // of a megabyte): the buffer and the part of Append's run before that edge; the rest stays
    // gathered. Lets a long run reach the disk in steps while its bytes are still in the
    // processor's caches. False once any write has failed.
    bool Drain();
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
    bool FlushBuffer();
    // Writes the first count bytes of Append's run (the buffer must be written before).
    bool CopyRun(size_t count);
    // Puts a pending run that is too short for the kernel into the buffer, or writes it.
    bool SettleRun();
    // Append of bytes that do not follow the run: the run so far is settled, a new one begins.
    bool StartRun(int source, uint64_t offset, const void* data, size_t count);
    // Appends bytes to the buffer (writing the buffer first when they do not fit).
    bool Buffer(const uint8_t* bytes, size_t count);
    // Gives back the folder's lock held for temporary_ (see the overview).
    void ReleaseFolder();
    // Writes count bytes. mapped: bytes of a source's mapping, in writes that end on the
    // target's megabyte edges; bytes of pages past the source's end are written as zeros
    // (TouchPages).
    bool WriteAll(const uint8_t* data, size_t count, bool mapped = false);
    // Reads a byte of each page of data, so that pages past a mapped source's end turn to
    // zeros; false when these bytes were touched before (no use in trying again).
    bool TouchPages(const uint8_t* data, size_t count);

    static constexpr size_t kBufferSize = 1 << 18;

    int fd_ = -1;
    std::string path_;
    std::string temporary_;
    std::string folder_;        // the folder of temporary_ as Create got it ("" for ".")
    bool holdsFolder_ = false;  // temporary_ counts in that folder's lock
    std::unique_ptr<uint8_t[]> buffer_;  // kBufferSize bytes while open, never cleared
    size_t used_ = 0;
    // The run of source bytes Append gathered, written after the buffer.
    int runSourceFd_ = -1;
    uint64_t runOffset_ = 0;
    const uint8_t* runData_ = nullptr;
    size_t runLength_ = 0;
    uint64_t size_ = 0;
    uint64_t written_ = 0;                // the file's write position: what reached it so far
    const uint8_t* touched_ = nullptr;    // where TouchPages last began
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

// How old (by modification time) a temporary must be before RemoveAbandonedTemporaries
// removes it without a lock to prove its owner gone: ".corvane-XXXXXXXX.part" of earlier
// versions, which held no lock, and a temporary whose lock file is missing. No cut or join
// keeps a temporary unchanged that long.
inline constexpr int64_t kUnlockedTemporaryAgeSeconds = 24 * 60 * 60;

// Removes from folder ("" for ".") the temporaries no live process owns: every regular
// ".corvane-<token>-<digits>.part" and the lock file ".corvane-<token>.lock" itself when that
// lock can be taken without waiting, and unlocked temporaries older than
// kUnlockedTemporaryAgeSeconds. Removes nothing else: no other name, no folder, no
// symbolic link (a link with such a name stays, and is never followed), nothing whose lock
// is held (by any process, this one too) or cannot be taken on that file system. Errors are
// ignored: what cannot be read or removed stays.
void RemoveAbandonedTemporaries(const std::string& folder);

}  // namespace corvane
