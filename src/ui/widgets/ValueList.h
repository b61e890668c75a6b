// CValueList: a drop-down list whose entries each carry the number the settings store.
//
// The options pages show lists of texts ("44100 Hz", "Overwrite") that stand for stored
// numbers (44100, 22). Each entry keeps its number as item data, so the page asks for the
// number of the selection and selects by number, never by position or by text.
#pragma once

#include <QComboBox>
#include <QString>

namespace corvane {

class CValueList : public QComboBox {
    Q_OBJECT
public:
    explicit CValueList(QWidget* parent = nullptr);

    // Appends an entry showing text that stands for value.
    void AddEntry(const QString& text, int value);
    // Appends "<format with %d replaced by value>" for each value ("%d Hz", "%d kbps").
    template <typename Values>
    void AddFormatted(const char* format, const Values& values) {
        for (int value : values) AddEntry(QString::asprintf(format, value), value);
    }

    // Selects the first entry carrying value and returns true; when none does, selects the
    // first entry and returns false. Emits no selection signal.
    bool SelectValue(int value);
    // The value of the selected entry; fallback when nothing is selected.
    int Value(int fallback = 0) const;
    // Index of the first entry carrying value, or -1.
    int IndexOfValue(int value) const;

    // The lists of the options pages, in their order, each entry carrying its stored number.
    void AddSampleRates();    // "%d Hz" for kSampleRates
    void AddBitrates();       // "%d kbps" for kBitrates
    void AddChannelModes();   // "Joint Stereo" 1, "Stereo" 0, "Mono" 3
    void AddOutputFolders();  // "Same as source file" 199, "Specific folder" 299
    // "Rename automatically (add number at end of file name)" 11, "Overwrite" 22, skipText 33
    // ("Skip (not cut)" or "Skip (not join)").
    void AddTargetExistsRules(const char* skipText);

Q_SIGNALS:
    // The user (or code) selected another entry; value is its number.
    void ValueChosen(int value);
};

}  // namespace corvane
