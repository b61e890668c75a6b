// Names and ID3v2 tags of the pieces a cut writes and of joined targets.
//
// Name templates. A piece's file name comes from the user's template, expanded in a fixed
// order, each step replacing every occurrence: "%F%" the source's base name (its file name
// without its extension, PieceBaseName); then "%P%" piece index, "%T%" piece count, "%S%"
// sequence number, each zero-padded to the digit count ("%0*d"; a longer number is written
// whole); then, only when one of them is present, the tag fields "%I%" title, "%A%" artist,
// "%L%" album, "%Y%" year, "%G%" genre, "%N%" track number, in one pass; then every character
// of \ / : * ? " < > | and NUL becomes a space; last a name that would be empty, "." or ".."
// is made safe (SafeNameComponent), and so is one that is an extension alone (".mp3" from an
// empty title, a hidden file without a name), which becomes "_.mp3". Because of that order a "%P%" inside the base name is
// numbered, while a tag value that reads like a placeholder stays as it is, and a template
// cannot make folders.
//
// Title templates: "%I%" source title, "%P%", "%T%", "%S%" (padded likewise), "%F%" base
// name, in that order; no characters are replaced.
//
// Tags. The bytes are LAME's ID3v2.3 tag: its own frame layout, its encoder frame (TSSE)
// first, no padding. Plain ASCII texts are given to LAME as they are; any other text is
// given as UTF-16, so it reads back exactly with any tag reader (never as Latin-1 bytes of
// UTF-8). Pitfall: setting up a LAME encoder costs about half a millisecond, far more than
// the tag itself, so each thread keeps one encoder, set up on first use, and only resets its
// tag fields per tag; the bytes equal those of a fresh encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Options.h"
#include "engine/Facts.h"

namespace corvane {

// What the cutter learnt about its source for the pieces' tags (filled by the cutter when it
// loads the source).
struct PieceTagSource {
    bool keepTag = false;            // KeepID3tag: off gives no tag at all
    std::string titleTemplate;       // ID3TitleFormat
    TrackNumber trackMode = TrackNumber::Original;  // ID3TrackNumType
    int sourceTrack = 0;             // the source tag's track number, 0 when none
    std::string sourceTitle;
    std::string sourceArtist;
    std::string sourceAlbum;
    std::string sourceYear;
    std::string sourceGenre;
    std::string sourceComment;
    std::string baseName;            // PieceBaseName of the source path
};

// Digits of the automatic width: the characters of count written as an unsigned decimal
// (9 gives 1, 10 gives 2, 102 gives 3).
int AutomaticDigits(int count);

// value written with "%0*d": zero-padded to digits, whole when longer; digits below 1 pad
// nothing.
std::string FormatPieceNumber(int value, int digits);

// The source's file name without its extension: ".mp3" in any case, or the text after the
// last "." when it is at most three characters ("/m/live.MP3" gives "live", "a.wav" gives
// "a", "a.flac" and "notes" stay whole). A multi-byte character is never cut.
std::string PieceBaseName(const std::string& sourcePath);

// name, unless it is empty, "." or "..", which would name the folder itself or its parent:
// those become "_", "_" and "__".
std::string SafeNameComponent(std::string name);

// Expands a name template (see the overview). digits is used as given (MakePieceTarget
// passes FilenameDigitNumber, or AutomaticDigits (count) when that is 0). sourcePath: the
// file whose tag fills the tag placeholders (read only when one is present); nullptr for
// the preview, which shows "Title", "Artist", "Album", "Year", "Genre" and "9".
std::string ExpandNameTemplate(const std::string& nameTemplate, const std::string& baseName,
                               const std::string* sourcePath, int index, int count,
                               int sequence, int digits);

// The same with the tag placeholders filled from tags (a piece's own record, such as a CUE
// sheet's track) instead of a source file's tag.
std::string ExpandNameTemplate(const std::string& nameTemplate, const std::string& baseName, const TagFields& tags,
                               int index, int count, int sequence, int digits);

// Expands a title template (see the overview). digits below 1 means AutomaticDigits (count).
std::string ExpandTitleTemplate(const std::string& titleTemplate, const std::string& title,
                                const std::string& baseName, int index, int count,
                                int sequence, int digits);

// Renders LAME's ID3v2 tag of these fields; empty texts and a track of 0 give no frame. A
// genre may be a name or an ID3v1 number; a name LAME knows is written in LAME's spelling,
// any other name as it is; a number outside 0..147 gives no genre frame. Returns the tag
// bytes, or an empty vector when LAME cannot render one (never throws). Thread-safe: each
// thread uses its own encoder.
std::vector<uint8_t> BuildId3v2Tag(const std::string& title, const std::string& artist,
                                   const std::string& album, const std::string& year,
                                   const std::string& comment, const std::string& genre,
                                   int track);

// tag (as BuildId3v2Tag renders it) without the TSSE frame in which LAME names itself: the
// tag of a file whose frames LAME did not encode (frame-copied pieces and joins). A tag left
// without frames becomes empty.
std::vector<uint8_t> WithoutEncoderFrame(const std::vector<uint8_t>& tag);

// The tag of piece index of count: empty when keepTag is off; otherwise the source's
// fields with the title from the title template (titleDigits below 1: automatic) and the
// track number: none for TrackNumber::None, index for Sequence, else the source's track number.
std::vector<uint8_t> BuildPieceTag(const PieceTagSource& source, int index, int count,
                                   int sequence, int titleDigits);

}  // namespace corvane
