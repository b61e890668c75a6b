// The cut plans: validation, piece counts, naming and the cancel clean-up.
#include "engine/cut/CutPlans.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

#include "engine/base/Messages.h"
#include "engine/base/PathUtil.h"
#include "engine/cut/Cutter.h"
#include "engine/cut/FrameCopyCutter.h"
#include "engine/cut/ParallelCut.h"
#include "engine/cut/ReencodeCutter.h"
#include "engine/cut/SilenceDetector.h"
#include "engine/cut/PieceTarget.h"
#include "engine/output/PieceNaming.h"
#include "engine/mp3/SourceFacts.h"
#include "engine/output/OutputRun.h"
#include "engine/output/OutputSet.h"

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

bool DialogCancelled(const CutContext& ctx) {
    return ctx.dialog && ctx.dialog->cancelled.load(std::memory_order_relaxed) != 0;
}

bool PumpAndCheck(const CutContext& ctx) {
    PumpMessages();
    return DialogCancelled(ctx);
}

// The pieces of one source: the cutter writes them into the set under temporary names, and
// they take their names together when the source is done.
class CSourcePieces {
public:
    explicit CSourcePieces(CutContext& ctx) : ctx_(ctx), outputs_(*ctx.run) { ctx.createdPieces.clear(); }

    COutputSet& Outputs() { return outputs_; }

    // The source is done, or a name could not be settled (the pieces written before stay):
    // publishes the pieces and lists them in createdPieces. A failure to publish replaces a
    // Done outcome.
    Outcome Keep(Outcome outcome) {
        Outcome published = outputs_.Publish(ctx_.options.placement.ifExists);
        ctx_.createdPieces = outputs_.Published();
        return outcome.done() ? published : outcome;
    }

    // A piece failed or the user cancelled: nothing of the source is left.
    Outcome Drop(Outcome outcome) {
        outputs_.Discard();
        ctx_.createdPieces.clear();
        return outcome;
    }

private:
    CutContext& ctx_;
    COutputSet outputs_;
};

// Steps 1-5 common to every driver once its own checks passed, but for where the pieces go:
// Done when the cutter is loaded and set up for the first piece. bar: the bar the cutter
// moves (null: none).
Outcome LoadForCut(CutContext& ctx, CCutter& cutter, const std::string& source, bool overlaps, IProgressBar* bar) {
    if (PumpAndCheck(ctx)) return Outcome::Cancelled();
    ctx.run->AddSource(source);
    if (!cutter.LoadSource(source)) return Outcome::Failed(LoadFileFailure(source));
    const CutterOptions& o = ctx.options;
    cutter.SetCancelFlag(ctx.dialog ? &ctx.dialog->cancelled : nullptr);
    cutter.SetProgressBar(bar);
    if (overlaps) {
        cutter.SetForwardOverlap(o.forwardOverlapTenths);
        cutter.SetBackwardOverlap(o.backwardOverlapTenths);
    }
    cutter.SetFadeIn(o.fadeInTenths > 0, o.fadeInTenths);
    cutter.SetFadeOut(o.fadeOutTenths > 0, o.fadeOutTenths);
    if (PumpAndCheck(ctx)) return Outcome::Cancelled();
    cutter.keepTag = o.keepTag;
    if (o.keepTag) {
        cutter.titleTemplate = o.titleTemplate;
        cutter.trackMode = o.trackNumbers;
    }
    return Outcome::Done();
}

// LoadForCut with the dialog's bar, the pieces going into the source's set.
Outcome Prepare(CutContext& ctx, CCutter& cutter, CSourcePieces& pieces, const std::string& source, bool overlaps) {
    cutter.SetOutputSet(&pieces.Outputs());
    return LoadForCut(ctx, cutter, source, overlaps, ctx.dialog ? &ctx.dialog->Bar() : nullptr);
}

// By size with re-encoding: pieces of size bytes at the output bit rate (kbps) over seconds
// of audio, the last one taking the rest.
// At most kMaxPieceCount + 1, which the plans refuse.
int64_t PieceCountAtBitrate(int64_t seconds, uint64_t size, int kbps) {
    const double bytesPerSecond = kbps * 1000.0 / 8.0;
    const double pieceSeconds = static_cast<double>(size) / bytesPerSecond;
    const double whole = std::min(static_cast<double>(seconds) / pieceSeconds, static_cast<double>(kMaxPieceCount));
    int64_t count = static_cast<int64_t>(whole);
    if (static_cast<double>(count) * pieceSeconds < static_cast<double>(seconds)) ++count;
    return count;
}

// The sequential plan of CutFileBySize, CutFileByCount and CutFileByTime.
Outcome RunSequential(CutContext& ctx, const std::string& source, bool bySize, uint64_t size, int64_t tenths,
                      int count, int64_t lengthTenths) {
    CSourcePieces pieces(ctx);
    std::unique_ptr<CCutter> cutter = CreateCutter(ctx.options);
    if (Outcome prepared = Prepare(ctx, *cutter, pieces, source, true); !prepared.done()) return prepared;
    if (count == 0) {
        const int64_t atBitrate =
            PieceCountAtBitrate(lengthTenths / kTenthsPerSecond, size, cutter->GetOutputBitrate());
        if (atBitrate > kMaxPieceCount) return Outcome::Failed(kSizeTooSmall);
        count = static_cast<int>(atBitrate);
    }
    const int digits = ctx.options.titleDigits;
    COutputRun& run = *ctx.run;
    std::string path;
    bool eof = false;
    int i = 1;
    std::string error;
    for (; i <= count - 1; ++i) {
        if (!MakePieceTarget(ctx.options, run, source, i, count, i, path, error)) {
            return pieces.Keep(Outcome::Failed(error));
        }
        Outcome piece = bySize ? cutter->CutBySize(path, size, i, count, i, digits, eof)
                               : cutter->CutByDuration(path, tenths, i, count, i, digits, eof);
        if (!piece.done()) return pieces.Drop(std::move(piece));
        if (eof) break;
    }
    if (PumpAndCheck(ctx)) return pieces.Drop(Outcome::Cancelled());
    if (!eof) {
        if (!MakePieceTarget(ctx.options, run, source, i, count, i, path, error)) {
            return pieces.Keep(Outcome::Failed(error));
        }
        if (Outcome last = cutter->CutToEnd(path, count, count, count, digits); !last.done()) {
            return pieces.Drop(std::move(last));
        }
    }
    cutter->CloseSource();
    return pieces.Keep(Outcome::Done());
}

// The batch plan of BatchCutBySize, BatchCutByCount and BatchCutByTime.
Outcome RunBatch(CutContext& ctx, const std::string& source, bool bySize, uint64_t size, int64_t tenths, int count,
                 int64_t seconds, int& sequence) {
    CSourcePieces pieces(ctx);
    std::unique_ptr<CCutter> cutter = CreateCutter(ctx.options);
    if (Outcome prepared = Prepare(ctx, *cutter, pieces, source, true); !prepared.done()) return prepared;
    if (count == 0) {
        const int64_t atBitrate = PieceCountAtBitrate(seconds, size, cutter->GetOutputBitrate());
        if (atBitrate > kMaxPieceCount) return Outcome::Failed(kSizeTooSmall);
        count = static_cast<int>(atBitrate);
    }
    const CutterOptions& o = ctx.options;
    const int digits = o.titleDigits;
    COutputRun& run = *ctx.run;
    std::string path;
    bool eof = false;
    int i = 1;
    std::string error;
    if (count >= 2) {
        while (!o.firstPiecesOnly || o.firstPieces >= i) {
            if (!MakePieceTarget(o, run, source, i, count, sequence, path, error)) {
                return pieces.Keep(Outcome::Failed(error));
            }
            Outcome piece = bySize ? cutter->CutBySize(path, size, i, count, sequence, digits, eof)
                                   : cutter->CutByDuration(path, tenths, i, count, sequence, digits, eof);
            if (!piece.done()) return pieces.Drop(std::move(piece));
            ++sequence;
            if (eof) break;
            ++i;
            if (i >= count) break;
        }
    }
    if (PumpAndCheck(ctx)) return pieces.Drop(Outcome::Cancelled());
    if (eof || (o.firstPiecesOnly && o.firstPieces < i)) return pieces.Keep(Outcome::Done());
    if (!MakePieceTarget(o, run, source, i, count, sequence, path, error)) return pieces.Keep(Outcome::Failed(error));
    if (Outcome last = cutter->CutToEnd(path, count, count, sequence, digits); !last.done()) {
        return pieces.Drop(std::move(last));
    }
    ++sequence;
    return pieces.Keep(Outcome::Done());
}

uint64_t PieceCountBySize(uint64_t fileSize, uint64_t size) {
    return fileSize / size + (fileSize % size ? 1 : 0);
}

bool Reencodes(const CutterOptions& o) { return o.reencode || o.fadeInTenths > 0 || o.fadeOutTenths > 0; }

// Re-encoding work runs on worker threads when more than one is asked for; frame copy, bound
// by the disk, always runs here.
bool RunsInParallel(const CutContext& ctx) { return ctx.jobs > 1 && Reencodes(ctx.options); }

// The re-encoding cutter of CreateCutter.
std::unique_ptr<CReencodeCutter> CreateReencodeCutter(const CutterOptions& options) {
    auto cutter = std::make_unique<CReencodeCutter>();
    if (!options.reencode || options.sameParams) {
        cutter->SetEncodingParams(0, 0, kChannelModeNone);
    } else {
        cutter->SetEncodingParams(options.encoding.sampleRate, options.encoding.bitrate, options.encoding.channelMode);
    }
    return cutter;
}

// The plan of one source for the parallel cut: the steps a driver takes, in order, each
// piece named as the driver names it just before cutting it.
class CPlanBuilder {
public:
    CPlanBuilder(CutContext& ctx, const std::string& source, SourcePlan& plan)
        : ctx_(ctx), source_(source), plan_(plan) {}

    // A piece of index of count (sequence; the tag's numbers) named after nameIndex; false,
    // with nothing added, once a name could not be settled.
    bool Piece(CutStep::Measure measure, uint64_t bytes, int64_t tenths, int index, int count, int sequence,
               int nameIndex) {
        if (!plan_.namingFailure.empty()) return false;
        std::string path;
        std::string error;
        if (!MakePieceTarget(ctx_.options, *ctx_.run, source_, nameIndex, count, sequence, path, error)) {
            plan_.namingFailure = error;
            return false;
        }
        plan_.names.push_back(path);
        Add(CutStep::Kind::Piece, measure, bytes, tenths, index, count, sequence);
        return true;
    }
    // A piece whose name was settled already.
    void NamedPiece(const std::string& path, CutStep::Measure measure, int64_t tenths, int index, int count,
                    int sequence) {
        plan_.names.push_back(path);
        Add(CutStep::Kind::Piece, measure, 0, tenths, index, count, sequence);
    }
    void Skip(int64_t tenths) { Add(CutStep::Kind::Skip, CutStep::Measure::Tenths, 0, tenths, 0, 0, 0); }

private:
    void Add(CutStep::Kind kind, CutStep::Measure measure, uint64_t bytes, int64_t tenths, int index, int count,
             int sequence) {
        CutStep step;
        step.kind = kind;
        step.measure = measure;
        step.bytes = bytes;
        step.tenths = tenths;
        step.index = index;
        step.count = count;
        step.sequence = sequence;
        step.titleDigits = ctx_.options.titleDigits;
        plan_.steps.push_back(step);
    }

    CutContext& ctx_;
    const std::string& source_;
    SourcePlan& plan_;
};

// The parallel plan of RunSequential (batch false) and RunBatch (batch true, numbered from
// sequence): count pieces (0: as many as the size makes at the output bit rate over
// seconds), each but the last of size bytes or tenths, the last to the end.
Outcome PlanWhole(CutContext& ctx, const std::string& source, bool bySize, uint64_t size, int64_t tenths, int count,
                  int64_t seconds, bool batch, int sequence, SourcePlan& plan) {
    std::unique_ptr<CReencodeCutter> cutter = CreateReencodeCutter(ctx.options);
    if (Outcome loaded = LoadForCut(ctx, *cutter, source, true, nullptr); !loaded.done()) return loaded;
    if (count == 0) {
        const int64_t atBitrate = PieceCountAtBitrate(seconds, size, cutter->GetOutputBitrate());
        if (atBitrate > kMaxPieceCount) return Outcome::Failed(kSizeTooSmall);
        count = static_cast<int>(atBitrate);
    }
    plan.cutter = std::move(cutter);
    const CutStep::Measure measure = bySize ? CutStep::Measure::Bytes : CutStep::Measure::Tenths;
    CPlanBuilder add(ctx, source, plan);
    if (!batch) {
        int i = 1;
        for (; i <= count - 1; ++i) {
            if (!add.Piece(measure, size, tenths, i, count, i, i)) return Outcome::Done();
        }
        add.Piece(CutStep::Measure::ToEnd, 0, 0, count, count, count, i);
        return Outcome::Done();
    }
    const CutterOptions& o = ctx.options;
    int i = 1;
    if (count >= 2) {
        while (!o.firstPiecesOnly || o.firstPieces >= i) {
            if (!add.Piece(measure, size, tenths, i, count, sequence + i - 1, i)) return Outcome::Done();
            ++i;
            if (i >= count) break;
        }
    }
    if (o.firstPiecesOnly && o.firstPieces < i) return Outcome::Done();
    add.Piece(CutStep::Measure::ToEnd, 0, 0, count, count, sequence + i - 1, i);
    plan.sequenceRule = SequenceRule::PiecesCut;
    return Outcome::Done();
}

// The parallel plan of CutFileByPieces: the checked rows as pieces, the others skipped.
Outcome PlanRows(CutContext& ctx, const std::string& source, const std::vector<PieceEntry>& rows,
                 SourcePlan& plan) {
    std::unique_ptr<CReencodeCutter> cutter = CreateReencodeCutter(ctx.options);
    if (Outcome loaded = LoadForCut(ctx, *cutter, source, true, nullptr); !loaded.done()) return loaded;
    plan.cutter = std::move(cutter);
    CPlanBuilder add(ctx, source, plan);
    const int n = static_cast<int>(rows.size());
    for (int k = 1; k <= n - 1; ++k) {
        const PieceEntry& row = rows[static_cast<size_t>(k - 1)];
        const int duration = row.end - row.start;
        if (!row.checked) {
            add.Skip(duration);
        } else if (!add.Piece(CutStep::Measure::Tenths, 0, duration, k, n, k, k)) {
            return Outcome::Done();
        }
    }
    if (rows.back().checked) add.Piece(CutStep::Measure::ToEnd, 0, 0, n, n, n, n);
    return Outcome::Done();
}

// The parallel plan of BatchCutRange: begin tenths skipped, then one piece of length tenths
// (0: to the end), numbered sequence.
Outcome PlanRange(CutContext& ctx, const std::string& source, int64_t begin, int64_t length, int sequence,
                  SourcePlan& plan) {
    std::unique_ptr<CReencodeCutter> cutter = CreateReencodeCutter(ctx.options);
    if (Outcome loaded = LoadForCut(ctx, *cutter, source, false, nullptr); !loaded.done()) return loaded;
    std::string path;
    std::string error;
    if (!MakePieceTarget(ctx.options, *ctx.run, source, 1, 1, sequence, path, error)) return Outcome::Failed(error);
    plan.cutter = std::move(cutter);
    CPlanBuilder add(ctx, source, plan);
    add.Skip(begin);
    add.NamedPiece(path, length == 0 ? CutStep::Measure::ToEnd : CutStep::Measure::Tenths, length, 1, 1, sequence);
    plan.sequenceRule = SequenceRule::PiecesKept;
    return Outcome::Done();
}

// Cuts one source by plan on worker threads; its pieces end in ctx.createdPieces, as the
// sequential drivers leave them. sequence (may be null) moves on as the batch drivers move
// it; result (may be null) receives the whole result.
Outcome RunParallel(CutContext& ctx, int* sequence, const std::function<Outcome(SourcePlan&)>& plan,
                    SourceResult* result = nullptr) {
    ctx.createdPieces.clear();
    SourceResult kept;
    kept.outcome = Outcome::Cancelled();
    CParallelCut cut(ctx);
    cut.Run(
        1, sequence != nullptr ? *sequence : 1, [&](size_t, int, SourcePlan& p) { return plan(p); }, [](size_t) {},
        [&](size_t, const SourceResult& r) { kept = r; });
    ctx.createdPieces = kept.pieces;
    if (sequence != nullptr && !kept.outcome.cancelled()) *sequence = kept.sequenceAfter;
    if (result != nullptr) *result = kept;
    return kept.outcome;
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

std::unique_ptr<CCutter> CreateCutter(const CutterOptions& options) {
    if (!Reencodes(options)) return std::make_unique<CFrameCopyCutter>();
    return CreateReencodeCutter(options);
}

int SourceLengthTenths(const std::string& path) {
    SourceFacts facts;
    return ReadSourceFacts(path, facts) ? facts.lengthTenths() : -1;
}

Outcome CutFileBySize(CutContext& ctx, const std::string& source, int64_t lengthTenths, uint64_t fileSize,
                      const std::string& sizeText, SizeUnit sizeUnit) {
    const uint64_t size = ParsePieceSize(sizeText, sizeUnit);
    if (size >= fileSize) return Outcome::Failed(kSizeTooBig);
    if (size == 0) return Outcome::Failed(kSizeTooSmall);
    const uint64_t bySize = PieceCountBySize(fileSize, size);
    if (bySize > static_cast<uint64_t>(kMaxPieceCount)) return Outcome::Failed(kSizeTooSmall);
    const int count = Reencodes(ctx.options) ? 0 : static_cast<int>(bySize);
    if (RunsInParallel(ctx)) {
        return RunParallel(ctx, nullptr, [&](SourcePlan& plan) {
            return PlanWhole(ctx, source, true, size, 0, count, lengthTenths / kTenthsPerSecond, false, 1, plan);
        });
    }
    return RunSequential(ctx, source, true, size, 0, count, lengthTenths);
}

Outcome CutFileByCount(CutContext& ctx, const std::string& source, int64_t lengthTenths, int count) {
    if (count <= 1) return Outcome::Failed(kCountTooSmall);
    const int64_t tenths = lengthTenths / count;
    if (tenths <= 0) return Outcome::Failed(kCountTooBig);
    if (RunsInParallel(ctx)) {
        return RunParallel(ctx, nullptr, [&](SourcePlan& plan) {
            return PlanWhole(ctx, source, false, 0, tenths, count, 0, false, 1, plan);
        });
    }
    return RunSequential(ctx, source, false, 0, tenths, count, lengthTenths);
}

Outcome CutFileByTime(CutContext& ctx, const std::string& source, int64_t lengthTenths, int minutes, int seconds) {
    const int64_t tenths = seconds * kTenthsPerSecond + minutes * kTenthsPerMinute;
    if (tenths >= lengthTenths) return Outcome::Failed(kDurationTooLong);
    if (tenths <= 0) return Outcome::Failed(kDurationTooSmall);
    const int64_t count = lengthTenths / tenths + (lengthTenths % tenths ? 1 : 0);
    if (count > kMaxPieceCount) return Outcome::Failed(kDurationTooSmall);
    if (RunsInParallel(ctx)) {
        return RunParallel(ctx, nullptr, [&](SourcePlan& plan) {
            return PlanWhole(ctx, source, false, 0, tenths, static_cast<int>(count), 0, false, 1, plan);
        });
    }
    return RunSequential(ctx, source, false, 0, tenths, static_cast<int>(count), lengthTenths);
}

namespace {

// The custom pieces of rows (at least two), one after another on the calling thread; each
// piece's sequence number is its row's number, or with batchSequence the batch's running
// number, moved on past the pieces cut (also when the source then fails).
Outcome CutRowsInOrder(CutContext& ctx, const std::string& source, std::vector<PieceEntry>& rows,
                       int* batchSequence) {
    const int n = static_cast<int>(rows.size());
    CSourcePieces pieces(ctx);
    std::unique_ptr<CCutter> cutter = CreateCutter(ctx.options);
    if (Outcome prepared = Prepare(ctx, *cutter, pieces, source, true); !prepared.done()) return prepared;
    const int digits = ctx.options.titleDigits;
    COutputRun& run = *ctx.run;
    std::vector<PieceEntry*> written;  // the rows of the set's files, in order
    // However the source ends, a batch numbers on past the pieces it cut.
    struct NumberOn {
        int* sequence;
        const std::vector<PieceEntry*>& cut;
        ~NumberOn() {
            if (sequence != nullptr) *sequence += static_cast<int>(cut.size());
        }
    } numberOn{batchSequence, written};
    // Publishes the pieces written and shows their names in their rows.
    auto keep = [&](Outcome outcome) {
        outcome = pieces.Keep(std::move(outcome));
        const auto& files = pieces.Outputs().Files();
        for (size_t k = 0; k < files.size() && k < written.size(); ++k) {
            const bool published = files[k]->IsPublished();
            written[k]->path = published ? files[k]->Path() : std::string();
            written[k]->output = published ? FileNameOf(files[k]->Path()) : std::string();
        }
        return outcome;
    };
    std::string path;
    std::string error;
    bool eof = false;
    // Samples from where the reader stands to a row's exact end (at least one frame's worth
    // is taken even when the reader stands past it).
    auto toEnd = [&](const PieceEntry& row) {
        const uint64_t end = static_cast<uint64_t>(row.endSample);
        return end > cutter->SamplePosition() ? end - cutter->SamplePosition() : 1;
    };
    // A piece's sequence number: its row's number, or in a batch the batch's running number.
    auto sequenceOf = [&](int k) {
        return batchSequence != nullptr ? *batchSequence + static_cast<int>(written.size()) : k;
    };
    for (int k = 1; k <= n - 1 && !eof; ++k) {
        PieceEntry& row = rows[static_cast<size_t>(k - 1)];
        const int duration = row.end - row.start;
        const TagFields* tags = row.tags ? &*row.tags : nullptr;
        if (row.checked) {
            const int sequence = sequenceOf(k);
            if (!MakePieceTarget(ctx.options, run, source, k, n, sequence, path, error, tags)) {
                return keep(Outcome::Failed(error));
            }
            cutter->SetPieceTags(tags);
            Outcome piece = row.endSample >= 0
                                ? cutter->CutBySamples(path, toEnd(row), k, n, sequence, digits, eof)
                                : cutter->CutByDuration(path, duration, k, n, sequence, digits, eof);
            if (!piece.done()) return pieces.Drop(std::move(piece));
            written.push_back(&row);
        } else if (Outcome skipped = row.endSample >= 0 ? cutter->SkipSamples(toEnd(row), eof)
                                                        : cutter->SkipDuration(duration, eof);
                   !skipped.done()) {
            return pieces.Drop(std::move(skipped));
        }
    }
    if (PumpAndCheck(ctx)) return pieces.Drop(Outcome::Cancelled());
    PieceEntry& last = rows.back();
    if (!eof && last.checked) {
        const TagFields* tags = last.tags ? &*last.tags : nullptr;
        const int sequence = sequenceOf(n);
        if (!MakePieceTarget(ctx.options, run, source, n, n, sequence, path, error, tags)) {
            return keep(Outcome::Failed(error));
        }
        cutter->SetPieceTags(tags);
        if (Outcome piece = cutter->CutToEnd(path, n, n, sequence, digits); !piece.done()) {
            return pieces.Drop(std::move(piece));
        }
        written.push_back(&last);
    }
    cutter->CloseSource();
    return keep(Outcome::Done());
}

}  // namespace

Outcome CutFileAtSilences(CutContext& ctx, const std::string& source, double thresholdDb, double minSeconds) {
    std::vector<PieceEntry> rows;
    SilenceOptions options;
    options.thresholdDb = thresholdDb;
    options.minSeconds = minSeconds;
    if (Outcome found = FindSilencePieces(source, options, ctx.dialog, -1, rows); !found.done()) return found;
    return CutRowsInOrder(ctx, source, rows, nullptr);
}

Outcome CutFileByPieces(CutContext& ctx, const std::string& source, std::vector<PieceEntry>& rows) {
    const int n = static_cast<int>(rows.size());
    bool anyChecked = false;
    for (const PieceEntry& row : rows) anyChecked = anyChecked || row.checked;
    if (n <= 1 || !anyChecked) return Outcome::Failed(kPiecesRequired);
    bool ownPlaces = false;
    for (const PieceEntry& row : rows) ownPlaces = ownPlaces || row.endSample >= 0 || row.tags.has_value();
    if (RunsInParallel(ctx) && !ownPlaces) {
        SourceResult result;
        const Outcome outcome =
            RunParallel(ctx, nullptr, [&](SourcePlan& plan) { return PlanRows(ctx, source, rows, plan); }, &result);
        // Each written row shows its piece's name; the steps are the rows in order.
        for (size_t k = 0; k < result.stepWritten.size() && k < rows.size(); ++k) {
            if (!result.stepWritten[k]) continue;
            const std::string& path = result.stepPaths[k];
            rows[k].path = path;
            rows[k].output = path.empty() ? std::string() : FileNameOf(path);
        }
        return outcome;
    }
    return CutRowsInOrder(ctx, source, rows, nullptr);
}

namespace {

// One file of a batch under request: the rule's checks, then the sequential cut (plan null)
// or, with plan, the parallel plan numbered from sequence.
Outcome CutBatchFile(CutContext& ctx, const BatchCutRequest& request, const std::string& source, int64_t seconds,
                     uint64_t fileSize, int& sequence, SourcePlan* plan) {
    switch (request.rule) {
        case BatchRule::Size: {
            const uint64_t size = ParsePieceSize(request.sizeText, request.sizeUnit);
            if (size == 0) return Outcome::Failed(kSizeTooSmall);
            const uint64_t bySize = PieceCountBySize(fileSize, size);
            if (bySize > static_cast<uint64_t>(kMaxPieceCount)) return Outcome::Failed(kSizeTooSmall);
            const int count = Reencodes(ctx.options) ? 0 : static_cast<int>(bySize);
            if (plan != nullptr) return PlanWhole(ctx, source, true, size, 0, count, seconds, true, sequence, *plan);
            return RunBatch(ctx, source, true, size, 0, count, seconds, sequence);
        }
        case BatchRule::Count: {
            const int count = request.count;
            if (count <= 1) return Outcome::Failed(kCountTooSmall);
            const int64_t tenths = seconds * kTenthsPerSecond / count;
            if (tenths <= 0) return Outcome::Failed(kCountTooBig);
            if (plan != nullptr) return PlanWhole(ctx, source, false, 0, tenths, count, seconds, true, sequence, *plan);
            return RunBatch(ctx, source, false, 0, tenths, count, seconds, sequence);
        }
        case BatchRule::Time: {
            const int64_t tenths = request.seconds * kTenthsPerSecond + request.minutes * kTenthsPerMinute;
            if (tenths <= 0) return Outcome::Failed(kDurationTooSmall);
            const int64_t length = seconds * kTenthsPerSecond;
            const int64_t count = length / tenths + (length % tenths ? 1 : 0);
            if (count > kMaxPieceCount) return Outcome::Failed(kDurationTooSmall);
            if (plan != nullptr) {
                return PlanWhole(ctx, source, false, 0, tenths, static_cast<int>(count), seconds, true, sequence, *plan);
            }
            return RunBatch(ctx, source, false, 0, tenths, static_cast<int>(count), seconds, sequence);
        }
        case BatchRule::Silence: {
            std::vector<PieceEntry> rows;
            SilenceOptions options;
            options.thresholdDb = request.silenceDb;
            options.minSeconds = request.silenceSeconds;
            const Outcome found = FindSilencePieces(source, options, ctx.dialog, -1, rows);
            if (!found.done()) return found;
            return CutRowsInOrder(ctx, source, rows, &sequence);
        }
        case BatchRule::Range: break;
    }
    const int64_t begin = TypedTenths(request.beginText);
    const int64_t length = TypedTenths(request.lengthText);
    if (seconds * kTenthsPerSecond < begin) return Outcome::Failed(kBeginBeyondEnd);
    if (plan != nullptr) return PlanRange(ctx, source, begin, length, sequence, *plan);
    CSourcePieces pieces(ctx);
    std::unique_ptr<CCutter> cutter = CreateCutter(ctx.options);
    if (Outcome prepared = Prepare(ctx, *cutter, pieces, source, false); !prepared.done()) return prepared;
    std::string path;
    std::string error;
    if (!MakePieceTarget(ctx.options, *ctx.run, source, 1, 1, sequence, path, error)) {
        return Outcome::Failed(error);
    }
    bool eof = false;
    if (Outcome skipped = cutter->SkipDuration(begin, eof); !skipped.done()) return pieces.Drop(std::move(skipped));
    bool written = false;
    if (!eof && !PumpAndCheck(ctx)) {
        const int digits = ctx.options.titleDigits;
        Outcome piece = length == 0 ? cutter->CutToEnd(path, 1, 1, sequence, digits)
                                    : cutter->CutByDuration(path, length, 1, 1, sequence, digits, eof);
        if (!piece.done()) return pieces.Drop(std::move(piece));
        written = true;
    }
    if (PumpAndCheck(ctx)) return pieces.Drop(Outcome::Cancelled());
    if (!written) ctx.run->Release(path);
    Outcome kept = pieces.Keep(Outcome::Done());
    if (written && kept.done()) ++sequence;
    return kept;
}

// One file of a batch, on worker threads when the cut re-encodes.
Outcome CutOneBatchFile(CutContext& ctx, const BatchCutRequest& request, const std::string& source, int64_t seconds,
                        uint64_t fileSize, int& sequence) {
    if (!RunsInParallel(ctx) || request.rule == BatchRule::Silence) return CutBatchFile(ctx, request, source, seconds, fileSize, sequence, nullptr);
    return RunParallel(ctx, &sequence, [&](SourcePlan& plan) {
        int first = sequence;
        return CutBatchFile(ctx, request, source, seconds, fileSize, first, &plan);
    });
}

}  // namespace

Outcome BatchCutBySize(CutContext& ctx, const std::string& source, int64_t seconds, uint64_t fileSize,
                       const std::string& sizeText, SizeUnit sizeUnit, int& sequenceNumber) {
    BatchCutRequest request;
    request.rule = BatchRule::Size;
    request.sizeText = sizeText;
    request.sizeUnit = sizeUnit;
    return CutOneBatchFile(ctx, request, source, seconds, fileSize, sequenceNumber);
}

Outcome BatchCutByCount(CutContext& ctx, const std::string& source, int64_t seconds, int count,
                        int& sequenceNumber) {
    BatchCutRequest request;
    request.rule = BatchRule::Count;
    request.count = count;
    return CutOneBatchFile(ctx, request, source, seconds, 0, sequenceNumber);
}

Outcome BatchCutByTime(CutContext& ctx, const std::string& source, int64_t seconds, int minutes, int secs,
                       int& sequenceNumber) {
    BatchCutRequest request;
    request.rule = BatchRule::Time;
    request.minutes = minutes;
    request.seconds = secs;
    return CutOneBatchFile(ctx, request, source, seconds, 0, sequenceNumber);
}

Outcome BatchCutRange(CutContext& ctx, const std::string& source, int64_t seconds, const std::string& beginText,
                      const std::string& lengthText, int& sequenceNumber) {
    BatchCutRequest request;
    request.rule = BatchRule::Range;
    request.beginText = beginText;
    request.lengthText = lengthText;
    return CutOneBatchFile(ctx, request, source, seconds, 0, sequenceNumber);
}

Outcome RunBatchCut(CutContext& ctx, const BatchCutRequest& request, const std::vector<BatchSource>& files,
                    IBatchCutObserver& observer) {
    for (const BatchSource& file : files) ctx.run->AddSource(file.path);
    if (!RunsInParallel(ctx) || request.rule == BatchRule::Silence) {
        int sequence = 1;
        for (size_t k = 0; k < files.size(); ++k) {
            // A cancel that came while the last file was published leaves that file as it is.
            if (k > 0 && DialogCancelled(ctx)) return Outcome::Cancelled();
            const BatchSource& file = files[k];
            observer.OnFileStarted(k);
            ctx.createdPieces.clear();
            const Outcome outcome =
                file.loadable ? CutBatchFile(ctx, request, file.path, file.seconds, file.fileSize, sequence, nullptr)
                              : Outcome::Failed(LoadFileFailure(file.path));
            observer.OnFileDone(k, outcome, ctx.createdPieces);
            if (outcome.cancelled()) return outcome;
        }
        return Outcome::Done();
    }
    CParallelCut cut(ctx);
    return cut.Run(
        files.size(), 1,
        [&](size_t k, int sequence, SourcePlan& plan) {
            const BatchSource& file = files[k];
            if (!file.loadable) return Outcome::Failed(LoadFileFailure(file.path));
            return CutBatchFile(ctx, request, file.path, file.seconds, file.fileSize, sequence, &plan);
        },
        [&](size_t k) { observer.OnFileStarted(k); },
        [&](size_t k, const SourceResult& result) { observer.OnFileDone(k, result.outcome, result.pieces); });
}

}  // namespace corvane
