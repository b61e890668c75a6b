// CUE sheets: text decoding, line parsing, and the pieces and tags of the tracks.
#include "engine/cut/CueSheet.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>

#include "audio/LibraryMpegStream.h"
#include "engine/base/Format.h"
#include "engine/base/Messages.h"
#include "engine/base/PathUtil.h"

namespace corvane {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleEndianBom = "\xFF\xFE";
constexpr std::string_view kUtf16BigEndianBom = "\xFE\xFF";
constexpr uint32_t kReplacementCharacter = 0xFFFD;
constexpr int64_t kTenthsPerSecond = 10;
constexpr int kIndexPregap = 0;
constexpr int kIndexStart = 1;
constexpr int64_t kSecondsPerMinute = 60;

constexpr const char* kMoreThanOneFile = "The CUE sheet names more than one file.";
constexpr const char* kNoTrack = "The CUE sheet has no track.";

// Windows-1252 for the bytes 0x80 to 0x9F; the five it leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) are no characters at all.
constexpr std::array<char32_t, 32> kWindows1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 character at text[i] (no overlong form, surrogate or
// value past U+10FFFF); 0 when the bytes there are none.
size_t Utf8CharacterLength(std::string_view text, size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    uint32_t min = 0;
    uint32_t code = 0;
    if (c < 0x80) {
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        length = 2, min = 0x80, code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3, min = 0x800, code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, code = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if (!IsContinuation(next)) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0, length = 0; i < text.size(); i += length) {
        length = Utf8CharacterLength(text, i);
        if (length == 0) return false;
    }
    return true;
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UTF-8 text as it is, each byte that starts no well-formed character made U+FFFD.
std::string CheckedUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const size_t length = Utf8CharacterLength(text, i);
        if (length == 0) {
            AppendUtf8(out, kReplacementCharacter);
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

// UTF-16 code units, two bytes each in the order given, as UTF-8: surrogate pairs join into
// one character; a surrogate without its partner and a last odd byte become U+FFFD.
std::string FromUtf16(std::string_view bytes, bool bigEndian) {
    const auto unit = [&](size_t k) {
        const auto first = static_cast<unsigned char>(bytes[2 * k]);
        const auto second = static_cast<unsigned char>(bytes[2 * k + 1]);
        return static_cast<uint32_t>(bigEndian ? first << 8 | second : second << 8 | first);
    };
    const size_t units = bytes.size() / 2;
    std::string out;
    out.reserve(bytes.size());
    for (size_t k = 0; k < units; ++k) {
        uint32_t code = unit(k);
        if (code >= 0xD800 && code <= 0xDBFF && k + 1 < units && unit(k + 1) >= 0xDC00 && unit(k + 1) <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(k + 1) - 0xDC00);
            ++k;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = kReplacementCharacter;
        }
        AppendUtf8(out, code);
    }
    if (bytes.size() % 2 != 0) AppendUtf8(out, kReplacementCharacter);
    return out;
}

std::string FromWindows1252(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        AppendUtf8(out, c >= 0x80 && c < 0xA0 ? kWindows1252High[c - 0x80] : c);
    }
    return out;
}

// The sheet's text as UTF-8 (see the overview).
std::string DecodeSheetText(std::string_view text) {
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) return CheckedUtf8(text.substr(kUtf8Bom.size()));
    if (text.substr(0, kUtf16LittleEndianBom.size()) == kUtf16LittleEndianBom) {
        return FromUtf16(text.substr(kUtf16LittleEndianBom.size()), false);
    }
    if (text.substr(0, kUtf16BigEndianBom.size()) == kUtf16BigEndianBom) {
        return FromUtf16(text.substr(kUtf16BigEndianBom.size()), true);
    }
    if (IsValidUtf8(text)) return std::string(text);
    return FromWindows1252(text);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Takes the next blank-separated word off the front of rest.
std::string_view NextWord(std::string_view& rest) {
    rest = Trimmed(rest);
    size_t end = 0;
    while (end < rest.size() && !IsBlank(rest[end])) ++end;
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    return word;
}

bool SameWord(std::string_view word, const char* keyword) {
    const size_t n = std::char_traits<char>::length(keyword);
    return word.size() == n && strncasecmp(word.data(), keyword, n) == 0;
}

// A value: the text inside double quotes (to the end of the line when the closing one is
// missing), else the rest of the line, trimmed.
std::string ValueOf(std::string_view rest) {
    rest = Trimmed(rest);
    if (!rest.empty() && rest.front() == '"') {
        rest.remove_prefix(1);
        return std::string(rest.substr(0, rest.find('"')));
    }
    return std::string(rest);
}

// FILE's name: quoted, or every word but the last (the file type) when there are several.
std::string FileNameValue(std::string_view rest) {
    rest = Trimmed(rest);
    if (!rest.empty() && rest.front() == '"') return ValueOf(rest);
    const size_t lastBlank = rest.find_last_of(" \t");
    return std::string(lastBlank == std::string_view::npos ? rest : Trimmed(rest.substr(0, lastBlank)));
}

// Digits only, into value; false for none or too many to hold.
bool ReadNumber(std::string_view digits, int64_t& value) {
    constexpr size_t kMaxDigits = 12;
    if (digits.empty() || digits.size() > kMaxDigits) return false;
    value = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// mm:ss:ff as CUE frames.
bool ReadCueTime(std::string_view text, int64_t& frames) {
    const size_t first = text.find(':');
    const size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos) return false;
    int64_t minutes = 0, seconds = 0, cueFrames = 0;
    if (!ReadNumber(text.substr(0, first), minutes) ||
        !ReadNumber(text.substr(first + 1, second - first - 1), seconds) ||
        !ReadNumber(text.substr(second + 1), cueFrames)) {
        return false;
    }
    if (seconds >= kSecondsPerMinute || cueFrames >= kCueFramesPerSecond) return false;
    frames = (minutes * kSecondsPerMinute + seconds) * kCueFramesPerSecond + cueFrames;
    return true;
}

// The name without folder and extension, for the comparison of the overview.
std::string NameStem(std::string name) {
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

bool SameStem(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Kept 64-bit: a sheet may name times far beyond any file (12-digit minutes), and they must
// compare as such before anything narrows them.
int64_t RoundedTenths(int64_t cueFrames) {
    return static_cast<int64_t>((cueFrames * kTenthsPerSecond * 2 + kCueFramesPerSecond) / (2 * kCueFramesPerSecond));
}

uint64_t SampleFrames(int64_t cueFrames, int sampleRate) {
    const auto rate = static_cast<uint64_t>(sampleRate);
    return (static_cast<uint64_t>(cueFrames) * rate * 2 + kCueFramesPerSecond) / (2 * kCueFramesPerSecond);
}

PieceEntry Row(int start, int end, bool checked) {
    PieceEntry row;
    row.start = start;
    row.end = end;
    row.checked = checked;
    return row;
}

std::string LineFailure(int lineNumber, const std::string& what) {
    return "Line " + std::to_string(lineNumber) + " of the CUE sheet " + what;
}

std::string TrackFailure(int number, const std::string& after) {
    return "Track " + std::to_string(number) + " of the CUE sheet " + after;
}

}  // namespace

Outcome ParseCueSheet(std::string_view raw, CueSheet& out) {
    out = CueSheet{};
    const std::string text = DecodeSheetText(raw);
    size_t lineStart = 0;
    int lineNumber = 0;
    while (lineStart < text.size()) {
        size_t lineEnd = text.find_first_of("\r\n", lineStart);
        if (lineEnd == std::string::npos) lineEnd = text.size();
        std::string_view rest = std::string_view(text).substr(lineStart, lineEnd - lineStart);
        ++lineNumber;
        // "\r\n" ends one line, not two.
        lineStart = lineEnd + (text.compare(lineEnd, 2, "\r\n") == 0 ? 2 : 1);

        CueTrack* track = out.tracks.empty() ? nullptr : &out.tracks.back();
        const std::string_view command = NextWord(rest);
        if (SameWord(command, "FILE")) {
            out.files.push_back(FileNameValue(rest));
        } else if (SameWord(command, "TRACK")) {
            int64_t number = 0;
            if (!ReadNumber(NextWord(rest), number) || number < 1 || number > kMaxCueTrackNumber) {
                return Outcome::Failed(LineFailure(lineNumber, "has a track number that is not 1 to " +
                                                                   std::to_string(kMaxCueTrackNumber) + "."));
            }
            out.tracks.emplace_back();
            out.tracks.back().number = static_cast<int>(number);
        } else if (SameWord(command, "TITLE")) {
            (track ? track->title : out.title) = ValueOf(rest);
        } else if (SameWord(command, "PERFORMER")) {
            (track ? track->performer : out.performer) = ValueOf(rest);
        } else if (SameWord(command, "REM") && track == nullptr) {
            const std::string_view field = NextWord(rest);
            if (SameWord(field, "GENRE")) out.genre = ValueOf(rest);
            if (SameWord(field, "DATE")) out.date = ValueOf(rest);
        } else if (SameWord(command, "INDEX") && track != nullptr) {
            const int number = LeadingInteger(std::string(NextWord(rest)));
            if (number != kIndexPregap && number != kIndexStart) continue;
            int64_t frames = 0;
            if (!ReadCueTime(NextWord(rest), frames)) {
                return Outcome::Failed(LineFailure(lineNumber, "has a time that is not mm:ss:ff."));
            }
            (number == kIndexStart ? track->start : track->pregap) = frames;
        }
    }
    return Outcome::Done();
}

Outcome ReadCueSheet(const std::string& path, CueSheet& out) {
    out = CueSheet{};
    struct stat info {};
    const int fd = audio::OpenRegularFile(path, &info);
    if (fd < 0) return Outcome::Failed(OpenFileFailure(path));
    if (static_cast<uint64_t>(info.st_size) > kMaxCueSheetBytes) {
        ::close(fd);
        return Outcome::Failed(QuotedText("", path, " is too large for a CUE sheet."));
    }
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || bytes.size() + static_cast<size_t>(n) > kMaxCueSheetBytes) {
            ::close(fd);
            return Outcome::Failed(n < 0 ? ReadFileFailure(path)
                                         : QuotedText("", path, " is too large for a CUE sheet."));
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return ParseCueSheet(bytes, out);
}

Outcome PlanCuePieces(const CueSheet& sheet, const std::string& sourcePath, const SourceFacts& facts,
                      CuePieces& out) {
    out = CuePieces{};
    if (sheet.files.size() > 1) return Outcome::Failed(kMoreThanOneFile);
    if (!sheet.files.empty()) {
        const std::string named = NameStem(sheet.files.front());
        if (!SameStem(named, NameStem(FileNameOf(sourcePath)))) {
            return Outcome::Failed(QuotedText("The CUE sheet is for ", FileNameOf(sheet.files.front()),
                                              QuotedText(", not ", FileNameOf(sourcePath), ".")));
        }
    }
    if (sheet.tracks.empty()) return Outcome::Failed(kNoTrack);

    const int total = facts.lengthTenths();
    TagFields albumTag;
    albumTag.album = sheet.title;
    albumTag.artist = sheet.performer;
    albumTag.genre = sheet.genre;
    albumTag.year = sheet.date;

    // Rows hold tenths and must each be longer than nothing, while tracks may lie closer
    // than a tenth: a row starts at its track's rounded start or one tenth after the row
    // before, whichever is later; its exact end (the next track's start in samples) is what
    // the cut keeps.
    CuePieces pieces;
    const CueTrack* before = nullptr;
    for (const CueTrack& track : sheet.tracks) {
        if (track.start < 0) return Outcome::Failed(TrackFailure(track.number, "has no INDEX 01."));
        if (before != nullptr && track.start <= before->start) {
            return Outcome::Failed(
                TrackFailure(track.number, "does not start after track " + std::to_string(before->number) + "."));
        }
        const int64_t earliest = pieces.rows.empty() ? (track.start > 0 ? 1 : 0) : pieces.rows.back().start + 1;
        const int64_t tenths = std::max(RoundedTenths(track.start), earliest);
        if (tenths >= total) {
            return Outcome::Failed(TrackFailure(track.number, "starts at " + FormatPosition(tenths, total) +
                                                               ", not before the end of the file (" +
                                                               FormatPosition(total, total) + ")."));
        }
        const int start = static_cast<int>(tenths);
        if (before == nullptr && track.start > 0) {
            pieces.rows.push_back(Row(0, start, false));
            pieces.tags.push_back(albumTag);
            pieces.startFrames.push_back(0);
        }
        if (!pieces.rows.empty()) pieces.rows.back().end = start;
        pieces.rows.push_back(Row(start, total, true));
        TagFields tag = albumTag;
        tag.track = track.number;
        tag.title = track.title;
        if (!track.performer.empty()) tag.artist = track.performer;
        pieces.tags.push_back(tag);
        pieces.startFrames.push_back(SampleFrames(track.start, facts.sampleRate));
        before = &track;
    }
    for (size_t k = 0; k < pieces.rows.size(); ++k) {
        pieces.rows[k].tags = pieces.tags[k];
        if (k + 1 < pieces.rows.size()) pieces.rows[k].endSample = static_cast<int64_t>(pieces.startFrames[k + 1]);
    }
    out = std::move(pieces);
    return Outcome::Done();
}

Outcome LoadCuePieces(const std::string& sheetPath, const std::string& sourcePath, CuePieces& out) {
    out = CuePieces{};
    CueSheet sheet;
    if (Outcome read = ReadCueSheet(sheetPath, sheet); !read.done()) return read;
    SourceFacts facts;
    if (!ReadSourceFacts(sourcePath, facts)) return Outcome::Failed(LoadFileFailure(sourcePath));
    return PlanCuePieces(sheet, sourcePath, facts, out);
}

}  // namespace corvane
