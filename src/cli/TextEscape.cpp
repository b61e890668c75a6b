// UTF-8 checking and the escaping of control characters for a terminal.
#include "cli/TextEscape.h"

#include <cstdio>

namespace corvane::cli {
namespace {

constexpr unsigned char kContinuationLow = 0x80;
constexpr unsigned char kContinuationHigh = 0xBF;
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr uint32_t kFirstC1 = 0x80;
constexpr uint32_t kLastC1 = 0x9F;

// One row per lead byte range: the sequence's length and the range its second byte must
// fall in (narrower than 80..BF where the plain range would allow an overlong form, a
// surrogate or a code point above U+10FFFF). Later bytes are always 80..BF.
struct LeadRange {
    unsigned char leadLow, leadHigh;
    size_t length;
    unsigned char secondLow, secondHigh;
};
constexpr LeadRange kLeadRanges[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF},
    {0xE0, 0xE0, 3, 0xA0, 0xBF},  // below A0: overlong
    {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F},  // above 9F: surrogates
    {0xEE, 0xEF, 3, 0x80, 0xBF},
    {0xF0, 0xF0, 4, 0x90, 0xBF},  // below 90: overlong
    {0xF1, 0xF3, 4, 0x80, 0xBF},
    {0xF4, 0xF4, 4, 0x80, 0x8F},  // above 8F: beyond U+10FFFF
};

bool InRange(unsigned char c, unsigned char low, unsigned char high) { return c >= low && c <= high; }

void AppendHexByte(std::string& out, unsigned char c) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
    out += buffer;
}

}  // namespace

size_t Utf8SequenceLength(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < kContinuationLow) return 1;
    for (const LeadRange& range : kLeadRanges) {
        if (!InRange(lead, range.leadLow, range.leadHigh)) continue;
        if (text.size() - at < range.length || !InRange(byte(at + 1), range.secondLow, range.secondHigh)) return 0;
        for (size_t i = 2; i < range.length; ++i) {
            if (!InRange(byte(at + i), kContinuationLow, kContinuationHigh)) return 0;
        }
        return range.length;
    }
    return 0;
}

uint32_t Utf8CodePoint(const std::string& text, size_t at, size_t length) {
    constexpr unsigned char kLeadMasks[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    constexpr unsigned char kPayloadMask = 0x3F;
    constexpr int kPayloadBits = 6;
    uint32_t point = static_cast<unsigned char>(text[at]) & kLeadMasks[length];
    for (size_t i = 1; i < length; ++i) {
        point = (point << kPayloadBits) | (static_cast<unsigned char>(text[at + i]) & kPayloadMask);
    }
    return point;
}

std::string TerminalText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        const size_t length = Utf8SequenceLength(text, at);
        if (length == 0) {
            AppendHexByte(out, c);
            ++at;
            continue;
        }
        if (length == 1) {
            if (c == '\n') out += "\\n";
            else if (c == '\r') out += "\\r";
            else if (c == '\t') out += "\\t";
            else if (c < kFirstPrintable || c == kDelete) AppendHexByte(out, c);
            else out += text[at];
            ++at;
            continue;
        }
        const uint32_t point = Utf8CodePoint(text, at, length);
        if (point >= kFirstC1 && point <= kLastC1) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(point));
            out += buffer;
        } else {
            out.append(text, at, length);
        }
        at += length;
    }
    return out;
}

}  // namespace corvane::cli
