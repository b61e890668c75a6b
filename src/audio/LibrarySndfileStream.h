// Streams of the audio library decoded by libsndfile: WAV, AIFF, FLAC, Ogg Vorbis and Opus.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/LibraryChannel.h"

struct sf_private_tag;

namespace corvane::audio {

struct SndfileCalls;

class CLibrarySndfileStream final : public CLibraryChannel {
public:
    // Opens path with libsndfile. nullptr when libsndfile does not read the file, when it is
    // not installed (OptionalLibraries.h), and for MPEG audio (which libsndfile can read
    // too): that is left to CLibraryMpegStream, which reports the exact frame facts.
    static std::unique_ptr<CLibrarySndfileStream> Open(const std::string& path);
    ~CLibrarySndfileStream() override;

    ChannelInfo Info() const override;
    int64_t Length() const override;
    // kFilePosStart is 0 (the whole file is the stream), kFilePosEnd the file's size.
    int64_t FilePosition(int mode) const override;
    int32_t GetData(void* buffer, uint32_t bytes) override;
    int64_t Position() const override { return position_; }
    bool SetPosition(int64_t bytes) override;

private:
    CLibrarySndfileStream(const std::string& path, LibraryFileKind kind, const SndfileCalls& sf, int fd,
                          sf_private_tag* file);

    const SndfileCalls& sf_;  // the loaded library's functions
    int fd_ = -1;  // owned; libsndfile reads through it
    sf_private_tag* file_ = nullptr;
    uint32_t rate_ = 0;
    uint32_t chans_ = 0;
    int64_t frames_ = 0;
    int64_t fileSize_ = -1;
    int64_t position_ = 0;
};

}  // namespace corvane::audio
