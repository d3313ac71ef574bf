#!/bin/sh
# Every relative link of README.md, CHANGELOG.md and docs/*.md names a file that exists.
#   links.sh SOURCE-DIR
set -eu
root=$1
bad=0
count=0
for page in "$root"/README.md "$root"/CHANGELOG.md "$root"/docs/*.md; do
    dir=$(dirname "$page")
    # Markdown links: the text between "](" and ")"; addresses with a scheme and bare anchors are not files.
    for target in $(grep -o '](\([^)]*\))' "$page" | sed 's/^](//; s/)$//' | grep -v -E '^[a-z]+:|^#' || true); do
        count=$((count + 1))
        file=${target%%#*}
        if [ ! -e "$dir/$file" ]; then
            echo "FAILED: ${page#"$root"/} links to $target, which does not exist" >&2
            bad=1
        fi
    done
done
[ "$bad" = 0 ] || exit 1
echo "$count relative links, each to a file that exists"
