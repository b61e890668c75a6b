// libsndfile streams: open, facts, 16-bit reads and seeks.
#include "audio/LibrarySndfileStream.h"

#include <unistd.h>

#include "audio/LibraryMpegStream.h"
#include "audio/OptionalLibraries.h"

namespace corvane::audio {
namespace {

LibraryFileKind KindOf(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
        case SF_FORMAT_RF64: return LibraryFileKind::kWav;
        case SF_FORMAT_AIFF: return LibraryFileKind::kAiff;
        case SF_FORMAT_FLAC: return LibraryFileKind::kFlac;
        case SF_FORMAT_OGG:
            if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS) return LibraryFileKind::kOggOpus;
            return LibraryFileKind::kOggVorbis;
        default: return LibraryFileKind::kOther;
    }
}

}  // namespace

CLibrarySndfileStream::CLibrarySndfileStream(const std::string& path, LibraryFileKind kind, const SndfileCalls& sf,
                                             int fd, SNDFILE* file)
    : CLibraryChannel(path, kind), sf_(sf), fd_(fd), file_(file) {}

CLibrarySndfileStream::~CLibrarySndfileStream() {
    if (file_ != nullptr) sf_.close(file_);
    if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<CLibrarySndfileStream> CLibrarySndfileStream::Open(const std::string& path) {
    // Opened by descriptor, so that libsndfile recognises the content only: by path it
    // would also guess from the file name and try any ".mp3" as MPEG audio.
    const SndfileCalls* sf = Sndfile();
    if (sf == nullptr) return nullptr;
    struct stat st {};
    const int fd = OpenRegularFile(path, &st);
    if (fd < 0) return nullptr;
    SF_INFO info{};
    SNDFILE* file = sf->openFd(fd, SFM_READ, &info, SF_FALSE);
    if (file == nullptr) {
        ::close(fd);
        return nullptr;
    }
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG || info.channels <= 0 || info.samplerate <= 0 ||
        info.frames < 0) {
        sf->close(file);
        ::close(fd);
        return nullptr;
    }
    // Float data is scaled to the 16-bit range rather than clipped at +-1.
    sf->command(file, SFC_SET_SCALE_FLOAT_INT_READ, nullptr, SF_TRUE);
    std::unique_ptr<CLibrarySndfileStream> stream(new CLibrarySndfileStream(path, KindOf(info.format), *sf, fd, file));
    stream->rate_ = static_cast<uint32_t>(info.samplerate);
    stream->chans_ = static_cast<uint32_t>(info.channels);
    stream->frames_ = info.frames;
    stream->fileSize_ = static_cast<int64_t>(st.st_size);
    return stream;
}

ChannelInfo CLibrarySndfileStream::Info() const {
    ChannelInfo info;
    info.freq = rate_;
    info.chans = chans_;
    info.ctype = kCtypeSndfile;
    return info;
}

int64_t CLibrarySndfileStream::Length() const { return frames_ * chans_ * 2; }

int64_t CLibrarySndfileStream::FilePosition(int mode) const {
    if (mode == kFilePosStart) return 0;
    if (mode == kFilePosEnd) return fileSize_;
    return -1;
}

int32_t CLibrarySndfileStream::GetData(void* buffer, uint32_t bytes) {
    const sf_count_t block = chans_ * 2;
    const sf_count_t wanted = static_cast<sf_count_t>(bytes) / block;
    if (wanted == 0) return 0;
    const sf_count_t got = sf_.readfShort(file_, static_cast<short*>(buffer), wanted);
    if (got < 0) return -1;
    if (got == 0 && sf_.error(file_) != SF_ERR_NO_ERROR) return -1;
    position_ += got * block;
    return static_cast<int32_t>(got * block);
}

bool CLibrarySndfileStream::SetPosition(int64_t bytes) {
    if (bytes < 0 || bytes > Length()) return false;
    const sf_count_t block = chans_ * 2;
    const sf_count_t reached = sf_.seek(file_, bytes / block, SEEK_SET);
    if (reached < 0) return false;
    position_ = reached * block;
    return true;
}

}  // namespace corvane::audio
