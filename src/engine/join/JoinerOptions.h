// The joiner options as one plain record: everything the join decisions and target naming read.
//
// The desktop program fills it from its "Options/Joiner" settings (and the batch joiner's
// join type from "Options/BatchJoiner"), the command-line tool from its arguments. Members
// carry the stored value names with the first letter lowered, as the cutter options do. The
// folder and target-exists values are those of OutputTarget.h, shared with the cutter.
#pragma once

#include <string>

#include "audio/EncodingParams.h"
#include "engine/output/OutputTarget.h"

namespace corvane {

// JoinType of the batch joiner: where the joined files go.
enum class JoinType {
    InsertAtBeginning = 0,  // "&Insert at beginning"
    AppendToEnd = 1,        // "Appe&nd to end"
};

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
    OutputFolder outputFolderOpt = OutputFolder::SameAsSource;  // OutputFolderOpt
    std::string specifiedOutputFolder;                 // SpecifiedOutputFolder, with 299
    bool createTreeDirs = false;                       // CreateTreeDirs, with 299 only
    bool addPostfixAtEndOfFile = true;                 // AddPostfixAtEndOfFile: "_joined"
    TargetExists targetExistsOpt = TargetExists::Rename;        // TargetExistsOpt

    bool browseFolder = true;                          // BrowseFolder (pages only)
};

}  // namespace corvane
