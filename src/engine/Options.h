// The options of a cut and of a join, as plain records: everything the engine reads of the
// user's choices. The desktop program fills them from its settings, the command-line tool
// from its arguments; how they are stored is the settings store's business, and what only a
// page uses (showing the output folder afterwards) stays with the page.
//
// Defaults are those of a fresh installation, except the folder, which is the source's own
// here. The values are taken as given: the front ends correct what they read.
#pragma once

#include <string>

#include "audio/EncodingParams.h"

namespace corvane {

// Where outputs go. The numbers are the stored values.
enum class OutputFolder { SameAsSource = 199, Specific = 299 };  // "Same as source file", "Specific folder"

// What happens when an output's name is taken. The numbers are the stored values.
enum class TargetExists {
    Rename = 11,     // "Rename automatically (add number at end of file name)"
    Overwrite = 22,  // "Overwrite"
    Skip = 33,       // "Skip (not cut)"; the batch joiner shows "Skip (not join)"
};

// The track number a piece's tag gets.
enum class TrackNumber {
    None = 0,      // "None": no track number
    Original = 1,  // "Original ID3 track number"
    Sequence = 2,  // "Split sequence number"
};

// The unit of a piece size. The numbers are the stored values; any other value counts bytes.
enum class SizeUnit { KB = 201, MB = 301, GB = 401, TB = 501 };

// Where the batch joiner puts the joined files.
enum class JoinType {
    InsertAtBeginning = 0,  // "&Insert at beginning"
    AppendToEnd = 1,        // "Appe&nd to end"
};

// The default name and title templates of the pieces.
inline constexpr const char* kDefaultOutputFileName = "%F%-%P%.mp3";
inline constexpr const char* kDefaultId3TitleFormat = "%I% - %P%/%T%";

// The postfix a batch join target's base name gets.
inline constexpr const char* kJoinedPostfix = "_joined";

// How many pieces or files a re-encoding cut or batch join encodes at once by default: one
// per hardware thread, at least 1.
int DefaultJobs();

// Highest digit count of numbers in names and titles (0 = automatic).
constexpr int kMaxDigitNumber = 1000;

// Where outputs are written and what happens to a name that is taken.
struct OutputPlacement {
    OutputFolder folder = OutputFolder::SameAsSource;
    std::string specificFolder;    // the folder of OutputFolder::Specific
    bool treeFolders = false;      // with Specific: the source's folder path rebuilt under it
    TargetExists ifExists = TargetExists::Rename;
};

// The encoding parameters of a fresh installation: 44100 Hz, 128 kbps, joint stereo.
inline constexpr EncodingParams kDefaultEncoding{44100, 128, kChannelModeJointStereo};

struct CutterOptions {
    // Re-encoding: with sameParams the source's own parameters, else encoding's.
    bool reencode = false;
    bool sameParams = true;
    EncodingParams encoding = kDefaultEncoding;

    // Fades and overlaps, tenths of a second; a fade above 0 makes the pieces re-encoded.
    int fadeInTenths = 0;
    int fadeOutTenths = 0;
    int forwardOverlapTenths = 0;
    int backwardOverlapTenths = 0;

    // Tags of the pieces.
    bool keepTag = true;
    TrackNumber trackNumbers = TrackNumber::Original;
    std::string titleTemplate = kDefaultId3TitleFormat;
    int titleDigits = 0;  // 0..kMaxDigitNumber, 0 automatic

    // Placement and names of the pieces.
    OutputPlacement placement;
    bool folderPerSource = false;  // a folder named after each source
    std::string nameTemplate = kDefaultOutputFileName;
    int nameDigits = 0;  // 0..kMaxDigitNumber, 0 automatic

    // Batch cuts: write just the first firstPieces pieces of each file.
    bool firstPiecesOnly = false;
    int firstPieces = 1;  // 1 or more
};

struct JoinerOptions {
    // autoParams chooses the way and the parameters from the inputs; otherwise every join
    // re-encodes with encoding.
    bool autoParams = true;
    EncodingParams encoding = kDefaultEncoding;

    // Placement of batch join targets; joinedPostfix appends kJoinedPostfix to their names.
    OutputPlacement placement;
    bool joinedPostfix = true;

    // Joined targets get a chapter per input (CHAP and CTOC frames in their tag). Stored.
    bool writeChapters = true;
};

}  // namespace corvane
