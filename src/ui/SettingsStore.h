// The per-user settings file: every stored value of the program, its default, its load correction.
//
// Settings live in one INI-style file opened through QSettings with organisation and
// application "Corvane", the product name ($XDG_CONFIG_HOME/Corvane/Corvane.conf). The
// groups mirror the areas of the program: "Options" for the main window, "Options/Cutter",
// "Options/Joiner", "Options/BatchCutter" and "Options/BatchJoiner" for the pages. There is
// no central settings object: each owner (the application object, each page) keeps its
// values in one of the records below, loads it once when it is constructed and saves it
// itself.
//
// Numbers are stored as 32-bit signed integers; a stored number that does not read as one
// keeps the default. Yes/no values are stored as 1 and 0 (any other number reads as yes),
// enumerated values as their enum's numbers. Texts are UTF-8. Two ways of reading texts are
// kept apart:
//  - fixed texts (folders: 520 bytes, numbers typed as text: 260 bytes, terminating zero
//    counted): a stored text that would not fit keeps the default;
//  - sized texts: no length limit, and a missing value reads as the empty text.
// Nothing here ever reports a failure: an unreadable file leaves the defaults, an unwritable
// one loses the save silently.
#pragma once

#include "engine/Cut.h"
#include "engine/Options.h"

#include <cstdint>
#include <memory>
#include <string>

#include <QStringList>

class QSettings;

namespace corvane {

// Opens the program's settings file. The caller owns the result.
std::unique_ptr<QSettings> OpenSettings();

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

// Group "Options/Cutter", value "RecentFiles": the sources the cutter page opened, newest
// first, at most kRecentFiles. Remembering one writes the list at once.
constexpr int kRecentFiles = 10;
QStringList LoadRecentFiles();
void RememberRecentFile(const QString& path);

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

// The cut rule that the cutter page and the batch cutter page each keep in their own group,
// all in kCutGroup.
struct CutRuleSettings {
    int cutType = 0;                 // 0 by size, 1 by count, 2 by time, 3 custom; else 0
    int cutFileAmount = 2;           // below 1 becomes 1
    std::string cutFileSizeEx = "1"; // the piece size as typed (a fixed text)
    SizeUnit cutFileUnit = SizeUnit::MB;  // kept as stored, even a number of no unit
    int cutTimeMin = 1;              // negative becomes 0
    int cutTimeSec = 0;              // negative becomes 0
};

// Group "Options/Cutter", the cutter page's cut values, and the silences "Add Pieces at
// Silences" looks for (kCutGroup): quieter than SilenceDb dBFS (-96 to -1, else the nearest)
// for SilenceTenths tenths of a second or longer (1 to 600, else the nearest).
constexpr int kMinSilenceDb = -96;
constexpr int kMaxSilenceDb = -1;
constexpr int kMinSilenceTenths = 1;
constexpr int kMaxSilenceTenths = 600;
struct CutterPageSettings : CutRuleSettings {
    CutterPageSettings() { cutType = 3; }
    int silenceDb = static_cast<int>(kDefaultSilenceThresholdDb);
    int silenceTenths = static_cast<int>(kDefaultSilenceSeconds * 10);
    void Load();
    void Save(unsigned groups) const;  // kCutGroup
};

// Group "Options/Cutter", the cutter options page's values: the engine's record, stored
// whole under the value names listed in SettingsStore.cpp. Defaults are the record's,
// except the output folder: the documents folder, chosen as a specific folder, when one is
// known. Load corrections: MP3ChannelMode other than stereo, joint stereo or mono becomes
// joint stereo; FadeInLen, FadeOutLen, ForwardOverlap, BackwardOverlap below 0 become 0;
// ID3TrackNumType outside the TrackNumber values becomes Original; OutputFolderOpt other
// than Specific becomes SameAsSource; FirstPiecesNumber below 1 becomes 1;
// FilenameDigitNumber and TitleDigitNumber are clamped to 0..kMaxDigitNumber; an empty
// OutputFileName or ID3TitleFormat becomes its default. TargetExistsOpt is kept as stored.
// The option records as the pages hold them: the engine's record, and whether a page shows
// the output folder after its work.
struct CutterPageOptions : CutterOptions {
    bool browseFolder = true;
};
struct JoinerPageOptions : JoinerOptions {
    bool browseFolder = true;
};

struct CutterOptionSettings {
    CutterOptionSettings();  // sets the documents-folder defaults (creating that folder)
    CutterPageOptions options;
    void Load();
    void Save() const;
};

// Group "Options/Joiner", the joiner page's values. No load corrections.
struct JoinerPageSettings {
    std::string folder;  // kFolderGroup, a fixed text
    std::string id3Title, id3Artist, id3Album, id3TrackNo, id3Year, id3GenreEx, id3Comment;  // kTagGroup
    void Load();
    void Save(unsigned groups) const;  // kFolderGroup, kTagGroup
};

// Group "Options/Joiner", the joiner options page's values: the engine's record, stored whole
// under the value names listed in SettingsStore.cpp, with the cutter options' folder
// defaults and their MP3ChannelMode and OutputFolderOpt corrections.
struct JoinerOptionSettings {
    JoinerOptionSettings();  // sets the documents-folder defaults (creating that folder)
    JoinerPageOptions options;
    void Load();
    void Save() const;
};

// Group "Options/BatchCutter".
struct BatchCutterSettings : CutRuleSettings {
    std::string folder;                       // kFolderGroup, a fixed text
    std::string cutCustomFromSec = "0.0";     // kCutGroup, a fixed text
    std::string cutCustomDuration = "1.0";    // kCutGroup, a fixed text
    void Load();
    void Save(unsigned groups) const;  // kFolderGroup, kCutGroup
};

// Group "Options/BatchJoiner".
struct BatchJoinerSettings {
    std::string folder;                               // kFolderGroup, a fixed text
    JoinType joinType = JoinType::InsertAtBeginning;  // kJoinTypeGroup; other values load as this
    void Load();
    void Save(unsigned groups) const;  // kFolderGroup, kJoinTypeGroup
};

// The user's documents folder with a trailing "/", created when missing; empty when the
// system names none or it cannot be created.
std::string DocumentsFolder();

}  // namespace corvane
