// The commands of corvane-cli; each returns the process exit status.
#pragma once

#include <string>
#include <vector>

namespace corvane::cli {

// Exit statuses of the tool.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// A cancelled cut or join exits with 128 plus the signal that cancelled it: see
// InterruptedExitStatus in cli/TerminalProgress.h.

using Args = std::vector<std::string>;

int RunInfo(const Args& args);
// cut (batch false) and batch-cut.
int RunCut(const Args& args, bool batch);
// join (batch false) and batch-join.
int RunJoinCommand(const Args& args, bool batch);
// peaks: a file's waveform as the lowest and highest sample of each column.
int RunPeaks(const Args& args);

// Prints "corvane-cli: TEXT" and a hint to stderr; returns kExitUsage.
int UsageError(const std::string& text);

}  // namespace corvane::cli
