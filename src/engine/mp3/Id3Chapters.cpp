// CHAP and CTOC frames: written into a rendered ID3v2.3 tag, read from any ID3v2.3 or v2.4 tag.
#include "engine/mp3/Id3Chapters.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace corvane {
namespace {

constexpr size_t kHeaderBytes = 10;       // the tag's header and each frame's header
constexpr uint8_t kVersion3 = 3;
constexpr uint8_t kVersion4 = 4;
constexpr uint8_t kUnsynchronised = 0x80; // tag header flags
constexpr uint8_t kExtendedHeader = 0x40;
constexpr uint32_t kNoOffset = 0xFFFFFFFF;
constexpr uint8_t kTopLevelOrdered = 0x03;
constexpr uint8_t kLatin1 = 0;
constexpr uint8_t kUtf16 = 1;
constexpr uint8_t kUtf16BigEndian = 2;
constexpr uint8_t kUtf8 = 3;
constexpr char32_t kReplacementCharacter = 0xFFFD;
// A tag larger than this is not read for its chapters (its size field allows 256 MB).
constexpr size_t kLargestTagRead = 64u << 20;

uint32_t Syncsafe(const uint8_t* p) {
    return (uint32_t{p[0] & 0x7Fu} << 21) | (uint32_t{p[1] & 0x7Fu} << 14) | (uint32_t{p[2] & 0x7Fu} << 7) |
           uint32_t{p[3] & 0x7Fu};
}
uint32_t BigEndian(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}
void PutSyncsafe(uint8_t* p, size_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>((value >> (7 * (3 - i))) & 0x7F);
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The code points of UTF-8 text; a malformed sequence is one U+FFFD.
std::vector<char32_t> CodePoints(const std::string& text) {
    std::vector<char32_t> out;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char lead = p[i];
        size_t extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : 9;
        if (extra == 9) {
            out.push_back(kReplacementCharacter);
            ++i;
            continue;
        }
        char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
        size_t k = 1;
        for (; k <= extra && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k) c = (c << 6) | (p[i + k] & 0x3F);
        constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (k != extra + 1 || c < kMinimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = kReplacementCharacter;
        }
        out.push_back(c);
        i += k;
    }
    return out;
}

// A text frame's body as the tag's other texts are written: plain ASCII as ISO-8859-1, any
// other text as UTF-16 (little-endian after its byte-order mark).
std::vector<uint8_t> TextBody(const std::string& text) {
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    std::vector<uint8_t> body;
    if (ascii) {
        body.push_back(kLatin1);
        body.insert(body.end(), text.begin(), text.end());
        return body;
    }
    body = {kUtf16, 0xFF, 0xFE};
    auto unit = [&body](uint32_t u) {
        body.push_back(static_cast<uint8_t>(u & 0xFF));
        body.push_back(static_cast<uint8_t>(u >> 8));
    };
    for (char32_t c : CodePoints(text)) {
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return body;
}

// A v2.3 frame: ID, plain 32-bit size, no flags, body.
void PutFrame(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body) {
    out.insert(out.end(), id, id + 4);
    PutBigEndian(out, static_cast<uint32_t>(body.size()));
    out.push_back(0);
    out.push_back(0);
    out.insert(out.end(), body.begin(), body.end());
}

uint32_t Milliseconds(int64_t ms) { return static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, kNoOffset - 1)); }

// A text frame's body as UTF-8 (its terminator and anything after it left out).
std::string DecodeText(const uint8_t* p, size_t n) {
    std::string out;
    if (n == 0) return out;
    const uint8_t encoding = p[0];
    ++p;
    --n;
    if (encoding == kLatin1 || encoding == kUtf8) {
        for (size_t i = 0; i < n && p[i] != 0; ++i) {
            if (encoding == kUtf8) out += static_cast<char>(p[i]);
            else AppendUtf8(out, p[i]);
        }
        if (encoding == kUtf8) {  // well-formed whatever the bytes
            std::string clean;
            for (char32_t c : CodePoints(out)) AppendUtf8(clean, c);
            out = std::move(clean);
        }
        return out;
    }
    if (encoding != kUtf16 && encoding != kUtf16BigEndian) return out;
    bool big = encoding == kUtf16BigEndian;
    size_t i = 0;
    if (encoding == kUtf16 && n >= 2) {
        if (p[0] == 0xFE && p[1] == 0xFF) big = true, i = 2;
        else if (p[0] == 0xFF && p[1] == 0xFE) i = 2;
    }
    auto unit = [&](size_t at) { return big ? (p[at] << 8) | p[at + 1] : p[at] | (p[at + 1] << 8); };
    for (; i + 1 < n; i += 2) {
        char32_t c = static_cast<char32_t>(unit(i));
        if (c == 0) break;
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < n) {
            const char32_t low = static_cast<char32_t>(unit(i + 2));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            } else {
                c = kReplacementCharacter;
            }
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacementCharacter;
        }
        AppendUtf8(out, c);
    }
    return out;
}

// Calls visit (id, body, size) for each frame of the frame area [p, p + n) laid out as
// version lays them out; a frame whose body cannot be read as it is (compressed, encrypted)
// is passed over. Returns where the frames end (where padding begins).
template <typename Visit>
size_t ForEachFrame(const uint8_t* p, size_t n, uint8_t version, Visit visit) {
    size_t at = 0;
    while (at + kHeaderBytes <= n && p[at] != 0) {
        const uint8_t* h = p + at;
        const size_t size = version == kVersion4 ? Syncsafe(h + 4) : BigEndian(h + 4);
        if (size > n - at - kHeaderBytes) return at;  // cut short
        const uint8_t* body = h + kHeaderBytes;
        size_t bodySize = size;
        bool readable = true;
        if (version == kVersion4) {
            readable = (h[9] & 0x0C) == 0;  // compression, encryption
            if ((h[9] & 0x01) != 0 && bodySize >= 4) body += 4, bodySize -= 4;  // data length indicator
        } else {
            readable = (h[9] & 0xC0) == 0;
        }
        if (readable) visit(h, body, bodySize);
        at += kHeaderBytes + size;
    }
    return at;
}

}  // namespace

std::vector<uint8_t> WithChapterFrames(const std::vector<uint8_t>& tag, const std::vector<Chapter>& chapters) {
    if (chapters.empty()) return tag;
    std::vector<uint8_t> out;
    size_t framesEnd = 0;
    size_t tagEnd = 0;
    if (tag.size() >= kHeaderBytes && std::memcmp(tag.data(), "ID3", 3) == 0) {
        out.assign(tag.begin(), tag.begin() + kHeaderBytes);
        tagEnd = std::min(tag.size(), kHeaderBytes + Syncsafe(&tag[6]));
        framesEnd = kHeaderBytes + ForEachFrame(tag.data() + kHeaderBytes, tagEnd - kHeaderBytes, tag[3],
                                                [](const uint8_t*, const uint8_t*, size_t) {});
        out.insert(out.end(), tag.begin() + kHeaderBytes, tag.begin() + static_cast<long>(framesEnd));
    } else {
        out = {'I', 'D', '3', kVersion3, 0, 0, 0, 0, 0, 0};
    }
    const size_t count = std::min(chapters.size(), kMostChapters);
    std::vector<uint8_t> toc = {'t', 'o', 'c', 0, kTopLevelOrdered, static_cast<uint8_t>(count)};
    for (size_t k = 0; k < count; ++k) {
        const std::string id = "ch" + std::to_string(k);
        std::vector<uint8_t> body(id.begin(), id.end());
        body.push_back(0);
        toc.insert(toc.end(), body.begin(), body.end());
        PutBigEndian(body, Milliseconds(chapters[k].startMs));
        PutBigEndian(body, Milliseconds(std::max(chapters[k].endMs, chapters[k].startMs)));
        PutBigEndian(body, kNoOffset);
        PutBigEndian(body, kNoOffset);
        if (!chapters[k].title.empty()) PutFrame(body, "TIT2", TextBody(chapters[k].title));
        PutFrame(out, "CHAP", body);
    }
    PutFrame(out, "CTOC", toc);
    if (framesEnd > 0) out.insert(out.end(), tag.begin() + static_cast<long>(framesEnd), tag.begin() + static_cast<long>(tagEnd));
    PutSyncsafe(&out[6], out.size() - kHeaderBytes);
    return out;
}

std::vector<uint8_t> PaddedTo(const std::vector<uint8_t>& tag, size_t size) {
    if (tag.size() >= size || tag.size() < kHeaderBytes || std::memcmp(tag.data(), "ID3", 3) != 0) return tag;
    std::vector<uint8_t> out = tag;
    out.resize(size, 0);
    PutSyncsafe(&out[6], out.size() - kHeaderBytes);
    return out;
}

std::vector<Chapter> ParseChapterFrames(const uint8_t* tag, size_t size) {
    std::vector<Chapter> chapters;
    if (size < kHeaderBytes || std::memcmp(tag, "ID3", 3) != 0) return chapters;
    const uint8_t version = tag[3];
    if (version != kVersion3 && version != kVersion4) return chapters;
    std::vector<uint8_t> body(tag + kHeaderBytes, tag + std::min(size, kHeaderBytes + Syncsafe(tag + 6)));
    if ((tag[5] & kUnsynchronised) != 0) {
        // Every 0xFF 0x00 stands for 0xFF.
        std::vector<uint8_t> plain;
        for (size_t i = 0; i < body.size(); ++i) {
            plain.push_back(body[i]);
            if (body[i] == 0xFF && i + 1 < body.size() && body[i + 1] == 0) ++i;
        }
        body = std::move(plain);
    }
    size_t start = 0;
    if ((tag[5] & kExtendedHeader) != 0 && body.size() >= 4) {
        start = version == kVersion4 ? Syncsafe(body.data()) : BigEndian(body.data()) + 4;
        if (start > body.size()) return chapters;
    }
    ForEachFrame(body.data() + start, body.size() - start, version, [&](const uint8_t* h, const uint8_t* p, size_t n) {
        if (std::memcmp(h, "CHAP", 4) != 0) return;
        const auto nul = std::find(p, p + n, 0);
        const size_t times = static_cast<size_t>(nul - p) + 1;
        if (nul == p + n || n - times < 16) return;
        Chapter chapter;
        chapter.startMs = BigEndian(p + times);
        chapter.endMs = std::max<int64_t>(BigEndian(p + times + 4), chapter.startMs);
        const size_t sub = times + 16;
        ForEachFrame(p + sub, n - sub, version, [&](const uint8_t* sh, const uint8_t* sp, size_t sn) {
            if (std::memcmp(sh, "TIT2", 4) == 0 && chapter.title.empty()) chapter.title = DecodeText(sp, sn);
        });
        chapters.push_back(std::move(chapter));
    });
    std::stable_sort(chapters.begin(), chapters.end(),
                     [](const Chapter& a, const Chapter& b) { return a.startMs < b.startMs; });
    return chapters;
}

std::vector<Chapter> ChaptersWithin(const std::vector<Chapter>& chapters, int64_t fromMs, int64_t toMs) {
    std::vector<Chapter> within;
    for (const Chapter& c : chapters) {
        const int64_t start = std::max(c.startMs, fromMs);
        const int64_t end = std::min(c.endMs, toMs);
        if (end <= start) continue;
        within.push_back({start - fromMs, end - fromMs, c.title});
    }
    return within;
}

std::vector<Chapter> ReadChapters(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return {};
    uint8_t header[kHeaderBytes];
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header || std::memcmp(header, "ID3", 3) != 0) {
        return {};
    }
    const size_t size = Syncsafe(header + 6);
    if (size > kLargestTagRead) return {};
    std::vector<uint8_t> tag(kHeaderBytes + size);
    std::memcpy(tag.data(), header, kHeaderBytes);
    tag.resize(kHeaderBytes + std::fread(tag.data() + kHeaderBytes, 1, size, file.get()));
    return ParseChapterFrames(tag.data(), tag.size());
}

}  // namespace corvane
