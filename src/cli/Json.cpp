// JSON string escaping.
#include "cli/Json.h"

#include <cstdio>

#include "cli/TextEscape.h"

namespace corvane::cli {

std::string JsonString(const std::string& text) {
    constexpr unsigned char kFirstPrintable = 0x20;
    std::string out = "\"";
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8SequenceLength(text, at);
        if (length == 0) {
            out += "\\ufffd";
            ++at;
            continue;
        }
        if (length > 1) {
            out.append(text, at, length);
            at += length;
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(text[at++]);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < kFirstPrintable) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
    return out;
}

}  // namespace corvane::cli
