#!/bin/sh
# Runs each fuzz target of a CORVANE_FUZZ build for a while; fails when any of them finds a
# crash, a sanitizer report, a leak, a failed check or a hang.
#
#     sh fuzz/run-fuzzers.sh <build-fuzz> <seconds> [target...]
#
# Each target grows its own corpus in <build-fuzz>/corpus/<target> (kept between runs) from
# its seeds: the test MP3s, the CUE sheets under fuzz/corpus/cue, and what MakeFuzzSeeds
# writes (peak cache entries, the tags of the test MP3s). A finding is written to
# <build-fuzz>/findings/<target>-crash-... (replay it: <build-fuzz>/fuzz/<target> <file>);
# the whole output of a run is in <build-fuzz>/fuzz-logs/<target>.log.
set -eu
build=$(cd "$1" && pwd)
seconds=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
targets=${*:-Mp3FramesFuzzer Mp3ReaderFuzzer TagFuzzer CueSheetFuzzer PeakCacheFuzzer}

seeds=$build/fuzz-seeds
rm -rf "$seeds"
"$build/fuzz/MakeFuzzSeeds" "$root/tests/data" "$seeds"
mkdir -p "$build/findings" "$build/fuzz-logs"

failed=""
for target in $targets; do
    case $target in
        Mp3FramesFuzzer) set -- "$root/tests/data"; dict=mp3.dict; len=8192 ;;
        Mp3ReaderFuzzer) set -- "$root/tests/data"; dict=mp3.dict; len=16384 ;;
        TagFuzzer) set -- "$seeds/tags"; dict=mp3.dict; len=8192 ;;
        CueSheetFuzzer) set -- "$root/fuzz/corpus/cue"; dict=cue.dict; len=4096 ;;
        PeakCacheFuzzer) set -- "$seeds/peaks"; dict=peaks.dict; len=16384 ;;
        *) echo "run-fuzzers.sh: no target $target" >&2; exit 2 ;;
    esac
    corpus=$build/corpus/$target
    log=$build/fuzz-logs/$target.log
    mkdir -p "$corpus"
    status=0
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -max_len="$len" \
        -dict="$root/fuzz/$dict" -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
        "$corpus" "$@" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    units=$(ls "$corpus" | wc -l)
    if [ "$status" -eq 0 ]; then
        echo "$target: ${runs:-?} runs in ${seconds} s (${rate:-?}/s), corpus of $units inputs, nothing found"
    else
        echo "$target: FINDING after ${runs:-?} runs (exit status $status); the end of $log:"
        tail -n 60 "$log"
        failed="$failed $target"
    fi
done
if [ -n "$failed" ]; then
    echo "Fuzz targets with findings:$failed (inputs in $build/findings/)"
    exit 1
fi
