// Buffered, checked output files.
#include "engine/mp3/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace corvane {

COutputFile::COutputFile() = default;

COutputFile::~COutputFile() { Remove(); }

bool COutputFile::Create(const std::string& path) {
    if (fd_ >= 0) Close();
    path_.clear();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) return false;
    path_ = path;
    owned_ = true;
    if (buffer_.empty()) buffer_.resize(kBufferSize);
    used_ = 0;
    size_ = 0;
    failed_ = false;
    return true;
}

bool COutputFile::WriteAll(const uint8_t* data, size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd_, data, count);
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
        const ssize_t n = ::pwrite(fd_, bytes, count, static_cast<off_t>(offset));
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
    if (fd_ < 0) return !failed_;
    Flush();
    if (::close(fd_) != 0) failed_ = true;
    fd_ = -1;
    if (failed_) {
        Remove();
        return false;
    }
    owned_ = false;
    return true;
}

void COutputFile::Remove() {
    if (fd_ >= 0) {
        used_ = 0;  // nothing more reaches the disk
        ::close(fd_);
        fd_ = -1;
    }
    if (owned_) ::unlink(path_.c_str());
    owned_ = false;
}

}  // namespace corvane
