// The "ID3 tag" dialog: seven tag fields of a target file.
#include "ui/widgets/Id3TagDialog.h"

#include "audio/GenreTable.h"
#include "ui/MessageBox.h"
#include "ui/Shell.h"
#include "ui/widgets/NumberEdit.h"
#include "ui/widgets/SpinButtons.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <functional>
#include <iterator>
#include <vector>

namespace corvane {
namespace {

constexpr char kCaption[] = "ID3 tag";
constexpr char kEnterInteger[] = "Please enter an integer.";
constexpr char kEnterIntegerBetween[] = "Please enter an integer between %1 and %2.";

// The design, in dialog units.
constexpr int kDesignWidth = 236;
constexpr int kDesignHeight = 161;
constexpr int kMargin = 7;
constexpr int kLabelWidth = 36;
constexpr int kFieldX = 44;
constexpr int kFieldRight = 229;
constexpr int kRowHeight = 14;
constexpr int kTextHeight = 8;
constexpr int kLabelDrop = 3;
constexpr int kSpinWidth = 10;
constexpr int kTrackY = 7;
constexpr int kTitleY = 24;
constexpr int kArtistY = 43;
constexpr int kAlbumY = 62;
constexpr int kYearY = 81;
constexpr int kYearWidth = 30;
constexpr int kGenreLabelX = 83;
constexpr int kGenreX = 110;
constexpr int kCommentY = 100;
constexpr int kCommentBottom = 131;
constexpr int kButtonWidth = 50;
constexpr int kButtonGap = 4;
constexpr int kButtonY = kDesignHeight - kMargin - kRowHeight;
constexpr int kTrackChars = 3;
constexpr int kYearChars = 4;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kAlphabetLength = 52;

// Dialog units to pixels by font, as the pages compute them.
QRect DluRect(const QFont& font, int x, int y, int width, int height) {
    const QFontMetrics fm(font);
    const int baseX = (fm.horizontalAdvance(QString::fromLatin1(kAlphabet)) + kAlphabetLength / 2) / kAlphabetLength;
    const int baseY = fm.height();
    const int left = x * baseX / 4;
    const int top = y * baseY / 8;
    return QRect(left, top, (x + width) * baseX / 4 - left, (y + height) * baseY / 8 - top);
}

std::string Std(const QString& text) { return text.toStdString(); }

// Reads an integer as the dialog framework does: blanks around it, an optional sign, then
// digits and nothing else. False for anything else (also an empty text).
bool ParseInteger(const QString& text, long long& value) {
    const QString trimmed = text.trimmed();
    int i = 0;
    if (i < trimmed.size() && (trimmed[i] == u'-' || trimmed[i] == u'+')) ++i;
    if (i == trimmed.size()) return false;
    for (int j = i; j < trimmed.size(); ++j)
        if (!trimmed[j].isDigit() || trimmed[j].unicode() > 0x7f) return false;
    bool ok = false;
    value = trimmed.toLongLong(&ok);
    if (!ok) value = trimmed.startsWith(u'-') ? -1 : CId3TagDialog::kMaxTrack + 1;  // too long: out of range
    return true;
}

// The track number box: its up and down arrow keys step it as the spin buttons do.
class CTrackBox : public CNumberEdit {
public:
    CTrackBox(QWidget* parent, std::function<void(int)> step) : CNumberEdit(parent), step_(std::move(step)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
            step_(event->key() == Qt::Key_Up ? +1 : -1);
            event->accept();
            return;
        }
        CNumberEdit::keyPressEvent(event);
    }

private:
    std::function<void(int)> step_;
};

}  // namespace

void FillGenreList(QComboBox* list) {
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setCompleter(nullptr);
    std::vector<int> numbers;
    for (int number = 0; number < kGenreCount; ++number) numbers.push_back(number);
    std::stable_sort(numbers.begin(), numbers.end(), [](int a, int b) {
        return QString::compare(QString::fromLatin1(GenreNames[a]), QString::fromLatin1(GenreNames[b]),
                                Qt::CaseInsensitive) < 0;
    });
    for (int number : numbers) list->addItem(QString::fromLatin1(GenreNames[number]), number);
}

CId3TagDialog::CId3TagDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kCaption));
    setModal(true);
    setFont(DialogFont());
    const QFont dialogFont = font();
    auto place = [&](QWidget* control, const char* name, int x, int y, int width, int height) {
        control->setObjectName(QString::fromLatin1(name));
        control->setFont(dialogFont);
        control->setGeometry(DluRect(dialogFont, x, y, width, height));
    };
    auto label = [&](const char* text, QWidget* buddy, int x, int y) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        place(l, "", x, y + kLabelDrop, kLabelWidth, kTextHeight);
        l->setBuddy(buddy);
    };
    auto line = [&](const char* name, int y) {
        auto* box = new QLineEdit(this);
        place(box, name, kFieldX, y, kFieldRight - kFieldX, kRowHeight);
        return box;
    };

    trackBox_ = new CTrackBox(this, [this](int direction) { StepTrack(direction); });
    place(trackBox_, "track", kFieldX, kTrackY, kFieldRight - kSpinWidth - kFieldX, kRowHeight);
    trackBox_->SetAllowMinus(false);
    trackBox_->SetAllowDecimalPoint(false);
    trackBox_->setMaxLength(kTrackChars);
    auto* spin = new CSpinButtons(this);
    place(spin, "trackSpin", kFieldRight - kSpinWidth, kTrackY, kSpinWidth, kRowHeight);
    connect(spin->Up(), &QToolButton::clicked, this, [this] { StepTrack(+1); });
    connect(spin->Down(), &QToolButton::clicked, this, [this] { StepTrack(-1); });
    label("T&rack #:", trackBox_, kMargin, kTrackY);

    titleBox_ = line("title", kTitleY);
    label("&Title:", titleBox_, kMargin, kTitleY);
    artistBox_ = line("artist", kArtistY);
    label("&Artist:", artistBox_, kMargin, kArtistY);
    albumBox_ = line("album", kAlbumY);
    label("Albu&m:", albumBox_, kMargin, kAlbumY);

    yearBox_ = new CNumberEdit(this);
    place(yearBox_, "year", kFieldX, kYearY, kYearWidth, kRowHeight);
    yearBox_->SetAllowMinus(false);
    yearBox_->SetAllowDecimalPoint(false);
    yearBox_->setMaxLength(kYearChars);
    label("&Year:", yearBox_, kMargin, kYearY);

    genreList_ = new QComboBox(this);
    place(genreList_, "genre", kGenreX, kYearY, kFieldRight - kGenreX, kRowHeight);
    FillGenreList(genreList_);
    label("&Genre:", genreList_, kGenreLabelX, kYearY);

    commentBox_ = new QPlainTextEdit(this);
    place(commentBox_, "comment", kFieldX, kCommentY, kFieldRight - kFieldX, kCommentBottom - kCommentY);
    commentBox_->setTabChangesFocus(true);
    commentBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    commentBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    label("&Comment:", commentBox_, kMargin, kCommentY);

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    place(okButton_, "ok", kFieldRight - 2 * kButtonWidth - kButtonGap, kButtonY, kButtonWidth, kRowHeight);
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    place(cancelButton_, "cancel", kFieldRight - kButtonWidth, kButtonY, kButtonWidth, kRowHeight);
    connect(okButton_, &QPushButton::clicked, this, &CId3TagDialog::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &CId3TagDialog::reject);

    setFixedSize(DluRect(dialogFont, 0, 0, kDesignWidth, kDesignHeight).size());
    QWidget* const order[] = {trackBox_, titleBox_, artistBox_, albumBox_, yearBox_, genreList_, commentBox_,
                              okButton_, cancelButton_};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    ShowTags();
    trackBox_->setFocus();
}

CId3TagDialog::CId3TagDialog(const TagFields& tags, QWidget* parent) : CId3TagDialog(parent) { SetTags(tags); }

void CId3TagDialog::SetTags(const TagFields& tags) {
    tags_ = tags;
    ShowTags();
}

void CId3TagDialog::ShowTags() {
    trackBox_->setText(QString::number(tags_.track));
    titleBox_->setText(Utf8(tags_.title));
    artistBox_->setText(Utf8(tags_.artist));
    albumBox_->setText(Utf8(tags_.album));
    yearBox_->setText(Utf8(tags_.year));
    genreList_->setCurrentIndex(-1);
    genreList_->setEditText(Utf8(tags_.genre));
    commentBox_->setPlainText(Utf8(tags_.comment));
}

void CId3TagDialog::StepTrack(int direction) {
    long long value = 0;
    if (!ParseInteger(trackBox_->text(), value)) value = kMinTrack;
    const long long next = std::clamp<long long>(value + direction, kMinTrack, kMaxTrack);
    trackBox_->setText(QString::number(next));
    trackBox_->selectAll();
}

void CId3TagDialog::accept() {
    long long track = 0;
    QString refusal;
    if (!ParseInteger(trackBox_->text(), track))
        refusal = QString::fromLatin1(kEnterInteger);
    else if (track < kMinTrack || track > kMaxTrack)
        refusal = QString::fromLatin1(kEnterIntegerBetween).arg(kMinTrack).arg(kMaxTrack);
    if (!refusal.isEmpty()) {
        ShowMessage(this, refusal, QMessageBox::Warning);
        trackBox_->setFocus();
        trackBox_->selectAll();
        return;
    }
    tags_.track = static_cast<int>(track);
    tags_.title = Std(titleBox_->text());
    tags_.artist = Std(artistBox_->text());
    tags_.album = Std(albumBox_->text());
    tags_.year = Std(yearBox_->text());
    tags_.genre = Std(genreList_->currentText());
    tags_.comment = Std(commentBox_->toPlainText());
    QDialog::accept();
}

bool CId3TagDialog::Edit(QWidget* parent, TagFields& tags) {
    CId3TagDialog dialog(tags, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    tags = dialog.Tags();
    return true;
}

}  // namespace corvane
