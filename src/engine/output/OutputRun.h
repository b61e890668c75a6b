// COutputRun: what one run of the cutter or the joiner has claimed in the file system.
//
// A run is one cut, one batch cut, one join or one batch join. Its sources may never be
// replaced by one of its outputs, whatever the target-exists rule, and the names it has
// given its outputs, written or still pending under temporary names, count as taken for
// every later output of the run: two outputs of one run never share a path, and a piece of
// the first source of a batch never replaces the third source before it is read.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace corvane {

class COutputRun {
public:
    // Adds a source of the run: its file identity (when it exists) and its absolute path.
    void AddSource(const std::string& path);
    void AddSources(const std::vector<std::string>& paths);
    // True when path names a source: the same file (hard and symbolic links included) or
    // the same absolute, lexically normal path.
    bool IsSource(const std::string& path) const;

    // Claims path for an output of the run. Release gives it back (an output that was
    // dropped before it reached its name).
    void Reserve(const std::string& path);
    void Release(const std::string& path);
    bool IsReserved(const std::string& path) const;

private:
    mutable std::mutex mutex_;
    std::set<std::pair<uint64_t, uint64_t>> sourceFiles_;  // device and inode
    std::set<std::string> sourcePaths_;
    std::set<std::string> reserved_;
};

}  // namespace corvane
