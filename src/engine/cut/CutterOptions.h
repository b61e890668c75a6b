// The cutter options as one plain record: everything the cut plans and the piece naming read.
//
// The desktop program fills it from its "Options/Cutter" settings, the command-line tool from
// its arguments; the engine reads options only through this record. Each member carries the
// stored value name of its setting with the first letter lowered (a leading "MP3" or "ID3"
// lowered as a whole): OutputFileName -> outputFileName, MP3BitRate -> mp3BitRate,
// ID3TitleFormat -> id3TitleFormat, KeepID3tag -> keepID3tag. The defaults are those of a
// fresh settings file, except outputFolderOpt, whose stored default depends on whether a
// documents folder is known and which is OutputFolder::SameAsSource here. Load corrections
// (clamping, empty templates) are the settings store's; the engine takes the values as given.
#pragma once

#include <string>

#include "audio/EncodingParams.h"
#include "engine/output/OutputTarget.h"
#include "engine/output/PieceNaming.h"

namespace corvane {

// MP3ChannelMode values are the MPEG channel modes of EncodingParams.h; the folder,
// target-exists and track-number values are the enums of OutputTarget.h and PieceNaming.h.

// Highest digit count of FilenameDigitNumber and TitleDigitNumber (0 = automatic).
constexpr int kMaxDigitNumber = 1000;

struct CutterOptions {
    // Encoding of re-encoded pieces.
    bool reencodePieces = false;                  // ReencodePieces
    bool useSameParams = true;                    // UseSameParams: the source's own parameters
    int mp3BitRate = 128;                         // MP3BitRate, kbps
    int mp3SampleRate = 44100;                    // MP3SampleRate, Hz
    int mp3ChannelMode = kChannelModeJointStereo; // MP3ChannelMode: 0, 1 or 3

    bool browseFolder = true;                     // BrowseFolder: show the output afterwards (pages only)

    // Fades and overlaps, tenths of a second; a fade above 0 makes the pieces re-encoded.
    int fadeInLen = 0;                            // FadeInLen
    int fadeOutLen = 0;                           // FadeOutLen
    int forwardOverlap = 0;                       // ForwardOverlap
    int backwardOverlap = 0;                      // BackwardOverlap

    // Tags of the pieces.
    bool keepID3tag = true;                       // KeepID3tag
    TrackNumber id3TrackNumType = TrackNumber::Original;  // ID3TrackNumType
    std::string id3TitleFormat = kDefaultId3TitleFormat;  // ID3TitleFormat
    int titleDigitNumber = 0;                     // TitleDigitNumber, 0..1000, 0 automatic

    // Placement and names of the pieces.
    OutputFolder outputFolderOpt = OutputFolder::SameAsSource;  // OutputFolderOpt
    std::string specifiedOutputFolder;            // SpecifiedOutputFolder, used with 299
    bool createFolderForEachMP3 = false;          // CreateFolderForEachMP3
    bool createTreeDirs = false;                  // CreateTreeDirs, with 299 only
    std::string outputFileName = kDefaultOutputFileName;  // OutputFileName
    int filenameDigitNumber = 0;                  // FilenameDigitNumber, 0..1000, 0 automatic
    TargetExists targetExistsOpt = TargetExists::Rename;  // TargetExistsOpt

    // Batch cutter only: write just the first pieces of each file.
    bool splitFirstNPieces = false;               // SplitFirstNPieces
    int firstPiecesNumber = 1;                    // FirstPiecesNumber, 1 or more
};

}  // namespace corvane
