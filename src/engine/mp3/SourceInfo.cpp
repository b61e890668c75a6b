// Tag reading, genre and channel-mode names, display texts of source facts.
#include "engine/mp3/SourceInfo.h"

#include <cctype>
#include <climits>
#include <sys/stat.h>

#include "audio/AudioLibrary.h"

namespace corvane {
namespace {

constexpr const char* kTagFormat = "%TRCK\n%TITL\n%ARTI\n%ALBM\n%GNRE\n%YEAR\n%CMNT";
constexpr const char* kChannelModeNames[4] = {"Stereo", "J-Stereo", "Dual Channel", "Mono"};

}  // namespace

const char* ChannelModeName(int mode) { return mode >= 0 && mode < 4 ? kChannelModeNames[mode] : ""; }

std::string BitrateText(int kbps) { return std::to_string(kbps) + " kbps"; }
std::string SampleRateText(int hz) { return std::to_string(hz) + " Hz"; }
std::string TrackText(int track) { return track >= 1 ? std::to_string(track) : std::string(); }

int LeadingInteger(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) value = INT_MAX;  // saturate rather than overflow
    }
    return static_cast<int>(negative ? -value : value);
}

void ParseTagText(const std::string& text, TagFields& out) {
    std::string* const fields[] = {nullptr, &out.title, &out.artist, &out.album, &out.genre, &out.year};
    size_t from = 0;
    for (int field = 0; field < 6; ++field) {
        const size_t newline = text.find('\n', from);
        if (newline == std::string::npos) return;
        const std::string part = text.substr(from, newline - from);
        if (field == 0) {
            out.track = LeadingInteger(part);
        } else {
            *fields[field] = part;
        }
        from = newline + 1;
    }
    out.comment = text.substr(from);
}

bool ReadTags(const std::string& path, TagFields& out) {
    out = TagFields{};
    const audio::Handle stream = audio::StreamCreateFile(path, 0, 0, audio::kStreamDecode);
    if (stream == 0) return false;
    const std::string text = audio::TagsRead(stream, kTagFormat);
    audio::StreamFree(stream);
    if (text.empty()) return false;
    ParseTagText(text, out);
    return true;
}

bool GetFileSize64(const std::string& path, uint64_t& size) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

}  // namespace corvane
