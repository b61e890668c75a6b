// The cut planner: the rules' checks, piece counts, numbering and names, once per rule.
#include "engine/cut/CutPlans.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <limits>

#include "engine/base/Messages.h"
#include "engine/cut/CueSheet.h"
#include "engine/cut/FrameCopyCutter.h"
#include "engine/cut/PieceTarget.h"
#include "engine/cut/ReencodeCutter.h"
#include "engine/cut/SilenceDetector.h"
#include "engine/output/PieceNaming.h"

namespace corvane {
namespace {

constexpr const char* kSizeTooBig = "The size of piece is greater than original file. It's not necessary to cut.";
constexpr const char* kSizeTooSmall = "The size of piece is too small.";
constexpr const char* kCountTooSmall = "The file count should be greater than or equal to 2.";
constexpr const char* kCountTooBig = "The file count is too big.";
constexpr const char* kDurationTooLong =
    "The duration of piece is greater than original file. It's not necessary to cut.";
constexpr const char* kDurationTooSmall = "The duration of piece is too small.";
constexpr const char* kPiecesRequired = "At least two pieces required. And, at least one piece checked for cutting.";
constexpr const char* kBeginBeyondEnd = "The beginning point exceeds length of the MP3.";

constexpr int64_t kTenthsPerSecond = 10;
constexpr int64_t kTenthsPerMinute = 600;
// The most pieces one rule may make: the piece numbers are ints.
constexpr int64_t kMaxPieceCount = std::numeric_limits<int>::max();
// Typed times are taken up to this many tenths (about 6.8 years), so they convert safely.
constexpr double kLongestTypedTenths = std::numeric_limits<int>::max();

// A typed time in seconds (ReadDecimal) as tenths, truncated and kept within
// ±kLongestTypedTenths.
int64_t TypedTenths(const std::string& text) {
    const double tenths = ReadDecimal(text) * kTenthsPerSecond;
    return static_cast<int64_t>(std::clamp(tenths, -kLongestTypedTenths, kLongestTypedTenths));
}

// Loads source into cutter and sets it up as the options ask (the overlaps only when the
// rule takes them). Done when the cutter stands before the first piece.
Outcome LoadForCut(CutContext& ctx, CCutter& cutter, const std::string& source, bool overlaps) {
    if (ctx.PumpAndCheck()) return Outcome::Cancelled();
    ctx.run->AddSource(source);
    if (!cutter.LoadSource(source)) return Outcome::Failed(LoadFileFailure(source));
    const CutterOptions& o = ctx.options;
    cutter.SetCancelFlag(ctx.dialog ? &ctx.dialog->cancelled : nullptr);
    if (overlaps) {
        cutter.SetForwardOverlap(o.forwardOverlapTenths);
        cutter.SetBackwardOverlap(o.backwardOverlapTenths);
    }
    cutter.SetFadeIn(o.fadeInTenths > 0, o.fadeInTenths);
    cutter.SetFadeOut(o.fadeOutTenths > 0, o.fadeOutTenths);
    if (ctx.PumpAndCheck()) return Outcome::Cancelled();
    cutter.keepTag = o.keepTag;
    if (o.keepTag) {
        cutter.titleTemplate = o.titleTemplate;
        cutter.trackMode = o.trackNumbers;
    }
    return Outcome::Done();
}

// By size with re-encoding: pieces of size bytes at the output bit rate (kbps) over seconds
// of audio, the last one taking the rest. At most kMaxPieceCount + 1, which the plans refuse.
int64_t PieceCountAtBitrate(int64_t seconds, uint64_t size, int kbps) {
    const double bytesPerSecond = kbps * 1000.0 / 8.0;
    const double pieceSeconds = static_cast<double>(size) / bytesPerSecond;
    const double whole = std::min(static_cast<double>(seconds) / pieceSeconds, static_cast<double>(kMaxPieceCount));
    int64_t count = static_cast<int64_t>(whole);
    if (static_cast<double>(count) * pieceSeconds < static_cast<double>(seconds)) ++count;
    return count;
}

uint64_t PieceCountBySize(uint64_t fileSize, uint64_t size) {
    return fileSize / size + (fileSize % size ? 1 : 0);
}

// Adds the steps of a plan, each piece named (in order) as it is added.
class CPlanBuilder {
public:
    CPlanBuilder(CutContext& ctx, const std::string& source, SourcePlan& plan)
        : ctx_(ctx), source_(source), plan_(plan) {}

    // A piece (step's index of count, its sequence number) named after nameIndex and the tag
    // record of its row; false, with nothing added, once a name could not be settled.
    bool Piece(CutStep step, int nameIndex) {
        if (!plan_.namingFailure.empty()) return false;
        const TagFields* tags = step.row >= 0 ? RowTags(step.row) : nullptr;
        std::string path;
        std::string error;
        if (!MakePieceTarget(ctx_.options, *ctx_.run, source_, nameIndex, step.count, step.sequence, path, error,
                             tags)) {
            plan_.namingFailure = error;
            return false;
        }
        NamedPiece(path, step);
        return true;
    }
    // A piece whose name was settled already.
    void NamedPiece(const std::string& path, CutStep step) {
        plan_.names.push_back(path);
        step.kind = CutStep::Kind::Piece;
        Add(step);
    }
    void Skip(CutStep step) {
        step.kind = CutStep::Kind::Skip;
        Add(step);
    }

private:
    const TagFields* RowTags(int row) const {
        const PieceEntry& entry = plan_.rows[static_cast<size_t>(row)];
        return entry.tags ? &*entry.tags : nullptr;
    }
    void Add(CutStep step) {
        step.titleDigits = ctx_.options.titleDigits;
        plan_.steps.push_back(step);
    }

    CutContext& ctx_;
    const std::string& source_;
    SourcePlan& plan_;
};

// A frame copy ends its pieces at exact places of the source's timeline (tenths turned into
// samples from its start), so that nothing drifts however many pieces there are. Re-encoded
// pieces keep their lengths: each is a function of where it starts, which the parallel cut
// needs.
void EndAt(const CutContext& ctx, const SourcePlan& plan, CutStep& step, int64_t endTenths) {
    if (step.measure != CutStep::Measure::Tenths || Reencodes(ctx.options)) return;
    step.measure = CutStep::Measure::Samples;
    step.endSample = static_cast<int64_t>(TenthsToSamples(plan.cutter->reader().sampleRate(), endTenths));
}

CutStep Step(CutStep::Measure measure, int index, int count, int sequence) {
    CutStep step;
    step.measure = measure;
    step.index = index;
    step.count = count;
    step.sequence = sequence;
    return step;
}

// The whole source in count pieces (0: as many as the size makes at the output bit rate over
// seconds), each but the last of size bytes or tenths, the last to the end. A single cut
// numbers its pieces 1 to count; a batch numbers them on from sequence and, with the first
// pieces option, stops after them.
Outcome PlanWhole(CutContext& ctx, const std::string& source, bool bySize, uint64_t size, int64_t tenths, int count,
                  int64_t seconds, bool batch, int sequence, SourcePlan& plan) {
    std::unique_ptr<CCutter> cutter = CreateCutter(ctx.options);
    if (Outcome loaded = LoadForCut(ctx, *cutter, source, true); !loaded.done()) return loaded;
    if (count == 0) {
        const int64_t atBitrate = PieceCountAtBitrate(seconds, size, cutter->GetOutputBitrate());
        if (atBitrate > kMaxPieceCount) return Outcome::Failed(kSizeTooSmall);
        count = static_cast<int>(atBitrate);
    }
    plan.cutter = std::move(cutter);
    plan.sequence = sequence;
    plan.sequenceRule = SequenceRule::PiecesCut;
    const CutStep::Measure measure = bySize ? CutStep::Measure::Bytes : CutStep::Measure::Tenths;
    const CutterOptions& o = ctx.options;
    // Pieces 1 .. count - 1; a batch asking for the first pieces only stops after them.
    const int lastCut = batch && o.firstPiecesOnly ? std::min(count - 1, o.firstPieces) : count - 1;
    CPlanBuilder add(ctx, source, plan);
    int i = 1;
    for (; i <= lastCut; ++i) {
        CutStep step = Step(measure, i, count, batch ? sequence + i - 1 : i);
        step.bytes = size;
        step.tenths = tenths;
        EndAt(ctx, plan, step, tenths * i);
        if (!add.Piece(step, i)) return Outcome::Done();
    }
    if (batch && o.firstPiecesOnly && o.firstPieces < i) return Outcome::Done();
    add.Piece(Step(CutStep::Measure::ToEnd, count, count, batch ? sequence + i - 1 : count), i);
    return Outcome::Done();
}

// How a single cut of rows numbers its pieces.
enum class RowNumbers {
    ByRow,    // each piece by its row, skipped rows counted: the row numbers the user sees
    ByPiece,  // the pieces written, 1 to how many there are (a CUE sheet's tracks)
};

// The checked rows as pieces and the others skipped, each up to its exact end when it has
// one; the last row, when checked, to the end. A single cut numbers its pieces as numbers
// says; a batch (sequence above 0) numbers the pieces on from sequence.
Outcome PlanRows(CutContext& ctx, const std::string& source, std::vector<PieceEntry> rows, int sequence,
                 SourcePlan& plan, RowNumbers numbers = RowNumbers::ByRow) {
    plan.rows = std::move(rows);
    std::unique_ptr<CCutter> cutter = CreateCutter(ctx.options);
    if (Outcome loaded = LoadForCut(ctx, *cutter, source, true); !loaded.done()) return loaded;
    plan.cutter = std::move(cutter);
    plan.sequence = sequence;
    plan.sequenceRule = SequenceRule::PiecesCut;
    for (const PieceEntry& row : plan.rows) plan.ownPlaces = plan.ownPlaces || row.endSample >= 0 || row.tags;
    const bool batch = sequence > 0;
    const int n = static_cast<int>(plan.rows.size());
    const bool byPiece = numbers == RowNumbers::ByPiece;
    const int count = byPiece ? static_cast<int>(std::count_if(plan.rows.begin(), plan.rows.end(),
                                                               [](const PieceEntry& row) { return row.checked; }))
                              : n;
    int pieces = 0;
    CPlanBuilder add(ctx, source, plan);
    for (int k = 1; k <= n; ++k) {
        const PieceEntry& row = plan.rows[static_cast<size_t>(k - 1)];
        const bool last = k == n;
        if (last && !row.checked) break;
        const int number = byPiece ? pieces + 1 : k;
        CutStep step = Step(last ? CutStep::Measure::ToEnd
                                 : row.endSample >= 0 ? CutStep::Measure::Samples : CutStep::Measure::Tenths,
                            number, count, batch ? sequence + pieces : number);
        step.tenths = row.end - row.start;
        step.endSample = row.endSample;
        step.row = k - 1;
        EndAt(ctx, plan, step, row.end);
        if (!row.checked) {
            add.Skip(step);
            continue;
        }
        if (!add.Piece(step, number)) return Outcome::Done();
        ++pieces;
    }
    return Outcome::Done();
}

// One piece numbered sequence: begin tenths skipped, then length tenths (0: to the end).
Outcome PlanRange(CutContext& ctx, const std::string& source, int64_t begin, int64_t length, int sequence,
                  SourcePlan& plan) {
    std::unique_ptr<CCutter> cutter = CreateCutter(ctx.options);
    if (Outcome loaded = LoadForCut(ctx, *cutter, source, false); !loaded.done()) return loaded;
    std::string path;
    std::string error;
    if (!MakePieceTarget(ctx.options, *ctx.run, source, 1, 1, sequence, path, error)) return Outcome::Failed(error);
    plan.cutter = std::move(cutter);
    plan.sequence = sequence;
    plan.sequenceRule = SequenceRule::PiecesKept;
    CPlanBuilder add(ctx, source, plan);
    CutStep skip;
    skip.tenths = begin;
    EndAt(ctx, plan, skip, begin);
    add.Skip(skip);
    CutStep piece = Step(length == 0 ? CutStep::Measure::ToEnd : CutStep::Measure::Tenths, 1, 1, sequence);
    piece.tenths = length;
    EndAt(ctx, plan, piece, begin + length);
    add.NamedPiece(path, piece);
    return Outcome::Done();
}

// The rows of custom points: 0..points[0], ..., the last to lengthTenths; with only, just
// those 1-based rows checked (rows it names past the last are left out).
std::vector<PieceEntry> RowsAtPoints(const std::vector<int>& points, const std::vector<int>& only,
                                     int64_t lengthTenths) {
    std::vector<PieceEntry> rows;
    int start = 0;
    for (const int point : points) {
        rows.push_back({start, point, true, {}, {}, -1, {}});
        start = point;
    }
    rows.push_back({start, static_cast<int>(std::clamp<int64_t>(lengthTenths, start, INT_MAX)), true, {}, {}, -1, {}});
    if (!only.empty()) {
        for (PieceEntry& row : rows) row.checked = false;
        for (const int k : only) {
            if (k >= 1 && k <= static_cast<int>(rows.size())) rows[static_cast<size_t>(k - 1)].checked = true;
        }
    }
    return rows;
}

// The tracks of a CUE sheet: one piece per track (one track is enough), numbered 1 to the
// number of tracks; audio before the first track is skipped and takes no number.
Outcome CutFileByCueSheet(CutContext& ctx, const std::string& source, const std::string& sheet, SourcePlan& plan) {
    CuePieces cue;
    if (Outcome loaded = LoadCuePieces(sheet, source, cue); !loaded.done()) return loaded;
    return PlanRows(ctx, source, std::move(cue.rows), 0, plan, RowNumbers::ByPiece);
}

}  // namespace

uint64_t SizeUnitMultiplier(SizeUnit unit) {
    switch (unit) {
        case SizeUnit::KB: return 1024ull;
        case SizeUnit::MB: return 1048576ull;
        case SizeUnit::GB: return 1073741824ull;
        case SizeUnit::TB: return 1099511627776ull;
        default: return 1;
    }
}

double ReadDecimal(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    double value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) value = value * 10 + (text[i] - '0');
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, scale /= 10) {
            value += (text[i] - '0') * scale;
        }
    }
    return negative ? -value : value;
}

uint64_t ParsePieceSize(const std::string& text, SizeUnit unit) {
    const double value = ReadDecimal(text) * static_cast<double>(SizeUnitMultiplier(unit));
    return value > 0 ? static_cast<uint64_t>(value) : 0;
}

bool Reencodes(const CutterOptions& o) { return o.reencode || o.fadeInTenths > 0 || o.fadeOutTenths > 0; }

std::unique_ptr<CCutter> CreateCutter(const CutterOptions& options) {
    if (!Reencodes(options)) return std::make_unique<CFrameCopyCutter>();
    auto cutter = std::make_unique<CReencodeCutter>();
    if (!options.reencode || options.sameParams) {
        cutter->SetEncodingParams(0, 0, kChannelModeNone);
    } else {
        cutter->SetEncodingParams(options.encoding.sampleRate, options.encoding.bitrate, options.encoding.channelMode);
    }
    return cutter;
}

int SourceLengthTenths(const std::string& path) {
    SourceFacts facts;
    return ReadSourceFacts(path, facts) ? facts.lengthTenths() : -1;
}

Outcome CutFileBySize(CutContext& ctx, const std::string& source, int64_t lengthTenths, uint64_t fileSize,
                      const std::string& sizeText, SizeUnit sizeUnit, SourcePlan& plan) {
    const uint64_t size = ParsePieceSize(sizeText, sizeUnit);
    if (size >= fileSize) return Outcome::Failed(kSizeTooBig);
    if (size == 0) return Outcome::Failed(kSizeTooSmall);
    const uint64_t bySize = PieceCountBySize(fileSize, size);
    if (bySize > static_cast<uint64_t>(kMaxPieceCount)) return Outcome::Failed(kSizeTooSmall);
    const int count = Reencodes(ctx.options) ? 0 : static_cast<int>(bySize);
    return PlanWhole(ctx, source, true, size, 0, count, lengthTenths / kTenthsPerSecond, false, 1, plan);
}

Outcome CutFileByCount(CutContext& ctx, const std::string& source, int64_t lengthTenths, int count,
                       SourcePlan& plan) {
    if (count <= 1) return Outcome::Failed(kCountTooSmall);
    const int64_t tenths = lengthTenths / count;
    if (tenths <= 0) return Outcome::Failed(kCountTooBig);
    return PlanWhole(ctx, source, false, 0, tenths, count, 0, false, 1, plan);
}

Outcome CutFileByTime(CutContext& ctx, const std::string& source, int64_t lengthTenths, int minutes, int seconds,
                      SourcePlan& plan) {
    const int64_t tenths = seconds * kTenthsPerSecond + minutes * kTenthsPerMinute;
    if (tenths >= lengthTenths) return Outcome::Failed(kDurationTooLong);
    if (tenths <= 0) return Outcome::Failed(kDurationTooSmall);
    const int64_t count = lengthTenths / tenths + (lengthTenths % tenths ? 1 : 0);
    if (count > kMaxPieceCount) return Outcome::Failed(kDurationTooSmall);
    return PlanWhole(ctx, source, false, 0, tenths, static_cast<int>(count), 0, false, 1, plan);
}

Outcome CutFileByPieces(CutContext& ctx, const std::string& source, std::vector<PieceEntry> rows,
                        SourcePlan& plan, bool tracks) {
    const bool anyChecked = std::any_of(rows.begin(), rows.end(), [](const PieceEntry& row) { return row.checked; });
    if ((rows.size() <= 1 && !tracks) || !anyChecked) return Outcome::Failed(kPiecesRequired);
    return PlanRows(ctx, source, std::move(rows), 0, plan, tracks ? RowNumbers::ByPiece : RowNumbers::ByRow);
}

Outcome CutFileAtSilences(CutContext& ctx, const std::string& source, const SilenceOptions& silence, int sequence,
                          SourcePlan& plan) {
    std::vector<PieceEntry> rows;
    if (Outcome found = FindSilencePieces(source, silence, ctx.dialog, -1, rows); !found.done()) return found;
    return PlanRows(ctx, source, std::move(rows), sequence, plan);
}

Outcome CutFileByChapters(CutContext& ctx, const std::string& source, const SourceFacts& facts, int sequence,
                          SourcePlan& plan) {
    TagFields tags;
    ReadTags(source, tags);
    std::vector<PieceEntry> rows =
        ChapterPieceRows(ReadChapters(source), facts.sampleRate, facts.lengthTenths(), tags);
    if (rows.empty()) return Outcome::Failed(kNoChapters);
    return PlanRows(ctx, source, std::move(rows), sequence, plan, RowNumbers::ByPiece);
}

Outcome BatchCutBySize(CutContext& ctx, const std::string& source, int64_t seconds, uint64_t fileSize,
                       const std::string& sizeText, SizeUnit sizeUnit, int sequence, SourcePlan& plan) {
    const uint64_t size = ParsePieceSize(sizeText, sizeUnit);
    if (size == 0) return Outcome::Failed(kSizeTooSmall);
    const uint64_t bySize = PieceCountBySize(fileSize, size);
    if (bySize > static_cast<uint64_t>(kMaxPieceCount)) return Outcome::Failed(kSizeTooSmall);
    const int count = Reencodes(ctx.options) ? 0 : static_cast<int>(bySize);
    return PlanWhole(ctx, source, true, size, 0, count, seconds, true, sequence, plan);
}

Outcome BatchCutByCount(CutContext& ctx, const std::string& source, int64_t seconds, int count, int sequence,
                        SourcePlan& plan) {
    if (count <= 1) return Outcome::Failed(kCountTooSmall);
    const int64_t tenths = seconds * kTenthsPerSecond / count;
    if (tenths <= 0) return Outcome::Failed(kCountTooBig);
    return PlanWhole(ctx, source, false, 0, tenths, count, seconds, true, sequence, plan);
}

Outcome BatchCutByTime(CutContext& ctx, const std::string& source, int64_t seconds, int minutes, int secs,
                       int sequence, SourcePlan& plan) {
    const int64_t tenths = secs * kTenthsPerSecond + minutes * kTenthsPerMinute;
    if (tenths <= 0) return Outcome::Failed(kDurationTooSmall);
    const int64_t length = seconds * kTenthsPerSecond;
    const int64_t count = length / tenths + (length % tenths ? 1 : 0);
    if (count > kMaxPieceCount) return Outcome::Failed(kDurationTooSmall);
    return PlanWhole(ctx, source, false, 0, tenths, static_cast<int>(count), seconds, true, sequence, plan);
}

Outcome BatchCutRange(CutContext& ctx, const std::string& source, int64_t seconds, const std::string& beginText,
                      const std::string& lengthText, int sequence, SourcePlan& plan) {
    const int64_t begin = TypedTenths(beginText);
    const int64_t length = TypedTenths(lengthText);
    if (seconds * kTenthsPerSecond < begin) return Outcome::Failed(kBeginBeyondEnd);
    return PlanRange(ctx, source, begin, length, sequence, plan);
}

std::string PreviewPieceName(const CutterOptions& options, const std::string& baseName, int index, int count) {
    const int digits = options.nameDigits == 0 ? 1 : options.nameDigits;
    return ExpandNameTemplate(options.nameTemplate, baseName, nullptr, index, count, index, digits);
}

std::string PreviewPieceTitle(const CutterOptions& options, const std::string& title, const std::string& baseName,
                              int index, int count) {
    return ExpandTitleTemplate(options.titleTemplate, title, baseName, index, count, index, options.titleDigits);
}

Outcome PlanSource(CutContext& ctx, const CutRequest& request, size_t index, int sequence, SourcePlan& plan) {
    const CutSource& source = request.sources[index];
    const std::string& path = source.path;
    SourceFacts facts;
    if (source.facts) {
        facts = *source.facts;
    } else if (!ReadSourceFacts(path, facts)) {
        return Outcome::Failed(LoadFileFailure(path));
    }
    const CutRule& rule = request.rule;
    const int64_t tenths = facts.milliseconds / 100;
    const int64_t seconds = facts.seconds;
    using Kind = CutRule::Kind;
    if (request.batch) {
        switch (rule.kind) {
            case Kind::Size:
                return BatchCutBySize(ctx, path, seconds, facts.fileSize, rule.sizeText, rule.sizeUnit, sequence, plan);
            case Kind::Count: return BatchCutByCount(ctx, path, seconds, rule.count, sequence, plan);
            case Kind::Time: return BatchCutByTime(ctx, path, seconds, rule.minutes, rule.seconds, sequence, plan);
            case Kind::Range:
                return BatchCutRange(ctx, path, seconds, rule.beginText, rule.lengthText, sequence, plan);
            case Kind::Silence: return CutFileAtSilences(ctx, path, rule.silence, sequence, plan);
            case Kind::Chapters: return CutFileByChapters(ctx, path, facts, sequence, plan);
            default: break;  // the row rules cut each source as a single cut does
        }
    }
    switch (rule.kind) {
        case Kind::Size: return CutFileBySize(ctx, path, tenths, facts.fileSize, rule.sizeText, rule.sizeUnit, plan);
        case Kind::Count: return CutFileByCount(ctx, path, tenths, rule.count, plan);
        case Kind::Time: return CutFileByTime(ctx, path, tenths, rule.minutes, rule.seconds, plan);
        case Kind::Pieces: return CutFileByPieces(ctx, path, rule.pieces, plan, rule.tracks);
        case Kind::Points: return CutFileByPieces(ctx, path, RowsAtPoints(rule.points, rule.only, tenths), plan);
        case Kind::Range: return BatchCutRange(ctx, path, seconds, rule.beginText, rule.lengthText, 1, plan);
        case Kind::Silence: return CutFileAtSilences(ctx, path, rule.silence, 0, plan);
        case Kind::Cue: return CutFileByCueSheet(ctx, path, rule.cueSheet, plan);
        case Kind::Chapters: return CutFileByChapters(ctx, path, facts, 0, plan);
    }
    return Outcome::Failed({});
}

}  // namespace corvane
