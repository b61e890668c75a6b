#!/bin/sh
# The golden run: a fixed script of corvane-cli cuts, batch cuts, joins and batch joins
# (every rule, overlaps, re-encoding, fades, --first, Auto, presets and custom parameters,
# insert and append, silences, a CUE sheet, --jobs 1 and 2, refused and failing sources),
# recorded as one manifest: each command's stdout, stderr and exit status, then the SHA-256
# of every file left in the work folder. Work folder paths are written as @W@.
#
#   golden-run.sh CLI MANIFEST            writes the manifest
#   golden-run.sh CLI MANIFEST EXPECTED   writes it and fails unless it equals EXPECTED
#
# The inputs are encoded by lame from audio that ffmpeg synthesizes, so a manifest holds
# for one lame and one ffmpeg (those of the Debian release the project builds on).
set -eu
CLI=$(realpath "$1")
MANIFEST=$(realpath -m "$2")
EXPECTED=${3:+$(realpath "$3")}
WORK=$(mktemp -d /tmp/corvane-golden.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

tone() {  # tone NAME SECONDS FREQUENCY CHANNELS RATE
    ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=$3:sample_rate=$5:duration=$2" \
        -ac "$4" -bitexact "$1.wav"
}
tone a 20 440 2 44100
lame --quiet -b 128 --tt "Tone A" --ta "Golden Artist" --tl "Golden Album" --ty 2001 --tn 4/9 \
    --tg Jazz a.wav a.mp3
tone b 12 660 1 22050
lame --quiet -V 4 --tt "Tone B" --ta "Other Artist" b.wav b.mp3
# Tones and silences: 3 s, 1.5 s quiet, 4 s, 2 s quiet, 3 s.
ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=330:sample_rate=44100:duration=13.5" \
    -af "volume='if(between(t,3,4.5)+between(t,8.5,10.5),0,1)':eval=frame" -ac 2 -bitexact s.wav
lame --quiet -b 96 --tt "Quiet Gaps" s.wav s.mp3
cp a.wav notmp3.mp3
rm -f ./*.wav
cat > a.cue <<'EOF'
PERFORMER "Cue Artist"
TITLE "Cue Album"
FILE "a.mp3" MP3
  TRACK 01 AUDIO
    TITLE "First"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Second"
    PERFORMER "Guest"
    INDEX 01 00:06:40
  TRACK 03 AUDIO
    TITLE "Third"
    INDEX 01 00:13:05
EOF
mkdir in
cp a.mp3 b.mp3 s.mp3 in/

n=0
run() {
    n=$((n + 1))
    status=0
    "$CLI" "$@" > "$WORK/.out" 2> "$WORK/.err" || status=$?
    {
        printf '### %d: corvane-cli %s\n' "$n" "$*"
        printf -- '--- status %d\n--- stdout\n' "$status"
        cat "$WORK/.out"
        printf -- '--- stderr\n'
        cat "$WORK/.err"
    } | sed "s#$WORK#@W@#g" >> "$WORK/.manifest"
}

# Single cuts, every rule.
run cut --size 100KB -d o/size a.mp3
run cut --size 0.1 -d o/size-mb b.mp3
run cut --count 3 -d o/count a.mp3
run cut --time 0:07 -d o/time a.mp3
run cut --time 5 -d o/time-vbr b.mp3
run cut --points 3,7.5,12 --only 1,3 -d o/points a.mp3
run cut --points 0:05,0:10.5 -d o/points-b b.mp3
run cut --points 5,10 --forward-overlap 1 --backward-overlap 0.5 -d o/overlap a.mp3
run cut --count 3 --forward-overlap 0.5 --backward-overlap 1 --reencode --jobs 2 -d o/overlap-re a.mp3
run cut --silence -d o/silence s.mp3
run cut --silence -40:1 -d o/silence-40 s.mp3
run cut --cue a.cue -d o/cue a.mp3
run cut --cue a.cue --name '%N% - %I%.mp3' --track sequence -d o/cue-named a.mp3
# Names, titles, digits and existing targets.
run cut --count 4 --name '%S%_%F%_%P%of%T%.mp3' --name-digits 3 --title '%I% [%P%]' --title-digits 2 \
    --track sequence -d o/names a.mp3
run cut --count 2 --no-tag -d o/exists a.mp3
run cut --count 2 --no-tag -d o/exists a.mp3
run cut --count 2 --if-exists skip -d o/exists a.mp3
run cut --count 2 --if-exists overwrite -d o/exists a.mp3
run cut --count 2 --folder-per-file -d o/folders in/b.mp3
run cut --count 2 --tree -d o/tree in/b.mp3
# Re-encoding, fades, --jobs 1 and 2.
run cut --count 4 --reencode --jobs 1 -d o/re1 a.mp3
run cut --count 4 --reencode --jobs 2 -d o/re2 a.mp3
run cut --time 5 --fade-in 1 --fade-out 1.5 --jobs 2 -d o/fade a.mp3
run cut --size 60KB --rate 22050 --bitrate 64 --mode mono --jobs 2 -d o/params a.mp3
run cut --points 4,9 --only 2,3 --reencode --jobs 2 -d o/points-re a.mp3
run cut --silence --reencode --jobs 2 -d o/silence-re s.mp3
run cut --cue a.cue --fade-out 0.5 --jobs 1 -d o/cue-re a.mp3
# Refusals and failures.
run cut --count 1 -d o/bad a.mp3
run cut --count 100000 -d o/bad a.mp3
run cut --time 99 -d o/bad a.mp3
run cut --time 0 -d o/bad a.mp3
run cut --size 5MB -d o/bad a.mp3
run cut --size 0 -d o/bad a.mp3
run cut --points 30,40 -d o/bad a.mp3
run cut --points 5 --only 3 -d o/bad a.mp3
run cut --count 2 -d o/bad notmp3.mp3
run cut --count 2 -d o/bad missing.mp3
run cut --silence -d o/bad a.mp3
run cut --cue missing.cue -d o/bad a.mp3
run cut --count 2 --time 5 a.mp3
run cut --range 2 a.mp3
# Batch cuts.
run batch-cut --count 2 -d o/bcount a.mp3 b.mp3 s.mp3
run batch-cut --count 3 --first 2 --name '%S%-%F%.mp3' -d o/bfirst a.mp3 notmp3.mp3 b.mp3 s.mp3
run batch-cut --size 80KB -d o/bsize a.mp3 b.mp3
run batch-cut --time 0:06 --track sequence -d o/btime a.mp3 b.mp3 s.mp3
run batch-cut --range 2:3 -d o/brange a.mp3 b.mp3 s.mp3
run batch-cut --range 5 -d o/brange-end a.mp3 b.mp3
run batch-cut --range 15 -d o/brange-past a.mp3 b.mp3
run batch-cut --silence --name '%S%.mp3' -d o/bsilence s.mp3 a.mp3 s.mp3
run batch-cut --count 3 --reencode --jobs 1 --name '%S%-%P%.mp3' -d o/bre1 a.mp3 b.mp3
run batch-cut --count 3 --reencode --jobs 2 --name '%S%-%P%.mp3' -d o/bre2 a.mp3 b.mp3
run batch-cut --size 50KB --reencode --first 1 --jobs 2 -d o/bsize-re a.mp3 b.mp3
run batch-cut --range 1:4 --fade-in 1 --jobs 2 -d o/brange-re a.mp3 b.mp3 notmp3.mp3
run batch-cut --count 1 -d o/bbad a.mp3 b.mp3
# Joins (a join writes into an existing folder).
mkdir -p o/j
run join -o o/j/auto-same.mp3 a.mp3 a.mp3
run join -o o/j/auto-mixed.mp3 a.mp3 b.mp3
run join -o o/j/preset2.mp3 --preset 2 a.mp3 s.mp3
run join -o o/j/custom.mp3 --rate 32000 --bitrate 96 --mode stereo b.mp3 a.mp3
run join -o o/j/tagged.mp3 --title "Joined" --artist "Both" --album "Gold" --year 2020 --genre Rock \
    --comment "c" --track 7 a.mp3 s.mp3
run join -o o/j/auto-same.mp3 a.mp3 s.mp3
run join -o o/j/bad.mp3 a.mp3 notmp3.mp3
run join -o o/j/one.mp3 a.mp3
run join -o o/j/missing/x.mp3 a.mp3 a.mp3
run batch-join --with b.mp3 -d o/bj-insert a.mp3 s.mp3
run batch-join --append --with b.mp3 --with s.mp3 -d o/bj-append a.mp3
run batch-join --append --with a.mp3 --no-postfix --no-tag -d o/bj-plain b.mp3 s.mp3
run batch-join --with a.mp3 --preset 1 --tree -d o/bj-tree in/b.mp3 in/s.mp3
run batch-join --with a.mp3 --if-exists skip -d o/bj-insert a.mp3 notmp3.mp3
run batch-join --with notmp3.mp3 -d o/bj-bad a.mp3
# Facts.
run info a.mp3 b.mp3 s.mp3 notmp3.mp3
run info --json a.mp3 b.mp3

rm -f .out .err
find . -path ./.manifest -prune -o -type f -print | LC_ALL=C sort | while read -r f; do
    printf '%s  %s\n' "$(sha256sum < "$f" | cut -d' ' -f1)" "$f"
done | sed "s#${WORK#/}#@W@#g" >> "$WORK/.manifest"
cp "$WORK/.manifest" "$MANIFEST"
if [ -n "$EXPECTED" ]; then
    diff -u "$EXPECTED" "$MANIFEST"
fi
