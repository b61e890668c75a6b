// A file list that sorts itself by the clicked column.
#include "ui/widgets/SortListCtrl.h"

#include <QHeaderView>

#include <algorithm>
#include <cmath>
#include <vector>

namespace corvane {
namespace {

constexpr int kCellTextLimit = 259;  // cells compare by their first 259 characters
constexpr double kUnitStep = 1024.0;

// The item of one row, carrying the row's slot.
class CSortListItem : public QTreeWidgetItem {
public:
    RowSlot slot;
};

CSortListItem* ItemOf(QTreeWidgetItem* item) { return static_cast<CSortListItem*>(item); }

// The decimal number at the start of text (blanks skipped, optional sign and fraction);
// *rest receives the index after it. 0 when there is none.
double LeadingNumber(const QString& text, int* rest = nullptr) {
    int i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    const int start = i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    while (i < text.size() && text[i].isDigit()) ++i;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i].isDigit()) ++i;
    }
    if (rest != nullptr) *rest = i;
    bool ok = false;
    const double v = text.mid(start, i - start).toDouble(&ok);
    return ok ? v : 0.0;
}

double SizeValue(const QString& text) {
    int i = 0;
    double v = LeadingNumber(text, &i);
    if (i < text.size() && text[i] == ' ') ++i;
    if (i < text.size()) {
        switch (text[i].toUpper().unicode()) {
            case 'T': v *= kUnitStep; [[fallthrough]];
            case 'G': v *= kUnitStep; [[fallthrough]];
            case 'M': v *= kUnitStep; [[fallthrough]];
            case 'K': v *= kUnitStep; break;
            default: break;
        }
    }
    return v;
}

// Seconds of "m:ss" or "h:mm:ss"; false for a text without ":".
bool DurationValue(const QString& text, double* seconds) {
    if (!text.contains(':')) return false;
    const QStringList parts = text.split(':');
    double total = 0;
    for (const QString& part : parts) total = total * 60 + LeadingNumber(part);
    *seconds = total;
    return true;
}

int Sign(double d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

}  // namespace

CSortListCtrl::CSortListCtrl(QWidget* parent) : QTreeWidget(parent) {
    kinds_.fill(SortKind::Text);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    header()->setSectionsClickable(true);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this, &CSortListCtrl::SortByColumn);
}

void CSortListCtrl::SetSortKind(int column, SortKind kind) {
    if (column >= 0 && column < kMaxSortColumns) kinds_[column] = kind;
}

SortKind CSortListCtrl::GetSortKind(int column) const {
    return column >= 0 && column < kMaxSortColumns ? kinds_[column] : SortKind::Text;
}

int CSortListCtrl::InsertRow(const QString& text) {
    auto* item = new CSortListItem;
    item->setText(0, text);
    addTopLevelItem(item);
    const int row = topLevelItemCount() - 1;
    item->slot.row = row;
    return row;
}

void CSortListCtrl::SetRecord(int row, FileEntry* record) {
    if (QTreeWidgetItem* item = topLevelItem(row)) ItemOf(item)->slot.record = record;
}

FileEntry* CSortListCtrl::Record(int row) const {
    QTreeWidgetItem* item = topLevelItem(row);
    return item != nullptr ? ItemOf(item)->slot.record : nullptr;
}

void CSortListCtrl::SetCell(int row, int column, const QString& text) {
    if (QTreeWidgetItem* item = topLevelItem(row)) item->setText(column, text);
}

QString CSortListCtrl::Cell(int row, int column) const {
    QTreeWidgetItem* item = topLevelItem(row);
    return item != nullptr ? item->text(column) : QString();
}

void CSortListCtrl::DeleteRow(int row) { delete takeTopLevelItem(row); }

void CSortListCtrl::DeleteAllRows() { clear(); }

int CSortListCtrl::CompareCells(SortKind kind, const QString& a, const QString& b) {
    switch (kind) {
        case SortKind::Number: return Sign(LeadingNumber(a) - LeadingNumber(b));
        case SortKind::Size: return Sign(SizeValue(a) - SizeValue(b));
        case SortKind::Duration: {
            double x = 0, y = 0;
            if (!DurationValue(a, &x) || !DurationValue(b, &y)) return 0;
            return Sign(x - y);
        }
        case SortKind::Text:
        default: return QString::localeAwareCompare(a, b);
    }
}

void CSortListCtrl::SortByColumn(int column) {
    ascending_ = column != sortedColumn_ || !ascending_;
    sortedColumn_ = column;
    std::vector<QTreeWidgetItem*> items;
    while (topLevelItemCount() > 0) items.push_back(takeTopLevelItem(0));
    for (size_t i = 0; i < items.size(); ++i) ItemOf(items[i])->slot.row = static_cast<int32_t>(i);
    const SortKind kind = GetSortKind(column);
    // A stable merge sort: a text without ":" in a duration column compares equal to
    // anything, which is not an ordering that an unguarded quicksort may be given.
    std::stable_sort(items.begin(), items.end(), [&](QTreeWidgetItem* x, QTreeWidgetItem* y) {
        const int c = CompareCells(kind, x->text(column).left(kCellTextLimit),
                                   y->text(column).left(kCellTextLimit));
        return ascending_ ? c < 0 : c > 0;
    });
    for (QTreeWidgetItem* item : items) addTopLevelItem(item);
    for (int i = 0; i < topLevelItemCount(); ++i) ItemOf(topLevelItem(i))->slot.row = i;
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column, ascending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
}

std::vector<int> CSortListCtrl::SelectedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < RowCount(); ++row)
        if (topLevelItem(row)->isSelected()) rows.push_back(row);
    return rows;
}

void CSortListCtrl::SwapRows(int a, int b) {
    QTreeWidgetItem* x = topLevelItem(a);
    QTreeWidgetItem* y = topLevelItem(b);
    for (int column = 0; column < columnCount(); ++column) {
        const QString text = x->text(column);
        x->setText(column, y->text(column));
        y->setText(column, text);
    }
    FileEntry* record = Record(a);
    SetRecord(a, Record(b));
    SetRecord(b, record);
    const bool selected = x->isSelected();
    x->setSelected(y->isSelected());
    y->setSelected(selected);
    QTreeWidgetItem* current = currentItem();
    if (current == x || current == y) setCurrentItem(current == x ? y : x, 0, QItemSelectionModel::NoUpdate);
}

bool CSortListCtrl::MoveSelectedRows(int step) {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty() || step == 0) return false;
    if (step < 0) {
        if (rows.front() == 0) return false;
        for (int row : rows) SwapRows(row, row - 1);
        scrollToItem(topLevelItem(rows.front() - 1));
    } else {
        if (rows.back() == RowCount() - 1) return false;
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) SwapRows(*it, *it + 1);
        scrollToItem(topLevelItem(rows.back() + 1));
    }
    return true;
}

}  // namespace corvane
