// CValueList: entries that carry their stored numbers.
#include "ui/widgets/ValueList.h"

#include <QSignalBlocker>

#include "audio/EncodingParams.h"
#include "engine/Options.h"

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

void CValueList::AddSampleRates() { AddFormatted(kSampleRateFormat, kSampleRates); }

void CValueList::AddBitrates() { AddFormatted(kBitrateFormat, kBitrates); }

void CValueList::AddChannelModes() {
    for (const ChannelModeChoice& choice : kChannelModeChoices) AddEntry(QString::fromLatin1(choice.text), choice.channelMode);
}

void CValueList::AddOutputFolders() {
    AddEntry(QStringLiteral("Same as source file"), static_cast<int>(OutputFolder::SameAsSource));
    AddEntry(QStringLiteral("Specific folder"), static_cast<int>(OutputFolder::Specific));
}

void CValueList::AddTargetExistsRules(const char* skipText) {
    AddEntry(QStringLiteral("Rename automatically (add number at end of file name)"),
             static_cast<int>(TargetExists::Rename));
    AddEntry(QStringLiteral("Overwrite"), static_cast<int>(TargetExists::Overwrite));
    AddEntry(QString::fromLatin1(skipText), static_cast<int>(TargetExists::Skip));
}

int CValueList::Value(int fallback) const {
    const int index = currentIndex();
    return index >= 0 ? itemData(index).toInt() : fallback;
}

}  // namespace corvane
