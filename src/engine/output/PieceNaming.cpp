// Names, folders and ID3v2 tags of the pieces a cut writes.
#include "engine/output/PieceNaming.h"

#include <lame/lame.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "engine/base/PathUtil.h"
#include "engine/Facts.h"

namespace corvane {

namespace {

// What PieceBaseName strips: ".mp3" in any case, or any extension of up to three characters.
constexpr std::string_view kMp3Extension = "mp3";
constexpr size_t kMaxShortExtension = 3;

// What stands for the dots of a name that would be "." or "..", and for an empty name.
constexpr char kDotReplacement = '_';

// Characters a name may not carry; each becomes a space (NUL would end the name early).
constexpr std::string_view kForbiddenNameCharacters{"\\/:*?\"<>|\0", 10};

// Tag placeholders of the name template and the values the preview shows for them.
constexpr std::array<std::string_view, 6> kTagPlaceholders = {"%I%", "%A%", "%L%",
                                                              "%Y%", "%G%", "%N%"};
constexpr std::array<std::string_view, 6> kPreviewTagValues = {"Title", "Artist", "Album",
                                                               "Year",  "Genre",  "9"};

// A UTF-16 text as LAME takes it: byte-order mark first, zero-terminated.
constexpr unsigned short kByteOrderMark = 0xFEFF;
constexpr char32_t kReplacementCharacter = 0xFFFD;

// Replaces every occurrence of from in text by to, left to right; inserted text is not
// searched again.
void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    if (from.empty()) return;
    std::string result;
    size_t start = 0;
    for (size_t hit = text.find(from); hit != std::string::npos; hit = text.find(from, start)) {
        result.append(text, start, hit - start);
        result.append(to);
        start = hit + from.size();
    }
    if (start == 0) return;
    result.append(text, start, std::string::npos);
    text = std::move(result);
}

// Replaces the tag placeholders in one pass, so a value holding a placeholder text stays.
std::string ReplaceTagPlaceholders(const std::string& text,
                                   const std::array<std::string, 6>& values) {
    std::string result;
    size_t i = 0;
    while (i < text.size()) {
        bool replaced = false;
        if (text[i] == '%') {
            for (size_t k = 0; k < kTagPlaceholders.size(); ++k) {
                if (text.compare(i, kTagPlaceholders[k].size(), kTagPlaceholders[k]) == 0) {
                    result += values[k];
                    i += kTagPlaceholders[k].size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) result += text[i++];
    }
    return result;
}

bool HasTagPlaceholder(const std::string& text) {
    for (std::string_view placeholder : kTagPlaceholders) {
        if (text.find(placeholder) != std::string::npos) return true;
    }
    return false;
}

bool IsPlainAscii(const std::string& text) {
    for (unsigned char c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

// UTF-8 to zero-terminated UTF-16 with a leading byte-order mark. Malformed sequences become
// U+FFFD; characters beyond the basic plane become surrogate pairs.
std::vector<unsigned short> ToUtf16(const std::string& text) {
    std::vector<unsigned short> out;
    out.reserve(text.size() + 2);
    out.push_back(kByteOrderMark);
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char lead = p[i];
        char32_t c = kReplacementCharacter;
        size_t length = 1;
        size_t extra = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1; c = lead & 0x1F; minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2; c = lead & 0x0F; minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3; c = lead & 0x07; minimum = 0x10000;
        } else {
            c = kReplacementCharacter;
        }
        if (extra > 0) {
            // A sequence cut short counts as one malformed character with its lead.
            size_t k = 1;
            while (k <= extra && i + k < n && (p[i + k] & 0xC0) == 0x80) {
                c = (c << 6) | (p[i + k] & 0x3F);
                ++k;
            }
            length = k;
            const bool complete = k == extra + 1;
            if (!complete || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
                c = kReplacementCharacter;
            }
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<unsigned short>(0xD800 + (c >> 10)));
            out.push_back(static_cast<unsigned short>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<unsigned short>(c));
        }
        i += length;
    }
    out.push_back(0);
    return out;
}

// One LAME context per thread, made once, used only for rendering tags. Its tag functions
// need only what lame_init sets up: the encoder's own set-up (lame_init_params, most of a
// millisecond of tables) is never run.
class CTagRenderer {
public:
    CTagRenderer() {
        flags_ = lame_init();
        ready_ = flags_ != nullptr;
    }
    ~CTagRenderer() {
        if (flags_ != nullptr) lame_close(flags_);
    }
    CTagRenderer(const CTagRenderer&) = delete;
    CTagRenderer& operator=(const CTagRenderer&) = delete;

    std::vector<uint8_t> Render(const std::string& title, const std::string& artist,
                                const std::string& album, const std::string& year,
                                const std::string& comment, const std::string& genre,
                                int track) {
        std::vector<uint8_t> tag;
        if (!ready_) return tag;
        // A new tag: frees the fields of the last one and adds LAME's encoder frame.
        id3tag_init(flags_);
        id3tag_v2_only(flags_);
        SetText("TPE1", artist, id3tag_set_artist);
        SetText("TIT2", title, id3tag_set_title);
        SetText("TALB", album, id3tag_set_album);
        SetGenre(genre);
        SetComment(comment);
        SetText("TYER", year, id3tag_set_year);
        if (track != 0) {
            const std::string number = std::to_string(track);
            id3tag_set_track(flags_, number.c_str());  // above 255 only the v1 field is refused
        }
        const size_t length = lame_get_id3v2_tag(flags_, nullptr, 0);
        if (length <= kMinimumTagLength) return tag;
        tag.resize(length);
        const size_t written = lame_get_id3v2_tag(flags_, tag.data(), tag.size());
        if (written != length) tag.clear();
        return tag;
    }

private:
    // A tag of this size or less is a bare header without frames.
    static constexpr size_t kMinimumTagLength = 10;

    void SetText(const char* frameId, const std::string& text,
                 void (*setLatin1)(lame_global_flags*, const char*)) {
        if (text.empty()) return;
        if (IsPlainAscii(text)) {
            setLatin1(flags_, text.c_str());
        } else {
            const std::vector<unsigned short> wide = ToUtf16(text);
            id3tag_set_textinfo_utf16(flags_, frameId, wide.data());
        }
    }

    // LAME maps genre numbers and known names to its table; an unknown name is stored as
    // the text it is (result 0); a number outside the table is refused (-1) and leaves the
    // tag without a genre frame, the rest of the tag being unaffected.
    void SetGenre(const std::string& genre) {
        if (genre.empty()) return;
        if (IsPlainAscii(genre)) {
            id3tag_set_genre(flags_, genre.c_str());
        } else {
            const std::vector<unsigned short> wide = ToUtf16(genre);
            id3tag_set_textinfo_utf16(flags_, "TCON", wide.data());
        }
    }

    void SetComment(const std::string& comment) {
        if (comment.empty()) return;
        if (IsPlainAscii(comment)) {
            id3tag_set_comment(flags_, comment.c_str());
        } else {
            const std::vector<unsigned short> wide = ToUtf16(comment);
            const unsigned short noDescription[] = {kByteOrderMark, 0};
            id3tag_set_comment_utf16(flags_, nullptr, noDescription, wide.data());
        }
    }

    lame_global_flags* flags_ = nullptr;
    bool ready_ = false;
};

}  // namespace

std::vector<uint8_t> WithoutEncoderFrame(const std::vector<uint8_t>& tag) {
    constexpr size_t kHeaderBytes = 10;
    constexpr int kSyncsafeVersion = 4;  // ID3v2.4 frame sizes are syncsafe, v2.3's plain
    if (tag.size() < kHeaderBytes || tag[0] != 'I' || tag[1] != 'D' || tag[2] != '3') return tag;
    const auto syncsafe = [](const uint8_t* p) {
        return (size_t{p[0]} << 21) | (size_t{p[1]} << 14) | (size_t{p[2]} << 7) | size_t{p[3]};
    };
    const size_t end = std::min(tag.size(), kHeaderBytes + syncsafe(&tag[6]));
    std::vector<uint8_t> out(tag.begin(), tag.begin() + kHeaderBytes);
    size_t p = kHeaderBytes;
    bool framesLeft = false;
    while (p + kHeaderBytes <= end && tag[p] != 0) {
        const size_t size = tag[3] == kSyncsafeVersion
                                ? syncsafe(&tag[p + 4])
                                : (size_t{tag[p + 4]} << 24) | (size_t{tag[p + 5]} << 16) |
                                      (size_t{tag[p + 6]} << 8) | size_t{tag[p + 7]};
        const size_t next = std::min(end, p + kHeaderBytes + size);
        if (std::memcmp(&tag[p], "TSSE", 4) != 0) {
            out.insert(out.end(), tag.begin() + static_cast<long>(p), tag.begin() + static_cast<long>(next));
            framesLeft = true;
        }
        p = next;
    }
    if (!framesLeft) return {};
    out.insert(out.end(), tag.begin() + static_cast<long>(p), tag.begin() + static_cast<long>(end));  // padding
    const size_t body = out.size() - kHeaderBytes;
    for (int i = 0; i < 4; ++i) out[6 + static_cast<size_t>(i)] = static_cast<uint8_t>((body >> (7 * (3 - i))) & 0x7F);
    return out;
}

int AutomaticDigits(int count) {
    return static_cast<int>(std::to_string(static_cast<unsigned>(count)).size());
}

std::string FormatPieceNumber(int value, int digits) {
    if (digits < 1) digits = 0;
    std::vector<char> buffer(static_cast<size_t>(digits) + 16);
    std::snprintf(buffer.data(), buffer.size(), "%0*d", digits, value);
    return std::string(buffer.data());
}

std::string PieceBaseName(const std::string& sourcePath) {
    const std::string name = FileNameOf(sourcePath);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return name;
    const std::string_view extension = std::string_view(name).substr(dot + 1);
    size_t characters = 0;  // UTF-8: every byte but the continuation bytes starts a character
    for (const char c : extension) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    bool mp3 = extension.size() == kMp3Extension.size();
    for (size_t i = 0; mp3 && i < extension.size(); ++i) {
        mp3 = std::tolower(static_cast<unsigned char>(extension[i])) == kMp3Extension[i];
    }
    return mp3 || characters <= kMaxShortExtension ? name.substr(0, dot) : name;
}

std::string SafeNameComponent(std::string name) {
    if (name.empty() || name == "." || name == "..") {
        for (char& c : name) c = kDotReplacement;
        if (name.empty()) name = kDotReplacement;
    }
    return name;
}

namespace {

// name cut at a character boundary before its extension so that it and a rename number
// ("_12") fit the 255 bytes a file name may have on Linux file systems.
std::string ShortenedName(std::string name) {
    constexpr size_t kLongestName = 240;      // 255 less room for a rename number
    constexpr size_t kLongestExtension = 16;  // a longer "extension" is part of the name
    if (name.size() <= kLongestName) return name;
    const size_t dot = name.rfind('.');
    const std::string extension =
        dot != std::string::npos && name.size() - dot <= kLongestExtension ? name.substr(dot) : std::string();
    size_t keep = kLongestName - extension.size();
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;  // not inside a character
    return name.substr(0, keep) + extension;
}

// ExpandNameTemplate with the tag placeholders' values: read from tags, from the file at
// sourcePath, or the preview's when both are null.
std::string ExpandName(const std::string& nameTemplate, const std::string& baseName, const TagFields* tags,
                       const std::string* sourcePath, int index, int count, int sequence, int digits) {
    std::string name = nameTemplate;
    ReplaceAll(name, "%F%", baseName);
    ReplaceAll(name, "%P%", FormatPieceNumber(index, digits));
    ReplaceAll(name, "%T%", FormatPieceNumber(count, digits));
    ReplaceAll(name, "%S%", FormatPieceNumber(sequence, digits));
    if (HasTagPlaceholder(name)) {
        std::array<std::string, 6> values;
        if (tags != nullptr || sourcePath != nullptr) {
            TagFields read;
            if (tags == nullptr) {
                ReadTags(*sourcePath, read);  // no tag: all fields empty
                tags = &read;
            }
            values = {tags->title, tags->artist, tags->album, tags->year, tags->genre,
                      tags->track > 0 ? std::to_string(tags->track) : std::string()};
        } else {
            for (size_t k = 0; k < values.size(); ++k) values[k] = kPreviewTagValues[k];
        }
        name = ReplaceTagPlaceholders(name, values);
    }
    // Characters no file name should hold become a space: the forbidden ones, and control
    // characters (C0, DEL, and C1, which UTF-8 writes as 0xC2 0x80..0x9F), which a terminal
    // would act on when it shows the name.
    std::string clean;
    clean.reserve(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const bool c1 = byte == 0xC2 && i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xE0) == 0x80;
        if (c1) ++i;
        const bool control = byte < 0x20 || byte == 0x7F || c1;
        clean += control || kForbiddenNameCharacters.find(name[i]) != std::string_view::npos ? ' ' : name[i];
    }
    // A name that is an extension alone (".mp3" from an empty title) would be a hidden file
    // without a name: its empty name becomes "_", as SafeNameComponent makes an empty name.
    std::string safe = SafeNameComponent(ShortenedName(std::move(clean)));
    if (safe.front() == '.' && safe.find('.', 1) == std::string::npos) safe.insert(0, 1, kDotReplacement);
    return safe;
}

}  // namespace

std::string ExpandNameTemplate(const std::string& nameTemplate, const std::string& baseName,
                               const std::string* sourcePath, int index, int count,
                               int sequence, int digits) {
    return ExpandName(nameTemplate, baseName, nullptr, sourcePath, index, count, sequence, digits);
}

std::string ExpandNameTemplate(const std::string& nameTemplate, const std::string& baseName, const TagFields& tags,
                               int index, int count, int sequence, int digits) {
    return ExpandName(nameTemplate, baseName, &tags, nullptr, index, count, sequence, digits);
}

std::string ExpandTitleTemplate(const std::string& titleTemplate, const std::string& title,
                                const std::string& baseName, int index, int count,
                                int sequence, int digits) {
    if (digits < 1) digits = AutomaticDigits(count);
    std::string result = titleTemplate;
    ReplaceAll(result, "%I%", title);
    ReplaceAll(result, "%P%", FormatPieceNumber(index, digits));
    ReplaceAll(result, "%T%", FormatPieceNumber(count, digits));
    ReplaceAll(result, "%S%", FormatPieceNumber(sequence, digits));
    ReplaceAll(result, "%F%", baseName);
    return result;
}

std::vector<uint8_t> BuildId3v2Tag(const std::string& title, const std::string& artist,
                                   const std::string& album, const std::string& year,
                                   const std::string& comment, const std::string& genre,
                                   int track) {
    thread_local CTagRenderer renderer;
    return renderer.Render(title, artist, album, year, comment, genre, track);
}

std::vector<uint8_t> BuildPieceTag(const PieceTagSource& source, int index, int count,
                                   int sequence, int titleDigits) {
    if (!source.keepTag) return {};
    const std::string title = ExpandTitleTemplate(source.titleTemplate, source.sourceTitle,
                                                  source.baseName, index, count, sequence,
                                                  titleDigits);
    int track = source.sourceTrack;
    if (source.trackMode == TrackNumber::Sequence) track = index;
    if (source.trackMode == TrackNumber::None) track = 0;
    return BuildId3v2Tag(title, source.sourceArtist, source.sourceAlbum, source.sourceYear,
                         source.sourceComment, source.sourceGenre, track);
}

}  // namespace corvane
