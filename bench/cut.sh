#!/bin/sh
# Frame-copy cut speed: a one-hour 128 kbps CBR file cut into one-minute pieces, against
# copying the same bytes with cp. Page cache warm. Needs lame, ffmpeg and hyperfine
# (scripts/setup.sh installs them) and a built corvane-cli (make build).
set -eu
cd "$(dirname "$0")/.."
CLI=${CLI:-build/corvane-cli}
WORK=${WORK:-/tmp/corvane-bench-cut}
mkdir -p "$WORK"

if [ ! -f "$WORK/hour.mp3" ]; then
    ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=60" \
        -ac 2 "$WORK/minute.wav"
    lame --quiet -b 128 -t "$WORK/minute.wav" "$WORK/minute.mp3"
    for i in $(seq 60); do cat "$WORK/minute.mp3"; done > "$WORK/hour.mp3"
fi
cat "$WORK/hour.mp3" > /dev/null

hyperfine --warmup 2 --runs 10 \
    --prepare "rm -rf $WORK/out && mkdir -p $WORK/out" \
    -n "corvane-cli cut --time 1:00" "$CLI cut --quiet --time 1:00 -d $WORK/out $WORK/hour.mp3" \
    -n "cp" "cp $WORK/hour.mp3 $WORK/out/copy.mp3"
