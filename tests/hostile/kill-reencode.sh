#!/bin/sh
# Kills a re-encoding cut of a one-hour file with SIGTERM at random moments and checks that
# the output folder never holds anything but what it held before plus complete, committed
# pieces: after exit 143 the folder is as it was; after exit 0 (the kill came after the
# commit) every piece is there and decodes. About half a minute with the suite's 20 trials.
# The kill moments follow from SEED (printed; the process id by default), so a failure can
# be repeated. Usage: [SEED=N] kill-reencode.sh CORVANE-CLI [TRIALS]
set -eu
CLI=$(realpath "$1")
TRIALS=${2:-20}
SEED=${SEED:-$$}
echo "seed $SEED (SEED=$SEED repeats these kill moments)"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# One hour of 8 kHz mono keeps the run short while every piece is still a long re-encode.
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=3600" -ac 1 tone.wav
lame --quiet -b 16 tone.wav hour.mp3
rm tone.wav

snapshot() {
    (cd "$1" && find . -mindepth 1 | sort | while read -r f; do echo "$f $(md5sum < "$f")"; done)
}

fill() {
    rm -rf out && mkdir out
    printf 'old second piece' > out/hour-2.mp3
    printf 'unrelated' > out/keep.txt
}

CUT="$CLI cut --quiet --count 4 --reencode --if-exists overwrite -d out hour.mp3"
fill
start=$(date +%s%N)
$CUT > /dev/null
end=$(date +%s%N)
full_ms=$(( (end - start) / 1000000 ))
echo "a whole run takes $full_ms ms"

failures=0
trial=1
while [ "$trial" -le "$TRIALS" ]; do
    fill
    before=$(snapshot out)
    # A moment anywhere in the run, a little past its end too.
    delay_ms=$(awk -v seed="$SEED$trial" -v full="$full_ms" 'BEGIN { srand(seed); printf "%d", rand() * full * 1.1 }')
    $CUT > stdout.txt 2> /dev/null &
    pid=$!
    sleep "$(awk -v ms="$delay_ms" 'BEGIN { printf "%.3f", ms / 1000 }')"
    kill -TERM "$pid" 2>/dev/null || true
    status=0
    wait "$pid" || status=$?
    after=$(snapshot out)
    verdict=ok
    if [ "$status" -eq 143 ]; then
        [ "$before" = "$after" ] || verdict="folder changed after exit 143"
        [ -s stdout.txt ] && verdict="paths printed after exit 143"
    elif [ "$status" -eq 0 ]; then
        names=$(cd out && ls | tr '\n' ' ')
        [ "$names" = "hour-1.mp3 hour-2.mp3 hour-3.mp3 hour-4.mp3 keep.txt " ] || verdict="unexpected files: $names"
        [ "$(wc -l < stdout.txt)" -eq 4 ] || verdict="stdout lists $(wc -l < stdout.txt) paths"
        for p in out/hour-*.mp3; do
            mpg123 -q -t "$p" 2> decode.txt || verdict="$p does not decode"
            [ -s decode.txt ] && verdict="$p decodes with errors"
        done
        [ "$(cat out/keep.txt)" = "unrelated" ] || verdict="keep.txt changed"
    else
        verdict="exit status $status"
    fi
    echo "trial $trial: kill after $delay_ms ms, exit $status: $verdict"
    [ "$verdict" = ok ] || failures=$((failures + 1))
    trial=$((trial + 1))
done
[ "$failures" -eq 0 ] && echo "every kill left only what was there and complete pieces"
exit "$failures"
