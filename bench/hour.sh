# Sourced by the benchmarks that share the one-hour file, with the script's own arguments:
# sets BUILD (the build folder, the first argument or build, as an absolute path) and WORK (a
# temporary folder, removed when the script exits), and writes WORK/hour.mp3: an hour of
# 44100 Hz stereo 128 kbps CBR (a tone over pink noise) as ffmpeg's LAME writes it (an Info
# frame).
BUILD=$(cd "${1:-build}" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
ffmpeg -v error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=3600" \
    -f lavfi -i "anoisesrc=color=pink:sample_rate=44100:duration=3600:amplitude=0.2" \
    -filter_complex "[0][1]amix=inputs=2,aformat=channel_layouts=stereo" \
    -c:a libmp3lame -b:a 128k "$WORK/hour.mp3"
