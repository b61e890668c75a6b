// Duration and size texts of the file lists, info boxes and the command-line tool.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// Whole seconds as "H:MM:SS" from one hour on, else "M:SS"; the leading number is not padded
// (3909 gives "1:05:09", 7 gives "0:07", 3599 gives "59:59"). The caller truncates to whole
// seconds. A negative count (no length known) is shown with a leading minus ("-0:07").
std::string FormatDuration(int64_t seconds);

// A byte count with the unit of the first matching row, each threshold being 1000 units of
// the smaller unit: below 1000 "n B"; below 1000 KiB "%.1f KB"; below 1000 MiB "%.2f MB";
// below 1000 GiB "%.2f GB"; else "%.2f TB" (units of 1024). So 1000 bytes read "1.0 KB" and
// 1,048,576,000 bytes "0.98 GB". Negative counts read "-5 B". The decimal point is always
// ".", whatever the process locale.
std::string FormatSize(int64_t bytes);

// Files above this length, in tenths of a second, show positions with hours.
constexpr int kLongPositionAbove = 35999;

// A position of tenths in a file totalTenths long: "H:MM:SS.t" when the file is longer than
// kLongPositionAbove, else "M:SS.t" (the leading number is not padded). The form follows the
// file, not the position, so all times of one file read alike: in a file of exactly one hour
// 0 reads "0:00:00.0"; in one of 3599.9 s its end reads "59:59.9". With no file open, pass 0.
std::string FormatPosition(int64_t tenths, int totalTenths);

}  // namespace corvane
