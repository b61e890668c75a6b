// The batch join loop over the main files of the batch joiner.
#include "engine/join/BatchJoin.h"

#include "engine/base/PathUtil.h"
#include "engine/join/JoinJob.h"
#include "engine/join/JoinTarget.h"
#include "engine/output/OutputRun.h"

namespace corvane {
namespace {

std::string OverallText(size_t index, size_t count) {
    return "Joining " + std::to_string(index + 1) + " of " + std::to_string(count) + " file(s)...";
}

bool HasTag(const TagFields& tag) {
    return tag.track >= 1 || !tag.title.empty() || !tag.artist.empty() || !tag.album.empty() ||
           !tag.year.empty() || !tag.genre.empty() || !tag.comment.empty();
}

}  // namespace

Outcome RunBatchJoin(const JoinerOptions& options, JoinType joinType, std::vector<BatchJoinRow>& rows,
                     const std::vector<JoinInputFacts>& joined, IProgressDialog* dialog,
                     IBatchJoinObserver* observer) {
    std::vector<std::string> joinedPaths;
    joinedPaths.reserve(joined.size());
    for (const JoinInputFacts& facts : joined) joinedPaths.push_back(facts.path);
    std::string unreadableJoined;
    for (const JoinInputFacts& facts : joined) {
        if (!facts.factsRead) {
            unreadableJoined = facts.path;
            break;
        }
    }

    // Every main and joined file is a source of the run: no target of the batch replaces one.
    COutputRun run;
    run.AddSources(joinedPaths);
    for (const BatchJoinRow& row : rows) run.AddSource(row.facts.path);

    CJoinJob job;
    job.SetTargetRule(options.targetExistsOpt, &run);
    Outcome batch = Outcome::Done();
    for (size_t e = 0; e < rows.size(); ++e) {
        BatchJoinRow& row = rows[e];
        auto show = [&](std::string text) {
            row.output = std::move(text);
            if (observer) observer->OnRowChanged(e);
        };
        auto fail = [&](std::string text) {
            if (batch.done()) batch = Outcome::Failed(text);
            show(std::move(text));
        };
        row.targetPath.clear();
        show(kJoiningText);
        if (observer) observer->OnOverall(OverallText(e, rows.size()), static_cast<int>(e + 1), static_cast<int>(rows.size()));

        std::string target;
        std::string error;
        if (!MakeJoinTarget(options, run, row.facts.path, target, error)) {
            fail(kJoinFailurePrefix + error);
            continue;
        }
        if (options.autoMP3EncodingParam && (!row.facts.factsRead || !unreadableJoined.empty())) {
            run.Release(target);
            fail(std::string(kJoinFailurePrefix) + "Failed to open file \"" +
                 (!row.facts.factsRead ? row.facts.path : unreadableJoined) + "\".");
            continue;
        }

        job.Clear();
        if (joinType == JoinType::AppendToEnd) {
            job.AddFile(row.facts.path);
            job.AddFiles(joinedPaths);
        } else {
            job.AddFiles(joinedPaths);
            job.AddFile(row.facts.path);
        }
        if (HasTag(row.tag)) {
            job.MakeTag(row.tag.title, row.tag.artist, row.tag.album, row.tag.year, row.tag.comment, row.tag.genre,
                        row.tag.track);
        }
        const JoinWay way = ChooseBatchJoinWay(options, row.facts, joined);
        const Outcome joinedRow = RunJoin(job, way, target, dialog);
        if (joinedRow.done()) {
            row.targetPath = job.PublishedTarget();
            show(FileNameOf(row.targetPath));
        } else if (joinedRow.cancelled()) {
            run.Release(target);
            show(kCancelledText);
            return Outcome::Cancelled();
        } else {
            run.Release(target);
            fail(kJoinFailurePrefix + joinedRow.message);
        }
    }
    return batch;
}

size_t FirstJoinedRow(const std::vector<BatchJoinRow>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].targetPath.empty()) return i;
    }
    return rows.size();
}

}  // namespace corvane
