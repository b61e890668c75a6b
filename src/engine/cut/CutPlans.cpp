// The cut plans: validation, piece counts, naming and the cancel clean-up.
#include "engine/cut/CutPlans.h"

#include <cctype>
#include <cstdio>

#include "engine/base/Messages.h"
#include "engine/base/PathUtil.h"
#include "engine/cut/Cutter.h"
#include "engine/cut/FrameCopyCutter.h"
#include "engine/cut/ReencodeCutter.h"
#include "engine/cut/PieceTarget.h"
#include "engine/output/PieceNaming.h"
#include "engine/mp3/SourceFacts.h"

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

bool DialogCancelled(const CutContext& ctx) {
    return ctx.dialog && ctx.dialog->cancelled.load(std::memory_order_relaxed) != 0;
}

bool PumpAndCheck(const CutContext& ctx) {
    PumpMessages();
    return DialogCancelled(ctx);
}

// Steps 1-5 common to every driver once its own checks passed: Done when the cutter is
// ready for the first piece.
Outcome Prepare(CutContext& ctx, CCutter& cutter, const std::string& source, bool overlaps) {
    ctx.createdPieces.clear();
    if (PumpAndCheck(ctx)) return Outcome::Cancelled();
    if (!cutter.LoadSource(source)) return Outcome::Failed(LoadFileFailure(source));
    const CutterOptions& o = ctx.options;
    cutter.SetCancelFlag(ctx.dialog ? &ctx.dialog->cancelled : nullptr);
    cutter.SetProgressBar(ctx.dialog ? &ctx.dialog->Bar() : nullptr);
    if (overlaps) {
        cutter.SetForwardOverlap(o.forwardOverlap);
        cutter.SetBackwardOverlap(o.backwardOverlap);
    }
    cutter.SetFadeIn(o.fadeInLen > 0, o.fadeInLen);
    cutter.SetFadeOut(o.fadeOutLen > 0, o.fadeOutLen);
    if (PumpAndCheck(ctx)) return Outcome::Cancelled();
    cutter.keepTag = o.keepID3tag;
    if (o.keepID3tag) {
        cutter.titleTemplate = o.id3TitleFormat;
        cutter.trackMode = o.id3TrackNumType;
    }
    return Outcome::Done();
}

// Removes every piece of the source written so far; returns outcome (a piece's failure or a
// cancel).
Outcome CleanUp(CutContext& ctx, Outcome outcome) {
    for (const std::string& path : ctx.createdPieces) std::remove(path.c_str());
    ctx.createdPieces.clear();
    return outcome;
}

// By size with re-encoding: pieces of size bytes at the output bit rate (kbps) over seconds
// of audio, the last one taking the rest.
int PieceCountAtBitrate(int seconds, uint64_t size, int kbps) {
    const double bytesPerSecond = kbps * 1000.0 / 8.0;
    const double pieceSeconds = static_cast<double>(size) / bytesPerSecond;
    int count = static_cast<int>(seconds / pieceSeconds);
    if (count * pieceSeconds < seconds) ++count;
    return count;
}

// The sequential plan of CutFileBySize, CutFileByCount and CutFileByTime.
Outcome RunSequential(CutContext& ctx, const std::string& source, bool bySize, uint64_t size, int tenths, int count,
                      int lengthTenths) {
    std::unique_ptr<CCutter> cutter = CreateCutter(ctx.options);
    if (Outcome prepared = Prepare(ctx, *cutter, source, true); !prepared.done()) return prepared;
    if (count == 0) count = PieceCountAtBitrate(lengthTenths / 10, size, cutter->GetOutputBitrate());
    const int digits = ctx.options.titleDigitNumber;
    std::string path;
    bool eof = false;
    int i = 1;
    std::string error;
    for (; i <= count - 1; ++i) {
        if (!MakePieceTarget(ctx.options, source, i, count, i, path, error)) return Outcome::Failed(error);
        Outcome piece = bySize ? cutter->CutBySize(path, size, i, count, i, digits, eof)
                               : cutter->CutByDuration(path, tenths, i, count, i, digits, eof);
        if (!piece.done()) return CleanUp(ctx, std::move(piece));
        ctx.createdPieces.push_back(path);
        if (eof) break;
    }
    if (PumpAndCheck(ctx)) return CleanUp(ctx, Outcome::Cancelled());
    if (eof) {
        cutter->CloseSource();
        return Outcome::Done();
    }
    if (!MakePieceTarget(ctx.options, source, i, count, i, path, error)) return Outcome::Failed(error);
    if (Outcome last = cutter->CutToEnd(path, count, count, count, digits); !last.done()) {
        return CleanUp(ctx, std::move(last));
    }
    ctx.createdPieces.push_back(path);
    cutter->CloseSource();
    return Outcome::Done();
}

// The batch plan of BatchCutBySize, BatchCutByCount and BatchCutByTime.
Outcome RunBatch(CutContext& ctx, const std::string& source, bool bySize, uint64_t size, int tenths, int count,
                 int seconds, int& sequence) {
    std::unique_ptr<CCutter> cutter = CreateCutter(ctx.options);
    if (Outcome prepared = Prepare(ctx, *cutter, source, true); !prepared.done()) return prepared;
    if (count == 0) count = PieceCountAtBitrate(seconds, size, cutter->GetOutputBitrate());
    const CutterOptions& o = ctx.options;
    const int digits = o.titleDigitNumber;
    std::string path;
    bool eof = false;
    int i = 1;
    std::string error;
    if (count >= 2) {
        while (!o.splitFirstNPieces || o.firstPiecesNumber >= i) {
            if (!MakePieceTarget(o, source, i, count, sequence, path, error)) return Outcome::Failed(error);
            Outcome piece = bySize ? cutter->CutBySize(path, size, i, count, sequence, digits, eof)
                                   : cutter->CutByDuration(path, tenths, i, count, sequence, digits, eof);
            if (!piece.done()) return CleanUp(ctx, std::move(piece));
            ++sequence;
            ctx.createdPieces.push_back(path);
            if (eof) break;
            ++i;
            if (i >= count) break;
        }
    }
    if (PumpAndCheck(ctx)) return CleanUp(ctx, Outcome::Cancelled());
    if (eof || (o.splitFirstNPieces && o.firstPiecesNumber < i)) return Outcome::Done();
    if (!MakePieceTarget(o, source, i, count, sequence, path, error)) return Outcome::Failed(error);
    if (Outcome last = cutter->CutToEnd(path, count, count, sequence, digits); !last.done()) {
        return CleanUp(ctx, std::move(last));
    }
    ++sequence;
    ctx.createdPieces.push_back(path);
    return Outcome::Done();
}

uint64_t PieceCountBySize(uint64_t fileSize, uint64_t size) {
    return fileSize / size + (fileSize % size ? 1 : 0);
}

bool Reencodes(const CutterOptions& o) { return o.reencodePieces || o.fadeInLen > 0 || o.fadeOutLen > 0; }

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
    auto cutter = std::make_unique<CReencodeCutter>();
    if (!options.reencodePieces || options.useSameParams) {
        cutter->SetEncodingParams(0, 0, kChannelModeNone);
    } else {
        cutter->SetEncodingParams(options.mp3SampleRate, options.mp3BitRate, options.mp3ChannelMode);
    }
    return cutter;
}

int SourceLengthTenths(const std::string& path) {
    SourceFacts facts;
    return ReadSourceFacts(path, facts) ? facts.lengthTenths() : -1;
}

Outcome CutFileBySize(CutContext& ctx, const std::string& source, int lengthTenths, uint64_t fileSize,
                      const std::string& sizeText, SizeUnit sizeUnit) {
    const uint64_t size = ParsePieceSize(sizeText, sizeUnit);
    if (size >= fileSize) return Outcome::Failed(kSizeTooBig);
    if (size == 0) return Outcome::Failed(kSizeTooSmall);
    const int count = Reencodes(ctx.options) ? 0 : static_cast<int>(PieceCountBySize(fileSize, size));
    return RunSequential(ctx, source, true, size, 0, count, lengthTenths);
}

Outcome CutFileByCount(CutContext& ctx, const std::string& source, int lengthTenths, int count) {
    if (count <= 1) return Outcome::Failed(kCountTooSmall);
    const int tenths = lengthTenths / count;
    if (tenths <= 0) return Outcome::Failed(kCountTooBig);
    return RunSequential(ctx, source, false, 0, tenths, count, lengthTenths);
}

Outcome CutFileByTime(CutContext& ctx, const std::string& source, int lengthTenths, int minutes, int seconds) {
    const int tenths = seconds * 10 + minutes * 600;
    if (tenths >= lengthTenths) return Outcome::Failed(kDurationTooLong);
    if (tenths <= 0) return Outcome::Failed(kDurationTooSmall);
    const int count = lengthTenths / tenths + (lengthTenths % tenths ? 1 : 0);
    return RunSequential(ctx, source, false, 0, tenths, count, lengthTenths);
}

Outcome CutFileByPieces(CutContext& ctx, const std::string& source, std::vector<PieceEntry>& rows) {
    const int n = static_cast<int>(rows.size());
    bool anyChecked = false;
    for (const PieceEntry& row : rows) anyChecked = anyChecked || row.checked;
    if (n <= 1 || !anyChecked) return Outcome::Failed(kPiecesRequired);
    std::unique_ptr<CCutter> cutter = CreateCutter(ctx.options);
    if (Outcome prepared = Prepare(ctx, *cutter, source, true); !prepared.done()) return prepared;
    const int digits = ctx.options.titleDigitNumber;
    std::string error;
    bool eof = false;
    for (int k = 1; k <= n - 1 && !eof; ++k) {
        PieceEntry& row = rows[static_cast<size_t>(k - 1)];
        const int duration = row.end - row.start;
        if (row.checked) {
            if (!MakePieceTarget(ctx.options, source, k, n, k, row.path, error)) return Outcome::Failed(error);
            Outcome piece = cutter->CutByDuration(row.path, duration, k, n, k, digits, eof);
            if (!piece.done()) return CleanUp(ctx, std::move(piece));
            row.output = FileNameOf(row.path);
            ctx.createdPieces.push_back(row.path);
        } else if (Outcome skipped = cutter->SkipDuration(duration, eof); !skipped.done()) {
            return CleanUp(ctx, std::move(skipped));
        }
    }
    if (PumpAndCheck(ctx)) return CleanUp(ctx, Outcome::Cancelled());
    PieceEntry& last = rows.back();
    if (eof || !last.checked) {
        cutter->CloseSource();
        return Outcome::Done();
    }
    if (!MakePieceTarget(ctx.options, source, n, n, n, last.path, error)) return Outcome::Failed(error);
    if (Outcome piece = cutter->CutToEnd(last.path, n, n, n, digits); !piece.done()) {
        return CleanUp(ctx, std::move(piece));
    }
    last.output = FileNameOf(last.path);
    ctx.createdPieces.push_back(last.path);
    cutter->CloseSource();
    return Outcome::Done();
}

Outcome BatchCutBySize(CutContext& ctx, const std::string& source, int seconds, uint64_t fileSize,
                       const std::string& sizeText, SizeUnit sizeUnit, int& sequenceNumber) {
    const uint64_t size = ParsePieceSize(sizeText, sizeUnit);
    if (size == 0) return Outcome::Failed(kSizeTooSmall);
    const int count = Reencodes(ctx.options) ? 0 : static_cast<int>(PieceCountBySize(fileSize, size));
    return RunBatch(ctx, source, true, size, 0, count, seconds, sequenceNumber);
}

Outcome BatchCutByCount(CutContext& ctx, const std::string& source, int seconds, int count, int& sequenceNumber) {
    if (count <= 1) return Outcome::Failed(kCountTooSmall);
    const int tenths = seconds * 10 / count;
    if (tenths <= 0) return Outcome::Failed(kCountTooBig);
    return RunBatch(ctx, source, false, 0, tenths, count, seconds, sequenceNumber);
}

Outcome BatchCutByTime(CutContext& ctx, const std::string& source, int seconds, int minutes, int secs,
                       int& sequenceNumber) {
    const int tenths = secs * 10 + minutes * 600;
    if (tenths <= 0) return Outcome::Failed(kDurationTooSmall);
    const int length = seconds * 10;
    const int count = length / tenths + (length % tenths ? 1 : 0);
    return RunBatch(ctx, source, false, 0, tenths, count, seconds, sequenceNumber);
}

Outcome BatchCutRange(CutContext& ctx, const std::string& source, int seconds, const std::string& beginText,
                      const std::string& lengthText, int& sequenceNumber) {
    const int begin = static_cast<int>(ReadDecimal(beginText) * 10);
    int length = static_cast<int>(ReadDecimal(lengthText) * 10);
    if (seconds * 10 < begin) return Outcome::Failed(kBeginBeyondEnd);
    if (length == 0) length = seconds * 20;
    std::unique_ptr<CCutter> cutter = CreateCutter(ctx.options);
    if (Outcome prepared = Prepare(ctx, *cutter, source, false); !prepared.done()) return prepared;
    std::string path;
    std::string error;
    if (!MakePieceTarget(ctx.options, source, 1, 1, sequenceNumber, path, error)) return Outcome::Failed(error);
    bool eof = false;
    if (Outcome skipped = cutter->SkipDuration(begin, eof); !skipped.done()) return CleanUp(ctx, std::move(skipped));
    if (!eof && !PumpAndCheck(ctx)) {
        Outcome piece = cutter->CutByDuration(path, length, 1, 1, sequenceNumber, ctx.options.titleDigitNumber, eof);
        if (!piece.done()) return CleanUp(ctx, std::move(piece));
        ++sequenceNumber;
        ctx.createdPieces.push_back(path);
    }
    if (PumpAndCheck(ctx)) return CleanUp(ctx, Outcome::Cancelled());
    return Outcome::Done();
}

}  // namespace corvane
