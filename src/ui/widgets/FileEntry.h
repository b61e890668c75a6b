// The record behind one row of a file list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

// Facts of one listed source file. The page that owns the list creates the record when the
// file is added and deletes it when the row goes; the list control never owns it. Pages with
// more to keep derive from it.
struct FileEntry {
    virtual ~FileEntry() = default;
    std::string path;          // full path, as added
    uint32_t length = 0;       // playing time, whole seconds
    int sampleRate = 0;        // Hz
    int bitRate = 0;           // kbps
    int channelMode = 0;       // 0 Stereo, 1 J-Stereo, 2 Dual Channel, 3 Mono
    std::vector<std::string> piecePaths;  // batch cutter: pieces written by the last cut
};

// A row's link to its record; the row index is renumbered before every sort.
struct RowSlot {
    int32_t row = 0;
    FileEntry* record = nullptr;
};

}  // namespace corvane
