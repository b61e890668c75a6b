#!/bin/sh
# Times the desktop program from launch to its first shown window (and out again), with a
# fresh settings folder that is not a first run, on Xvfb and on the offscreen platform.
# Usage: bench/startup.sh [BUILD_DIR]
set -eu
BUILD=${1:-build}
PROGRAM=$(cd "$BUILD" && pwd)/corvane
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/config/Corvane"
printf '[Options]\nFirstRun=0\n' > "$WORK/config/Corvane/Corvane.conf"
export HOME="$WORK" XDG_CONFIG_HOME="$WORK/config" XDG_RUNTIME_DIR="$WORK"

echo "offscreen platform:"
QT_QPA_PLATFORM=offscreen hyperfine -N --warmup 3 --runs 20 "$PROGRAM --quit-after-show"

echo "Xvfb (server already running; the time of the program alone):"
xvfb-run -a -s "-screen 0 1280x900x24" \
    hyperfine -N --warmup 3 --runs 20 "$PROGRAM --quit-after-show"
