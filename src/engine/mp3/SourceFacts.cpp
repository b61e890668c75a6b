// ReadSourceFacts: one reader opening, every fact callers need.
#include "engine/Facts.h"

#include <sys/stat.h>

#include "engine/mp3/Mp3Reader.h"

namespace corvane {

bool ReadFileStamp(const std::string& path, FileStamp& stamp) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    constexpr int64_t kNsPerSecond = 1000000000;
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.device = static_cast<uint64_t>(st.st_dev);
    stamp.inode = static_cast<uint64_t>(st.st_ino);
    stamp.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * kNsPerSecond + st.st_mtim.tv_nsec;
    stamp.changedNs = static_cast<int64_t>(st.st_ctim.tv_sec) * kNsPerSecond + st.st_ctim.tv_nsec;
    return true;
}

bool StillAsRead(const std::string& path, const SourceFacts& facts) {
    FileStamp now;
    return ReadFileStamp(path, now) && now == facts.stamp;
}

bool ReadSourceFacts(const std::string& path, SourceFacts& facts) {
    facts = SourceFacts{};
    FileStamp stamp;
    if (!ReadFileStamp(path, stamp)) return false;
    CMp3Reader reader;
    if (!reader.OpenFile(path)) return false;
    facts.stamp = stamp;
    facts.fileSize = reader.fileSize();
    facts.seconds = reader.durationSeconds();
    facts.milliseconds = static_cast<int64_t>(reader.durationExact() * 1000.0);
    facts.sampleRate = reader.sampleRate();
    facts.bitrate = reader.bitrate();
    facts.variableBitrate = reader.variableBitrate();
    facts.channelMode = reader.channelMode();
    facts.layer = reader.layer();
    facts.hasHeaderFrame = reader.headerFrame() != VbrHeaderKind::kNone;
    facts.audioStart = reader.audioStart();
    facts.truncated = reader.truncated();
    facts.headerUndercounts = reader.headerUndercounts();
    facts.headerMilliseconds = static_cast<int64_t>(reader.headerDuration() * 1000.0);
    facts.hasEncoderDelays = reader.hasEncoderDelays();
    facts.encoderDelay = reader.encoderDelay();
    facts.encoderPadding = reader.encoderPadding();
    facts.gaplessMilliseconds =
        facts.hasEncoderDelays && facts.sampleRate > 0
            ? static_cast<int64_t>(reader.gaplessSamples() * 1000 / static_cast<uint64_t>(facts.sampleRate))
            : facts.milliseconds;
    return true;
}

}  // namespace corvane
