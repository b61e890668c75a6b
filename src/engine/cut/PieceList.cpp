// The custom piece list of the cutter page as pure operations over its rows.
#include "engine/Cut.h"

namespace corvane {
namespace {

using Rows = std::vector<PieceEntry>;

constexpr int64_t kTenthsPerSecond = 10;

// The row's piece no longer is the piece written under its output name.
void Moved(PieceEntry& row) {
    row.path.clear();
    row.output.clear();
}

void SetStart(PieceEntry& row, int start) {
    if (row.start != start) Moved(row);
    row.start = start;
}

// A row whose end moves no longer ends at an exact place found in the audio.
void SetEnd(PieceEntry& row, int end) {
    if (row.end != end) {
        Moved(row);
        row.endSample = -1;
    }
    row.end = end;
}

// Deletes rows first to last - 1.
void EraseRows(Rows& rows, int first, int last) {
    if (first < last) rows.erase(rows.begin() + first, rows.begin() + last);
}

}  // namespace

bool CoversWhole(const Rows& rows, int total) {
    if (rows.empty() || rows.front().start != 0 || rows.back().end != total) return false;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].start >= rows[i].end) return false;
        if (i + 1 < rows.size() && rows[i].end != rows[i + 1].start) return false;
    }
    return true;
}

Rows SinglePiece(int total) {
    PieceEntry row;
    row.start = 0;
    row.end = total;
    row.checked = true;
    return {row};
}

int FindPieceAt(const Rows& rows, int p) {
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].start <= p && p <= rows[i].end) return static_cast<int>(i);
    }
    return -1;
}

int SplitPieceAt(Rows& rows, int p) {
    const int i = FindPieceAt(rows, p);
    if (i < 0 || p == rows[i].start || p == rows[i].end) return -1;
    PieceEntry later;
    later.start = p;
    later.end = rows[i].end;
    later.endSample = rows[i].endSample;
    later.checked = true;
    SetEnd(rows[i], p);
    rows.insert(rows.begin() + i + 1, later);
    return i + 1;
}

PieceEditResult SetPieceEnd(Rows& rows, int a, int p) {
    const int s = rows[a].start;
    const int e = rows[a].end;
    if (p <= s) return {PieceEdit::EndNotAfterStart, a};
    if (p == e) return {PieceEdit::Unchanged, a};
    const int i = FindPieceAt(rows, p);
    if (i < 0) return {PieceEdit::Unchanged, a};
    if (i == a) {
        if (a + 1 == static_cast<int>(rows.size())) {
            SplitPieceAt(rows, p);
        } else {
            SetEnd(rows[a], p);
            SetStart(rows[a + 1], p);
        }
    } else if (i > a) {
        SetEnd(rows[a], p);
        if (p < rows[i].end) {
            SetStart(rows[i], p);
            EraseRows(rows, a + 1, i);
        } else {
            EraseRows(rows, a + 1, i + 1);
        }
    }
    return {PieceEdit::Changed, a};
}

int64_t PieceEndSample(const PieceEntry& row, int sampleRate) {
    if (row.endSample >= 0) return row.endSample;
    return row.end <= 0 || sampleRate <= 0 ? 0 : int64_t{row.end} * sampleRate / kTenthsPerSecond;
}

int NearestTenth(int64_t sample, int sampleRate) {
    if (sample <= 0 || sampleRate <= 0) return 0;
    return static_cast<int>((sample * kTenthsPerSecond * 2 + sampleRate) / (int64_t{2} * sampleRate));
}

PieceEditResult SetPieceEndSample(Rows& rows, int a, int64_t sample, int sampleRate) {
    PieceEditResult result = SetPieceEnd(rows, a, NearestTenth(sample, sampleRate));
    if (result.status == PieceEdit::EndNotAfterStart) return result;
    if (rows[a].end != NearestTenth(sample, sampleRate)) return result;  // past the last row
    if (rows[a].endSample != sample) {
        rows[a].endSample = sample;
        Moved(rows[a]);
        result.status = PieceEdit::Changed;
    }
    return result;
}

PieceEditResult MoveBoundaryToSample(Rows& rows, int r, int64_t sample, int sampleRate) {
    const PieceEditResult unchanged{PieceEdit::Unchanged, r};
    if (r < 0 || r + 1 >= static_cast<int>(rows.size()) || sample <= 0) return unchanged;
    const int p = NearestTenth(sample, sampleRate);
    PieceEntry& row = rows[r];
    PieceEntry& next = rows[r + 1];
    const int64_t nextEnd = r + 2 < static_cast<int>(rows.size()) ? PieceEndSample(next, sampleRate) : INT64_MAX;
    const int64_t start = r > 0 ? PieceEndSample(rows[r - 1], sampleRate) : 0;
    if (p <= row.start || p >= next.end || sample <= start || sample >= nextEnd) return unchanged;
    if (row.endSample == sample && row.end == p) return unchanged;
    SetEnd(row, p);
    SetStart(next, p);
    row.endSample = sample;
    Moved(row);
    return {PieceEdit::Changed, r};
}

PieceEditResult SetPieceStart(Rows& rows, int a, int p) {
    const int s = rows[a].start;
    const int e = rows[a].end;
    if (p == s) return {PieceEdit::Unchanged, a};
    if (p >= e) return {PieceEdit::StartNotBeforeEnd, a};
    const int i = FindPieceAt(rows, p);
    if (i < 0) return {PieceEdit::Unchanged, a};
    if (i < a) {
        int first = i + 1;  // the first row p passes over
        if (p > rows[i].start) {
            SetEnd(rows[i], p);
        } else {
            first = i;
        }
        EraseRows(rows, first, a);
        a = first;
        SetStart(rows[a], p);
    } else if (a > 0) {
        SetEnd(rows[a - 1], p);
        SetStart(rows[a], p);
    } else {
        SplitPieceAt(rows, p);
        a = 1;
    }
    return {PieceEdit::Changed, a};
}

int RemovePiece(Rows& rows, int r) {
    if (rows.size() < 2 || r < 0 || r >= static_cast<int>(rows.size())) return -1;
    int neighbour = 0;
    if (r == 0) {
        SetStart(rows[1], rows[0].start);
    } else {
        SetEnd(rows[r - 1], rows[r].end);
        rows[r - 1].endSample = rows[r].endSample;
        neighbour = r - 1;
    }
    rows.erase(rows.begin() + r);
    return neighbour;
}

bool ResetPieces(Rows& rows, int total) {
    if (rows.size() < 2) return false;
    rows.resize(1);
    SetEnd(rows[0], total);
    rows[0].tags.reset();
    return true;
}

}  // namespace corvane
