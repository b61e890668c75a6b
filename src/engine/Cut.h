// The cut, as every front end asks for it: one request (a rule, the options, the sources)
// and one entry point, RunCut.
//
// A rule is planned once per source into the steps a cut takes (pieces and stretches skipped,
// each piece named, numbered and tagged before anything is written); the steps run one after
// another on the calling thread, or, when the pieces are re-encoded and more than one job is
// asked for, side by side on worker threads with the same bytes, names and tags.
//
// The pieces of a source are written under temporary names and take their names together
// when the source is done, so files that stood at those names stay untouched until then, and
// a cancel or a failure leaves the folder as it was. No piece replaces a source of the cut,
// and no two pieces of one cut share a name.
//
// Lengths are tenths of a second, or whole seconds for a batch's sources, 64-bit, so sources
// of many hours are divided without overflow. A rule that would make more pieces than an int
// counts is refused as a piece too small.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Facts.h"
#include "engine/Options.h"
#include "engine/Progress.h"

namespace corvane {

// One row of the custom piece list: times in tenths of a second.
//
// Rows found in the audio (silences, a CUE sheet's INDEX 01 times) know where they end more
// exactly than tenths tell: endSample, when not -1, is that end in sample frames of the
// timeline a gapless decoder plays (from the first sample it plays), and the row is cut or
// skipped up to there rather than by its duration. A row without one is cut by its duration in tenths from where
// the reader stands. tags, when set, is the piece's own tag record, used for its tag and its
// name's tag placeholders instead of the source's.
struct PieceEntry {
    int start = 0;
    int end = 0;
    bool checked = true;
    std::string path;    // filled with the piece's full path when it is written
    std::string output;  // the file name of the piece written, for the list to show
    int64_t endSample = -1;
    std::optional<TagFields> tags;
};

// The multiplier of a size unit; 1 for an unknown value.
uint64_t SizeUnitMultiplier(SizeUnit unit);

// The leading decimal number of text ("1.5MB" gives 1.5, "abc" gives 0), whatever the locale.
double ReadDecimal(const std::string& text);

// The size text read as a decimal number times the unit's multiplier, truncated.
uint64_t ParsePieceSize(const std::string& text, SizeUnit unit);

// What makes a quiet stretch a silence to split at.
constexpr double kDefaultSilenceThresholdDb = -48.0;
constexpr double kDefaultSilenceSeconds = 1.0;
struct SilenceOptions {
    double thresholdDb = kDefaultSilenceThresholdDb;  // dBFS; a window under it is quiet
    double minSeconds = kDefaultSilenceSeconds;       // the shortest silence that splits
};

// One silence as the search finds it: its quiet windows cover sample frames [first, end) of
// the timeline a gapless decoder plays, and it splits at middle (first plus half its length,
// truncated).
struct SilenceSpan {
    uint64_t first = 0;
    uint64_t end = 0;
    uint64_t middle = 0;
    bool operator==(const SilenceSpan&) const = default;
};

struct PeakMap;
// The silences FindSilencePieces splits at (neither leading nor trailing, at least
// options.minSeconds long), in order, from the loudness windows of map (engine/Peaks.h); none
// when the map holds no windows.
std::vector<SilenceSpan> SilencesInMap(const PeakMap& map, const SilenceOptions& options);

// How a source is cut.
struct CutRule {
    enum class Kind {
        Size,     // pieces of sizeText sizeUnit (at the output bit rate when re-encoding)
        Count,    // count pieces of equal length
        Time,     // pieces of minutes:seconds
        Pieces,   // the custom rows of pieces (a single cut); their outputs are filled in
        Points,   // rows 0..points[0], points[0]..points[1], ..., the last to the end; with
                  // only, just those 1-based rows are written (a single cut)
        Range,    // one piece from beginText seconds, lengthText seconds long (0: to the end)
        Silence,  // the pieces between the silences of silence
        Cue,      // one piece per track of the CUE sheet cueSheet, tagged as the track
        Chapters, // one piece per chapter of the source's tag, tagged as a CUE track is
    };
    Kind kind = Kind::Count;
    std::string sizeText;
    SizeUnit sizeUnit = SizeUnit::MB;
    int count = 2;
    int minutes = 0;
    int seconds = 0;
    std::vector<PieceEntry> pieces;
    // The pieces are a CUE sheet's tracks (and the audio before the first): numbered by the
    // pieces written, and one piece is enough.
    bool tracks = false;
    std::vector<int> points;  // tenths
    std::vector<int> only;
    std::string beginText;
    std::string lengthText = "0";
    SilenceOptions silence;
    std::string cueSheet;
};

// A source of a cut: its path and, when the front end has read them already, its facts (else
// the cut reads them; a source the reader refuses fails with "Failed to load file \"%s\".").
struct CutSource {
    std::string path;
    std::optional<SourceFacts> facts;
};

// A cut: one source (a single cut: the cutter page's checks, pieces numbered per source) or
// a batch (the batch cutter's checks, sequence numbers running over the whole batch from 1,
// options.firstPiecesOnly honoured).
//
// jobs: how many pieces or files a re-encoding cut encodes at once, on as many worker
// threads (1 cuts one piece after another on the calling thread). The pieces, their names and
// tags are the same whatever the number; frame-copy cuts always run on the calling thread.
struct CutRequest {
    CutRule rule;
    CutterOptions options;
    std::vector<CutSource> sources;
    bool batch = false;
    int jobs = DefaultJobs();
};

// What a front end shows of a cut. Every call comes on the thread that called RunCut, in
// source order.
class ICutObserver {
public:
    virtual ~ICutObserver() = default;
    // The source is the one being cut now: the dialog's bar is its own from here on.
    virtual void OnSourceStarted(size_t index) = 0;
    // The source ended: its outcome, and the full paths of the pieces it left (empty unless
    // some were published).
    virtual void OnSourceDone(size_t index, const Outcome& outcome, const std::vector<std::string>& pieces) = 0;
};

// Cuts every source of request by its rule. A single cut returns its source's outcome. Done:
// the pieces asked for are written. Failed: the message is the text to show (a batch page
// shows it as "Failure: %s"): a check of the rule, "Failed to load file \"%s\".", a naming
// failure (the pieces written before are kept), or a piece's own failure such as "Failed to
// write file \"%s\"." on a full disk, after which nothing of the source is left. Cancelled
// (the dialog's flag): nothing of the current source is left. A batch returns Cancelled when
// it was stopped (the sources after the one cut then are not reported), else Done whatever
// each source's own outcome. With the Pieces rule, request.rule.pieces' rows show what was
// written. dialog and observer may be null.
Outcome RunCut(CutRequest& request, IProgressDialog* dialog, ICutObserver* observer = nullptr);

// The name and the title piece index of count (its sequence number the same) of a source
// whose base name is baseName and whose title is title would get under the options' name
// and title templates, for a preview: the tag placeholders of the name show as "Title",
// "Artist", "Album", "Year", "Genre" and "9". The name's digits are the options' (1 when
// automatic), the title's as the cut takes them.
std::string PreviewPieceName(const CutterOptions& options, const std::string& baseName, int index, int count);
std::string PreviewPieceTitle(const CutterOptions& options, const std::string& title, const std::string& baseName,
                              int index, int count);

// The custom piece list of a source from its silences: the rows between the silences of
// source under options, each ending at the frame that reaches its split point, with the
// dialog's bar showing the search. totalTenths: the source's length as the list shows it
// (-1: the decoded length). Failed with "No silence found to cut at." when there is none.
Outcome FindSilencePieces(const std::string& source, const SilenceOptions& options, IProgressDialog* dialog,
                          int totalTenths, std::vector<PieceEntry>& rows);

// The custom piece list of a source from a CUE sheet: one row per track, tagged as the track.
struct CuePieces {
    std::vector<PieceEntry> rows;          // cover 0 to the file's length in tenths, in order;
                                           // each with its tag and (but the last) its exact
                                           // end: the next row's startFrames
    std::vector<TagFields> tags;           // one per row
    std::vector<uint64_t> startFrames;     // where each row's track starts (its INDEX 01), in
                                           // sample frames to the nearest one; 0 for a leading
                                           // row (its tenths are for showing; the exact ends
                                           // are what is cut)
};
// Reads the sheet, the source's facts ("Failed to load file \"sourcePath\"." when the reader
// refuses it), then the rows; fails with the sheet's own messages.
Outcome LoadCuePieces(const std::string& sheetPath, const std::string& sourcePath, CuePieces& out);

// The custom piece list of a source from the chapters of its tag (ReadChapters): one
// checked row per chapter, from its start to the next chapter's, each but the last with its
// exact end (the next chapter's start in samples, or its own end when a gap follows), the
// last to the end of the file; the stretch before the first chapter, gaps between chapters
// and the rest after a last chapter that ends early are unchecked rows. Each row carries the
// source's tag with the chapter's title and its number (1 on) as the track; the unchecked ones
// the source's tag as it is. Rows of chapters that start at or after the end of the file, or
// less than a tenth after the row before, are left out. sampleRate, lengthTenths and the
// source's tag are the source's.
std::vector<PieceEntry> ChapterPieceRows(const std::vector<Chapter>& chapters, int sampleRate, int lengthTenths,
                                         const TagFields& sourceTags);
// Reads the source's facts ("Failed to load file \"sourcePath\"." when the reader refuses
// it), tag and chapters, then the rows; fails with kNoChapters when the file has none.
constexpr const char* kNoChapters = "The file has no chapters to cut at.";
Outcome LoadChapterPieces(const std::string& sourcePath, std::vector<PieceEntry>& rows);

// The custom piece list of the cutter page as pure operations over its rows.
//
// While a file is open the rows cover the whole file in order, without gaps or overlaps: the
// first row starts at 0, each row ends where the next one starts, the last row ends at the
// file's length, and every row's start lies below its end (CoversWhole checks exactly this).
// Every operation here keeps that true. Times are tenths of a second. A row whose start or end
// an operation moves loses its output (path and "Output" cell): the piece it named is no
// longer the piece in the row. Rows an operation makes are checked.
//
// Exact ends (PieceEntry::endSample) and tag records follow the rows: a row whose end an
// operation moves loses its exact end, the part after a split keeps the row's old one (and no
// tag record), a row that takes a removed row's range takes its exact end too, and Reset
// leaves one row without either.
//
// The page keeps one selected row (or none, -1); operations that move the selection return
// the row to select.

// True when rows cover 0 to total as described above (an empty list never does).
bool CoversWhole(const std::vector<PieceEntry>& rows, int total);

// The one row of a freshly opened file: 0 to total, checked.
std::vector<PieceEntry> SinglePiece(int total);

// Index of the first row whose piece contains p (start <= p <= end), -1 when none does.
int FindPieceAt(const std::vector<PieceEntry>& rows, int p);

// Splits the first row containing p at p: that row ends at p and a new checked row from p to
// its old end follows it. Returns the new row's index, or -1 (nothing changed) when no row
// contains p or p is that row's start or end.
int SplitPieceAt(std::vector<PieceEntry>& rows, int p);

enum class PieceEdit {
    Changed,            // rows changed; the result's selected row is the one to select
    Unchanged,          // p was already the boundary asked for
    EndNotAfterStart,   // Set End at or before the piece's start: refused, nothing changed
    StartNotBeforeEnd,  // Set Start at or after the piece's end: refused, nothing changed
};

struct PieceEditResult {
    PieceEdit status = PieceEdit::Unchanged;
    int selected = -1;  // the selected row after the edit (the given one unless it moved)
};

// Moves the end of the selected row to p. Inside the selected piece the next piece (or, for
// the last row, a new last piece) starts at p; beyond it, the rows p passes are deleted and
// the row containing p starts at p (or goes too when p is its end). selected must be a valid
// row index.
PieceEditResult SetPieceEnd(std::vector<PieceEntry>& rows, int selected, int p);

// Where row ends in sample frames of a source at sampleRate: its exact end, else its end in
// tenths as a frame copy ends it (truncated to a frame).
int64_t PieceEndSample(const PieceEntry& row, int sampleRate);

// The tenth nearest to sample frame sample at sampleRate (a half rounds up).
int NearestTenth(int64_t sample, int sampleRate);

// Set End of the selected row at sample frame sample of a source at sampleRate, kept exactly:
// SetPieceEnd at the nearest tenth, after which the row ends at sample (its endSample).
// Changed also when only the exact end moved within its tenth. sampleRate must be positive.
PieceEditResult SetPieceEndSample(std::vector<PieceEntry>& rows, int selected, int64_t sample, int sampleRate);

// Moves the boundary between rows r and r + 1 to sample frame sample, kept exactly, without
// passing another boundary: row r ends at sample (and at its nearest tenth) and row r + 1
// starts at that tenth. Changed when it moved; Unchanged, with nothing changed, when it lies
// there already, when r + 1 is no row, or when sample (or its tenth) would not lie after row
// r's start and before row r + 1's end.
PieceEditResult MoveBoundaryToSample(std::vector<PieceEntry>& rows, int r, int64_t sample, int sampleRate);

// Moves the start of the selected row to p. Before the selected piece, the rows p passes are
// deleted and the row containing p ends at p (or goes too when p is its start); inside it, the
// previous piece ends at p, and on the first row the piece is split at p and the part from p
// on becomes the selected row. selected must be a valid row index.
PieceEditResult SetPieceStart(std::vector<PieceEntry>& rows, int selected, int p);

// Deletes row r of two or more rows, giving its range to a neighbour: the next row when r is
// the first, else the previous one. Returns the neighbour's index after the deletion (the
// row to select); -1, with nothing changed, for fewer than two rows or a bad index.
int RemovePiece(std::vector<PieceEntry>& rows, int r);

// Keeps only the first row and makes it end at total. False, with nothing changed, for fewer
// than two rows.
bool ResetPieces(std::vector<PieceEntry>& rows, int total);

}  // namespace corvane
