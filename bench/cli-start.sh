#!/bin/sh
# Times corvane-cli's start: --version and info of a ten-second MP3, against an empty main
# linked to what info needs (libmpg123, TagLib, libstdc++), and counts the shared libraries
# each loads.
# Usage: bench/cli-start.sh [BUILD_DIR]
set -eu
BUILD=${1:-build}
CLI=$(cd "$BUILD" && pwd)/corvane-cli
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
printf 'int main() { return 0; }\n' > "$WORK/empty.cpp"
c++ -O2 "$WORK/empty.cpp" -o "$WORK/empty" -Wl,--no-as-needed -lmpg123 -ltag -Wl,--as-needed
cp "$(dirname "$0")/../tests/data/lame_cbr128_info.mp3" "$WORK/small.mp3"
echo "shared libraries: corvane-cli $(ldd "$CLI" | wc -l), empty main $(ldd "$WORK/empty" | wc -l)"
cd "$WORK"
hyperfine -N --warmup 10 --runs 200 ./empty "$CLI --version" "$CLI info small.mp3"
