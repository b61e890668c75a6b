#!/bin/sh
# Times adding 1,000 five-minute MP3 files to the batch cutter's list through "Add &Folder"
# (the page's test program, offscreen), with the progress dialog shown, then a second add of
# the same folder cancelled once 50 rows are in.
# Usage: bench/batch-list.sh [BUILD_DIR] [FILES]
# COPIES=1 makes the files copies instead of hard links (no length remembered from one file
# to the next: every file is scanned); NOINFO=1 encodes without LAME's Info frame (the length
# then comes from counting the frames, not from the header frame).
set -eu
BUILD=${1:-build}
FILES=${2:-1000}
TEST=$(cd "$BUILD" && pwd)/tests/ui/PageBatchSplitterTest
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# One five-minute 44100 Hz stereo 128 kbps CBR file (a tone over pink noise), then hard links.
ffmpeg -v error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=300" \
    -f lavfi -i "anoisesrc=color=pink:sample_rate=44100:duration=300:amplitude=0.1" \
    -filter_complex "[0][1]amix=inputs=2,aformat=channel_layouts=stereo" -f wav "$WORK/five.wav"
if [ "${NOINFO:-0}" = 1 ]; then INFO=-t; else INFO=; fi
lame --quiet -b 128 $INFO "$WORK/five.wav" "$WORK/five.mp3"
rm "$WORK/five.wav"
mkdir "$WORK/list"
i=1
while [ "$i" -le "$FILES" ]; do
    if [ "${COPIES:-0}" = 1 ]; then LINK=cp; else LINK=ln; fi
    $LINK "$WORK/five.mp3" "$WORK/list/$(printf 'track%04d.mp3' "$i")"
    i=$((i + 1))
done
echo "$FILES files of $(stat -c %s "$WORK/five.mp3") bytes each in $WORK/list"

CORVANE_BENCH_FOLDER="$WORK/list" QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
    "$TEST" addingAThousandFiles 2>&1 | grep -E "added|cancelled|PASS|FAIL|Loc"
