# Sourced by the benchmarks: make_hour FILE writes the one-hour 44100 Hz stereo 128 kbps CBR
# file they share (a tone over pink noise), as ffmpeg's LAME writes it (an Info frame).
make_hour() {
    ffmpeg -v error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=3600" \
        -f lavfi -i "anoisesrc=color=pink:sample_rate=44100:duration=3600:amplitude=0.2" \
        -filter_complex "[0][1]amix=inputs=2,aformat=channel_layouts=stereo" \
        -c:a libmp3lame -b:a 128k "$1"
}
