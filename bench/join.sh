#!/bin/sh
# Times a frame-copy join of twelve five-minute CBR files (about 58 MB) against `cat` of the
# same files into one file and against `ffmpeg -f concat -c copy` of the same list, page
# cache warm, in one hyperfine run so that the ratios share the machine's state.
# Usage: bench/join.sh [BUILD_DIR]   (needs ffmpeg and hyperfine)
set -eu
BUILD=${1:-build}
CLI=$(cd "$BUILD" && pwd)/corvane-cli
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

FILES=""
for i in 01 02 03 04 05 06 07 08 09 10 11 12; do
    # CBR 128 kbps joint stereo at 44100 Hz, no Xing/Info frame and no tag, so Auto copies frames.
    ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=$((200 + 37 * ${i#0})):duration=300" \
        -ac 2 -ar 44100 -c:a libmp3lame -b:a 128k -joint_stereo 1 -write_xing 0 -id3v2_version 0 "in$i.mp3"
    FILES="$FILES in$i.mp3"
    echo "file 'in$i.mp3'" >> list.txt
done
echo "inputs: $(cat $FILES | wc -c) bytes in 12 files"

# The join must be a frame copy: the target is exactly the inputs' bytes.
"$CLI" join -q -o joined.mp3 $FILES > /dev/null
cat $FILES > cat.mp3
cmp joined.mp3 cat.mp3 && echo "frame copy: target equals the concatenated inputs"

hyperfine -N --warmup 3 --runs 20 --export-json result.json \
    -n corvane "$CLI join -q -o joined.mp3 $FILES" \
    -n cat "sh -c 'cat $FILES > cat.mp3'" \
    -n ffmpeg "ffmpeg -loglevel error -y -f concat -safe 0 -i list.txt -c copy ffmpeg.mp3"

python3 - <<'EOF'
import json
r = {x["command"]: x for x in json.load(open("result.json"))["results"]}
m = {k: v["median"] * 1000 for k, v in r.items()}
print("medians: corvane %.1f ms, cat %.1f ms, ffmpeg %.1f ms" % (m["corvane"], m["cat"], m["ffmpeg"]))
print("corvane / cat    = %.2f (bound 2)" % (m["corvane"] / m["cat"]))
print("corvane / ffmpeg = %.3f (bound 0.2)" % (m["corvane"] / m["ffmpeg"]))
EOF
