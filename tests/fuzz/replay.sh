#!/bin/sh
# Runs a fuzz target once over its seeds and its kept findings.
set -eu
target=$1
shift
files=""
for dir in "$@"; do
    [ -d "$dir" ] && files="$files $(find "$dir" -type f | sort | tr '\n' ' ')"
done
[ -n "$files" ] || { echo "no inputs"; exit 0; }
# shellcheck disable=SC2086
exec "$target" -runs=0 $files
