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

# Through the environment, not awk -v: an assignment's value has its backslash escapes
# processed (and gawk drops the backslash of \- and \e).
synopsis=$synopsis options=$options awk '
    $0 == "@USAGE_SYNOPSIS@" { print ENVIRON["synopsis"]; next }
    $0 == "@USAGE_OPTIONS@" { print ENVIRON["options"]; next }
    { print }
' "$template" > "$output.tmp"
mv "$output.tmp" "$output"
