// CValueList: entries that carry their stored numbers.
#include "ui/widgets/ValueList.h"

#include <QSignalBlocker>

namespace corvane {

CValueList::CValueList(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) Q_EMIT ValueChosen(itemData(index).toInt());
    });
}

void CValueList::AddEntry(const QString& text, int value) { addItem(text, value); }

int CValueList::IndexOfValue(int value) const { return findData(value); }

bool CValueList::SelectValue(int value) {
    const int index = IndexOfValue(value);
    const QSignalBlocker quiet(this);
    setCurrentIndex(index >= 0 ? index : (count() > 0 ? 0 : -1));
    return index >= 0;
}

int CValueList::Value(int fallback) const {
    const int index = currentIndex();
    return index >= 0 ? itemData(index).toInt() : fallback;
}

}  // namespace corvane
