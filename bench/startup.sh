#!/bin/sh
# Times the desktop program from launch to its first shown window (and out again), with a
# fresh settings folder that is not a first run, on Xvfb and on the offscreen platform,
# against a minimal Qt 6 window with the same seven tabs (bench/minimal-window.cpp, built
# here) that is shown maximised and closed the same way.
# Usage: bench/startup.sh [BUILD_DIR]
set -eu
BUILD=${1:-build}
PROGRAM=$(cd "$BUILD" && pwd)/corvane
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
MINIMAL="$WORK/minimal-window"
# shellcheck disable=SC2046
c++ -std=c++17 -O2 -fPIC "$(dirname "$0")/minimal-window.cpp" -o "$MINIMAL" $(pkg-config --cflags --libs Qt6Widgets)
mkdir -p "$WORK/config/Corvane"
printf '[Options]\nFirstRun=0\n' > "$WORK/config/Corvane/Corvane.conf"
export HOME="$WORK" XDG_CONFIG_HOME="$WORK/config" XDG_RUNTIME_DIR="$WORK"
chmod 700 "$WORK"

echo "offscreen platform:"
QT_QPA_PLATFORM=offscreen hyperfine -N --warmup 3 --runs 40 "$MINIMAL" "$PROGRAM --quit-after-show"

echo "Xvfb (server already running; the time of the program alone):"
xvfb-run -a -s "-screen 0 1280x900x24" \
    hyperfine -N --warmup 3 --runs 40 "$MINIMAL" "$PROGRAM --quit-after-show"
