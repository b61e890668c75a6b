// corvane-cli peaks: the lowest and highest sample of each column of a file's waveform, or
// of a stretch of it.
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>

#include "cli/ArgParse.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/TextEscape.h"
#include "engine/Peaks.h"

namespace corvane::cli {
namespace {

constexpr int kDefaultColumns = 100;
constexpr int kMaxColumns = 1000000;
// Samples are printed as fractions of full scale (32768), to five places: one step of a
// 16-bit sample is 0.00003.
constexpr double kFullScale = 32768.0;
constexpr int kMillisecondsPerSecond = 1000;
constexpr uint64_t kTenthsPerSecond = 10;
constexpr uint64_t kSecondsPerMinute = 60;

std::string Fraction(int16_t sample) {
    char text[16];
    std::snprintf(text, sizeof text, "%.5f", sample / kFullScale);
    return text;
}

uint64_t Milliseconds(uint64_t frames, uint32_t sampleRate) {
    return sampleRate ? frames * kMillisecondsPerSecond / sampleRate : 0;
}

// frames at sampleRate as minutes, seconds and tenths ("5:02.0"), truncated.
std::string TenthsText(uint64_t frames, uint32_t sampleRate) {
    const uint64_t tenths = sampleRate ? frames * kTenthsPerSecond / sampleRate : 0;
    const uint64_t seconds = tenths / kTenthsPerSecond;
    char text[48];
    std::snprintf(text, sizeof text, "%llu:%02llu.%llu", static_cast<unsigned long long>(seconds / kSecondsPerMinute),
                  static_cast<unsigned long long>(seconds % kSecondsPerMinute),
                  static_cast<unsigned long long>(tenths % kTenthsPerSecond));
    return text;
}

int LoadFailed(const std::string& path, const Outcome& outcome, bool json) {
    if (json) {
        std::cout << "{\"path\": " << JsonString(path) << ", \"ok\": false, \"error\": " << JsonString(outcome.message)
                  << "}\n";
    }
    std::cerr << TerminalText(outcome.message) << "\n";
    return kExitFailure;
}

// A stretch asked for with --from and --to, as the user wrote it and in tenths.
struct StretchArgs {
    std::optional<int> fromTenths;
    std::optional<int> toTenths;
    std::string fromText;
    std::string toText;
    bool Given() const { return fromTenths || toTenths; }
};

// What is printed: the file's facts, the stretch shown (frames), the columns.
struct PeaksReport {
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint64_t frames = 0;
    std::optional<std::pair<uint64_t, uint64_t>> stretch;  // only when --from or --to was given
    std::vector<PeakColumn> columns;
};

void PrintReport(const std::string& path, const PeaksReport& report, bool json) {
    std::ostringstream out;
    if (json) {
        out << "{\"path\": " << JsonString(path) << ", \"ok\": true, \"sample_rate\": " << report.sampleRate
            << ", \"channels\": " << report.channels << ", \"frames\": " << report.frames
            << ", \"length_ms\": " << Milliseconds(report.frames, report.sampleRate);
        if (report.stretch) {
            out << ", \"from_ms\": " << Milliseconds(report.stretch->first, report.sampleRate)
                << ", \"to_ms\": " << Milliseconds(report.stretch->second, report.sampleRate);
        }
        out << ", \"columns\": " << report.columns.size() << ", \"peaks\": [";
        for (size_t c = 0; c < report.columns.size(); ++c) {
            out << (c ? ", " : "") << "[" << Fraction(report.columns[c].low) << ", "
                << Fraction(report.columns[c].high) << "]";
        }
        out << "]}\n";
    } else {
        for (const PeakColumn& column : report.columns)
            out << Fraction(column.low) << " " << Fraction(column.high) << "\n";
    }
    std::cout << out.str() << std::flush;
}

// The stretch's columns: from the peak cache's map when it is fine enough, else decoded.
// The times are checked against the file's length first (usage errors).
int RunStretch(const std::string& path, const StretchArgs& args, int columns, bool json) {
    const std::atomic<bool> never{false};
    PeakMap cached;
    const bool hasMap = LoadCachedPeakMap(path, cached);
    StretchPeaks facts;
    if (hasMap) {
        facts.frames = cached.frames;
        facts.sampleRate = cached.sampleRate;
    } else {
        const Outcome outcome = LoadStretchPeaks(path, 0, 0, 0, facts, never);
        if (!outcome.done()) return LoadFailed(path, outcome, json);
    }
    const std::string length = TenthsText(facts.frames, facts.sampleRate);
    const uint64_t from = args.fromTenths ? FrameAtTenths(*args.fromTenths, facts.sampleRate) : 0;
    const uint64_t to = args.toTenths ? FrameAtTenths(*args.toTenths, facts.sampleRate) : facts.frames;
    if (args.fromTenths && from >= facts.frames)
        return UsageError("--from " + args.fromText + " is at or past the end of the file (" + length + ")");
    if (args.toTenths && to > facts.frames)
        return UsageError("--to " + args.toText + " is past the end of the file (" + length + ")");
    if (to <= from) return UsageError("--to must come after the start of the file");

    StretchPeaks stretch;
    const Outcome outcome =
        LoadStretchPeaks(path, from, to, static_cast<uint32_t>(columns), stretch, never, hasMap ? &cached : nullptr);
    if (!outcome.done()) return LoadFailed(path, outcome, json);
    PrintReport(path, {stretch.sampleRate, stretch.channels, stretch.frames, std::pair{stretch.from, stretch.to},
                       std::move(stretch.columns)},
                json);
    return kExitOk;
}

}  // namespace

int RunPeaks(const Args& args) {
    bool json = false;
    int columns = kDefaultColumns;
    StretchArgs stretch;
    std::vector<std::string> files;
    CArgWalker walker(args);
    while (walker.Next()) {
        if (walker.IsFile()) {
            files.push_back(walker.Text());
        } else if (walker.Text() == "--json") {
            json = true;
        } else if (walker.Text() == "--columns") {
            std::string value;
            if (!walker.TakeValue(value)) return walker.MissingValue();
            if (!ParseCount(value, columns) || columns < 1 || columns > kMaxColumns) return walker.BadValue(value);
        } else if (walker.Text() == "--from" || walker.Text() == "--to") {
            std::string value;
            int tenths = 0;
            if (!walker.TakeValue(value)) return walker.MissingValue();
            if (!ParseTenths(value, tenths)) return walker.BadValue(value);
            const bool isFrom = walker.Text() == "--from";
            (isFrom ? stretch.fromTenths : stretch.toTenths) = tenths;
            (isFrom ? stretch.fromText : stretch.toText) = value;
        } else {
            return UsageError("unknown option for peaks: " + walker.Text());
        }
    }
    if (files.size() != 1) return UsageError("peaks needs exactly one FILE");
    if (stretch.fromTenths && stretch.toTenths && *stretch.fromTenths >= *stretch.toTenths)
        return UsageError("--from " + stretch.fromText + " must come before --to " + stretch.toText);
    const std::string& path = files.front();
    if (stretch.Given()) return RunStretch(path, stretch, columns, json);

    PeakMap map;
    const std::atomic<bool> never{false};
    const Outcome outcome = LoadPeakMap(path, map, never);
    if (!outcome.done()) return LoadFailed(path, outcome, json);
    PrintReport(path, {map.sampleRate, map.channels, map.frames, std::nullopt, EvenColumns(map, columns)}, json);
    return kExitOk;
}

}  // namespace corvane::cli
