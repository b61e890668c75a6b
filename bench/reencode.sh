#!/bin/sh
# Times a re-encoded cut of a five-minute 44100 Hz stereo 128 kbps file into one piece at the
# source's own parameters (`batch-cut --range 0 --reencode`) against `lame -b 128` encoding the
# same audio from a WAV file (the source decoded by mpg123) and against
# `ffmpeg -c:a libmp3lame -b:a 128k` from the MP3, in one hyperfine run.
# Usage: bench/reencode.sh [BUILD_DIR]   (needs ffmpeg, lame, mpg123 and hyperfine)
set -eu
BUILD=${1:-build}
CLI=$(cd "$BUILD" && pwd)/corvane-cli
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# A tone over pink noise, so the encoder has real work; CBR 128 kbps joint stereo, no tag.
ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=440:duration=300" \
    -f lavfi -i "anoisesrc=d=300:c=pink:a=0.2" \
    -filter_complex "amerge,pan=stereo|c0=c0+0.5*c1|c1=0.7*c0+c1" -ar 44100 -sample_fmt s16 src.wav
lame --quiet -b 128 src.wav in.mp3
mpg123 -q -w in.wav in.mp3
echo "input: $(wc -c < in.mp3) bytes, 300 s"

"$CLI" batch-cut -q --range 0 --reencode -d out --if-exists overwrite in.mp3 > /dev/null
mpg123 -t -v -n 1 out/in-1.mp3 2>&1 | grep '^MPEG'

hyperfine -N --warmup 1 --runs ${RUNS:-5} --export-json result.json \
    -n corvane "$CLI batch-cut -q --range 0 --reencode -d out --if-exists overwrite in.mp3" \
    -n lame "lame --quiet -b 128 in.wav lame.mp3" \
    -n ffmpeg "ffmpeg -loglevel error -y -i in.mp3 -c:a libmp3lame -b:a 128k ffmpeg.mp3"

python3 - <<'PY'
import json
r = {x["command"]: x for x in json.load(open("result.json"))["results"]}
m = {k: v["median"] for k, v in r.items()}
u = {k: v["user"] + v["system"] for k, v in r.items()}
print("wall medians: corvane %.2f s, lame %.2f s, ffmpeg %.2f s" % (m["corvane"], m["lame"], m["ffmpeg"]))
print("corvane / lame   = %.3f wall, %.3f cpu (bound 1.1)" % (m["corvane"] / m["lame"], u["corvane"] / u["lame"]))
print("corvane / ffmpeg = %.3f wall, %.3f cpu (bound 1.0)" % (m["corvane"] / m["ffmpeg"], u["corvane"] / u["ffmpeg"]))
PY
