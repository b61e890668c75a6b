#!/bin/sh
# Times the peaks of two seconds of a one-hour 44100 Hz stereo 128 kbps CBR file (a tone over
# pink noise) with an empty peak cache: `corvane-cli peaks --from T --to T --columns 200`
# (10 ms columns) in the middle of the hour and at its end, on the file as ffmpeg's LAME
# writes it (an Info frame counts its frames) and on its bare frames (counted by a scan of
# the file first). Each run starts with the cache removed; the page cache is warm.
# Usage: bench/stretch.sh [BUILD_DIR]      (RUNS=N, default 20)
set -eu
RUNS=${RUNS:-20}
. "$(dirname "$0")/hour.sh"
# The same frames without the ID3v2 tag and the Info frame.
ffmpeg -v error -i "$WORK/hour.mp3" -c:a copy -write_xing 0 -id3v2_version 0 "$WORK/bare.mp3"
echo "one hour: $(stat -c %s "$WORK/hour.mp3") bytes; bare frames: $(stat -c %s "$WORK/bare.mp3") bytes"

export XDG_CACHE_HOME="$WORK/cache"
peaks() { echo "$BUILD/corvane-cli peaks --from $1 --to $2 --columns 200 $WORK/$3"; }
hyperfine -N --warmup 2 --runs "$RUNS" --prepare "rm -rf $WORK/cache" \
    -n "29:59 to 30:01, Info frame" "$(peaks 29:59 30:01 hour.mp3)" \
    -n "59:57 to 59:59, Info frame" "$(peaks 59:57 59:59 hour.mp3)" \
    -n "29:59 to 30:01, bare frames" "$(peaks 29:59 30:01 bare.mp3)"
# Nothing of a stretch goes into the cache.
test ! -e "$WORK/cache"
