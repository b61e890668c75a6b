// Fuzz target: the tag reader (TagLib's ID3v2, APE and ID3v1 of MPEG audio; the tags of WAV,
// AIFF, FLAC and Ogg files by their magic) into the audio layer's tag record, and what the
// engine makes of the record's texts.
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "audio/AudioLibrary.h"
#include "audio/LibraryChannel.h"
#include "audio/LibraryTagReader.h"
#include "engine/Facts.h"

namespace {

using corvane::audio::LibraryFileKind;

// The kind the audio layer would give a file of this content.
LibraryFileKind KindOf(const uint8_t* data, size_t size) {
    const auto starts = [&](const char* magic) { return size >= 4 && std::memcmp(data, magic, 4) == 0; };
    if (starts("RIFF")) return LibraryFileKind::kWav;
    if (starts("FORM")) return LibraryFileKind::kAiff;
    if (starts("fLaC")) return LibraryFileKind::kFlac;
    if (starts("OggS")) return size % 2 == 0 ? LibraryFileKind::kOggVorbis : LibraryFileKind::kOggOpus;
    return LibraryFileKind::kMpeg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvane;
    const fuzz::CInputFile file(data, size);
    audio::TagInfo info;
    info.title = "left from before";
    const bool found = audio::ReadLibraryTagInfo(file.Path(), KindOf(data, size), info);
    const std::string* fields[] = {&info.track, &info.title, &info.artist, &info.album,
                                   &info.genre, &info.year,  &info.comment};
    for (const std::string* field : fields) {
        if (!found) CORVANE_FUZZ_CHECK(field->empty());
        CORVANE_FUZZ_CHECK(fuzz::IsUtf8(*field));
    }
    // Every field once, and the 15 other characters of the format.
    const std::string formatted = audio::FormatTagInfo(info, "%TRCK. %ARTI - %TITL (%ALBM, %YEAR, %GNRE) %CMNT %");
    size_t fieldBytes = 0;
    for (const std::string* field : fields) fieldBytes += field->size();
    CORVANE_FUZZ_CHECK(formatted.size() == fieldBytes + 15);
    LeadingInteger(info.track);
    LeadingInteger(info.year);
    return 0;
}
