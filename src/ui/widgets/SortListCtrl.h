// A file list that sorts itself by the clicked column, as text, number, size or duration.
#pragma once

#include "ui/widgets/FileEntry.h"

#include <QString>
#include <QTreeWidget>

#include <array>
#include <vector>

namespace corvane {

enum class SortKind { Text, Number, Size, Duration };

class CSortListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int kMaxSortColumns = 100;  // columns 0..99 take a sort kind

    explicit CSortListCtrl(QWidget* parent = nullptr);

    // Sets the sort kind of column; columns from kMaxSortColumns on are ignored.
    void SetSortKind(int column, SortKind kind);
    SortKind GetSortKind(int column) const;

    // Appends a row whose first cell is text; returns its index. The row gets a slot with no
    // record.
    int InsertRow(const QString& text);
    // Attaches record to row (not owned), or reads it; nullptr for a row that does not exist.
    void SetRecord(int row, FileEntry* record);
    FileEntry* Record(int row) const;
    void SetCell(int row, int column, const QString& text);
    QString Cell(int row, int column) const;
    int RowCount() const { return topLevelItemCount(); }
    // The selected rows, in list order.
    std::vector<int> SelectedRows() const;
    // Moves the selected rows one place up (step -1) or down (step 1), each with its cells,
    // record and selection; the current row goes with them. Nothing moves when the first
    // selected row is already at the top (up) or the last at the bottom (down). Returns
    // whether rows moved.
    bool MoveSelectedRows(int step);
    // Deletes a row and its slot (not the record).
    void DeleteRow(int row);
    void DeleteAllRows();

    // What a click on the header of column does: ascending unless the sorted column is
    // clicked again while ascending, then the rows sorted by the column's kind.
    void SortByColumn(int column);
    int SortedColumn() const { return sortedColumn_; }
    bool Ascending() const { return ascending_; }

    // Compares two cell texts under kind: negative, zero or positive.
    static int CompareCells(SortKind kind, const QString& a, const QString& b);

private:
    // Exchanges rows a and b: cells, records, selection and the current row.
    void SwapRows(int a, int b);

    std::array<SortKind, kMaxSortColumns> kinds_{};
    int sortedColumn_ = -1;
    bool ascending_ = true;
};

}  // namespace corvane
