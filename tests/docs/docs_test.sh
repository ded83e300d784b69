#!/usr/bin/env bash
# The programs and their documents agree: --help and the manual page list the same
# options; the README links every page of docs/; each relative link of the README
# and docs/ names a file that exists, each "#anchor" of the README a heading.
# Usage: docs_test.sh TALLYSCOPE VL4300_SIM SOURCE_DIR
set -euo pipefail
tallyscope=$1
sim=$2
source=$3
status=0

# Options of a --help text: the leading words of its option lines ("  -h, --help ...").
help_options() {
    "$1" --help | awk '/^ +-/ { for (i = 1; i <= NF; i++) { w = $i; sub(/,$/, "", w);
                                  if (w !~ /^-/) break; print w } }' | LC_ALL=C sort -u
}

# Options of a manual page: the dashed words of the tag lines (after .TP) of OPTIONS.
man_options() {
    awk '/^\.SH / { inside = ($2 == "OPTIONS") } inside && tag { print } { tag = ($0 == ".TP") }' "$1" |
        sed 's/\\-/-/g' | grep -oE '(^|[ "])--?[a-z][a-z-]*' | tr -d ' "' | LC_ALL=C sort -u
}

compare() {
    local program=$1 page=$2 from_help from_man
    from_help=$(help_options "$program")
    from_man=$(man_options "$page")
    [ -n "$from_help" ] || { echo "no options found in $program --help"; status=1; return; }
    if [ "$from_help" != "$from_man" ]; then
        echo "$(basename "$program") --help and $(basename "$page") list different options" \
             "(< --help only, > manual page only):"
        diff <(echo "$from_help") <(echo "$from_man") | grep '^[<>]' || true
        status=1
    fi
}

compare "$tallyscope" "$source/data/man/tallyscope.1.in"
compare "$sim" "$source/data/man/vl4300-sim.1.in"

# Links: every docs page from the README, and no link to a file that is not there.
readme=$source/README.md
for page in "$source"/docs/*.md; do
    grep -q "(docs/$(basename "$page"))" "$readme" ||
        { echo "README.md does not link docs/$(basename "$page")"; status=1; }
done
for doc in "$readme" "$source"/docs/*.md; do
    dir=$(dirname "$doc")
    while IFS= read -r target; do
        [ -e "$dir/$target" ] || { echo "$(basename "$doc") links $target, which does not exist"; status=1; }
    done < <(grep -oE '\]\([^)#:]+(#[^)]*)?\)' "$doc" | sed -E 's/^\]\(//; s/\)$//; s/#.*//' | sort -u)
done

# Anchors within the README: each names a heading (lower case, spaces as "-",
# other punctuation dropped).
anchors=$(grep -E '^#{1,6} ' "$readme" | sed -E 's/^#+ //' | tr 'A-Z' 'a-z' |
          sed -E 's/[^a-z0-9 _-]//g; s/ /-/g')
while IFS= read -r anchor; do
    grep -qx -- "$anchor" <<<"$anchors" || { echo "README.md links #$anchor, no such heading"; status=1; }
done < <(grep -oE '\]\(#[^)]+\)' "$readme" | sed -E 's/^\]\(#//; s/\)$//' | sort -u)

exit $status
