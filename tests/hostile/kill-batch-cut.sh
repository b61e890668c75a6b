#!/bin/sh
# Kills a parallel re-encoding batch cut with SIGKILL three times, once it holds 1, 20 and 50
# temporaries, then runs it once more into the same folder. A killed process removes
# nothing, so each kill leaves temporaries and a lock file behind; the run after it must
# remove them and touch nothing else there: not a file or a link whose name merely looks like
# a temporary. A few seconds. Usage: kill-batch-cut.sh CORVANE-CLI
set -eu
CLI=$(realpath "$1")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# Four ten-minute sources of 8 kHz mono: each cut into 60 re-encoded pieces, two at once.
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=600" -ac 1 tone.wav
lame --quiet -b 16 tone.wav s1.mp3
rm tone.wav
for n in 2 3 4; do cp s1.mp3 "s$n.mp3"; done

CUT="batch-cut --time 10 --reencode --jobs 2 --quiet --if-exists overwrite"
SOURCES="s1.mp3 s2.mp3 s3.mp3 s4.mp3"

mkdir out
printf 'unrelated' > out/keep.txt
printf 'not ours' > out/.corvane-notes.part
ln -s keep.txt out/.corvane-0123456789ab-01234567.part

# Temporaries and lock files, the look-alikes above left out.
leftovers() {
    find out -maxdepth 1 -name '.corvane-*' ! -name .corvane-notes.part ! -name .corvane-0123456789ab-01234567.part |
        sort
}

# wait_for_temporaries PID N OLD-LOCKS: waits (12 s at most) until the run PID holds a lock
# file that is not one of OLD-LOCKS with N temporaries of its token beside it.
wait_for_temporaries() {
    tries=0
    while [ "$tries" -lt 600 ] && kill -0 "$1" 2>/dev/null; do
        for lock in out/.corvane-*.lock; do
            [ -f "$lock" ] || continue
            case " $3 " in *" $lock "*) continue ;; esac
            [ "$(find out -maxdepth 1 -name "$(basename "${lock%.lock}")-*.part" | wc -l)" -ge "$2" ] && return 0
        done
        sleep 0.02
        tries=$((tries + 1))
    done
}

# Killed with the first piece just reserved, with some pieces complete, with many.
failures=0
for count in 1 20 50; do
    old=$(echo out/.corvane-*.lock)
    "$CLI" $CUT -d out $SOURCES > /dev/null 2>&1 &
    pid=$!
    wait_for_temporaries "$pid" "$count" "$old"
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
done
left=$(leftovers)
parts=$(echo "$left" | grep -c '\.part$' || true)
locks=$(echo "$left" | grep -c '\.lock$' || true)
echo "three kills left $parts temporaries and $locks lock files"
if [ "$parts" -eq 0 ] || [ "$locks" -eq 0 ]; then
    echo "FAILED: the kills left nothing to clean (they came too late)"
    failures=$((failures + 1))
fi

status=0
"$CLI" $CUT -d out $SOURCES > stdout.txt || status=$?
[ "$status" -eq 0 ] || { echo "FAILED: the last run exited $status"; failures=$((failures + 1)); }
[ "$(wc -l < stdout.txt)" -eq 240 ] || { echo "FAILED: the last run printed $(wc -l < stdout.txt) paths"; failures=$((failures + 1)); }
left=$(leftovers)
[ -z "$left" ] || { echo "FAILED: left after the last run:"; echo "$left"; failures=$((failures + 1)); }
[ "$(cat out/keep.txt)" = unrelated ] || { echo "FAILED: keep.txt changed"; failures=$((failures + 1)); }
[ "$(cat out/.corvane-notes.part)" = "not ours" ] || { echo "FAILED: .corvane-notes.part changed"; failures=$((failures + 1)); }
[ "$(readlink out/.corvane-0123456789ab-01234567.part)" = keep.txt ] ||
    { echo "FAILED: the link shaped like a temporary changed"; failures=$((failures + 1)); }
pieces=$(find out -maxdepth 1 -name 's?-*.mp3' | wc -l)
[ "$pieces" -eq 240 ] || { echo "FAILED: $pieces pieces"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] && echo "the run after three kills left no temporary and touched nothing else"
exit "$failures"
