#!/bin/sh
# The release's second zip, for integrators with a Windows machine:
#   <dist>/VelmoraAvInfo-<version>-win64-fieldtests.zip
# holding the folder VelmoraAvInfo-<version>-win64-fieldtests/ with the
# stripped VelmoraAvInfoFieldTests.exe, README.txt (docs/field-tests.md) and
# SHA256SUMS. The field tests drive the VelmoraAvInfo.exe beside them: copy
# the one of the main zip there, or name it with --program=.
#
# Called at the end of scripts/release.sh, after SOURCE_DATE_EPOCH is set, so
# the zip is reproducible as the main one is.
#
# Usage: scripts/release_fieldtests.sh <version> <dist folder>
# Environment: VELMORA_RELEASE_BUILD_DIR (default build/release); the field
# tests are built in that folder's name with "-fieldtests" added, emptied first.
set -eu
cd "$(dirname "$0")/.."
[ $# -eq 2 ] || { echo "usage: scripts/release_fieldtests.sh <version> <dist folder>" >&2; exit 2; }
version=$1 dist=$2
: "${SOURCE_DATE_EPOCH:?SOURCE_DATE_EPOCH must be set (scripts/release.sh sets it)}"
build=${VELMORA_RELEASE_BUILD_DIR:-build/release}-fieldtests
name=VelmoraAvInfo-$version-win64-fieldtests
stage=$build/$name

rm -rf "$build"
# The windows preset, whose test targets the field tests are; only they (and
# what they need) are built.
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target VelmoraAvInfoFieldTests
mkdir -p "$stage"
x86_64-w64-mingw32-strip -o "$stage/VelmoraAvInfoFieldTests.exe" "$build/VelmoraAvInfoFieldTests.exe"
cp docs/field-tests.md "$stage/README.txt"
(cd "$stage" && find . -type f ! -name SHA256SUMS | LC_ALL=C sort | sed 's|^\./||' \
    | xargs sha256sum > SHA256SUMS)
mkdir -p "$dist"
python3 scripts/zip_release.py "$stage" "$dist/$name.zip"
echo "$dist/$name.zip: $(sha256sum < "$dist/$name.zip" | cut -d' ' -f1)"
