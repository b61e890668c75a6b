// The cutter page's piece list: splits, moved boundaries, removal and reset keep the rows
// covering the whole file.
#include "engine/Cut.h"

#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace corvane {
namespace {

using Ranges = std::vector<std::pair<int, int>>;

std::vector<PieceEntry> Rows(const Ranges& ranges) {
    std::vector<PieceEntry> rows;
    for (const auto& [start, end] : ranges) rows.push_back({start, end, true, {}, {}, -1, {}});
    return rows;
}

Ranges RangesOf(const std::vector<PieceEntry>& rows) {
    Ranges ranges;
    for (const PieceEntry& row : rows) ranges.emplace_back(row.start, row.end);
    return ranges;
}

const Ranges kThree = {{0, 100}, {100, 200}, {200, 300}};

TEST(PieceList, OpeningMakesOnePieceOverTheWholeFile) {
    const auto rows = SinglePiece(300);
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 300}}));
    EXPECT_TRUE(rows[0].checked);
    EXPECT_TRUE(CoversWhole(rows, 300));
}

TEST(PieceList, SplitAtAPieceBoundaryChangesNothing) {
    auto rows = SinglePiece(300);
    EXPECT_EQ(SplitPieceAt(rows, 0), -1);
    EXPECT_EQ(SplitPieceAt(rows, 300), -1);
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 300}}));
}

TEST(PieceList, SplitInsertsTheLaterPartCheckedAfterTheRow) {
    auto rows = Rows({{0, 100}, {100, 300}});
    rows[1].checked = false;
    rows[1].output = "a-2.mp3";
    EXPECT_EQ(SplitPieceAt(rows, 250), 2);
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 100}, {100, 250}, {250, 300}}));
    EXPECT_TRUE(rows[2].checked);
    EXPECT_FALSE(rows[1].checked);
    EXPECT_EQ(rows[1].output, "");
}

TEST(PieceList, SetEndBeyondTheNextPieceSwallowsIt) {
    auto rows = Rows(kThree);
    const PieceEditResult r = SetPieceEnd(rows, 0, 250);
    EXPECT_EQ(r.status, PieceEdit::Changed);
    EXPECT_EQ(r.selected, 0);
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 250}, {250, 300}}));
}

TEST(PieceList, SetEndAtTheNextPiecesEndDeletesIt) {
    auto rows = Rows(kThree);
    EXPECT_EQ(SetPieceEnd(rows, 0, 200).status, PieceEdit::Changed);
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 200}, {200, 300}}));
}

TEST(PieceList, SetEndInsideThePieceMovesTheNextStart) {
    auto rows = Rows(kThree);
    SetPieceEnd(rows, 0, 50);
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 50}, {50, 200}, {200, 300}}));
    auto last = Rows(kThree);
    SetPieceEnd(last, 2, 250);
    EXPECT_EQ(RangesOf(last), (Ranges{{0, 100}, {100, 200}, {200, 250}, {250, 300}}));
}

TEST(PieceList, SetEndRefusesPositionsAtOrBeforeTheStart) {
    auto rows = Rows(kThree);
    EXPECT_EQ(SetPieceEnd(rows, 1, 100).status, PieceEdit::EndNotAfterStart);
    EXPECT_EQ(SetPieceEnd(rows, 1, 50).status, PieceEdit::EndNotAfterStart);
    EXPECT_EQ(SetPieceEnd(rows, 1, 200).status, PieceEdit::Unchanged);
    EXPECT_EQ(RangesOf(rows), kThree);
}

TEST(PieceList, SetStartOnTheFirstPieceSelectsTheLaterPart) {
    auto rows = SinglePiece(300);
    const PieceEditResult r = SetPieceStart(rows, 0, 120);
    EXPECT_EQ(r.status, PieceEdit::Changed);
    EXPECT_EQ(r.selected, 1);
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 120}, {120, 300}}));
}

TEST(PieceList, SetStartInsideALaterPieceMovesThePreviousEnd) {
    auto rows = Rows(kThree);
    EXPECT_EQ(SetPieceStart(rows, 1, 150).selected, 1);
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 150}, {150, 200}, {200, 300}}));
}

TEST(PieceList, SetStartBeforeThePieceSwallowsWhatItPasses) {
    auto rows = Rows(kThree);
    PieceEditResult r = SetPieceStart(rows, 2, 50);
    EXPECT_EQ(r.selected, 1);
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 50}, {50, 300}}));
    rows = Rows(kThree);
    r = SetPieceStart(rows, 2, 0);
    EXPECT_EQ(r.selected, 0);
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 300}}));
}

TEST(PieceList, SetStartRefusesPositionsAtOrAfterTheEnd) {
    auto rows = Rows(kThree);
    EXPECT_EQ(SetPieceStart(rows, 0, 100).status, PieceEdit::StartNotBeforeEnd);
    EXPECT_EQ(SetPieceStart(rows, 0, 0).status, PieceEdit::Unchanged);
    EXPECT_EQ(RangesOf(rows), kThree);
}

TEST(PieceList, RemovingGivesTheRangeToANeighbour) {
    auto rows = Rows(kThree);
    EXPECT_EQ(RemovePiece(rows, 0), 0);
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 200}, {200, 300}}));
    rows = Rows(kThree);
    EXPECT_EQ(RemovePiece(rows, 2), 1);
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 100}, {100, 300}}));
    auto one = SinglePiece(300);
    EXPECT_EQ(RemovePiece(one, 0), -1);
    EXPECT_EQ(RangesOf(one), (Ranges{{0, 300}}));
}

TEST(PieceList, ResetKeepsOnePieceOverTheWholeFile) {
    auto rows = Rows(kThree);
    EXPECT_TRUE(ResetPieces(rows, 300));
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 300}}));
    EXPECT_FALSE(ResetPieces(rows, 300));
}

TEST(PieceList, ExactEndsFollowTheRowsThatStillEndThere) {
    auto rows = Rows(kThree);
    rows[0].endSample = 441000;
    rows[1].endSample = 882000;
    rows[1].tags = TagFields{2, "Second", "", "", "", "", ""};

    const int later = SplitPieceAt(rows, 150);  // the part after the split ends where row 1 did
    EXPECT_EQ(rows[1].endSample, -1);
    EXPECT_EQ(rows[static_cast<size_t>(later)].endSample, 882000);
    EXPECT_FALSE(rows[static_cast<size_t>(later)].tags.has_value());

    RemovePiece(rows, later);  // row 1 takes the removed row's range and its exact end
    EXPECT_EQ(rows[1].endSample, 882000);
    EXPECT_EQ(rows[0].endSample, 441000);

    ResetPieces(rows, 300);
    EXPECT_EQ(rows[0].endSample, -1);
    EXPECT_FALSE(rows[0].tags.has_value());
}

// 44100 Hz: tenth 100 is frame 441000.
TEST(PieceList, AnEndSetAtASampleIsKeptExactly) {
    auto rows = Rows(kThree);
    rows[0].output = "a-1.mp3";
    EXPECT_EQ(PieceEndSample(rows[0], 44100), 441000);
    // Within its own tenth only the exact end moves.
    PieceEditResult r = SetPieceEndSample(rows, 0, 441000 + 1000, 44100);
    EXPECT_EQ(r.status, PieceEdit::Changed);
    EXPECT_EQ(RangesOf(rows), kThree);
    EXPECT_EQ(rows[0].endSample, 442000);
    EXPECT_EQ(rows[0].output, "");
    EXPECT_EQ(PieceEndSample(rows[0], 44100), 442000);
    EXPECT_EQ(SetPieceEndSample(rows, 0, 442000, 44100).status, PieceEdit::Unchanged);
    // Past the next piece's end it swallows it, as Set End does, and ends at the nearest tenth.
    r = SetPieceEndSample(rows, 0, 2 * 441000 + 2300, 44100);
    EXPECT_EQ(r.status, PieceEdit::Changed);
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 201}, {201, 300}}));
    EXPECT_EQ(rows[0].endSample, 884300);
    EXPECT_EQ(SetPieceEndSample(rows, 1, 441000, 44100).status, PieceEdit::EndNotAfterStart);
}

TEST(PieceList, AMovedBoundaryStopsShortOfTheNeighbouringOnes) {
    auto rows = Rows(kThree);
    rows[1].endSample = 2 * 441000 - 500;
    PieceEditResult r = MoveBoundaryToSample(rows, 0, 441000 - 1152, 44100);
    EXPECT_EQ(r.status, PieceEdit::Changed);
    EXPECT_EQ(RangesOf(rows), kThree);
    EXPECT_EQ(rows[0].endSample, 441000 - 1152);
    r = MoveBoundaryToSample(rows, 0, 441000 + 44100, 44100);
    EXPECT_EQ(RangesOf(rows), (Ranges{{0, 110}, {110, 200}, {200, 300}}));
    EXPECT_EQ(rows[1].endSample, 2 * 441000 - 500);
    // Not onto or past the next boundary (exact) or the row's start, nor after the last row.
    const auto before = RangesOf(rows);
    for (const auto& [row, sample] : std::vector<std::pair<int, int64_t>>{
             {0, 2 * 441000 - 500}, {0, 2 * 441000 - 400}, {0, 0}, {1, 441000 + 44100}, {2, 441000}, {1, 3 * 441000}})
        EXPECT_EQ(MoveBoundaryToSample(rows, row, sample, 44100).status, PieceEdit::Unchanged) << row << " " << sample;
    EXPECT_EQ(RangesOf(rows), before);
}

TEST(PieceList, EveryEditKeepsTheFileCovered) {
    const int total = 300;
    for (int p = 0; p <= total; p += 5) {
        for (int a = 0; a < 3; ++a) {
            auto rows = Rows(kThree);
            SetPieceEnd(rows, a, p);
            EXPECT_TRUE(CoversWhole(rows, total)) << "end " << a << " " << p;
            rows = Rows(kThree);
            SetPieceStart(rows, a, p);
            EXPECT_TRUE(CoversWhole(rows, total)) << "start " << a << " " << p;
        }
    }
    EXPECT_FALSE(CoversWhole(Rows({{0, 100}, {120, 300}}), total));
    EXPECT_FALSE(CoversWhole({}, total));
}

}  // namespace
}  // namespace corvane
