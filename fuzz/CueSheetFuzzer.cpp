// Fuzz target: CUE sheets (the input is the sheet's text), read from a file and parsed, then
// planned as the pieces of a source of a few lengths: an hour and a half, and just longer
// than where the last track starts, so that the last piece is a fraction of a second.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "engine/Facts.h"
#include "engine/cut/CueSheet.h"

namespace {

constexpr int64_t kLongSourceMs = 90 * 60 * 1000;
// The source the sheets are planned for; a FILE line names it or another file.
constexpr char kSourcePath[] = "/music/Live at Home.mp3";

bool SameSheet(const corvane::CueSheet& a, const corvane::CueSheet& b) {
    if (a.files != b.files || a.title != b.title || a.performer != b.performer || a.genre != b.genre ||
        a.date != b.date || a.tracks.size() != b.tracks.size())
        return false;
    for (size_t i = 0; i < a.tracks.size(); ++i) {
        const corvane::CueTrack& x = a.tracks[i];
        const corvane::CueTrack& y = b.tracks[i];
        if (x.number != y.number || x.title != y.title || x.performer != y.performer || x.pregap != y.pregap ||
            x.start != y.start)
            return false;
    }
    return true;
}

// Plans sheet for a source of milliseconds at sampleRate; checks what a plan promises.
void CheckPlan(const corvane::CueSheet& sheet, int64_t milliseconds, int sampleRate) {
    using namespace corvane;
    SourceFacts facts;
    facts.milliseconds = milliseconds;
    facts.seconds = static_cast<uint32_t>(milliseconds / 1000);
    facts.sampleRate = sampleRate;
    CuePieces pieces;
    const Outcome planned = PlanCuePieces(sheet, kSourcePath, facts, pieces);
    if (!planned.done()) {
        CORVANE_FUZZ_CHECK(pieces.rows.empty() && !planned.message.empty());
        return;
    }
    // The rows cover the whole file in order, each with its tag and start frame.
    const int total = facts.lengthTenths();
    CORVANE_FUZZ_CHECK(!pieces.rows.empty());
    CORVANE_FUZZ_CHECK(pieces.tags.size() == pieces.rows.size() && pieces.startFrames.size() == pieces.rows.size());
    CORVANE_FUZZ_CHECK(pieces.rows.front().start == 0 && pieces.rows.back().end == total);
    for (size_t k = 0; k < pieces.rows.size(); ++k) {
        const PieceEntry& row = pieces.rows[k];
        CORVANE_FUZZ_CHECK(row.start < row.end && row.tags.has_value());
        if (k + 1 < pieces.rows.size()) {
            CORVANE_FUZZ_CHECK(row.end == pieces.rows[k + 1].start);
            CORVANE_FUZZ_CHECK(row.endSample == static_cast<int64_t>(pieces.startFrames[k + 1]));
            CORVANE_FUZZ_CHECK(pieces.startFrames[k] <= pieces.startFrames[k + 1]);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvane;
    using fuzz::IsUtf8;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CueSheet sheet;
    const Outcome parsed = ParseCueSheet(text, sheet);
    // The same sheet read from a file.
    const fuzz::CInputFile file(data, size);
    CueSheet read;
    const Outcome fromFile = ReadCueSheet(file.Path(), read);
    CORVANE_FUZZ_CHECK(fromFile.done() == parsed.done());
    if (!parsed.done()) {
        CORVANE_FUZZ_CHECK(fromFile.message == parsed.message);
        return 0;
    }
    CORVANE_FUZZ_CHECK(SameSheet(sheet, read));
    CORVANE_FUZZ_CHECK(IsUtf8(sheet.title) && IsUtf8(sheet.performer) && IsUtf8(sheet.genre) && IsUtf8(sheet.date));
    for (const std::string& name : sheet.files) CORVANE_FUZZ_CHECK(IsUtf8(name));
    for (const CueTrack& track : sheet.tracks) {
        CORVANE_FUZZ_CHECK(IsUtf8(track.title) && IsUtf8(track.performer));
        CORVANE_FUZZ_CHECK(track.start >= -1 && track.pregap >= -1);
    }

    CheckPlan(sheet, kLongSourceMs, 44100);
    int64_t last = 0;
    for (const CueTrack& track : sheet.tracks) last = std::max(last, track.start);
    if (last < INT64_MAX / 1000) {
        const int64_t lastTenths = last * 10 / kCueFramesPerSecond;
        CheckPlan(sheet, (lastTenths + 1) * 100, 48000);  // the last track starts in the last tenth, or fails
        CheckPlan(sheet, (lastTenths + 2) * 100, 8000);
    }
    return 0;
}
