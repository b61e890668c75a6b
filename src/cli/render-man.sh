#!/bin/sh
# Writes the corvane-cli man page: the roff template with the program's own --help text
# put in, its "Usage:" block as the synopsis and the rest as the options, so the page and
# the help cannot drift. Usage: render-man.sh TEMPLATE CORVANE-CLI OUTPUT
set -eu
template=$1
cli=$2
output=$3
help=$("$cli" --help)

# Roff for a verbatim line: backslashes and minus signs escaped, a leading dot or quote
# made literal.
escape() {
    sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\([.']\)/\\\\\&\1/"
}

synopsis=$(printf '%s\n' "$help" | sed -n '2,/^$/p' | sed -e '/^$/d' -e 's/^  //' | escape)
options=$(printf '%s\n' "$help" | sed '1,/^$/d' | escape)

awk -v synopsis="$synopsis" -v options="$options" '
    $0 == "@USAGE_SYNOPSIS@" { print synopsis; next }
    $0 == "@USAGE_OPTIONS@" { print options; next }
    { print }
' "$template" > "$output.tmp"
mv "$output.tmp" "$output"
