#!/bin/sh
# Silence detection speed: a one-hour 128 kbps CBR file (58 s of tone, then 2 s of silence,
# sixty times) searched for silences, against decoding the same file with `mpg123 -t`. Page
# cache warm. The detector runs through its test program (SilenceDetectorBench, which also
# checks the 59 split points: the last silence is trailing). Bound: at most 1.5 × mpg123.
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
DETECT="$BUILD/tests/SilenceDetectorTest --gtest_filter=SilenceDetectorBench.* --gtest_brief=1"
$DETECT | grep -q "59 split points" || { echo "the detector did not find the 59 silences" >&2; exit 1; }

hyperfine --warmup 1 --runs "$RUNS" --export-json "$WORK/times.json" \
    -n "silence detection" "$DETECT" \
    -n "mpg123 -t" "mpg123 -q -t $WORK/hour.mp3"

python3 - "$WORK/times.json" <<'PY'
import json, sys
r = {x["command"]: x["median"] for x in json.load(open(sys.argv[1]))["results"]}
ratio = r["silence detection"] / r["mpg123 -t"]
print(f"silence detection / mpg123 -t = {ratio:.2f} (medians; bound 1.5)")
sys.exit(0 if ratio <= 1.5 else 1)
PY
