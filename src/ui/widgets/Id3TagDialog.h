// CId3TagDialog: the modal "ID3 tag" dialog that edits the seven tag fields of a target file.
//
// The caller fills the fields (SetTags or the constructor), shows the dialog (exec, or Edit
// for the whole round trip) and, after OK, reads them back (Tags). OK takes the controls into
// the fields only when the track number is an integer from 0 to 255; otherwise it shows
// "Please enter an integer." or "Please enter an integer between 0 and 255." through
// ShowMessage (MessageBox.h), puts the focus on the track-number box and stays open. Cancel
// (or Escape) closes the dialog and leaves the fields as they were given.
//
// The genre list holds the names of the genre table sorted alphabetically, each entry
// carrying its genre number as item data; any other text may be typed and is returned as
// typed.
//
// Controls carry object names for tests that drive the dialog: "track" (with its spin
// buttons "up" and "down" inside "trackSpin"), "title", "artist", "album", "year", "genre",
// "comment", and the buttons "ok" and "cancel".
#pragma once

#include "engine/Facts.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace corvane {

class CNumberEdit;

// Fills list with the names of the genre table sorted alphabetically (letter case aside),
// each entry carrying its genre number as item data, and makes it editable so that any text
// may be typed; a typed text is kept as typed (no completion). The joiner pages use it too.
void FillGenreList(QComboBox* list);

class CId3TagDialog : public QDialog {
    Q_OBJECT
public:
    // Limits of the track number; 0 means "no track number".
    static constexpr int kMinTrack = 0;
    static constexpr int kMaxTrack = 255;

    explicit CId3TagDialog(QWidget* parent = nullptr);
    CId3TagDialog(const TagFields& tags, QWidget* parent);

    // Sets the fields and shows them in the controls. A track outside 0..255 is shown as it
    // is (OK will then refuse it unless the user corrects it).
    void SetTags(const TagFields& tags);
    // The fields: as given by SetTags until OK takes the controls into them.
    const TagFields& Tags() const { return tags_; }

    // Shows a dialog over parent filled with tags and runs it modally. On OK writes the
    // edited fields into tags and returns true; on Cancel leaves tags untouched and returns
    // false.
    static bool Edit(QWidget* parent, TagFields& tags);

public Q_SLOTS:
    // Checks the track number and, when it passes, takes the controls into the fields and
    // closes with the OK result.
    void accept() override;

private:
    void ShowTags();
    void StepTrack(int direction);

    TagFields tags_;
    CNumberEdit* trackBox_ = nullptr;
    QLineEdit* titleBox_ = nullptr;
    QLineEdit* artistBox_ = nullptr;
    QLineEdit* albumBox_ = nullptr;
    CNumberEdit* yearBox_ = nullptr;
    QComboBox* genreList_ = nullptr;
    QPlainTextEdit* commentBox_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace corvane
