#!/bin/sh
# Times the waveform overview of a one-hour 44100 Hz stereo 128 kbps CBR file (a tone over
# pink noise): on the cutter page (the page's test program, offscreen) from the start of the
# open until the overview is complete, first decoded, then again from the peak cache, with
# the event loop's worst delay meanwhile; and `corvane-cli peaks` without and with the cache
# against a plain decode of the same file by the mpg123 program.
# Usage: bench/peaks.sh [BUILD_DIR]
# RUNS=N changes the number of page runs and of hyperfine runs (5).
set -eu
RUNS=${RUNS:-5}
. "$(dirname "$0")/hour.sh"
echo "one hour: $(stat -c %s "$WORK/hour.mp3") bytes in $WORK/hour.mp3"

echo "cutter page (offscreen), $RUNS runs, each with an empty cache:"
for run in $(seq "$RUNS"); do
    XDG_CACHE_HOME="$WORK/page-cache-$run" CORVANE_BENCH_PEAKS="$WORK/hour.mp3" QT_QPA_PLATFORM=offscreen \
        SDL_AUDIODRIVER=dummy "$BUILD/tests/ui/PageSplitterTest" overviewOfABenchFile 2>&1 |
        grep -E "open:|FAIL|Loc" | tee -a "$WORK/page.txt"
done
for which in first second; do
    grep "^$which open" "$WORK/page.txt" | sed 's/.*complete \([0-9]*\) ms.*/\1/' | sort -n |
        awk -v w="$which" '{ v[NR] = $1 } END { printf "%s open: median %d ms over %d runs (%d to %d)\n", w, v[int((NR + 1) / 2)], NR, v[1], v[NR] }'
done

echo "corvane-cli peaks, decoded and from the cache, and mpg123 decoding the file:"
export XDG_CACHE_HOME="$WORK/cache"
hyperfine -N --runs "$RUNS" --prepare "rm -rf $WORK/cache" \
    -n "peaks (decoded)" "$BUILD/corvane-cli peaks --columns 1000 $WORK/hour.mp3" \
    -n "mpg123 -t" "mpg123 -q -t $WORK/hour.mp3"
"$BUILD/corvane-cli" peaks --columns 1000 "$WORK/hour.mp3" > /dev/null
hyperfine -N --warmup 2 --runs 20 -n "peaks (cached)" "$BUILD/corvane-cli peaks --columns 1000 $WORK/hour.mp3"
