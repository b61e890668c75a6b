// corvane-cli peaks: the lowest and highest sample of each column of a file's waveform.
#include <cstdio>
#include <iostream>
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

std::string Fraction(int16_t sample) {
    char text[16];
    std::snprintf(text, sizeof text, "%.5f", sample / kFullScale);
    return text;
}

}  // namespace

int RunPeaks(const Args& args) {
    bool json = false;
    int columns = kDefaultColumns;
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
        } else {
            return UsageError("unknown option for peaks: " + walker.Text());
        }
    }
    if (files.size() != 1) return UsageError("peaks needs exactly one FILE");
    const std::string& path = files.front();

    PeakMap map;
    const std::atomic<bool> never{false};
    const Outcome outcome = LoadPeakMap(path, map, never);
    if (!outcome.done()) {
        if (json) {
            std::cout << "{\"path\": " << JsonString(path) << ", \"ok\": false, \"error\": "
                      << JsonString(outcome.message) << "}\n";
        }
        std::cerr << TerminalText(outcome.message) << "\n";
        return kExitFailure;
    }

    const std::vector<PeakColumn> peaks = EvenColumns(map, columns);
    std::ostringstream out;
    if (json) {
        const uint64_t ms = map.sampleRate ? map.frames * kMillisecondsPerSecond / map.sampleRate : 0;
        out << "{\"path\": " << JsonString(path) << ", \"ok\": true, \"sample_rate\": " << map.sampleRate
            << ", \"channels\": " << map.channels << ", \"frames\": " << map.frames << ", \"length_ms\": " << ms
            << ", \"columns\": " << peaks.size() << ", \"peaks\": [";
        for (size_t c = 0; c < peaks.size(); ++c)
            out << (c ? ", " : "") << "[" << Fraction(peaks[c].low) << ", " << Fraction(peaks[c].high) << "]";
        out << "]}\n";
    } else {
        for (const PeakColumn& column : peaks) out << Fraction(column.low) << " " << Fraction(column.high) << "\n";
    }
    std::cout << out.str() << std::flush;
    return kExitOk;
}

}  // namespace corvane::cli
