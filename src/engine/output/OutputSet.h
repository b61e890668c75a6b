// COutputSet: the outputs of one source or one target, written under temporary names and
// published together.
//
// A cut writes every piece of a source into the set; only when the source is done does the
// set give the pieces their names, one rename each, in the order they were added. Until then
// a file of the same name is untouched, and a cancel, a failed write or a signal leaves
// nothing but what was there before: Discard (or the set's end) deletes the temporary files
// and nothing else. A join uses a set of one file.
//
// Publishing follows the target-exists rule. Overwrite replaces what stands at the name (a
// symbolic link is replaced, never followed). Rename and Skip never replace anything, even a
// file that appeared after the name was settled: under Rename such a file pushes the output
// to the next free numbered name, under Skip the output is dropped.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/Progress.h"
#include "engine/mp3/OutputFile.h"
#include "engine/output/OutputTarget.h"

namespace corvane {

class COutputRun;

class COutputSet {
public:
    // run: where the names are reserved; must outlive the set.
    explicit COutputSet(COutputRun& run);
    // Discards what was not published.
    ~COutputSet();
    COutputSet(const COutputSet&) = delete;
    COutputSet& operator=(const COutputSet&) = delete;

    // A new output file of the set, not created yet (the writer calls Create with its final
    // name). Valid until the set goes.
    COutputFile& Add();

    // Publishes every complete file, in the order added, under rule. Done when all were
    // published. Otherwise Failed: "Target exists and skipped" when Skip dropped one (the
    // others are published), or "Failed to write file \"<path>\"." when a rename failed (the
    // files published before stay, the rest are removed). A file that is not complete is
    // removed. Published() lists the names given.
    Outcome Publish(TargetExists rule);

    // Deletes every temporary file and releases the names of the files not published.
    void Discard();

    // The final names of the files published so far, in order.
    std::vector<std::string> Published() const;
    // The files, in the order added.
    const std::vector<std::unique_ptr<COutputFile>>& Files() const { return files_; }

private:
    COutputRun& run_;
    std::vector<std::unique_ptr<COutputFile>> files_;
};

}  // namespace corvane
