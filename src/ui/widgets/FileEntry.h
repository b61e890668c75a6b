// The record behind one row of a file list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Facts.h"

namespace corvane {

// Facts of one listed source file. The page that owns the list creates the record when the
// file is added and deletes it when the row goes; the list control never owns it. Pages with
// more to keep derive from it.
struct FileEntry {
    virtual ~FileEntry() = default;
    std::string path;          // full path, as added
    SourceFacts facts;         // as the list read them when the file was added
    std::vector<std::string> piecePaths;  // batch cutter: pieces written by the last cut
};

// A row's link to its record; the row index is renumbered before every sort.
struct RowSlot {
    int32_t row = 0;
    FileEntry* record = nullptr;
};

}  // namespace corvane
