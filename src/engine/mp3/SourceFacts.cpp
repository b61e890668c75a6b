// ReadSourceFacts: one reader opening, every fact callers need.
#include "engine/Facts.h"

#include "engine/mp3/Mp3Reader.h"

namespace corvane {

bool ReadSourceFacts(const std::string& path, SourceFacts& facts) {
    facts = SourceFacts{};
    CMp3Reader reader;
    if (!reader.OpenFile(path)) return false;
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
