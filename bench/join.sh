#!/bin/sh
# Times frame-copy joins of twelve five-minute CBR files (about 58 MB) against `cat` of the
# same files into one file and against `ffmpeg -f concat -c copy` of the same list, page
# cache warm, in one hyperfine run so that the ratios share the machine's state. Two sets of
# inputs: bare frames (no tag, no Info frame), and the files as LAME writes them through
# ffmpeg (an ID3v2 tag and LAME's Info frame in each, a 40 KB cover picture in one), which
# Auto must join by frame copy too.
# Usage: bench/join.sh [BUILD_DIR]   (needs ffmpeg, python3 and hyperfine)
set -eu
BUILD=${1:-build}
CLI=$(cd "$BUILD" && pwd)/corvane-cli
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

LAME=""
FILES=""
for i in 01 02 03 04 05 06 07 08 09 10 11 12; do
    # CBR 128 kbps joint stereo at 44100 Hz; ffmpeg's tag and LAME's Info frame left in.
    ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=$((200 + 37 * ${i#0})):duration=300" \
        -ac 2 -ar 44100 -c:a libmp3lame -b:a 128k -joint_stereo 1 "lame$i.mp3"
    LAME="$LAME lame$i.mp3"
    FILES="$FILES in$i.mp3"
    echo "file 'in$i.mp3'" >> list.txt
done

# The bare inputs are the LAME files' audio frames; lame07.mp3 gets a 40 KB cover picture.
python3 - $LAME <<'EOF'
import sys

def tag_size(d):
    return 10 + ((d[6] << 21) | (d[7] << 14) | (d[8] << 7) | d[9]) if d[:3] == b'ID3' else 0

def frame_length(h):  # MPEG 1 Layer III
    kbps = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320][h[2] >> 4]
    rate = [44100, 48000, 32000][(h[2] >> 2) & 3]
    return 144 * kbps * 1000 // rate + ((h[2] >> 1) & 1)

for path in sys.argv[1:]:
    d = open(path, 'rb').read()
    start = tag_size(d)
    start += frame_length(d[start:start + 4])  # the Info frame
    open(path.replace('lame', 'in'), 'wb').write(d[start:])
    if path == 'lame07.mp3':
        picture = b'\xff\xd8\xff\xe0' + bytes((i * 7919 + 13) % 251 for i in range(40 * 1024 - 4))
        body = b'\x00image/jpeg\x00\x03\x00' + picture
        frame = b'APIC' + len(body).to_bytes(4, 'big') + b'\x00\x00' + body
        n = len(frame)
        size = bytes([(n >> 21) & 0x7f, (n >> 14) & 0x7f, (n >> 7) & 0x7f, n & 0x7f])
        open(path, 'wb').write(b'ID3\x03\x00\x00' + size + frame + d[tag_size(d):])
EOF
echo "bare inputs: $(cat $FILES | wc -c) bytes in 12 files; LAME inputs: $(cat $LAME | wc -c) bytes"

# Both joins must be frame copies: each target is exactly the inputs' audio frames.
"$CLI" join -q -o joined.mp3 $FILES > /dev/null
"$CLI" join -q -o lame-joined.mp3 $LAME > /dev/null
cat $FILES > cat.mp3
cmp joined.mp3 cat.mp3 && echo "bare inputs: the target equals the concatenated inputs"
cmp lame-joined.mp3 cat.mp3 && echo "LAME inputs: the target equals their audio frames, byte for byte"

hyperfine -N --warmup 3 --runs 20 --export-json result.json \
    -n corvane "$CLI join -q -o joined.mp3 $FILES" \
    -n cat "sh -c 'cat $FILES > cat.mp3'" \
    -n ffmpeg "ffmpeg -loglevel error -y -f concat -safe 0 -i list.txt -c copy ffmpeg.mp3" \
    -n corvane-lame "$CLI join -q -o lame-joined.mp3 $LAME" \
    -n cat-lame "sh -c 'cat $LAME > cat-lame.mp3'"

# Each run above replaces the previous run's target (a rename over it, a truncation for cat),
# and freeing 58 MB costs both about as much as the copy. Into a fresh target:
hyperfine -N --warmup 3 --runs 20 --export-json fresh.json --prepare "rm -f lame-joined.mp3 cat-lame.mp3" \
    -n corvane-lame "$CLI join -q -o lame-joined.mp3 $LAME" \
    -n cat-lame "sh -c 'cat $LAME > cat-lame.mp3'"

python3 - <<'EOF'
import json
f = {x["command"]: x["median"] * 1000 for x in json.load(open("fresh.json"))["results"]}
r = {x["command"]: x for x in json.load(open("result.json"))["results"]}
m = {k: v["median"] * 1000 for k, v in r.items()}
print("medians: corvane %.1f ms, cat %.1f ms, ffmpeg %.1f ms" % (m["corvane"], m["cat"], m["ffmpeg"]))
print("corvane / cat    = %.2f (bound 2)" % (m["corvane"] / m["cat"]))
print("corvane / ffmpeg = %.3f (bound 0.2)" % (m["corvane"] / m["ffmpeg"]))
print("LAME inputs: corvane %.1f ms, cat %.1f ms" % (m["corvane-lame"], m["cat-lame"]))
print("corvane / cat    = %.2f (bound 2)" % (m["corvane-lame"] / m["cat-lame"]))
print("LAME inputs, fresh targets: corvane %.1f ms, cat %.1f ms" % (f["corvane-lame"], f["cat-lame"]))
print("corvane / cat    = %.2f (bound 2)" % (f["corvane-lame"] / f["cat-lame"]))
EOF
