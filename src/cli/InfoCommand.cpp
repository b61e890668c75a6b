// corvane-cli info: the facts and tags of MP3 files, as text or JSON.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "engine/base/Format.h"
#include "cli/ArgParse.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/TextEscape.h"
#include "engine/base/Messages.h"
#include "engine/Facts.h"

namespace corvane::cli {
namespace {

constexpr int64_t kMillisecondsPerSecond = 1000;

struct FileFacts {
    std::string path;
    bool ok = false;
    std::string error;
    SourceFacts source;
    TagFields tags;
    std::vector<Chapter> chapters;
};

FileFacts Examine(const std::string& path) {
    FileFacts facts;
    facts.path = path;
    if (!ReadSourceFacts(path, facts.source)) {
        facts.error = LoadFileFailure(path);
        return facts;
    }
    facts.ok = true;
    GetFileSize64(path, facts.source.fileSize);
    ReadTags(path, facts.tags);
    facts.chapters = ReadChapters(path);
    return facts;
}

std::string ToJson(const FileFacts& f) {
    std::ostringstream out;
    out << "{\"path\": " << JsonString(f.path) << ", \"ok\": " << (f.ok ? "true" : "false");
    if (!f.ok) {
        out << ", \"error\": " << JsonString(f.error) << "}";
        return out.str();
    }
    const TagFields& t = f.tags;
    out << ", \"length_seconds\": " << f.source.seconds << ", \"length_ms\": " << f.source.milliseconds
        << ", \"size_bytes\": " << f.source.fileSize << ", \"sample_rate\": " << f.source.sampleRate
        << ", \"bitrate_kbps\": " << f.source.bitrate << ", \"channel_mode\": " << JsonString(ChannelModeName(f.source.channelMode))
        << ", \"vbr_header\": " << (f.source.hasHeaderFrame ? "true" : "false")
        << ", \"truncated\": " << (f.source.truncated ? "true" : "false") << ", \"audio_start\": " << f.source.audioStart
        << ", \"encoder_delay\": " << (f.source.hasEncoderDelays ? std::to_string(f.source.encoderDelay) : "null")
        << ", \"encoder_padding\": " << (f.source.hasEncoderDelays ? std::to_string(f.source.encoderPadding) : "null")
        << ", \"gapless_length_ms\": " << f.source.gaplessMilliseconds
        << ", \"tags\": {\"track\": " << t.track << ", \"title\": " << JsonString(t.title)
        << ", \"artist\": " << JsonString(t.artist) << ", \"album\": " << JsonString(t.album)
        << ", \"year\": " << JsonString(t.year) << ", \"genre\": " << JsonString(t.genre)
        << ", \"comment\": " << JsonString(t.comment) << "}, \"chapters\": [";
    for (size_t k = 0; k < f.chapters.size(); ++k) {
        const Chapter& c = f.chapters[k];
        out << (k ? ", " : "") << "{\"start_ms\": " << c.startMs << ", \"end_ms\": " << c.endMs
            << ", \"title\": " << JsonString(c.title) << "}";
    }
    out << "]}";
    return out.str();
}

// The facts as lines for a terminal; the path and the tag texts are shown with their
// control characters escaped, so that a tag can neither drive the terminal nor add a line.
std::string ToText(const FileFacts& f) {
    std::ostringstream out;
    out << TerminalText(f.path) << "\n";
    if (!f.ok) {
        out << "  error: " << TerminalText(f.error) << "\n";
        return out.str();
    }
    const TagFields& t = f.tags;
    out << "  length:       " << FormatDuration(f.source.seconds) << " (" << f.source.seconds << " s)\n";
    if (f.source.hasEncoderDelays) {
        // What a gapless decoder plays: the frames less the encoder delay and padding.
        out << "  gapless:      " << FormatDuration(f.source.gaplessMilliseconds / kMillisecondsPerSecond) << " ("
            << f.source.gaplessMilliseconds << " ms; the frames hold " << f.source.milliseconds << " ms)\n";
    }
    out
        << "  size:         " << FormatSize(static_cast<int64_t>(f.source.fileSize)) << " (" << f.source.fileSize << " bytes)\n"
        << "  sample rate:  " << SampleRateText(f.source.sampleRate) << "\n"
        << "  bit rate:     " << BitrateText(f.source.bitrate) << "\n"
        << "  channel mode: " << ChannelModeName(f.source.channelMode) << "\n"
        << "  VBR header:   " << (f.source.hasHeaderFrame ? "yes" : "no") << "\n";
    if (f.source.hasEncoderDelays) {
        out << "  LAME tag:     delay " << f.source.encoderDelay << ", padding " << f.source.encoderPadding << " samples\n";
    }
    if (f.source.truncated) {
        // The length above is that of the frames present, not the header's.
        out << "  truncated:    yes, its VBR header gives "
            << FormatDuration(f.source.headerMilliseconds / kMillisecondsPerSecond)
            << "; the length is that of the frames present\n";
    }
    if (f.source.headerUndercounts) {
        out << "  glued:        yes, its VBR header gives "
            << FormatDuration(f.source.headerMilliseconds / kMillisecondsPerSecond)
            << "; the length is that of the frames present\n";
    }
    out
        << "  audio start:  " << f.source.audioStart << "\n"
        << "  track:        " << TrackText(t.track) << "\n"
        << "  title:        " << TerminalText(t.title) << "\n"
        << "  artist:       " << TerminalText(t.artist) << "\n"
        << "  album:        " << TerminalText(t.album) << "\n"
        << "  year:         " << TerminalText(t.year) << "\n"
        << "  genre:        " << TerminalText(t.genre) << "\n"
        << "  comment:      " << TerminalText(t.comment) << "\n";
    // Chapters as start-end in milliseconds and their titles, one a line.
    for (size_t k = 0; k < f.chapters.size(); ++k) {
        const Chapter& c = f.chapters[k];
        out << (k == 0 ? "  chapters:     " : "                ") << c.startMs << "-" << c.endMs << " ms  "
            << TerminalText(c.title) << "\n";
    }
    return out.str();
}

}  // namespace

int RunInfo(const Args& args) {
    bool json = false;
    std::vector<std::string> files;
    CArgWalker walker(args);
    while (walker.Next()) {
        if (walker.IsFile()) files.push_back(walker.Text());
        else if (walker.Text() == "--json") json = true;
        else return UsageError("unknown option for info: " + walker.Text());
    }
    if (files.empty()) return UsageError("info needs at least one FILE");

    bool allOk = true;
    std::string text = json ? "[" : "";
    for (size_t i = 0; i < files.size(); ++i) {
        const FileFacts facts = Examine(files[i]);
        allOk = allOk && facts.ok;
        if (json) {
            text += (i ? ",\n " : "") + ToJson(facts);
        } else {
            text += (i ? "\n" : "") + ToText(facts);
            if (!facts.ok) std::cerr << TerminalText(facts.error) << "\n";
        }
    }
    if (json) text += "]\n";
    std::cout << text << std::flush;
    return allOk ? kExitOk : kExitFailure;
}

}  // namespace corvane::cli
