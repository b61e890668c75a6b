// COutputSet: publishing a source's outputs together.
#include "engine/output/OutputSet.h"

#include "engine/base/Messages.h"
#include "engine/output/OutputRun.h"

namespace corvane {

COutputSet::COutputSet(COutputRun& run) : run_(run) {}

COutputSet::~COutputSet() { Discard(); }

COutputFile& COutputSet::Add() {
    files_.push_back(std::make_unique<COutputFile>());
    return *files_.back();
}

Outcome COutputSet::Publish(TargetExists rule) {
    Outcome outcome = Outcome::Done();
    bool stopped = false;  // a rename failed: nothing more is published
    for (const std::unique_ptr<COutputFile>& file : files_) {
        if (!file->IsComplete() || stopped) {
            file->Remove();
            continue;
        }
        const std::string wanted = file->Path();
        COutputFile::Published result = file->Publish(wanted, rule == TargetExists::Overwrite);
        if (result == COutputFile::Published::Taken && rule == TargetExists::Rename) {
            // Something took the name after it was settled: the next free numbered name.
            for (int n = 1; result == COutputFile::Published::Taken && n <= kMaxNumberedCandidates; ++n) {
                const std::string candidate = NumberedCandidate(wanted, n);
                if (run_.IsReserved(candidate)) continue;
                result = file->Publish(candidate, false);
                if (result == COutputFile::Published::Done) run_.Reserve(candidate);
            }
        }
        if (result == COutputFile::Published::Done) continue;
        run_.Release(wanted);
        if (result == COutputFile::Published::Taken && rule == TargetExists::Skip) {
            file->Remove();
            if (outcome.done()) outcome = Outcome::Failed(kTargetExistsSkipped);
            continue;
        }
        file->Remove();
        outcome = Outcome::Failed(WriteFileFailure(wanted));
        stopped = true;
    }
    return outcome;
}

void COutputSet::Discard() {
    for (const std::unique_ptr<COutputFile>& file : files_) {
        if (file->IsPublished()) continue;
        if (!file->Path().empty()) run_.Release(file->Path());
        file->Remove();
    }
}

std::vector<std::string> COutputSet::Published() const {
    std::vector<std::string> paths;
    for (const std::unique_ptr<COutputFile>& file : files_) {
        if (file->IsPublished()) paths.push_back(file->Path());
    }
    return paths;
}

}  // namespace corvane
