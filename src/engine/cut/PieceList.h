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
#pragma once

#include <vector>

#include "engine/cut/CutPlans.h"

namespace corvane {

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
