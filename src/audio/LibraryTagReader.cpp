// Tag reading through TagLib for the audio library's TagsGetInfo and TagsRead.
#include "audio/LibraryTagReader.h"

#include <taglib/aifffile.h>
#include <taglib/apetag.h>
#include <taglib/commentsframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "audio/GenreTable.h"
#include "audio/LibraryMpegStream.h"

namespace corvane::audio {
namespace {

// Longest genre number text looked at ("(147)" needs three digits).
constexpr size_t kMaxGenreDigits = 3;

// TagLib reads the file through a descriptor of OpenRegularFile, read-only: given the path,
// it would open a named pipe itself and wait there. The stream keeps the path as its name,
// since FileRef picks module types by the name's extension.
class CRegularFileStream final : public TagLib::FileStream {
public:
    CRegularFileStream(int fd, std::string path) : TagLib::FileStream(fd, true), path_(std::move(path)) {
        if (!isOpen()) ::close(fd);  // TagLib took no hold of it
    }
    TagLib::FileName name() const override { return path_.c_str(); }

private:
    std::string path_;
};

std::string Utf8(const TagLib::String& text) { return text.to8Bit(true); }

void FillIfEmpty(std::string& field, const std::string& value) {
    if (field.empty()) field = value;
}

// "17" or "(17)" as a genre number 0..147 gives its name; any other text stays.
std::string GenreText(const std::string& text) {
    std::string_view digits = text;
    if (digits.size() >= 2 && digits.front() == '(' && digits.back() == ')')
        digits = digits.substr(1, digits.size() - 2);
    if (digits.empty() || digits.size() > kMaxGenreDigits ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return text;
    const char* name = GenreName(std::stoi(std::string(digits)));
    return name != nullptr ? name : text;
}

// Genre texts of a list joined by spaces, numbers named, repeats dropped.
std::string JoinGenres(const TagLib::StringList& list) {
    std::vector<std::string> genres;
    for (const auto& item : list) {
        if (item.isEmpty()) continue;
        std::string genre = GenreText(Utf8(item));
        if (std::find(genres.begin(), genres.end(), genre) == genres.end()) genres.push_back(std::move(genre));
    }
    std::string joined;
    for (const auto& genre : genres) joined += (joined.empty() ? "" : " ") + genre;
    return joined;
}

std::string NumberText(unsigned int number) { return number > 0 ? std::to_string(number) : std::string(); }

std::string FirstFrameText(const TagLib::ID3v2::Tag& tag, const char* id) {
    const TagLib::ID3v2::FrameListMap& frames = tag.frameListMap();
    const auto found = frames.find(id);
    if (found == frames.end() || found->second.isEmpty()) return {};
    return Utf8(found->second.front()->toString());
}

void ReadId3v2(const TagLib::ID3v2::Tag& tag, TagInfo& fields) {
    FillIfEmpty(fields.track, FirstFrameText(tag, "TRCK"));
    FillIfEmpty(fields.title, Utf8(tag.title()));
    FillIfEmpty(fields.artist, Utf8(tag.artist()));
    FillIfEmpty(fields.album, Utf8(tag.album()));
    const TagLib::ID3v2::FrameListMap& frames = tag.frameListMap();
    const auto genre = frames.find("TCON");
    if (genre != frames.end() && !genre->second.isEmpty()) {
        if (const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(genre->second.front()))
            FillIfEmpty(fields.genre, JoinGenres(text->fieldList()));
    }
    FillIfEmpty(fields.year, FirstFrameText(tag, "TDRC"));
    FillIfEmpty(fields.year, FirstFrameText(tag, "TYER"));
    // The comment without a description is the comment; others (player data) only as a
    // last resort.
    const auto comments = frames.find("COMM");
    if (comments != frames.end()) {
        const TagLib::ID3v2::CommentsFrame* chosen = nullptr;
        for (const auto* frame : comments->second) {
            const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(frame);
            if (comment == nullptr) continue;
            if (chosen == nullptr || (comment->description().isEmpty() && !chosen->description().isEmpty()))
                chosen = comment;
        }
        if (chosen != nullptr) FillIfEmpty(fields.comment, Utf8(chosen->text()));
    }
}

void ReadApe(const TagLib::APE::Tag& tag, TagInfo& fields) {
    const TagLib::APE::ItemListMap& items = tag.itemListMap();
    const auto track = items.find("TRACK");
    if (track != items.end()) FillIfEmpty(fields.track, Utf8(track->second.toString()));
    FillIfEmpty(fields.title, Utf8(tag.title()));
    FillIfEmpty(fields.artist, Utf8(tag.artist()));
    FillIfEmpty(fields.album, Utf8(tag.album()));
    const auto genre = items.find("GENRE");
    if (genre != items.end()) FillIfEmpty(fields.genre, JoinGenres(genre->second.values()));
    const auto year = items.find("YEAR");
    if (year != items.end()) FillIfEmpty(fields.year, Utf8(year->second.toString()));
    FillIfEmpty(fields.comment, Utf8(tag.comment()));
}

void ReadId3v1(const TagLib::ID3v1::Tag& tag, TagInfo& fields) {
    FillIfEmpty(fields.track, NumberText(tag.track()));
    FillIfEmpty(fields.title, Utf8(tag.title()));
    FillIfEmpty(fields.artist, Utf8(tag.artist()));
    FillIfEmpty(fields.album, Utf8(tag.album()));
    const char* genre = GenreName(static_cast<int>(tag.genreNumber()));
    if (genre != nullptr) FillIfEmpty(fields.genre, genre);
    FillIfEmpty(fields.year, NumberText(tag.year()));
    FillIfEmpty(fields.comment, Utf8(tag.comment()));
}

bool ReadMpeg(TagLib::IOStream& stream, TagInfo& fields) {
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid() || !(file.hasID3v2Tag() || file.hasAPETag() || file.hasID3v1Tag())) return false;
    if (file.hasID3v2Tag() && file.ID3v2Tag() != nullptr) ReadId3v2(*file.ID3v2Tag(), fields);
    if (file.hasAPETag() && file.APETag() != nullptr) ReadApe(*file.APETag(), fields);
    if (file.hasID3v1Tag() && file.ID3v1Tag() != nullptr) ReadId3v1(*file.ID3v1Tag(), fields);
    return true;
}

std::string PropertyText(const TagLib::PropertyMap& properties, const char* key) {
    const auto found = properties.find(key);
    if (found == properties.end()) return {};
    return Utf8(found->second.toString(" "));
}

// Fields of a tag of no particular kind; the track and year as the properties give them
// (their raw texts for most formats), else as numbers.
void ReadGeneric(const TagLib::Tag& tag, const TagLib::PropertyMap& properties, TagInfo& fields) {
    FillIfEmpty(fields.track, PropertyText(properties, "TRACKNUMBER"));
    FillIfEmpty(fields.track, NumberText(tag.track()));
    FillIfEmpty(fields.title, Utf8(tag.title()));
    FillIfEmpty(fields.artist, Utf8(tag.artist()));
    FillIfEmpty(fields.album, Utf8(tag.album()));
    const auto genre = properties.find("GENRE");
    if (genre != properties.end()) FillIfEmpty(fields.genre, JoinGenres(genre->second));
    FillIfEmpty(fields.genre, GenreText(Utf8(tag.genre())));
    FillIfEmpty(fields.year, PropertyText(properties, "DATE"));
    FillIfEmpty(fields.year, NumberText(tag.year()));
    FillIfEmpty(fields.comment, Utf8(tag.comment()));
}

bool HasContent(const TagLib::Tag* tag) { return tag != nullptr && !tag->isEmpty(); }

// A WAV file may carry an ID3v2 chunk and a RIFF INFO list; the ID3v2 fields come first.
bool ReadWav(TagLib::IOStream& stream, TagInfo& fields) {
    TagLib::RIFF::WAV::File file(&stream, false);
    if (!file.isValid()) return false;
    const bool id3v2 = file.hasID3v2Tag() && HasContent(file.ID3v2Tag());
    const bool info = file.hasInfoTag() && HasContent(file.InfoTag());
    if (id3v2) ReadId3v2(*file.ID3v2Tag(), fields);
    if (info) ReadGeneric(*file.InfoTag(), file.InfoTag()->properties(), fields);
    return id3v2 || info;
}

bool ReadAiff(TagLib::IOStream& stream, TagInfo& fields) {
    TagLib::RIFF::AIFF::File file(&stream, false);
    if (!file.isValid() || !file.hasID3v2Tag() || !HasContent(file.tag())) return false;
    ReadId3v2(*file.tag(), fields);
    return true;
}

std::unique_ptr<TagLib::File> OpenTagFile(TagLib::IOStream& stream, LibraryFileKind kind) {
    switch (kind) {
        case LibraryFileKind::kFlac:
            return std::make_unique<TagLib::FLAC::File>(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
        case LibraryFileKind::kOggVorbis: return std::make_unique<TagLib::Ogg::Vorbis::File>(&stream, false);
        case LibraryFileKind::kOggOpus: return std::make_unique<TagLib::Ogg::Opus::File>(&stream, false);
        default: return nullptr;
    }
}

bool ReadOther(TagLib::IOStream& stream, LibraryFileKind kind, TagInfo& fields) {
    if (kind == LibraryFileKind::kWav) return ReadWav(stream, fields);
    if (kind == LibraryFileKind::kAiff) return ReadAiff(stream, fields);
    // The file type follows the content where it is known; modules and the rest are left
    // to TagLib's own choice.
    std::unique_ptr<TagLib::File> owned = OpenTagFile(stream, kind);
    TagLib::FileRef ref;
    TagLib::File* file = owned.get();
    if (file == nullptr) {
        ref = TagLib::FileRef(&stream, false);
        file = ref.file();
    }
    if (file == nullptr || !file->isValid() || !HasContent(file->tag())) return false;
    ReadGeneric(*file->tag(), file->properties(), fields);
    return true;
}

}  // namespace

bool ReadLibraryTagInfo(const std::string& path, LibraryFileKind kind, TagInfo& info) {
    info = TagInfo{};
    try {
        const int fd = OpenRegularFile(path);
        if (fd < 0) return false;
        // The TagLib files of the readers below read it without owning it; it outlives them.
        CRegularFileStream stream(fd, path);
        const bool found = kind == LibraryFileKind::kMpeg ? ReadMpeg(stream, info) : ReadOther(stream, kind, info);
        if (!found) info = TagInfo{};
        return found;
    } catch (...) {
        info = TagInfo{};
        return false;
    }
}

std::string FormatTagInfo(const TagInfo& fields, const char* format) {
    if (format == nullptr) return {};
    struct Key {
        std::string_view name;
        const std::string* text;
    };
    const Key keys[] = {{"%TRCK", &fields.track}, {"%TITL", &fields.title}, {"%ARTI", &fields.artist},
                        {"%ALBM", &fields.album}, {"%GNRE", &fields.genre}, {"%YEAR", &fields.year},
                        {"%CMNT", &fields.comment}};
    const std::string_view text = format;
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        bool replaced = false;
        if (text[at] == '%') {
            for (const Key& key : keys) {
                if (text.substr(at, key.name.size()) == key.name) {
                    out += *key.text;
                    at += key.name.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += text[at++];
    }
    return out;
}

}  // namespace corvane::audio
