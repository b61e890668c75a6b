// The per-user settings file: every stored value of the program, its default, its load correction.
//
// Settings live in one INI-style file opened through QSettings with organisation and
// application "Corvane" ($XDG_CONFIG_HOME/Corvane/Corvane.conf). The groups mirror the areas
// of the program: "Options" for the main window, "Options/Cutter", "Options/Joiner",
// "Options/BatchCutter" and "Options/BatchJoiner" for the pages. There is no central settings
// object: each owner (the application object, each page) keeps its values in one of the
// records below, loads it once when it is constructed and saves it itself.
//
// Numbers are stored as 32-bit signed integers; a stored number that does not read as one
// keeps the default. Texts are UTF-8. Two ways of reading texts are kept apart:
//  - fixed texts (folders: 520 bytes, numbers typed as text: 260 bytes, terminating zero
//    counted): a stored text that would not fit keeps the default;
//  - sized texts: no length limit, and a missing value reads as the empty text.
// Nothing here ever reports a failure: an unreadable file leaves the defaults, an unwritable
// one loses the save silently.
#pragma once

#include "engine/cut/CutterOptions.h"

#include <cstdint>
#include <memory>
#include <string>

class QSettings;

namespace corvane {

// Opens the program's settings file. The caller owns the result.
std::unique_ptr<QSettings> OpenSettings();

// Enumerated values shared by several keys. The output folder (OutputFolder::SameAsSource,
// OutputFolder::Specific) and target-exists (TargetExists::Rename, ...) values are those of
// CutterOptions.h; the piece-size units are the pages' own.
constexpr int kUnitKB = 201;
constexpr int kUnitMB = 301;
constexpr int kUnitGB = 401;

// Group sets of the page saves; an empty set writes nothing.
constexpr unsigned kFolderGroup = 0x04;
constexpr unsigned kCutGroup = 0x10;
constexpr unsigned kTagGroup = 0x20;
constexpr unsigned kJoinTypeGroup = 0x40;

// Buffer sizes of the fixed texts, terminating zero included.
constexpr int kFolderTextBytes = 520;
constexpr int kNumberTextBytes = 260;

constexpr int kPageCount = 7;

// A window rectangle in screen coordinates; right and bottom lie just past the window.
struct WindowRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    // True when the rectangle has no area (right not past left, or bottom not past top).
    bool IsEmpty() const { return right <= left || bottom <= top; }
};

// Group "Options": the main window's state. Read at the start of start-up, written at exit.
struct WindowSettings {
    int startPage = 0;     // page shown first; not range-checked here
    WindowRect rect;       // restored rectangle; stays empty when the stored one is empty
    int maximized = 1;     // nonzero: show maximised
    void Load();
    void Save() const;
};

// Reads "FirstRun" (1 when missing) and, when it is nonzero, writes 0. Returns true when this
// is the first start. A settings file that cannot be written counts as a first start and is
// left alone.
bool CheckFirstRun();

// Group "Options/Cutter", the cutter page's cut values.
struct CutterPageSettings {
    int cutType = 3;                 // 0 by size, 1 by count, 2 by time, 3 custom; else 0
    int cutFileAmount = 2;           // below 1 becomes 1
    std::string cutFileSizeEx = "1"; // the piece size as typed
    int cutFileUnit = kUnitMB;
    int cutTimeMin = 1;              // negative becomes 0
    int cutTimeSec = 0;              // negative becomes 0
    void Load();
    void Save(unsigned groups) const;  // kCutGroup
};

// Group "Options/Cutter", the cutter options page's values. Always saved whole.
struct CutterOptionSettings {
    CutterOptionSettings();  // sets the documents-folder defaults (creating that folder)
    int reencodePieces = 0;
    int useSameParams = 1;
    int mp3BitRate = 128;
    int mp3SampleRate = 44100;
    int mp3ChannelMode = 1;          // other than 0, 1, 3 becomes 1
    int browseFolder = 1;
    int fadeInLen = 0;               // tenths of a second; negative becomes 0
    int fadeOutLen = 0;
    int forwardOverlap = 0;
    int backwardOverlap = 0;
    int id3TrackNumType = 1;         // outside 0..2 becomes 1
    int outputFolderOpt = static_cast<int>(OutputFolder::SameAsSource);  // other than 199, 299 becomes 199
    std::string specifiedOutputFolder;
    int createFolderForEachMP3 = 0;
    int createTreeDirs = 0;
    int splitFirstNPieces = 0;
    int firstPiecesNumber = 1;       // below 1 becomes 1
    int keepID3tag = 1;
    std::string outputFileName = "%F%-%P%.mp3";     // empty becomes the default
    int filenameDigitNumber = 0;     // clamped to 0..1000
    int titleDigitNumber = 0;        // clamped to 0..1000
    std::string id3TitleFormat = "%I% - %P%/%T%";  // empty becomes the default
    int targetExistsOpt = static_cast<int>(TargetExists::Rename);
    void Load();
    void Save() const;
    // The record the cut plans read.
    CutterOptions ToCutterOptions() const;
};

// Group "Options/Joiner", the joiner page's values. No load corrections.
struct JoinerPageSettings {
    std::string folder;
    std::string id3Title, id3Artist, id3Album, id3TrackNo, id3Year, id3GenreEx, id3Comment;
    void Load();
    void Save(unsigned groups) const;  // kFolderGroup, kTagGroup
};

// Group "Options/Joiner", the joiner options page's values. Always saved whole.
struct JoinerOptionSettings {
    JoinerOptionSettings();  // sets the documents-folder defaults (creating that folder)
    int browseFolder = 1;
    int autoMP3EncodingParam = 1;
    int mp3BitRate = 128;
    int mp3SampleRate = 44100;
    int mp3ChannelMode = 1;          // other than 0, 1, 3 becomes 1
    int outputFolderOpt = static_cast<int>(OutputFolder::SameAsSource);  // other than 199, 299 becomes 199
    std::string specifiedOutputFolder;
    int createTreeDirs = 0;
    int addPostfixAtEndOfFile = 1;
    int targetExistsOpt = static_cast<int>(TargetExists::Rename);
    void Load();
    void Save() const;
};

// Group "Options/BatchCutter".
struct BatchCutterSettings {
    std::string folder;
    int cutType = 0;                 // outside 0..3 becomes 0
    int cutFileAmount = 2;           // below 1 becomes 1
    std::string cutFileSizeEx = "1";
    int cutFileUnit = kUnitMB;
    int cutTimeMin = 1;              // negative becomes 0
    int cutTimeSec = 0;              // negative becomes 0
    std::string cutCustomFromSec = "0.0";
    std::string cutCustomDuration = "1.0";
    void Load();
    void Save(unsigned groups) const;  // kFolderGroup, kCutGroup
};

// Group "Options/BatchJoiner".
struct BatchJoinerSettings {
    std::string folder;
    int joinType = 0;                // 0 insert at beginning, 1 append; else 0
    void Load();
    void Save(unsigned groups) const;  // kFolderGroup, kJoinTypeGroup
};

// The user's documents folder with a trailing "/", created when missing; empty when the
// system names none or it cannot be created.
std::string DocumentsFolder();

}  // namespace corvane
