#!/bin/sh
# Installs every Debian package that building, running and testing Corvane needs.
set -eu

PACKAGES="
build-essential cmake pkg-config
libmp3lame-dev libresample1-dev libmpg123-dev libsndfile1-dev libopenmpt-dev libtag1-dev
libsdl2-dev qt6-base-dev qt6-base-dev-tools libgl-dev
libgtest-dev libgmock-dev googletest
clang libclang-rt-dev llvm
lame mpg123 mp3val python3-mutagen ffmpeg hyperfine xvfb xauth fonts-dejavu-core
dpkg-dev file fakeroot lintian desktop-file-utils appstream man-db bash-completion
"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -q
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -q --no-install-recommends $missing
fi
