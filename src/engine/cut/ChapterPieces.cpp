// The custom piece list of a source from the chapters of its tag.
#include <algorithm>

#include "engine/Cut.h"
#include "engine/base/Messages.h"

namespace corvane {
namespace {

constexpr int64_t kMillisecondsPerTenth = 100;
constexpr int64_t kMillisecondsPerSecond = 1000;

// A chapter time in tenths, to the nearest one.
int64_t RoundedTenths(int64_t ms) { return (ms + kMillisecondsPerTenth / 2) / kMillisecondsPerTenth; }

PieceEntry Row(int start, int end, bool checked, int64_t endSample, const TagFields& tags) {
    PieceEntry row;
    row.start = start;
    row.end = end;
    row.checked = checked;
    row.endSample = endSample;
    row.tags = tags;
    return row;
}

}  // namespace

std::vector<PieceEntry> ChapterPieceRows(const std::vector<Chapter>& chapters, int sampleRate, int lengthTenths,
                                         const TagFields& sourceTags) {
    const auto samples = [sampleRate](int64_t ms) { return ms * sampleRate / kMillisecondsPerSecond; };
    std::vector<PieceEntry> rows;
    int64_t endMs = 0;  // where the chapter of the last row ends
    int number = 0;
    for (const Chapter& chapter : chapters) {
        // A row starts at its chapter's rounded start, at least a tenth after the row before.
        const int64_t earliest = rows.empty() ? 0 : rows.back().start + 1;
        const int64_t tenths = std::max(RoundedTenths(chapter.startMs), earliest);
        if (tenths >= lengthTenths) break;
        const int start = static_cast<int>(tenths);
        const int64_t startSample = samples(chapter.startMs);
        if (rows.empty()) {
            if (start > 0) rows.push_back(Row(0, start, false, startSample, sourceTags));
        } else {
            PieceEntry& before = rows.back();
            const int64_t beforeEnd = RoundedTenths(endMs);
            if (endMs < chapter.startMs && beforeEnd > before.start && beforeEnd < start) {
                // The gap after the chapter before is a row of its own, not cut.
                before.end = static_cast<int>(beforeEnd);
                before.endSample = samples(endMs);
                rows.push_back(Row(before.end, start, false, startSample, sourceTags));
            } else {
                before.end = start;
                before.endSample = startSample;
            }
        }
        TagFields tags = sourceTags;
        tags.title = chapter.title;
        tags.track = ++number;
        rows.push_back(Row(start, lengthTenths, true, -1, tags));
        endMs = chapter.endMs;
    }
    if (rows.empty()) return rows;
    // A last chapter that ends before the file does leaves the rest as a row not cut.
    PieceEntry& last = rows.back();
    const int64_t lastEnd = RoundedTenths(endMs);
    if (lastEnd > last.start && lastEnd < lengthTenths) {
        last.end = static_cast<int>(lastEnd);
        last.endSample = samples(endMs);
        rows.push_back(Row(last.end, lengthTenths, false, -1, sourceTags));
    }
    return rows;
}

Outcome LoadChapterPieces(const std::string& sourcePath, std::vector<PieceEntry>& rows) {
    rows.clear();
    SourceFacts facts;
    if (!ReadSourceFacts(sourcePath, facts)) return Outcome::Failed(LoadFileFailure(sourcePath));
    TagFields tags;
    ReadTags(sourcePath, tags);
    rows = ChapterPieceRows(ReadChapters(sourcePath), facts.sampleRate, facts.lengthTenths(), tags);
    return rows.empty() ? Outcome::Failed(kNoChapters) : Outcome::Done();
}

}  // namespace corvane
