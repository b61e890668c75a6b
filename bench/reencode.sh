#!/bin/sh
# Times re-encoding against LAME, in one hyperfine run: a cut of a five-minute 44100 Hz stereo
# 128 kbps file into 4 pieces at the source's own parameters (`cut --count 4 --reencode`) with
# --jobs 2 and --jobs 1, against `lame -b 128` encoding the whole file from WAV (the source
# decoded by mpg123); and a batch of 8 two-minute files, each re-encoded whole
# (`batch-cut --range 0 --reencode --jobs 2`), against 8 `lame -b 128` runs one after another.
# Bounds: the cut with --jobs 2 at most 0.6 x lame, the batch at most 0.6 x the 8 lame runs.
# Usage: bench/reencode.sh [BUILD_DIR]   (needs ffmpeg, lame, mpg123 and hyperfine; RUNS=N)
set -eu
BUILD=${1:-build}
CLI=$(cd "$BUILD" && pwd)/corvane-cli
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# A tone over pink noise, so the encoder has real work; CBR 128 kbps joint stereo, no tag.
tone() {  # SECONDS FREQUENCY OUT.wav
    ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=$2:duration=$1" \
        -f lavfi -i "anoisesrc=d=$1:c=pink:a=0.2" \
        -filter_complex "amerge,pan=stereo|c0=c0+0.5*c1|c1=0.7*c0+c1" -ar 44100 -sample_fmt s16 "$3"
}
tone 300 440 src.wav
lame --quiet -b 128 src.wav in.mp3
mpg123 -q -w in.wav in.mp3
BATCH=""
LAMES=""
for i in 1 2 3 4 5 6 7 8; do
    tone 120 $((300 + 40 * i)) "b$i-src.wav"
    lame --quiet -b 128 "b$i-src.wav" "b$i.mp3"
    mpg123 -q -w "b$i.wav" "b$i.mp3"
    BATCH="$BATCH b$i.mp3"
    LAMES="$LAMES lame --quiet -b 128 b$i.wav l$i.mp3;"
done
echo "inputs: $(wc -c < in.mp3) bytes, 300 s; 8 files of 120 s"

# The pieces are the same whatever the number of jobs.
"$CLI" cut -q --count 4 --reencode --jobs 1 -d one in.mp3 > /dev/null
"$CLI" cut -q --count 4 --reencode --jobs 2 -d two in.mp3 > /dev/null
for p in one/*.mp3; do cmp "$p" "two/${p#one/}"; done
mpg123 -t -v -n 1 two/in-1.mp3 2>&1 | grep '^MPEG'

hyperfine -N --warmup 1 --runs ${RUNS:-5} --export-json result.json \
    -n cut-jobs2 "$CLI cut -q --count 4 --reencode --jobs 2 -d out --if-exists overwrite in.mp3" \
    -n cut-jobs1 "$CLI cut -q --count 4 --reencode --jobs 1 -d out --if-exists overwrite in.mp3" \
    -n lame "lame --quiet -b 128 in.wav lame.mp3" \
    -n batch-jobs2 "$CLI batch-cut -q --range 0 --reencode --jobs 2 -d batch --if-exists overwrite$BATCH" \
    -n lame-x8 "sh -c '$LAMES'"

python3 - <<'PY'
import json
r = {x["command"]: x for x in json.load(open("result.json"))["results"]}
m = {k: v["median"] for k, v in r.items()}
u = {k: v["user"] + v["system"] for k, v in r.items()}
for k in ("cut-jobs2", "cut-jobs1", "lame", "batch-jobs2", "lame-x8"):
    print("%-12s wall median %.2f s, cpu %.2f s" % (k, m[k], u[k]))
print("cut --jobs 2 / lame       = %.3f wall (bound 0.6)" % (m["cut-jobs2"] / m["lame"]))
print("cut --jobs 1 / lame       = %.3f wall" % (m["cut-jobs1"] / m["lame"]))
print("batch --jobs 2 / 8 x lame = %.3f wall (bound 0.6)" % (m["batch-jobs2"] / m["lame-x8"]))
PY
