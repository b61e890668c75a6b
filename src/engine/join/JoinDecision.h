// The join decisions: which way a join takes (frame copy or re-encoding) and with which parameters.
//
// Frame copy is a well-formed stream when every input is MPEG Layer III with the same sample
// rate and the same channel count (mono, or two channels: stereo, joint stereo and dual
// channel frames follow one another in one stream). Bit rates may differ from frame to
// frame in Layer III, so neither a variable bit rate nor inputs of different bit rates are
// a reason to re-encode: the frame-copy joiner leaves each input's "Xing"/"Info" header
// frame behind and writes one for the whole target ("Xing" when its frames' bit rates
// differ). Files of other layers, and files that are no MPEG audio at all (a WAV file, read
// by the audio library), are never alike: frames of two layers in one stream are rejected by
// decoders.
//
// "Auto" joins alike inputs by frame copy and re-encodes anything else with parameters
// derived from the inputs: the largest sample rate (snapped to an MPEG rate), the bit rate
// the derived rate allows that is nearest to the largest input bit rate, and a channel mode
// found by a walk over the inputs (joint stereo wins, then stereo, else the start mode stays).
// Derived parameters are always encodable; chosen ones are used as given. The joiner starts
// that walk from rate 0, bit rate 0 and mono over all inputs; a batch join starts from the
// main file's own values and walks the joined files.
#pragma once

#include <string>
#include <vector>

#include "audio/EncodingParams.h"
#include "engine/Join.h"
#include "engine/Options.h"
#include "engine/Progress.h"

namespace corvane {

class CJoinJob;

// The way a join takes.
struct JoinWay {
    bool byFrames = false;   // JoinByFrames; else JoinByReencoding with params
    EncodingParams params;   // the re-encoding parameters; unused for frame copy
};

// True when every input is Layer III and all share the sample rate and the channel count.
bool InputsAlike(const std::vector<JoinInputFacts>& inputs);

// The derived parameters: the walk described above over walked, from start. The sample rate
// is NearestSampleRate of the largest rate, the bit rate NearestBitrateForSampleRate of that
// rate and the largest bit rate, start's included in both.
EncodingParams DeriveJoinParams(const EncodingParams& start, const std::vector<JoinInputFacts>& walked);

// The joiner's decision for all inputs of a join: not Auto gives the options' parameters;
// Auto gives frame copy when the inputs are alike, else the parameters derived from rate 0,
// bit rate 0 and mono over all inputs.
JoinWay ChooseJoinWay(const JoinerOptions& options, const std::vector<JoinInputFacts>& inputs);

// The batch joiner's decision for one main file and the joined files: as ChooseJoinWay over
// all of them for the alike test, but the derived parameters start from the main file's own
// rate, bit rate and channel mode and walk the joined files.
JoinWay ChooseBatchJoinWay(const JoinerOptions& options, const JoinInputFacts& main,
                           const std::vector<JoinInputFacts>& joined);

// Runs the chosen way on a filled job: JoinByFrames or JoinByReencoding with the parameters;
// their outcome.
Outcome RunJoin(CJoinJob& job, const JoinWay& way, const std::string& target, IProgressDialog* dialog);

}  // namespace corvane
