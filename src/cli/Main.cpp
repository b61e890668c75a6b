// corvane-cli: the cutting and joining engine from a terminal.
#include <cstring>
#include <iostream>

#include "audio/AudioStartup.h"
#include "engine/base/Deployment.h"
#include "cli/Commands.h"
#include "cli/TerminalProgress.h"
#include "cli/TextEscape.h"

namespace corvane::cli {
namespace {

constexpr const char* kHelpText =
    "Usage:\n"
    "  corvane-cli info [--json] FILE...\n"
    "  corvane-cli cut RULE [CUT OPTIONS] FILE\n"
    "  corvane-cli batch-cut RULE [CUT OPTIONS] [--first N] FILE...\n"
    "  corvane-cli join -o TARGET [ENCODING] [TAG] FILE FILE...\n"
    "  corvane-cli batch-join [--insert | --append] --with FILE [--with FILE...] [ENCODING] [OUTPUT] MAIN...\n"
    "  corvane-cli peaks [--columns N] [--from T] [--to T] [--json] FILE\n"
    "  corvane-cli --help | --version\n"
    "\n"
    "Rules (exactly one per cut):\n"
    "  --size TEXT            piece size, e.g. 1.5MB, 700KB (units KB, MB, GB, TB; default MB)\n"
    "  --count N              N equal pieces\n"
    "  --time T               pieces of T seconds (90) or minutes:seconds (1:30)\n"
    "  --points T1,T2,...     cut only: split at these positions (seconds or M:SS.t)\n"
    "  --only LIST            with --points: the 1-based rows to write (1,3)\n"
    "  --silence [DB[:SEC]]   split in the middle of each silence under DB dBFS (default -48)\n"
    "                         lasting SEC seconds or longer (default 1)\n"
    "  --cue SHEET            cut only: one piece per track of a CUE sheet, tagged as the track\n"
    "  --chapters             one piece per chapter of the file's ID3v2 tag (CHAP frames), named\n"
    "                         and tagged as a CUE track is, with the chapter's title\n"
    "  --range BEGIN[:LENGTH] batch-cut only: one piece per file from BEGIN for LENGTH seconds\n"
    "\n"
    "Cut options:\n"
    "  -d, --output-dir DIR   write into DIR (default: beside the source)\n"
    "  --tree                 rebuild the source's folder path under DIR\n"
    "  --folder-per-file      a folder named after each source\n"
    "  --name TEMPLATE        file name template (default %F%-%P%.mp3)\n"
    "  --name-digits N        digits of numbers in names, 0 automatic\n"
    "  --if-exists rename|overwrite|skip   when a target exists (default rename)\n"
    "  --no-tag               pieces get no ID3v2 tag\n"
    "  --title TEMPLATE       title template of the pieces' tags (default %I% - %P%/%T%)\n"
    "  --title-digits N       digits of numbers in titles\n"
    "  --track none|original|sequence   track number of the pieces (default original)\n"
    "  --reencode             re-encode pieces\n"
    "  --rate HZ --bitrate KBPS --mode joint|stereo|mono   re-encoding parameters\n"
    "  --fade-in SEC, --fade-out SEC    fades (a fade re-encodes)\n"
    "  --forward-overlap SEC, --backward-overlap SEC   overlaps\n"
    "  --first N              batch-cut only: only the first N pieces of each file\n"
    "\n"
    "Join options:\n"
    "  -o TARGET              join: the target file\n"
    "  --auto                 frame copy when all inputs are alike, else re-encode (default)\n"
    "  --preset 1..4          an encoding preset\n"
    "  --rate HZ --bitrate KBPS --mode joint|stereo|mono   custom join parameters, all three\n"
    "  --title --artist --album --year --genre --comment --track   join: the target's tag\n"
    "  --insert | --append    batch-join: joined files before / after each main file\n"
    "  --with FILE            batch-join: a joined file (repeatable)\n"
    "  -d DIR, --tree, --no-postfix, --if-exists rename|overwrite|skip, --no-tag   batch-join output\n"
    "  --no-chapters          join, batch-join: no chapters; by default a target gets one chapter\n"
    "                         per input (CHAP and CTOC frames), titled by the input's title or\n"
    "                         file name, or the input's own chapters; --no-tag writes none either\n"
    "\n"
    "Peaks options:\n"
    "  --columns N            columns over the whole file or the stretch (default 100); each line\n"
    "                         is the lowest and highest sample of one column, as fractions of full\n"
    "                         scale\n"
    "  --from T, --to T       only the stretch from T to T (seconds or M:SS.t; by default the\n"
    "                         start and the end of the file), decoding only that stretch\n"
    "  --json                 the same as one JSON object\n"
    "\n"
    "  --jobs N               cut, batch-cut, join, batch-join: pieces, files or rows re-encoded\n"
    "                         at once (default: every core; frame copy runs on one)\n"
    "  --quiet                no progress bar or status lines\n"
    "  -0, --null             end each printed path with a NUL byte instead of a newline (xargs -0)\n"
    "\n"
    "stdout lists every file written, one per line; messages and progress go to stderr.\n"
    "Exit status: 0 all written, 1 a source or target failed, 2 usage error,\n"
    "  130/143/129 interrupted by SIGINT/SIGTERM/SIGHUP (what the interrupted source or target\n"
    "  wrote is removed, as a cancel removes it).\n";

}  // namespace

int UsageError(const std::string& text) {
    std::cerr << "corvane-cli: " << TerminalText(text) << "\nTry 'corvane-cli --help' for more information.\n";
    return kExitUsage;
}

}  // namespace corvane::cli

int main(int argc, char** argv) {
    using namespace corvane::cli;
    if (argc < 2) return UsageError("missing command");
    const std::string command = argv[1];
    const Args args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h") {
        std::cout << kHelpText;
        return kExitOk;
    }
    if (command == "--version") {
        std::cout << "corvane-cli (" << corvane::kVersionText << ")\n";
        return kExitOk;
    }
    // The audio library recognises files as the desktop program's does.
    corvane::audio::ConfigureAudioLibrary();
    if (command == "info") return RunInfo(args);
    if (command == "peaks") return RunPeaks(args);
    // The writing commands: from here to the end of the run SIGINT, SIGTERM and SIGHUP cancel
    // the running work instead of killing the process.
    const bool writes = command == "cut" || command == "batch-cut" || command == "join" || command == "batch-join";
    if (writes) InstallSignalHandlers();
    if (command == "cut") return RunCut(args, false);
    if (command == "batch-cut") return RunCut(args, true);
    if (command == "join") return RunJoinCommand(args, false);
    if (command == "batch-join") return RunJoinCommand(args, true);
    return UsageError("unknown command: " + command);
}
