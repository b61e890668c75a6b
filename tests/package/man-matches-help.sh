#!/bin/sh
# The corvane-cli man page holds every line of the program's --help, as the reader sees it.
# Usage: man-matches-help.sh CORVANE-CLI MAN-PAGE
set -eu
squeeze() { sed -e 's/[[:space:]]\+/ /g' -e 's/^ //' -e 's/ $//'; }
page=$(MANWIDTH=250 man -l "$2" 2>/dev/null | col -b | squeeze)
missing=$("$1" --help | squeeze | while IFS= read -r line; do
    [ -z "$line" ] || [ "$line" = "Usage:" ] && continue
    printf '%s\n' "$page" | grep -qxF -- "$line" || echo "not in the man page: $line"
done)
[ -z "$missing" ] || { echo "$missing"; exit 1; }
