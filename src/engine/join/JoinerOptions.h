// The joiner options as one plain record: everything the join decisions and target naming read.
//
// The desktop program fills it from its "Options/Joiner" settings (and the batch joiner's
// join type from "Options/BatchJoiner"), the command-line tool from its arguments. Members
// carry the stored value names with the first letter lowered, as the cutter options do. The
// folder and target-exists values are the cutter's (CutterOptions.h); the batch joiner shows
// 33 as "Skip (not join)".
#pragma once

#include <string>

#include "audio/EncodingParams.h"
#include "engine/cut/CutterOptions.h"

namespace corvane {

// JoinType values of the batch joiner.
constexpr int kJoinTypeInsertAtBeginning = 0;  // "&Insert at beginning"
constexpr int kJoinTypeAppendToEnd = 1;        // "Appe&nd to end"

// The postfix AddPostfixAtEndOfFile appends to a batch target's base name.
inline constexpr const char* kJoinedPostfix = "_joined";

struct JoinerOptions {
    // Encoding: Auto chooses the way and the parameters from the inputs; otherwise every join
    // re-encodes with the three values below.
    bool autoMP3EncodingParam = true;                  // AutoMP3EncodingParam
    int mp3SampleRate = 44100;                         // MP3SampleRate, Hz
    int mp3BitRate = 128;                              // MP3BitRate, kbps
    int mp3ChannelMode = kChannelModeJointStereo;      // MP3ChannelMode: 0, 1 or 3

    // Placement of batch targets.
    int outputFolderOpt = kOutputFolderSameAsSource;   // OutputFolderOpt: 199 or 299
    std::string specifiedOutputFolder;                 // SpecifiedOutputFolder, with 299
    bool createTreeDirs = false;                       // CreateTreeDirs, with 299 only
    bool addPostfixAtEndOfFile = true;                 // AddPostfixAtEndOfFile: "_joined"
    int targetExistsOpt = kTargetExistsRename;         // TargetExistsOpt: 11, 22 or 33

    bool browseFolder = true;                          // BrowseFolder (pages only)
};

}  // namespace corvane
