// The per-user settings file: load and save of every owner's values.
#include "ui/SettingsStore.h"

#include <QByteArray>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

constexpr char kOrganisation[] = "Corvane";
constexpr char kApplication[] = "Corvane";

constexpr char kOptions[] = "Options";
constexpr char kCutter[] = "Options/Cutter";
constexpr char kJoiner[] = "Options/Joiner";
constexpr char kBatchCutter[] = "Options/BatchCutter";
constexpr char kBatchJoiner[] = "Options/BatchJoiner";

constexpr int kWndPositionBytes = 16;

// Opens one group of the settings file for the lifetime of the object.
class GroupScope {
public:
    explicit GroupScope(const char* group) : settings_(OpenSettings()) { settings_->beginGroup(group); }
    ~GroupScope() { settings_->endGroup(); }
    QSettings& operator*() { return *settings_; }

private:
    std::unique_ptr<QSettings> settings_;
};

// A stored number into member; a missing or unreadable value leaves member alone. Values
// outside the signed 32-bit range wrap as a 32-bit word would.
void ReadNumber(QSettings& s, const char* name, int* member) {
    const QVariant v = s.value(name);
    if (!v.isValid()) return;
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (ok) *member = static_cast<int32_t>(static_cast<uint32_t>(n));
}

// A fixed text of at most bytes - 1 bytes; a longer one keeps the default.
void ReadFixedText(QSettings& s, const char* name, int bytes, std::string* member) {
    const QVariant v = s.value(name);
    if (!v.isValid()) return;
    const QByteArray utf8 = v.toString().toUtf8();
    if (utf8.size() >= bytes) return;
    member->assign(utf8.constData(), utf8.size());
}

// A sized text: whole, however long; missing reads as empty.
void ReadSizedText(QSettings& s, const char* name, std::string* member) {
    const QByteArray utf8 = s.value(name).toString().toUtf8();
    member->assign(utf8.constData(), utf8.size());
}

void WriteNumber(QSettings& s, const char* name, int value) { s.setValue(name, value); }

void WriteText(QSettings& s, const char* name, const std::string& value) {
    s.setValue(name, QString::fromStdString(value));
}

void NotBelow(int* value, int floor, int replacement) {
    if (*value < floor) *value = replacement;
}

bool ChannelModeKnown(int mode) { return mode == 0 || mode == 1 || mode == 3; }

void SetDocumentsDefaults(int* outputFolderOpt, std::string* specifiedFolder) {
    *specifiedFolder = DocumentsFolder();
    *outputFolderOpt = static_cast<int>(specifiedFolder->empty() ? OutputFolder::SameAsSource : OutputFolder::Specific);
}

}  // namespace

std::unique_ptr<QSettings> OpenSettings() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       kOrganisation, kApplication);
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
    ReadNumber(*s, "StartPage", &startPage);
    ReadNumber(*s, "WndMaximized", &maximized);
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
    WriteNumber(*s, "StartPage", startPage);
    WriteNumber(*s, "WndMaximized", maximized);
    QByteArray bytes(kWndPositionBytes, '\0');
    const int32_t v[4] = {rect.left, rect.top, rect.right, rect.bottom};
    for (int i = 0; i < 4; ++i) {
        const uint32_t word = static_cast<uint32_t>(v[i]);
        for (int b = 0; b < 4; ++b) bytes[i * 4 + b] = static_cast<char>((word >> (8 * b)) & 0xFF);
    }
    (*s).setValue("WndPosition", bytes);
}

bool CheckFirstRun() {
    GroupScope s(kOptions);
    if ((*s).status() != QSettings::NoError || !(*s).isWritable()) return true;
    int firstRun = 1;
    ReadNumber(*s, "FirstRun", &firstRun);
    if (firstRun != 0) {
        WriteNumber(*s, "FirstRun", 0);
        (*s).sync();
    }
    return firstRun != 0;
}

// ---- Options/Cutter: cut group ----

void CutterPageSettings::Load() {
    GroupScope s(kCutter);
    ReadNumber(*s, "CutType", &cutType);
    if (cutType < 0 || cutType > 3) cutType = 0;
    ReadNumber(*s, "CutFileAmount", &cutFileAmount);
    NotBelow(&cutFileAmount, 1, 1);
    ReadFixedText(*s, "CutFileSizeEx", kNumberTextBytes, &cutFileSizeEx);
    ReadNumber(*s, "CutFileUnit", &cutFileUnit);
    ReadNumber(*s, "CutTimeMin", &cutTimeMin);
    NotBelow(&cutTimeMin, 0, 0);
    ReadNumber(*s, "CutTimeSec", &cutTimeSec);
    NotBelow(&cutTimeSec, 0, 0);
}

void CutterPageSettings::Save(unsigned groups) const {
    if ((groups & kCutGroup) == 0) return;
    GroupScope s(kCutter);
    WriteNumber(*s, "CutType", cutType);
    WriteNumber(*s, "CutFileAmount", cutFileAmount);
    WriteText(*s, "CutFileSizeEx", cutFileSizeEx);
    WriteNumber(*s, "CutFileUnit", cutFileUnit);
    WriteNumber(*s, "CutTimeMin", cutTimeMin);
    WriteNumber(*s, "CutTimeSec", cutTimeSec);
}

// ---- Options/Cutter: option values ----

CutterOptionSettings::CutterOptionSettings() {
    SetDocumentsDefaults(&outputFolderOpt, &specifiedOutputFolder);
}

void CutterOptionSettings::Load() {
    GroupScope s(kCutter);
    ReadNumber(*s, "ReencodePieces", &reencodePieces);
    ReadNumber(*s, "UseSameParams", &useSameParams);
    ReadNumber(*s, "MP3BitRate", &mp3BitRate);
    ReadNumber(*s, "MP3SampleRate", &mp3SampleRate);
    ReadNumber(*s, "MP3ChannelMode", &mp3ChannelMode);
    if (!ChannelModeKnown(mp3ChannelMode)) mp3ChannelMode = 1;
    ReadNumber(*s, "BrowseFolder", &browseFolder);
    ReadNumber(*s, "FadeInLen", &fadeInLen);
    NotBelow(&fadeInLen, 0, 0);
    ReadNumber(*s, "FadeOutLen", &fadeOutLen);
    NotBelow(&fadeOutLen, 0, 0);
    ReadNumber(*s, "ForwardOverlap", &forwardOverlap);
    NotBelow(&forwardOverlap, 0, 0);
    ReadNumber(*s, "BackwardOverlap", &backwardOverlap);
    NotBelow(&backwardOverlap, 0, 0);
    ReadNumber(*s, "ID3TrackNumType", &id3TrackNumType);
    if (id3TrackNumType < 0 || id3TrackNumType > 2) id3TrackNumType = 1;
    ReadNumber(*s, "OutputFolderOpt", &outputFolderOpt);
    if (outputFolderOpt != static_cast<int>(OutputFolder::Specific))
        outputFolderOpt = static_cast<int>(OutputFolder::SameAsSource);
    ReadFixedText(*s, "SpecifiedOutputFolder", kFolderTextBytes, &specifiedOutputFolder);
    ReadNumber(*s, "CreateFolderForEachMP3", &createFolderForEachMP3);
    ReadNumber(*s, "CreateTreeDirs", &createTreeDirs);
    ReadNumber(*s, "SplitFirstNPieces", &splitFirstNPieces);
    ReadNumber(*s, "FirstPiecesNumber", &firstPiecesNumber);
    NotBelow(&firstPiecesNumber, 1, 1);
    ReadNumber(*s, "KeepID3tag", &keepID3tag);
    ReadSizedText(*s, "OutputFileName", &outputFileName);
    ReadNumber(*s, "FilenameDigitNumber", &filenameDigitNumber);
    filenameDigitNumber = std::clamp(filenameDigitNumber, 0, kMaxDigitNumber);
    ReadNumber(*s, "TitleDigitNumber", &titleDigitNumber);
    titleDigitNumber = std::clamp(titleDigitNumber, 0, kMaxDigitNumber);
    ReadSizedText(*s, "ID3TitleFormat", &id3TitleFormat);
    ReadNumber(*s, "TargetExistsOpt", &targetExistsOpt);
    // The template defaults come after the whole read, so an empty stored text yields them too.
    if (outputFileName.empty()) outputFileName = kDefaultOutputFileName;
    if (id3TitleFormat.empty()) id3TitleFormat = kDefaultId3TitleFormat;
}

CutterOptions CutterOptionSettings::ToCutterOptions() const {
    CutterOptions o;
    o.reencodePieces = reencodePieces != 0;
    o.useSameParams = useSameParams != 0;
    o.mp3BitRate = mp3BitRate;
    o.mp3SampleRate = mp3SampleRate;
    o.mp3ChannelMode = mp3ChannelMode;
    o.browseFolder = browseFolder != 0;
    o.fadeInLen = fadeInLen;
    o.fadeOutLen = fadeOutLen;
    o.forwardOverlap = forwardOverlap;
    o.backwardOverlap = backwardOverlap;
    o.keepID3tag = keepID3tag != 0;
    o.id3TrackNumType = static_cast<TrackNumber>(id3TrackNumType);
    o.id3TitleFormat = id3TitleFormat;
    o.titleDigitNumber = titleDigitNumber;
    o.outputFolderOpt = static_cast<OutputFolder>(outputFolderOpt);
    o.specifiedOutputFolder = specifiedOutputFolder;
    o.createFolderForEachMP3 = createFolderForEachMP3 != 0;
    o.createTreeDirs = createTreeDirs != 0;
    o.outputFileName = outputFileName;
    o.filenameDigitNumber = filenameDigitNumber;
    o.targetExistsOpt = static_cast<TargetExists>(targetExistsOpt);
    o.splitFirstNPieces = splitFirstNPieces != 0;
    o.firstPiecesNumber = firstPiecesNumber;
    return o;
}

void CutterOptionSettings::Save() const {
    GroupScope s(kCutter);
    WriteNumber(*s, "ReencodePieces", reencodePieces);
    WriteNumber(*s, "UseSameParams", useSameParams);
    WriteNumber(*s, "MP3BitRate", mp3BitRate);
    WriteNumber(*s, "MP3SampleRate", mp3SampleRate);
    WriteNumber(*s, "MP3ChannelMode", mp3ChannelMode);
    WriteNumber(*s, "BrowseFolder", browseFolder);
    WriteNumber(*s, "FadeInLen", fadeInLen);
    WriteNumber(*s, "FadeOutLen", fadeOutLen);
    WriteNumber(*s, "ForwardOverlap", forwardOverlap);
    WriteNumber(*s, "BackwardOverlap", backwardOverlap);
    WriteNumber(*s, "ID3TrackNumType", id3TrackNumType);
    WriteNumber(*s, "OutputFolderOpt", outputFolderOpt);
    WriteText(*s, "SpecifiedOutputFolder", specifiedOutputFolder);
    WriteNumber(*s, "CreateFolderForEachMP3", createFolderForEachMP3);
    WriteNumber(*s, "CreateTreeDirs", createTreeDirs);
    WriteNumber(*s, "SplitFirstNPieces", splitFirstNPieces);
    WriteNumber(*s, "FirstPiecesNumber", firstPiecesNumber);
    WriteNumber(*s, "KeepID3tag", keepID3tag);
    WriteText(*s, "OutputFileName", outputFileName);
    WriteNumber(*s, "FilenameDigitNumber", filenameDigitNumber);
    WriteNumber(*s, "TitleDigitNumber", titleDigitNumber);
    WriteText(*s, "ID3TitleFormat", id3TitleFormat);
    WriteNumber(*s, "TargetExistsOpt", targetExistsOpt);
}

// ---- Options/Joiner ----

void JoinerPageSettings::Load() {
    GroupScope s(kJoiner);
    ReadFixedText(*s, "Folder", kFolderTextBytes, &folder);
    ReadSizedText(*s, "ID3Title", &id3Title);
    ReadSizedText(*s, "ID3Artist", &id3Artist);
    ReadSizedText(*s, "ID3Album", &id3Album);
    ReadSizedText(*s, "ID3TrackNo", &id3TrackNo);
    ReadSizedText(*s, "ID3Year", &id3Year);
    ReadSizedText(*s, "ID3GenreEx", &id3GenreEx);
    ReadSizedText(*s, "ID3Comment", &id3Comment);
}

void JoinerPageSettings::Save(unsigned groups) const {
    if ((groups & (kFolderGroup | kTagGroup)) == 0) return;
    GroupScope s(kJoiner);
    if (groups & kFolderGroup) WriteText(*s, "Folder", folder);
    if (groups & kTagGroup) {
        WriteText(*s, "ID3Title", id3Title);
        WriteText(*s, "ID3Artist", id3Artist);
        WriteText(*s, "ID3Album", id3Album);
        WriteText(*s, "ID3TrackNo", id3TrackNo);
        WriteText(*s, "ID3Year", id3Year);
        WriteText(*s, "ID3GenreEx", id3GenreEx);
        WriteText(*s, "ID3Comment", id3Comment);
    }
}

JoinerOptionSettings::JoinerOptionSettings() {
    SetDocumentsDefaults(&outputFolderOpt, &specifiedOutputFolder);
}

void JoinerOptionSettings::Load() {
    GroupScope s(kJoiner);
    ReadNumber(*s, "BrowseFolder", &browseFolder);
    ReadNumber(*s, "AutoMP3EncodingParam", &autoMP3EncodingParam);
    ReadNumber(*s, "MP3BitRate", &mp3BitRate);
    ReadNumber(*s, "MP3SampleRate", &mp3SampleRate);
    ReadNumber(*s, "MP3ChannelMode", &mp3ChannelMode);
    if (!ChannelModeKnown(mp3ChannelMode)) mp3ChannelMode = 1;
    ReadNumber(*s, "OutputFolderOpt", &outputFolderOpt);
    if (outputFolderOpt != static_cast<int>(OutputFolder::Specific))
        outputFolderOpt = static_cast<int>(OutputFolder::SameAsSource);
    ReadFixedText(*s, "SpecifiedOutputFolder", kFolderTextBytes, &specifiedOutputFolder);
    ReadNumber(*s, "CreateTreeDirs", &createTreeDirs);
    ReadNumber(*s, "AddPostfixAtEndOfFile", &addPostfixAtEndOfFile);
    ReadNumber(*s, "TargetExistsOpt", &targetExistsOpt);
}

void JoinerOptionSettings::Save() const {
    GroupScope s(kJoiner);
    WriteNumber(*s, "BrowseFolder", browseFolder);
    WriteNumber(*s, "AutoMP3EncodingParam", autoMP3EncodingParam);
    WriteNumber(*s, "MP3BitRate", mp3BitRate);
    WriteNumber(*s, "MP3SampleRate", mp3SampleRate);
    WriteNumber(*s, "MP3ChannelMode", mp3ChannelMode);
    WriteNumber(*s, "OutputFolderOpt", outputFolderOpt);
    WriteText(*s, "SpecifiedOutputFolder", specifiedOutputFolder);
    WriteNumber(*s, "CreateTreeDirs", createTreeDirs);
    WriteNumber(*s, "AddPostfixAtEndOfFile", addPostfixAtEndOfFile);
    WriteNumber(*s, "TargetExistsOpt", targetExistsOpt);
}

// ---- Options/BatchCutter ----

void BatchCutterSettings::Load() {
    GroupScope s(kBatchCutter);
    ReadFixedText(*s, "Folder", kFolderTextBytes, &folder);
    ReadNumber(*s, "CutType", &cutType);
    if (cutType < 0 || cutType > 3) cutType = 0;
    ReadNumber(*s, "CutFileAmount", &cutFileAmount);
    NotBelow(&cutFileAmount, 1, 1);
    ReadFixedText(*s, "CutFileSizeEx", kNumberTextBytes, &cutFileSizeEx);
    ReadNumber(*s, "CutFileUnit", &cutFileUnit);
    ReadNumber(*s, "CutTimeMin", &cutTimeMin);
    NotBelow(&cutTimeMin, 0, 0);
    ReadNumber(*s, "CutTimeSec", &cutTimeSec);
    NotBelow(&cutTimeSec, 0, 0);
    ReadFixedText(*s, "CutCustomFromSec", kNumberTextBytes, &cutCustomFromSec);
    ReadFixedText(*s, "CutCustomDuration", kNumberTextBytes, &cutCustomDuration);
}

void BatchCutterSettings::Save(unsigned groups) const {
    if ((groups & (kFolderGroup | kCutGroup)) == 0) return;
    GroupScope s(kBatchCutter);
    if (groups & kFolderGroup) WriteText(*s, "Folder", folder);
    if (groups & kCutGroup) {
        WriteNumber(*s, "CutType", cutType);
        WriteNumber(*s, "CutFileAmount", cutFileAmount);
        WriteText(*s, "CutFileSizeEx", cutFileSizeEx);
        WriteNumber(*s, "CutFileUnit", cutFileUnit);
        WriteNumber(*s, "CutTimeMin", cutTimeMin);
        WriteNumber(*s, "CutTimeSec", cutTimeSec);
        WriteText(*s, "CutCustomFromSec", cutCustomFromSec);
        WriteText(*s, "CutCustomDuration", cutCustomDuration);
    }
}

// ---- Options/BatchJoiner ----

void BatchJoinerSettings::Load() {
    GroupScope s(kBatchJoiner);
    ReadFixedText(*s, "Folder", kFolderTextBytes, &folder);
    ReadNumber(*s, "JoinType", &joinType);
    if (joinType != 0 && joinType != 1) joinType = 0;
}

void BatchJoinerSettings::Save(unsigned groups) const {
    if ((groups & (kFolderGroup | kJoinTypeGroup)) == 0) return;
    GroupScope s(kBatchJoiner);
    if (groups & kFolderGroup) WriteText(*s, "Folder", folder);
    if (groups & kJoinTypeGroup) WriteNumber(*s, "JoinType", joinType);
}

}  // namespace corvane
