// The per-user settings file: load and save of every owner's values.
//
// Each record's values are listed once, in its key list: a VisitKeys overload that hands
// every value's name, kind, member and page group to a visitor. KeyReader loads through it,
// KeyWriter saves through it; load corrections run after the whole list is read.
#include "ui/SettingsStore.h"

#include "engine/base/Deployment.h"

#include <QByteArray>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <concepts>
#include <type_traits>

namespace corvane {
namespace {

constexpr char kOptions[] = "Options";
constexpr char kCutter[] = "Options/Cutter";
constexpr char kJoiner[] = "Options/Joiner";
constexpr char kBatchCutter[] = "Options/BatchCutter";
constexpr char kBatchJoiner[] = "Options/BatchJoiner";

constexpr int kWndPositionBytes = 16;

// As a key's group: saved by every save (the option pages save whole). As a set of groups:
// all of them.
constexpr unsigned kEveryGroup = ~0u;

// Opens one group of the settings file for the lifetime of the object.
class GroupScope {
public:
    explicit GroupScope(const char* group) : settings_(OpenSettings()) { settings_->beginGroup(group); }
    ~GroupScope() { settings_->endGroup(); }
    QSettings& operator*() { return *settings_; }

private:
    std::unique_ptr<QSettings> settings_;
};

// A stored number into *number; false (and *number untouched) when the value is missing or
// unreadable. Values outside the signed 32-bit range wrap as a 32-bit word would.
bool ReadNumber(QSettings& s, const char* name, int* number) {
    const QVariant v = s.value(name);
    if (!v.isValid()) return false;
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (ok) *number = static_cast<int32_t>(static_cast<uint32_t>(n));
    return ok;
}

// Loads each value of a key list into its member.
class KeyReader {
public:
    explicit KeyReader(QSettings& settings) : s_(settings) {}

    // A number, a yes/no value or an enumerated value; a missing or unreadable one leaves
    // member alone.
    template <typename T>
    void Number(const char* name, T& member, unsigned = kEveryGroup) {
        int n = 0;
        if (!ReadNumber(s_, name, &n)) return;
        if constexpr (std::is_same_v<T, bool>)
            member = n != 0;
        else
            member = static_cast<T>(n);
    }

    // A fixed text of at most bytes - 1 bytes; a longer or missing one keeps the member.
    void FixedText(const char* name, int bytes, std::string& member, unsigned = kEveryGroup) {
        const QVariant v = s_.value(name);
        if (!v.isValid()) return;
        const QByteArray utf8 = v.toString().toUtf8();
        if (utf8.size() >= bytes) return;
        member.assign(utf8.constData(), utf8.size());
    }

    // A sized text: whole, however long; missing reads as empty.
    void SizedText(const char* name, std::string& member, unsigned = kEveryGroup) {
        const QByteArray utf8 = s_.value(name).toString().toUtf8();
        member.assign(utf8.constData(), utf8.size());
    }

private:
    QSettings& s_;
};

// Writes value under name unless the user's file holds it already: a save that changes
// nothing leaves the file alone, with no rewrite of it under its lock file. A value read from
// the file is text, so a number counts as held when its text is. Fallbacks (the system-wide
// file) are not looked at: a saved value is always in the user's file.
void SetIfChanged(QSettings& s, const char* name, const QVariant& value) {
    const bool fallbacks = s.fallbacksEnabled();
    s.setFallbacksEnabled(false);
    const QVariant stored = s.value(name);
    s.setFallbacksEnabled(fallbacks);
    const bool held = stored.typeId() == value.typeId()
                          ? stored == value
                          : value.typeId() == QMetaType::Int && stored.typeId() == QMetaType::QString &&
                                stored.toString() == value.toString();
    if (!held) s.setValue(name, value);
}

// Saves the values of a key list whose group is in the chosen set.
class KeyWriter {
public:
    KeyWriter(QSettings& settings, unsigned groups) : s_(settings), groups_(groups) {}

    template <typename T>
    void Number(const char* name, const T& value, unsigned group = kEveryGroup) {
        if (group & groups_) SetIfChanged(s_, name, static_cast<int>(value));
    }

    void FixedText(const char* name, int, const std::string& value, unsigned group = kEveryGroup) {
        SizedText(name, value, group);
    }

    void SizedText(const char* name, const std::string& value, unsigned group = kEveryGroup) {
        if (group & groups_) SetIfChanged(s_, name, QString::fromStdString(value));
    }

private:
    QSettings& s_;
    unsigned groups_;
};

// ---- Key lists. Each takes the record or its const version, so one list serves both ways.

template <typename T, typename Record>
concept RecordOf = std::same_as<std::remove_const_t<T>, Record>;

// The cut rule part of a cutter page's record, as const as the record.
template <typename Record>
auto& CutRuleOf(Record& r) {
    if constexpr (std::is_const_v<Record>)
        return static_cast<const CutRuleSettings&>(r);
    else
        return static_cast<CutRuleSettings&>(r);
}

template <RecordOf<CutRuleSettings> Record, typename Visitor>
void VisitKeys(Record& r, Visitor& v) {
    v.Number("CutType", r.cutType, kCutGroup);
    v.Number("CutFileAmount", r.cutFileAmount, kCutGroup);
    v.FixedText("CutFileSizeEx", kNumberTextBytes, r.cutFileSizeEx, kCutGroup);
    v.Number("CutFileUnit", r.cutFileUnit, kCutGroup);
    v.Number("CutTimeMin", r.cutTimeMin, kCutGroup);
    v.Number("CutTimeSec", r.cutTimeSec, kCutGroup);
}

template <RecordOf<CutterPageSettings> Record, typename Visitor>
void VisitKeys(Record& r, Visitor& v) {
    VisitKeys(CutRuleOf(r), v);
    v.Number("SilenceDb", r.silenceDb, kCutGroup);
    v.Number("SilenceTenths", r.silenceTenths, kCutGroup);
}

template <RecordOf<BatchCutterSettings> Record, typename Visitor>
void VisitKeys(Record& r, Visitor& v) {
    v.FixedText("Folder", kFolderTextBytes, r.folder, kFolderGroup);
    VisitKeys(CutRuleOf(r), v);
    v.FixedText("CutCustomFromSec", kNumberTextBytes, r.cutCustomFromSec, kCutGroup);
    v.FixedText("CutCustomDuration", kNumberTextBytes, r.cutCustomDuration, kCutGroup);
}

// The values the cutter options and the joiner options share, under the same names: the
// encoding, the placement of the outputs and showing them afterwards.
template <typename Record, typename Visitor>
void VisitSharedOptionKeys(Record& o, Visitor& v) {
    v.Number("MP3BitRate", o.encoding.bitrate);
    v.Number("MP3SampleRate", o.encoding.sampleRate);
    v.Number("MP3ChannelMode", o.encoding.channelMode);
    v.Number("BrowseFolder", o.browseFolder);
    v.Number("OutputFolderOpt", o.placement.folder);
    v.FixedText("SpecifiedOutputFolder", kFolderTextBytes, o.placement.specificFolder);
    v.Number("CreateTreeDirs", o.placement.treeFolders);
    v.Number("TargetExistsOpt", o.placement.ifExists);
}

template <RecordOf<CutterPageOptions> Record, typename Visitor>
void VisitKeys(Record& o, Visitor& v) {
    VisitSharedOptionKeys(o, v);
    v.Number("ReencodePieces", o.reencode);
    v.Number("UseSameParams", o.sameParams);
    v.Number("FadeInLen", o.fadeInTenths);
    v.Number("FadeOutLen", o.fadeOutTenths);
    v.Number("ForwardOverlap", o.forwardOverlapTenths);
    v.Number("BackwardOverlap", o.backwardOverlapTenths);
    v.Number("ID3TrackNumType", o.trackNumbers);
    v.Number("CreateFolderForEachMP3", o.folderPerSource);
    v.Number("SplitFirstNPieces", o.firstPiecesOnly);
    v.Number("FirstPiecesNumber", o.firstPieces);
    v.Number("KeepID3tag", o.keepTag);
    v.SizedText("OutputFileName", o.nameTemplate);
    v.Number("FilenameDigitNumber", o.nameDigits);
    v.Number("TitleDigitNumber", o.titleDigits);
    v.SizedText("ID3TitleFormat", o.titleTemplate);
}

// The joiner page's tag fields, all sized texts of kTagGroup.
struct TagKey {
    const char* name;
    std::string JoinerPageSettings::*member;
};
constexpr TagKey kJoinerTagKeys[] = {
    {"ID3Title", &JoinerPageSettings::id3Title},     {"ID3Artist", &JoinerPageSettings::id3Artist},
    {"ID3Album", &JoinerPageSettings::id3Album},     {"ID3TrackNo", &JoinerPageSettings::id3TrackNo},
    {"ID3Year", &JoinerPageSettings::id3Year},       {"ID3GenreEx", &JoinerPageSettings::id3GenreEx},
    {"ID3Comment", &JoinerPageSettings::id3Comment},
};

template <RecordOf<JoinerPageSettings> Record, typename Visitor>
void VisitKeys(Record& r, Visitor& v) {
    v.FixedText("Folder", kFolderTextBytes, r.folder, kFolderGroup);
    for (const TagKey& key : kJoinerTagKeys) v.SizedText(key.name, r.*key.member, kTagGroup);
}

template <RecordOf<JoinerPageOptions> Record, typename Visitor>
void VisitKeys(Record& o, Visitor& v) {
    VisitSharedOptionKeys(o, v);
    v.Number("AutoMP3EncodingParam", o.autoParams);
    v.Number("AddPostfixAtEndOfFile", o.joinedPostfix);
    v.Number("WriteChapters", o.writeChapters);
}

template <RecordOf<BatchJoinerSettings> Record, typename Visitor>
void VisitKeys(Record& r, Visitor& v) {
    v.FixedText("Folder", kFolderTextBytes, r.folder, kFolderGroup);
    v.Number("JoinType", r.joinType, kJoinTypeGroup);
}

// ---- Load corrections, run after the whole key list is read. Records without an overload
// here have none (the page records use their cut rule's).

void NotBelow(int& value, int floor) { value = std::max(value, floor); }

void Correct(CutRuleSettings& r) {
    if (r.cutType < 0 || r.cutType > 3) r.cutType = 0;
    NotBelow(r.cutFileAmount, 1);
    NotBelow(r.cutTimeMin, 0);
    NotBelow(r.cutTimeSec, 0);
}

// The corrections of the values both option records have: a channel mode that is not one
// the pages offer becomes joint stereo, a folder option other than Specific SameAsSource.
template <typename Options>
void CorrectSharedOptions(Options& o) {
    const int mode = o.encoding.channelMode;
    if (mode != kChannelModeStereo && mode != kChannelModeJointStereo && mode != kChannelModeMono)
        o.encoding.channelMode = kChannelModeJointStereo;
    if (o.placement.folder != OutputFolder::Specific) o.placement.folder = OutputFolder::SameAsSource;
}

void Correct(CutterOptions& o) {
    CorrectSharedOptions(o);
    NotBelow(o.fadeInTenths, 0);
    NotBelow(o.fadeOutTenths, 0);
    NotBelow(o.forwardOverlapTenths, 0);
    NotBelow(o.backwardOverlapTenths, 0);
    const int track = static_cast<int>(o.trackNumbers);
    if (track < static_cast<int>(TrackNumber::None) || track > static_cast<int>(TrackNumber::Sequence))
        o.trackNumbers = TrackNumber::Original;
    NotBelow(o.firstPieces, 1);
    o.nameDigits = std::clamp(o.nameDigits, 0, kMaxDigitNumber);
    o.titleDigits = std::clamp(o.titleDigits, 0, kMaxDigitNumber);
    if (o.nameTemplate.empty()) o.nameTemplate = kDefaultOutputFileName;
    if (o.titleTemplate.empty()) o.titleTemplate = kDefaultId3TitleFormat;
}

void Correct(JoinerOptions& o) { CorrectSharedOptions(o); }

void Correct(JoinerPageSettings&) {}

void Correct(BatchJoinerSettings& r) {
    if (r.joinType != JoinType::InsertAtBeginning && r.joinType != JoinType::AppendToEnd)
        r.joinType = JoinType::InsertAtBeginning;
}

// The documents folder as the specific output folder when there is one.
template <typename Options>
void SetDocumentsDefaults(Options& o) {
    o.placement.specificFolder = DocumentsFolder();
    o.placement.folder = o.placement.specificFolder.empty() ? OutputFolder::SameAsSource : OutputFolder::Specific;
}

// Loads record from group through its key list, then corrects it.
template <typename Record>
void LoadKeys(const char* group, Record& record) {
    GroupScope s(group);
    KeyReader reader(*s);
    VisitKeys(record, reader);
    Correct(record);
}

// Saves the values of record whose group is in groups.
template <typename Record>
void SaveKeys(const char* group, const Record& record, unsigned groups) {
    GroupScope s(group);
    KeyWriter writer(*s, groups);
    VisitKeys(record, writer);
}

}  // namespace

std::unique_ptr<QSettings> OpenSettings() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       kProductName, kProductName);
}

std::string DocumentsFolder() {
    const QString path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (path.isEmpty() || !QDir().mkpath(path)) return {};
    QString folder = QDir::cleanPath(path);
    if (!folder.endsWith('/')) folder += '/';
    return folder.toStdString();
}

// ---- Options ----

void WindowSettings::Load() {
    GroupScope s(kOptions);
    KeyReader reader(*s);
    reader.Number("StartPage", startPage);
    reader.Number("WndMaximized", maximized);
    const QByteArray bytes = (*s).value("WndPosition").toByteArray();
    if (bytes.size() == kWndPositionBytes) {
        int32_t v[4];
        for (int i = 0; i < 4; ++i) {
            uint32_t word = 0;
            for (int b = 3; b >= 0; --b)
                word = (word << 8) | static_cast<uint8_t>(bytes[i * 4 + b]);
            v[i] = static_cast<int32_t>(word);
        }
        const WindowRect stored{v[0], v[1], v[2], v[3]};
        if (!stored.IsEmpty()) rect = stored;
    }
}

void WindowSettings::Save() const {
    GroupScope s(kOptions);
    KeyWriter writer(*s, kEveryGroup);
    writer.Number("StartPage", startPage);
    writer.Number("WndMaximized", maximized);
    QByteArray bytes(kWndPositionBytes, '\0');
    const int32_t v[4] = {rect.left, rect.top, rect.right, rect.bottom};
    for (int i = 0; i < 4; ++i) {
        const uint32_t word = static_cast<uint32_t>(v[i]);
        for (int b = 0; b < 4; ++b) bytes[i * 4 + b] = static_cast<char>((word >> (8 * b)) & 0xFF);
    }
    SetIfChanged(*s, "WndPosition", bytes);
}

bool CheckFirstRun() {
    GroupScope s(kOptions);
    if ((*s).status() != QSettings::NoError || !(*s).isWritable()) return true;
    int firstRun = 1;
    ReadNumber(*s, "FirstRun", &firstRun);
    if (firstRun != 0) {
        (*s).setValue("FirstRun", 0);
        (*s).sync();
    }
    return firstRun != 0;
}

// ---- Options/Cutter ----

QStringList LoadRecentFiles() {
    GroupScope s(kCutter);
    QStringList files = (*s).value("RecentFiles").toStringList();
    files.removeAll(QString());
    while (files.size() > kRecentFiles) files.removeLast();
    return files;
}

void RememberRecentFile(const QString& path) {
    QStringList files = LoadRecentFiles();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFiles) files.removeLast();
    GroupScope s(kCutter);
    (*s).setValue("RecentFiles", files);
}

void CutterPageSettings::Load() {
    LoadKeys(kCutter, *this);
    silenceDb = std::clamp(silenceDb, kMinSilenceDb, kMaxSilenceDb);
    silenceTenths = std::clamp(silenceTenths, kMinSilenceTenths, kMaxSilenceTenths);
}
void CutterPageSettings::Save(unsigned groups) const { SaveKeys(kCutter, *this, groups); }

CutterOptionSettings::CutterOptionSettings() { SetDocumentsDefaults(options); }
void CutterOptionSettings::Load() { LoadKeys(kCutter, options); }
void CutterOptionSettings::Save() const { SaveKeys(kCutter, options, kEveryGroup); }

// ---- Options/Joiner ----

void JoinerPageSettings::Load() { LoadKeys(kJoiner, *this); }
void JoinerPageSettings::Save(unsigned groups) const { SaveKeys(kJoiner, *this, groups); }

JoinerOptionSettings::JoinerOptionSettings() { SetDocumentsDefaults(options); }
void JoinerOptionSettings::Load() { LoadKeys(kJoiner, options); }
void JoinerOptionSettings::Save() const { SaveKeys(kJoiner, options, kEveryGroup); }

// ---- Options/BatchCutter and Options/BatchJoiner ----

void BatchCutterSettings::Load() { LoadKeys(kBatchCutter, *this); }
void BatchCutterSettings::Save(unsigned groups) const { SaveKeys(kBatchCutter, *this, groups); }

void BatchJoinerSettings::Load() { LoadKeys(kBatchJoiner, *this); }
void BatchJoinerSettings::Save(unsigned groups) const { SaveKeys(kBatchJoiner, *this, groups); }

}  // namespace corvane
