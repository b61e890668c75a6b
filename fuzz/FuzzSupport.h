// What the fuzz targets share: an input as a file, checks that stop the run as a finding.
//
// CInputFile: each input becomes a fresh memory file (memfd), named /proc/self/fd/N: opening that name
// opens the same file again, a regular file as fstat sees it. A new file per input has a new
// inode, so nothing the code remembers by a file's identity (the audio layer's frame tallies)
// answers for an earlier input.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace corvane::fuzz {

class CInputFile {
public:
    CInputFile(const uint8_t* data, size_t size) {
        fd_ = ::memfd_create("corvane-fuzz-input", MFD_CLOEXEC);
        if (fd_ < 0) std::abort();  // the harness cannot run at all
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd_, data + done, size - done);
            if (n <= 0) std::abort();
            done += static_cast<size_t>(n);
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~CInputFile() { ::close(fd_); }
    CInputFile(const CInputFile&) = delete;
    CInputFile& operator=(const CInputFile&) = delete;

    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

// Stops the run as a finding when a property the code promises does not hold.
#define CORVANE_FUZZ_CHECK(condition)                                                   \
    do {                                                                                \
        if (!(condition)) {                                                             \
            ::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

// True when text is well-formed UTF-8: no stray or missing continuation bytes, no overlong
// forms, no surrogates, nothing past U+10FFFF.
inline bool IsUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra = 0;
        uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) return false;
        if (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace corvane::fuzz
