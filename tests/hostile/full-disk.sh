#!/bin/sh
# Cuts and joins that run out of room, under a file size limit and (when this process may
# mount one in a private mount namespace) on a 3 MB tmpfs, exit 1 with "Failed to write
# file" and leave their folder exactly as it was: old files whole, nothing new, nothing
# temporary. Usage: full-disk.sh CORVANE-CLI
set -eu
SCRIPT=$(realpath "$0")
INSIDE=""
if [ "$1" = "--inside" ]; then INSIDE=1; shift; fi
CLI=$(realpath "$1")

if [ -z "$INSIDE" ]; then
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=150" -ac 2 tone.wav
lame --quiet -b 128 tone.wav a.mp3   # about 2.4 MB
cp a.mp3 b.mp3
rm tone.wav
fi

# What a folder holds: every entry's name, type and checksum.
snapshot() {
    (cd "$1" && find . -mindepth 1 | sort | while read -r f; do
        if [ -f "$f" ] && [ ! -L "$f" ]; then echo "$f $(md5sum < "$f")"; else echo "$f $(stat -c %F "$f")"; fi
    done)
}

failures=0
# expect_full FOLDER LIMIT COMMAND...: runs the command (under ulimit -f LIMIT blocks unless
# LIMIT is "-") and checks the outcome and the folder.
expect_full() {
    folder=$1; limit=$2; shift 2
    before=$(snapshot "$folder")
    if [ "$limit" = "-" ]; then
        status=0; "$@" > out.txt 2> err.txt || status=$?
    else
        status=0; sh -c 'ulimit -f "$0"; exec "$@"' "$limit" "$@" > out.txt 2> err.txt || status=$?
    fi
    after=$(snapshot "$folder")
    if [ "$status" -ne 1 ] || ! grep -q 'Failed to write file "' err.txt || [ -s out.txt ] ||
        [ "$before" != "$after" ]; then
        echo "FAILED: $* (limit $limit): status $status"; cat err.txt
        echo "before:"; echo "$before"; echo "after:"; echo "$after"
        failures=$((failures + 1))
    fi
}

# The same cuts and joins into a folder that already holds an old piece and an old target.
run_all() {
    folder=$1; limit=$2
    printf 'old piece' > "$folder/a-2.mp3"
    printf 'old target' > "$folder/joined.mp3"
    expect_full "$folder" "$limit" "$CLI" cut --quiet --count 2 --if-exists overwrite -d "$folder" a.mp3
    expect_full "$folder" "$limit" "$CLI" cut --quiet --count 2 --reencode --if-exists overwrite -d "$folder" a.mp3
    expect_full "$folder" "$limit" "$CLI" join --quiet -o "$folder/joined.mp3" a.mp3 b.mp3
    expect_full "$folder" "$limit" "$CLI" join --quiet --rate 44100 --bitrate 320 --mode stereo -o "$folder/joined.mp3" a.mp3 b.mp3
    expect_full "$folder" "$limit" "$CLI" batch-join --quiet --with b.mp3 --if-exists overwrite -d "$folder" a.mp3
}

# Inside the private mount namespace, with the tmpfs mounted on ./small: the same runs there.
if [ -n "$INSIDE" ]; then
    run_all small -
    exit "$failures"
fi

# dash and bash count ulimit -f in blocks of 512 and 1024 bytes; 2048 blocks is 1 or 2 MB,
# below every output here.
mkdir limited
run_all limited 2048

# A 3 MB tmpfs with 1 MB already taken.
if unshare --mount --propagation private true 2>/dev/null; then
    mkdir small
    export CLI
    tmpfs_result=0
    unshare --mount --propagation private sh -c '
        mount -t tmpfs -o size=3m tmpfs small || exit 77
        head -c 1048576 /dev/urandom > small/keep.bin
        exec sh "$0" --inside "$CLI"' "$SCRIPT" || tmpfs_result=$?
    if [ "$tmpfs_result" -eq 77 ]; then
        echo "note: no tmpfs could be mounted; only the file size limit was tried"
    elif [ "$tmpfs_result" -ne 0 ]; then
        failures=$((failures + 1))
    fi
else
    echo "note: no private mount namespace here; only the file size limit was tried"
fi

[ "$failures" -eq 0 ] && echo "all cuts and joins failed cleanly"
exit "$failures"
