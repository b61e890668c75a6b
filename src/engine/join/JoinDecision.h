// The join decisions: which way a join takes (frame copy or re-encoding) and with which parameters.
//
// Frame copy is only a well-formed stream when every input has the same sample rate, bit
// rate and channel mode and none starts with a "Xing"/"Info" header frame (a VBR file's
// frames vary in size and its header frame would describe only itself). "Auto" joins such
// inputs by frame copy and re-encodes anything else with parameters derived from the inputs:
// the largest sample rate, the standard bit rate nearest to the largest average bit rate,
// and a channel mode found by a walk over the inputs (joint stereo wins, then stereo, else
// the start mode stays). The joiner starts that walk from rate 0, bit rate 0 and mono over
// all inputs; a batch join starts from the main file's own values and walks the joined files.
#pragma once

#include <string>
#include <vector>

#include "audio/EncodingParams.h"
#include "engine/Progress.h"
#include "engine/join/JoinerOptions.h"

namespace corvane {

class CJoinJob;

// The facts of one input as the joiner lists hold them (from one OpenFile of the MP3 reader).
struct JoinInputFacts {
    std::string path;
    int sampleRate = 0;           // Hz, of the first frame at the audio start
    int bitrate = 0;              // average kbps
    int channelMode = kChannelModeNone;  // 0..3, kChannelModeNone when unknown
    bool hasHeaderFrame = false;  // the audio data starts with a Xing or Info frame
    bool factsRead = false;       // the facts above were read (ReadJoinInputFacts succeeded)
};

// Reads the facts of path with the MP3 reader and sets factsRead. False when the reader
// refuses the file (the pages then do not list it); facts then holds only the path.
bool ReadJoinInputFacts(const std::string& path, JoinInputFacts& facts);

// The way a join takes.
struct JoinWay {
    bool byFrames = false;   // JoinByFrames; else JoinByReencoding with params
    EncodingParams params;   // the re-encoding parameters; unused for frame copy
};

// True when no input has a header frame and all share sample rate, bit rate and channel mode.
bool InputsAlike(const std::vector<JoinInputFacts>& inputs);

// The derived parameters: the walk described above over walked, from start. The bit rate is
// NearestStandardBitrate of the largest bit rate, start's included.
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
