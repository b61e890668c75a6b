// Tag reading, genre and channel-mode names, display texts of source facts.
#include "engine/Facts.h"

#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <utility>

#include "audio/AudioLibrary.h"

namespace corvane {
namespace {

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

bool ReadTags(const std::string& path, TagFields& out) {
    out = TagFields{};
    audio::TagInfo info;
    if (!audio::TagsGetFileInfo(path, &info)) return false;
    out.track = LeadingInteger(info.track);
    out.title = std::move(info.title);
    out.artist = std::move(info.artist);
    out.album = std::move(info.album);
    out.genre = std::move(info.genre);
    out.year = std::move(info.year);
    out.comment = std::move(info.comment);
    return true;
}

bool GetFileSize64(const std::string& path, uint64_t& size) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

}  // namespace corvane
