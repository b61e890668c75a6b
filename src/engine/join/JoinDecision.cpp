// The join decisions: the alike test, the derived parameters and the choice of way.
#include "engine/join/JoinDecision.h"

#include <algorithm>

#include "audio/AudioSource.h"
#include "engine/join/JoinJob.h"
#include "engine/Facts.h"

namespace corvane {
namespace {

// Where the joiner page starts its walk: nothing known, mono.
constexpr EncodingParams kJoinerWalkStart = {0, 0, kChannelModeMono};

}  // namespace

JoinInputFacts JoinInputFactsOf(const std::string& path, const SourceFacts& source) {
    JoinInputFacts facts;
    facts.path = path;
    facts.sampleRate = source.sampleRate;
    facts.bitrate = source.bitrate;
    facts.channelMode = source.channelMode;
    facts.layer = source.layer;
    facts.variableBitrate = source.variableBitrate;
    facts.factsRead = true;
    return facts;
}

bool ReadJoinInputFacts(const std::string& path, JoinInputFacts& facts) {
    SourceFacts source;
    if (ReadSourceFacts(path, source)) {
        facts = JoinInputFactsOf(path, source);
        return true;
    }
    facts = JoinInputFacts{};
    facts.path = path;
    // Not MPEG audio: the re-encoding join decodes whatever the audio library reads.
    CLibraryAudioSource decoded;
    if (!decoded.Open(path, 0)) return false;
    facts.sampleRate = decoded.GetSampleRate();
    facts.bitrate = decoded.GetBitrate();
    facts.channelMode = decoded.GetOutputChannels() == 1 ? kChannelModeMono : kChannelModeStereo;
    facts.layer = kNotMpegAudio;
    facts.factsRead = true;
    return true;
}

bool InputsAlike(const std::vector<JoinInputFacts>& inputs) {
    for (const JoinInputFacts& input : inputs) {
        const JoinInputFacts& first = inputs.front();
        if (input.layer != kLayer3 || input.sampleRate != first.sampleRate ||
            (input.channelMode == kChannelModeMono) != (first.channelMode == kChannelModeMono)) {
            return false;
        }
    }
    return true;
}

EncodingParams DeriveJoinParams(const EncodingParams& start, const std::vector<JoinInputFacts>& walked) {
    EncodingParams params = start;
    for (const JoinInputFacts& input : walked) {
        params.sampleRate = std::max(params.sampleRate, input.sampleRate);
        params.bitrate = std::max(params.bitrate, input.bitrate);
        if (input.channelMode == kChannelModeJointStereo) {
            params.channelMode = kChannelModeJointStereo;
        } else if (input.channelMode == kChannelModeStereo && params.channelMode == kChannelModeMono) {
            params.channelMode = kChannelModeStereo;
        }
    }
    params.sampleRate = NearestSampleRate(params.sampleRate);
    params.bitrate = NearestBitrateForSampleRate(params.sampleRate, params.bitrate);
    return params;
}

JoinWay ChooseJoinWay(const JoinerOptions& options, const std::vector<JoinInputFacts>& inputs) {
    JoinWay way;
    if (!options.autoParams) {
        way.params = {options.encoding.sampleRate, options.encoding.bitrate, options.encoding.channelMode};
    } else if (InputsAlike(inputs)) {
        way.byFrames = true;
    } else {
        way.params = DeriveJoinParams(kJoinerWalkStart, inputs);
    }
    return way;
}

JoinWay ChooseBatchJoinWay(const JoinerOptions& options, const JoinInputFacts& main,
                           const std::vector<JoinInputFacts>& joined) {
    JoinWay way;
    std::vector<JoinInputFacts> all;
    all.reserve(joined.size() + 1);
    all.push_back(main);
    all.insert(all.end(), joined.begin(), joined.end());
    if (!options.autoParams) {
        way.params = {options.encoding.sampleRate, options.encoding.bitrate, options.encoding.channelMode};
    } else if (InputsAlike(all)) {
        way.byFrames = true;
    } else {
        way.params = DeriveJoinParams({main.sampleRate, main.bitrate, main.channelMode}, joined);
    }
    return way;
}

Outcome RunJoin(CJoinJob& job, const JoinWay& way, const std::string& target, IProgressDialog* dialog) {
    if (way.byFrames) return job.JoinByFrames(target, dialog);
    return job.JoinByReencoding(target, way.params.sampleRate, way.params.bitrate, way.params.channelMode, dialog);
}

}  // namespace corvane
