#!/bin/sh
# Every benchmark against its peer in one go, and one table of ratios. Each row runs the
# Corvane command and its peer in turn, run for run (bench/pairs.py; page cache warm), so both
# see the machine in the same state; CPU is user + system time of the whole process, and the
# table gives the medians.
#
#   frame-copy cut, 1 h into 60 pieces      corvane-cli cut --time 1:00   vs  cat of the file
#   its floor: the same files, no parsing   bench/copy-floor.c            vs  cat of the file
#   frame-copy cut, 10 h into 3 pieces      corvane-cli cut --count 3     vs  cat of the file
#   start of the CLI                        corvane-cli --version         vs  an empty main linked
#   info of one file                        corvane-cli info              vs    to mpg123, LAME, TagLib
#   silence split of an hour, first         corvane-cli cut --silence     vs  mpg123 -t (wall)
#   silence split, another threshold        the same, cache warm          vs  0.3 s
#   desktop start to first window           corvane --quit-after-show     vs  a minimal Qt window
#                                                                             with seven tabs
# The sources are made once in WORK (a minute of tone and 2 s of silence, LAME 128 kbps
# without an Info frame, repeated). Needs lame, ffmpeg, mpg123, g++, python3 and,
# for the desktop row, the desktop program and Xvfb (skipped without them).
# Usage: bench/all.sh [BUILD_DIR]     (RUNS=N, default 10; two minutes or so on two cores once
# the sources are made)
set -eu
cd "$(dirname "$0")/.."
BUILD=$(cd "${1:-build}" && pwd)
CLI="$BUILD/corvane-cli"
WORK=${WORK:-/tmp/corvane-bench-all}
RUNS=${RUNS:-10}
mkdir -p "$WORK"
rm -f "$WORK"/*.json  # no row of an earlier run
export XDG_CACHE_HOME="$WORK/cache"

if [ ! -f "$WORK/hour.mp3" ]; then
    ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=58" \
        -af "apad=pad_dur=2" -ac 2 "$WORK/minute.wav"
    lame --quiet -b 128 -t "$WORK/minute.wav" "$WORK/minute.mp3"
    for i in $(seq 60); do cat "$WORK/minute.mp3"; done > "$WORK/hour.mp3"
    for i in $(seq 10); do cat "$WORK/hour.mp3"; done > "$WORK/ten-hours.mp3"
fi
if [ ! -x "$WORK/empty-main" ]; then
    echo 'int main() { return 0; }' > "$WORK/empty-main.cpp"
    g++ -O2 -o "$WORK/empty-main" "$WORK/empty-main.cpp" -Wl,--no-as-needed -lmpg123 -lmp3lame -ltag
fi
# The sources' pages as reading a file from disk leaves them: the kernel reads ahead in large
# folios, which a mapping takes in a tenth of the faults. Pages left by the script's own writes
# are small, and cost the cut and cat alike what a source read from disk does not.
for f in minute hour ten-hours; do
    sync "$WORK/$f.mp3"
    dd if="$WORK/$f.mp3" iflag=nocache count=0 status=none
    cat "$WORK/$f.mp3" > /dev/null
done

# row NAME CORVANE PEER [PREPARE]: both commands in turn, kept as WORK/NAME.json. Rows of a few
# milliseconds take twenty times the runs (ROW_RUNS).
row() {
    python3 bench/pairs.py --out "$WORK/$1.json" --runs "${ROW_RUNS:-$RUNS}" ${4:+--prepare "$4"} "$2" "$3"
}

# Each cut run writes into a new folder, and the peer too: OUT is a link to it. The folders
# are made under one marked as a top of the directory tree (chattr +T), so that ext4 puts each
# in a group of its own choosing, away from the inodes the last run freed; see FRESH below.
OUT="$WORK/out"
RUNS_DIR="$WORK/runs"
mkdir -p "$RUNS_DIR"
chattr +T "$RUNS_DIR" 2> /dev/null || true
FRESH="rm -rf $RUNS_DIR/* $OUT && ln -s \$(mktemp -d $RUNS_DIR/out-XXXXXX) $OUT && sync"
CAT="sh -c 'cat $WORK/hour.mp3 > $OUT/cat.mp3'"
CAT10="sh -c 'cat $WORK/ten-hours.mp3 > $OUT/cat.mp3'"
cc -O2 -o "$WORK/copy-floor" bench/copy-floor.c
echo "timing (two minutes or so)..." >&2
row cut-hour "$CLI cut --quiet --time 1:00 -d $OUT $WORK/hour.mp3" "$CAT" "$FRESH"
row floor-hour "$WORK/copy-floor $WORK/hour.mp3 $OUT 61" "$CAT" "$FRESH"
row cut-ten-hours "$CLI cut --quiet --count 3 -d $OUT $WORK/ten-hours.mp3" "$CAT10" "$FRESH"
ROW_RUNS=$((RUNS * 20)) row version "$CLI --version" "$WORK/empty-main"
ROW_RUNS=$((RUNS * 20)) row info "$CLI info $WORK/minute.mp3" "$WORK/empty-main"
row silence-first "$CLI cut --quiet --silence -d $OUT $WORK/hour.mp3" "mpg123 -q -t $WORK/hour.mp3" \
    "rm -rf $XDG_CACHE_HOME && $FRESH"
sh -c "$FRESH" && "$CLI" cut --quiet --silence -d "$OUT" "$WORK/hour.mp3" > /dev/null
row silence-again "$CLI cut --quiet --silence -40:0.5 -d $OUT $WORK/hour.mp3" "sleep 0.3" "$FRESH"
if [ -x "$BUILD/corvane" ] && command -v xvfb-run > /dev/null; then
    # shellcheck disable=SC2046
    c++ -std=c++17 -O2 -fPIC bench/minimal-window.cpp -o "$WORK/minimal-window" $(pkg-config --cflags --libs Qt6Widgets)
    mkdir -p "$WORK/home/.config/Corvane"
    chmod 700 "$WORK/home"
    printf '[Options]\nFirstRun=0\n' > "$WORK/home/.config/Corvane/Corvane.conf"
    HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_RUNTIME_DIR="$WORK/home" \
        xvfb-run -a -s "-screen 0 1280x900x24" \
        python3 bench/pairs.py --out "$WORK/start.json" --runs "$((RUNS * 5))" --warmup 3 \
        "$BUILD/corvane --quit-after-show" "$WORK/minimal-window"
fi

rm -rf "${RUNS_DIR:?}"/* "$OUT"  # the last run's pieces and copies

python3 - "$WORK" <<'PY'
import json, os, sys
work = sys.argv[1]
rows = [
    ("cut-hour", "frame-copy cut, 1 h into 60 pieces", "cat"),
    ("floor-hour", "its floor (bench/copy-floor.c)", "cat"),
    ("cut-ten-hours", "frame-copy cut, 10 h into 3 pieces", "cat"),
    ("version", "corvane-cli --version", "empty main"),
    ("info", "corvane-cli info, one file", "empty main"),
    ("silence-first", "silence split of an hour", "mpg123 -t"),
    ("silence-again", "the same at another threshold", "0.3 s"),
    ("start", "desktop start to first window", "minimal Qt window"),
]
print(f"| {'work':38} | {'corvane wall':>12} | {'CPU':>9} | {'peer':18} | {'wall':>9} | {'CPU':>9} | {'CPU ratio':>9} | {'wall ratio':>10} |")
print(f"|{'-' * 40}|{'-' * 14}|{'-' * 11}|{'-' * 20}|{'-' * 11}|{'-' * 11}|{'-' * 11}|{'-' * 12}|")
for key, work_name, peer in rows:
    path = os.path.join(work, key + ".json")
    if not os.path.exists(path):
        continue
    r = {x["command"]: x for x in json.load(open(path))["results"]}
    c, p = r["corvane"], r["peer"]
    cpu = lambda x: x["cpu_median"]
    wall = lambda x: x["wall_median"]
    ms = lambda s: f"{s * 1000:.1f} ms"
    print(f"| {work_name:38} | {ms(wall(c)):>12} | {ms(cpu(c)):>9} | {peer:18} | {ms(wall(p)):>9} | "
          f"{ms(cpu(p)):>9} | {cpu(c) / max(cpu(p), 1e-9):>9.2f} | {wall(c) / wall(p):>10.2f} |")
PY
