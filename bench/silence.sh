#!/bin/sh
# Silence detection speed: a one-hour 128 kbps CBR file (58 s of tone, then 2 s of silence,
# sixty times) searched for silences, against decoding the same file with `mpg123 -t`. Page
# cache warm. The detector runs through its test program (SilenceDetectorBench, which also
# checks the 59 split points: the last silence is trailing). First with an empty peak cache
# (the file decoded in two halves on two threads; bound: at most 0.6 × mpg123), then a second
# search at another threshold served by the cache entry the first one stored (bound: 0.3 s).
# Needs lame, ffmpeg, mpg123 and hyperfine (scripts/setup.sh installs them) and the built
# test program: cmake --build BUILD_DIR --target SilenceDetectorTest.
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
WORK=${WORK:-/tmp/corvane-bench-silence}
RUNS=${RUNS:-10}
mkdir -p "$WORK"

if [ ! -f "$WORK/hour.mp3" ]; then
    ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=58" \
        -af "apad=pad_dur=2" -ac 2 "$WORK/minute.wav"
    lame --quiet -b 128 -t "$WORK/minute.wav" "$WORK/minute.mp3"
    for i in $(seq 60); do cat "$WORK/minute.mp3"; done > "$WORK/hour.mp3"
fi
cat "$WORK/hour.mp3" > /dev/null

export CORVANE_SILENCE_BENCH_FILE="$WORK/hour.mp3" CORVANE_SILENCE_BENCH_SPLITS=59
export CORVANE_SILENCE_BENCH_CACHE="$WORK/cache"
DETECT="$BUILD/tests/SilenceDetectorTest --gtest_filter=SilenceDetectorBench.* --gtest_brief=1"
rm -rf "$WORK/cache"
$DETECT | grep -q "59 split points" || { echo "the detector did not find the 59 silences" >&2; exit 1; }

hyperfine --warmup 1 --runs "$RUNS" --export-json "$WORK/times.json" \
    -n "first split (empty cache)" --prepare "rm -rf $WORK/cache" "$DETECT" \
    -n "mpg123 -t" --prepare true "mpg123 -q -t $WORK/hour.mp3" \
    -n "second split at -40 dB (cached)" --prepare "$DETECT" "env CORVANE_SILENCE_BENCH_DB=-40 $DETECT"

python3 - "$WORK/times.json" <<'PY'
import json, sys
r = {x["command"]: x["median"] for x in json.load(open(sys.argv[1]))["results"]}
ratio = r["first split (empty cache)"] / r["mpg123 -t"]
second = r["second split at -40 dB (cached)"]
print(f"first split / mpg123 -t = {ratio:.2f} (medians; bound 0.6)")
print(f"second split = {second:.3f} s (median; bound 0.3)")
sys.exit(0 if ratio <= 0.6 and second <= 0.3 else 1)
PY
