// The audio library's handle table and its public operations.
#include "audio/AudioLibrary.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "audio/LibraryChannel.h"
#include "audio/LibraryModuleMusic.h"
#include "audio/LibraryMpegStream.h"
#include "audio/LibrarySndfileStream.h"
#include "audio/LibraryTable.h"
#include "audio/LibraryTagReader.h"

namespace corvane::audio {
namespace {

// Bytes after a leading ID3v2 tag searched for the first MPEG audio frame, unless set by
// SetConfig(kConfigVerify, ...).
constexpr uint32_t kDefaultVerifyBytes = 16000;
constexpr uint32_t kMaxVerifyBytes = 16 * 1024 * 1024;
// Most bytes one ChannelGetData delivers: the largest count of whole 32-byte blocks (any
// sample frame of up to eight channels) that its signed 32-bit result can hold.
constexpr uint32_t kMaxDataBytes = 0x7FFFFFE0;

using Slot = LibrarySlot;

struct Library {
    std::mutex lock;
    std::map<Handle, std::shared_ptr<Slot>> slots;
    Handle next = 1;
    Handle nextSync = 1;
    uint32_t verifyBytes = kDefaultVerifyBytes;
};

Library& TheLibrary() {
    static Library library;
    return library;
}

// The output of the playback library, once its Init has run.
std::atomic<CLibraryPlayback*> g_playback{nullptr};

// Adds channel to the table, playable with a voice of the output when playable is true.
Handle Insert(std::unique_ptr<CLibraryChannel> channel, bool playable = false) {
    if (channel == nullptr) return 0;
    auto slot = std::make_shared<Slot>();
    slot->channel = std::move(channel);
    if (playable) slot->voice = g_playback.load()->NewVoice();
    Library& library = TheLibrary();
    std::lock_guard<std::mutex> guard(library.lock);
    while (library.next == 0 || library.slots.count(library.next) != 0) ++library.next;
    const Handle handle = library.next++;
    library.slots.emplace(handle, std::move(slot));
    return handle;
}

std::shared_ptr<Slot> Find(Handle handle) { return FindLibrarySlot(handle); }

// Removes the channel of handle when it is module music (music true) or a stream (false).
bool Remove(Handle handle, bool music) {
    std::shared_ptr<Slot> slot;
    {
        Library& library = TheLibrary();
        std::lock_guard<std::mutex> guard(library.lock);
        const auto found = library.slots.find(handle);
        if (found == library.slots.end() || found->second->channel->IsMusic() != music) return false;
        slot = std::move(found->second);
        library.slots.erase(found);
    }
    if (slot->voice) {
        CLibraryPlayback* playback = g_playback.load();  // set: it made the voice
        playback->Forget(slot.get());
        {
            std::lock_guard<std::mutex> guard(slot->lock);
            slot->voice->playing = false;
            slot->voice->syncs.clear();
        }
        playback->WaitForSyncs();
    }
    // The channel is destroyed here, or by the last call still running on it.
    return true;
}

// Runs call(channel) under the channel's lock; fallback for an unknown handle or an escaping
// exception.
template <typename Result, typename Call>
Result WithChannel(Handle handle, Result fallback, Call call) {
    const std::shared_ptr<Slot> slot = Find(handle);
    if (slot == nullptr) return fallback;
    std::lock_guard<std::mutex> guard(slot->lock);
    try {
        return call(*slot->channel);
    } catch (...) {
        return fallback;
    }
}

}  // namespace

void SetLibraryPlayback(CLibraryPlayback* playback) { g_playback = playback; }

std::shared_ptr<LibrarySlot> FindLibrarySlot(Handle handle) {
    Library& library = TheLibrary();
    std::lock_guard<std::mutex> guard(library.lock);
    const auto found = library.slots.find(handle);
    return found == library.slots.end() ? nullptr : found->second;
}

Handle NewLibrarySyncId() {
    Library& library = TheLibrary();
    std::lock_guard<std::mutex> guard(library.lock);
    if (library.nextSync == 0) ++library.nextSync;
    return library.nextSync++;
}

uint32_t GetVersion() { return kVersion; }

bool SetConfig(uint32_t option, uint32_t value) {
    if (option != kConfigVerify) return false;
    Library& library = TheLibrary();
    std::lock_guard<std::mutex> guard(library.lock);
    library.verifyBytes = std::min(value, kMaxVerifyBytes);
    return true;
}

Handle StreamCreateFile(const std::string& path, uint64_t offset, uint64_t length, uint32_t flags) {
    if (offset != 0 || length != 0 || path.empty()) return 0;
    const bool playable = (flags & kStreamDecode) == 0;
    CLibraryPlayback* playback = g_playback.load();
    if (playable && (playback == nullptr || !playback->Plays())) return 0;
    uint32_t verifyBytes;
    {
        Library& library = TheLibrary();
        std::lock_guard<std::mutex> guard(library.lock);
        verifyBytes = library.verifyBytes;
    }
    try {
        // libsndfile first: what it reads as another format is that format, whatever frames
        // the file may also contain. A file that starts with a frame sync is none of its
        // formats.
        if (!StartsWithFrameSync(path)) {
            if (auto stream = CLibrarySndfileStream::Open(path)) return Insert(std::move(stream), playable);
        }
        if (auto stream = CLibraryMpegStream::Open(path, verifyBytes, (flags & kStreamGapless) != 0)) {
            return Insert(std::move(stream), playable);
        }
    } catch (...) {
    }
    return 0;
}

Handle MusicLoad(const std::string& path, uint32_t flags, uint32_t freq) {
    try {
        return Insert(CLibraryModuleMusic::Load(path, freq));
    } catch (...) {
        return 0;
    }
}

bool StreamFree(Handle h) { return Remove(h, false); }

bool MusicFree(Handle h) { return Remove(h, true); }

bool ChannelGetInfo(Handle h, ChannelInfo* info) {
    if (info == nullptr) return false;
    return WithChannel(h, false, [&](CLibraryChannel& channel) {
        *info = channel.Info();
        return true;
    });
}

int64_t ChannelGetLength(Handle h) {
    return WithChannel(h, int64_t{-1}, [](CLibraryChannel& channel) { return channel.Length(); });
}

double ChannelBytes2Seconds(Handle h, int64_t bytes) {
    return WithChannel(h, -1.0, [&](CLibraryChannel& channel) {
        const ChannelInfo info = channel.Info();
        if (bytes < 0 || info.freq == 0 || info.chans == 0) return -1.0;
        return static_cast<double>(bytes / channel.BlockAlign()) / info.freq;
    });
}

int64_t ChannelSeconds2Bytes(Handle h, double seconds) {
    return WithChannel(h, int64_t{-1}, [&](CLibraryChannel& channel) -> int64_t {
        const ChannelInfo info = channel.Info();
        if (!(seconds >= 0.0) || info.freq == 0) return -1;
        return static_cast<int64_t>(seconds * info.freq) * channel.BlockAlign();
    });
}

int64_t StreamGetFilePosition(Handle h, int mode) {
    return WithChannel(h, int64_t{-1}, [&](CLibraryChannel& channel) { return channel.FilePosition(mode); });
}

int32_t ChannelGetData(Handle h, void* buffer, uint32_t bytes) {
    if (buffer == nullptr && bytes > 0) return -1;
    bytes = std::min(bytes, kMaxDataBytes);  // the count must fit the result
    const std::shared_ptr<Slot> slot = Find(h);
    if (slot == nullptr || slot->voice) return -1;  // a playable stream is read by the output only
    return WithChannel(h, int32_t{-1}, [&](CLibraryChannel& channel) { return channel.GetData(buffer, bytes); });
}

int64_t ChannelGetPosition(Handle h) {
    const std::shared_ptr<Slot> slot = Find(h);
    if (slot == nullptr) return -1;
    std::lock_guard<std::mutex> guard(slot->lock);
    return slot->voice ? slot->voice->played : slot->channel->Position();
}

bool ChannelSetPosition(Handle h, int64_t bytes) {
    const std::shared_ptr<Slot> slot = Find(h);
    if (slot == nullptr) return false;
    std::lock_guard<std::mutex> guard(slot->lock);
    try {
        if (!slot->channel->SetPosition(bytes)) return false;
        if (slot->voice) slot->voice->Restart(slot->channel->Position());
        return true;
    } catch (...) {
        return false;
    }
}

bool TagsGetInfo(Handle h, TagInfo* info) {
    if (info == nullptr) return false;
    *info = TagInfo{};
    std::string path;
    LibraryFileKind kind = LibraryFileKind::kOther;
    const bool found = WithChannel(h, false, [&](CLibraryChannel& channel) {
        path = channel.Path();
        kind = channel.Kind();
        return true;
    });
    if (!found) return false;
    return ReadLibraryTagInfo(path, kind, *info);
}

bool TagsGetFileInfo(const std::string& path, TagInfo* info) {
    if (info == nullptr) return false;
    *info = TagInfo{};
    if (path.empty()) return false;
    uint32_t verifyBytes;
    {
        Library& library = TheLibrary();
        std::lock_guard<std::mutex> guard(library.lock);
        verifyBytes = library.verifyBytes;
    }
    LibraryFileKind kind = LibraryFileKind::kOther;
    try {
        // The order of StreamCreateFile.
        if (!StartsWithFrameSync(path)) {
            if (auto stream = CLibrarySndfileStream::Open(path)) kind = stream->Kind();
        }
        if (kind == LibraryFileKind::kOther) {
            struct stat st {};
            const int fd = OpenRegularFile(path, &st);
            if (fd < 0) return false;
            MpegStreamLayout layout;
            if (ProbeMpegLayout(fd, static_cast<uint64_t>(st.st_size), verifyBytes, &layout)) kind = LibraryFileKind::kMpeg;
            ::close(fd);
        }
    } catch (...) {
        return false;
    }
    return kind != LibraryFileKind::kOther && ReadLibraryTagInfo(path, kind, *info);
}

std::string TagsRead(Handle h, const char* format) {
    TagInfo info;
    if (format == nullptr || !TagsGetInfo(h, &info)) return {};
    return FormatTagInfo(info, format);
}

}  // namespace corvane::audio
