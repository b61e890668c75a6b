// CUE sheets: the tracks of a recording ripped as one file, as custom pieces with their tags.
//
// A CUE sheet is a text of one command per line, as rippers write it:
//
//     REM GENRE Rock
//     REM DATE 1999
//     PERFORMER "The Band"
//     TITLE "Live at Home"
//     FILE "Live at Home.wav" WAVE
//       TRACK 01 AUDIO
//         TITLE "Opening"
//         INDEX 01 00:00:00
//       TRACK 02 AUDIO
//         TITLE "Second"
//         PERFORMER "Guest"
//         INDEX 00 04:10:20
//         INDEX 01 04:12:00
//
// Commands are read in any case; values are quoted (up to the next double quote) or not (the
// rest of the line, trimmed; for FILE the last word, the file type, is not part of the name).
// TITLE, PERFORMER, REM GENRE and REM DATE before the first TRACK belong to the sheet (album,
// album performer, genre, year), TITLE and PERFORMER after it to the track. Times are mm:ss:ff,
// minutes (any number of digits), seconds and frames of 75 per second. Track numbers run from
// 1 to kMaxCueTrackNumber, the numbers a piece's tag takes. Other commands (CATALOG, FLAGS,
// ISRC, PREGAP, SONGWRITER, further REMs, INDEX 02 and up) are passed over.
//
// Text. A sheet starting with a byte order mark is in its encoding: UTF-8, or UTF-16 little-
// or big-endian (as Windows editors save "Unicode"). One without is UTF-8 when all of it is
// well-formed UTF-8, else Windows-1252, the Latin-1 that Windows rippers write (bytes 0x80 to
// 0x9F as Windows-1252 reads them, since no title holds a C1 control). Every text handed out
// is well-formed UTF-8: a byte or code unit that makes no character in the sheet's encoding
// (a broken sequence after a UTF-8 mark, a lone surrogate, one of the five bytes Windows-1252
// leaves undefined) becomes U+FFFD. Control characters are kept: the names built from them
// turn them into spaces.
//
// Pieces. Each track's piece starts at its INDEX 01 and runs to the next track's INDEX 01
// (the last to the end of the file), so the pregap between a track's INDEX 00 and INDEX 01
// ends the piece before it, as on the disc when it is played through. Audio before the first
// track's INDEX 01 (a hidden first track, most often the silent pregap of a disc) becomes a
// leading row, unchecked and no track: the cut leaves it out and numbers the tracks' pieces
// from 1. Starts are compared in CUE frames: tracks may lie closer than the rows' tenths tell,
// and a row then starts one tenth after the row before so that none is empty. Each row but the
// last ends exactly at the next row's start frame (PieceEntry::endSample), taken as a position
// of the decoded stream from the first audio frame: the codec's delay (about one frame) is
// not added, so a piece's own frames begin with the frame at or after INDEX 01, within one
// frame of it whichever way the delay is counted.
//
// File names. The sheet is for the file its FILE line names. Rippers write the sheet for the
// image they rip ("Live at Home.wav" or ".flac") and users convert the image to MP3 without
// editing the sheet, so a FILE name counts as the source's when the two names without their
// extensions (and without any folder) are equal, ignoring ASCII case (sheets come from
// systems whose file names ignore case). A sheet without a FILE line is taken as the
// source's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Progress.h"
#include "engine/Cut.h"
#include "engine/Facts.h"

namespace corvane {

constexpr int kCueFramesPerSecond = 75;
// The highest TRACK number: the track numbers a piece's tag takes (1 to 255, as the tag
// dialogs take them and as an ID3v1 byte holds them).
constexpr int kMaxCueTrackNumber = 255;
// A longer file is no CUE sheet (a sheet of 99 tracks is a few kilobytes).
constexpr uint64_t kMaxCueSheetBytes = 1 << 20;

struct CueTrack {
    int number = 0;         // TRACK nn
    std::string title;      // its TITLE; "" when none
    std::string performer;  // its PERFORMER; "" when none
    int64_t pregap = -1;    // INDEX 00 in CUE frames (1/75 s); -1 when none
    int64_t start = -1;     // INDEX 01 in CUE frames; -1 when none
};

struct CueSheet {
    std::vector<std::string> files;  // the FILE names as written, in order
    std::string title;               // the album
    std::string performer;
    std::string genre;
    std::string date;
    std::vector<CueTrack> tracks;
};

// Reads the sheet's bytes (any bytes: encoding as in the overview) into out (reset first).
// Done, or Failed with
//   "Line N of the CUE sheet has a time that is not mm:ss:ff." for an INDEX 00 or INDEX 01
//    that cannot be read,
//   "Line N of the CUE sheet has a track number that is not 1 to 255." for a TRACK whose
//    number is not a plain number in that range.
Outcome ParseCueSheet(std::string_view text, CueSheet& out);

// Reads the file at path and parses it. Failed with "Failed to open file \"path\"." when it
// is not a regular file or cannot be opened, "Failed to read file \"path\"." when a read
// fails, "\"path\" is too large for a CUE sheet." above kMaxCueSheetBytes, or the parse
// failure.
Outcome ReadCueSheet(const std::string& path, CueSheet& out);

// The pieces of sheet for the source at sourcePath (only its name is used) of the length and
// sample rate facts gives (facts.lengthTenths() is the length the rows cover, as the cutter
// page takes it). Each track's row starts at its INDEX 01, checked; its tag holds the track
// number, the track's title, its performer (the sheet's when it has none), the sheet's title
// as the album, its genre and its date as the year. A leading row for audio before the first
// track is unchecked and tagged with the sheet's fields alone (track 0, no title). A sheet of
// one track from 0:00 gives one row.
// Fails, with out empty, with:
//   "The CUE sheet names more than one file."
//   "The CUE sheet is for \"NAME\", not \"SOURCE NAME\"."
//   "The CUE sheet has no track."
//   "Track N of the CUE sheet has no INDEX 01."
//   "Track N of the CUE sheet does not start after track M." (M the track before it)
//   "Track N of the CUE sheet starts at T, not before the end of the file (END)." (positions
//    as the cutter page shows them: "4:12.0")
Outcome PlanCuePieces(const CueSheet& sheet, const std::string& sourcePath, const SourceFacts& facts,
                      CuePieces& out);


}  // namespace corvane
