#!/bin/sh
# Zooms the cutter page's waveform (the page's test program, offscreen) into the middle of a
# one-hour 44100 Hz stereo 128 kbps CBR file (a tone over pink noise), a Ctrl+wheel notch every
# 60 ms from the whole file down to a millisecond a pixel, then scrolls there a notch every
# 20 ms, each run with an empty peak cache after the overview is complete; reports how late
# the event loop answered meanwhile (a 5 ms timer) while the stretches were decoded.
# Usage: bench/zoom.sh [BUILD_DIR]
# RUNS=N changes the number of runs (5).
set -eu
RUNS=${RUNS:-5}
. "$(dirname "$0")/hour.sh"

for run in $(seq "$RUNS"); do
    XDG_CACHE_HOME="$WORK/cache-$run" CORVANE_BENCH_ZOOM="$WORK/hour.mp3" QT_QPA_PLATFORM=offscreen \
        SDL_AUDIODRIVER=dummy "$BUILD/tests/ui/PageSplitterWaveTest" zoomStepsOfABenchFile 2>&1 |
        grep -E "zoom steps:|FAIL|Loc" | tee -a "$WORK/zoom.txt"
done
sed 's/.*within \([0-9]*\) ms at worst.*/\1/' "$WORK/zoom.txt" | sort -n |
    awk '{ v[NR] = $1 } END { printf "longest wait of the event loop: median %d ms over %d runs (%d to %d); bound 50 ms\n", v[int((NR + 1) / 2)], NR, v[1], v[NR] }'
