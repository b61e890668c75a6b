#!/bin/sh
# Builds the Debian package, checks it with lintian (no errors), installs it with dpkg,
# runs the installed programs' files, and removes the package again.
# Usage: test-package.sh BUILD-DIR (a configured build folder; `make test-package` passes it)
set -eu
BUILD=$(realpath "$1")
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
WORK=$(mktemp -d)
installed=""
cleanup() {
    [ -n "$installed" ] && $SUDO dpkg -r corvane > /dev/null 2>&1 || true
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() { echo "FAILED: $*"; exit 1; }

# The package: cpack in the build folder, the newest .deb it wrote.
(cd "$BUILD" && cpack -G DEB > "$WORK/cpack.log" 2>&1) || { cat "$WORK/cpack.log"; fail "cpack"; }
deb=$(ls -t "$BUILD"/corvane_*.deb | head -n 1)
echo "package: $deb"
dpkg-deb -f "$deb" Package Version Depends
# libsndfile, libopenmpt, libresample and SDL are opened with dlopen, out of dpkg-shlibdeps' sight: still named.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libsndfile1 libopenmpt0 libresample1 libsdl2-2.0-0; do
    case ", $depends" in *", $lib"*) ;; *) fail "Depends lacks $lib" ;; esac
done

# lintian: errors fail, warnings are listed.
lintian --tag-display-limit 0 "$deb" > "$WORK/lintian.txt" 2>&1 || true
cat "$WORK/lintian.txt"
grep -q '^E: ' "$WORK/lintian.txt" && fail "lintian reports errors"

if dpkg-query -W -f='${Status}' corvane 2>/dev/null | grep -q "install ok installed"; then
    fail "a corvane package is installed already; remove it first"
fi
$SUDO dpkg -i "$deb" > "$WORK/dpkg.log" 2>&1 || { cat "$WORK/dpkg.log"; fail "dpkg -i"; }
installed=1

# The installed command-line program cuts a generated file.
cd "$WORK"
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=6" -ac 2 tone.wav
lame --quiet -b 128 tone.wav tone.mp3
/usr/bin/corvane-cli cut --quiet --count 2 tone.mp3 > paths.txt || fail "installed corvane-cli cut"
[ "$(cat paths.txt)" = "$WORK/tone-1.mp3
$WORK/tone-2.mp3" ] || fail "unexpected pieces: $(cat paths.txt)"
mpg123 -q -t tone-1.mp3 tone-2.mp3 2> decode.txt
[ -s decode.txt ] && fail "pieces decode with messages: $(cat decode.txt)"

# Its man pages, menu entry, metainfo and completion.
[ "$(man -w corvane-cli)" = /usr/share/man/man1/corvane-cli.1.gz ] || fail "man -w corvane-cli: $(man -w corvane-cli)"
man -w corvane > /dev/null || fail "man -w corvane"
desktop-file-validate /usr/share/applications/corvane.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net /usr/share/metainfo/org.example.corvane.Corvane.metainfo.xml || fail "appstreamcli validate"
values=$(bash -c '. /usr/share/bash-completion/bash_completion
    . /usr/share/bash-completion/completions/corvane-cli
    COMP_WORDS=(corvane-cli cut --if-exists ""); COMP_CWORD=3; COMP_LINE="corvane-cli cut --if-exists "
    COMP_POINT=${#COMP_LINE}; _corvane_cli; echo "${COMPREPLY[*]}"')
[ "$values" = "rename overwrite skip" ] || fail "completion of --if-exists: $values"

$SUDO dpkg -r corvane > /dev/null
installed=""
[ -e /usr/bin/corvane-cli ] && fail "corvane-cli still there after dpkg -r"
echo "package built, checked, installed, used and removed"
