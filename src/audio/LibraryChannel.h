// The common face of the audio library's channels: decoded streams and module music.
#pragma once

#include <cstdint>
#include <string>

#include "audio/AudioLibrary.h"

namespace corvane::audio {

// What the file of a channel is, so that the tag reader picks the matching TagLib file type
// instead of guessing from the file name.
enum class LibraryFileKind { kMpeg, kWav, kAiff, kFlac, kOggVorbis, kOggOpus, kModule, kOther };

// One open channel. The handle table owns channels; every call on one channel is made under
// that channel's own lock (see AudioLibrary.cpp), so implementations need no locking.
// PCM is interleaved signed 16-bit in native byte order; positions and lengths count bytes.
class CLibraryChannel {
public:
    CLibraryChannel(std::string path, LibraryFileKind kind) : path_(std::move(path)), kind_(kind) {}
    virtual ~CLibraryChannel() = default;
    CLibraryChannel(const CLibraryChannel&) = delete;
    CLibraryChannel& operator=(const CLibraryChannel&) = delete;

    const std::string& Path() const { return path_; }
    LibraryFileKind Kind() const { return kind_; }
    bool IsMusic() const { return kind_ == LibraryFileKind::kModule; }

    virtual ChannelInfo Info() const = 0;
    // Decoded length in PCM bytes.
    virtual int64_t Length() const = 0;
    // kFilePosStart / kFilePosEnd; -1 for other modes or where the channel has no file facts.
    virtual int64_t FilePosition(int mode) const = 0;
    // Up to bytes PCM bytes into buffer: the count delivered, 0 at the end, -1 on error.
    virtual int32_t GetData(void* buffer, uint32_t bytes) = 0;
    virtual int64_t Position() const = 0;
    // Seeks to a byte position in 0..Length(); false when out of range or the seek fails.
    virtual bool SetPosition(int64_t bytes) = 0;

    // Bytes of one sample frame (all channels).
    uint32_t BlockAlign() const { return Info().chans * 2; }

private:
    std::string path_;
    LibraryFileKind kind_;
};

}  // namespace corvane::audio
