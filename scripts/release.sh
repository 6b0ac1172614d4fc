#!/bin/sh
# Builds the Windows program as released, from a clean build folder, and packs
#   dist/VelmoraAvInfo-<version>-win64.zip
# holding the folder VelmoraAvInfo-<version>-win64/ with the stripped
# VelmoraAvInfo.exe, README.md, CHANGELOG.md, docs/ and SHA256SUMS.
#
# The same commit gives the same bytes: every time stamp is the last commit's
# time (SOURCE_DATE_EPOCH, unless already set). A signed exe differs from run
# to run by its signature only.
#
# Environment:
#   VELMORA_SIGN_CERT, VELMORA_SIGN_KEY   PEM certificate (with its chain) and
#       private key; when both are set, the exe is signed (Authenticode, SHA-256)
#   VELMORA_SIGN_PASSWORD_FILE   file holding the key's password (optional)
#   VELMORA_SIGN_TIMESTAMP_URL   RFC 3161 time-stamping server (optional)
#   VELMORA_RELEASE_BUILD_DIR    build folder, emptied first (default build/release)
#   VELMORA_DIST_DIR             where the zip goes (default dist)
set -eu
cd "$(dirname "$0")/.."
build=${VELMORA_RELEASE_BUILD_DIR:-build/release}
dist=${VELMORA_DIST_DIR:-dist}
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
        { echo "error: SOURCE_DATE_EPOCH is not set and there is no git history to take it from" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH
if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
    echo "warning: the checkout has uncommitted changes; this release is not the commit's" >&2
fi

rm -rf "$build"
cmake --preset release -B "$build" >/dev/null
cmake --build "$build"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=VelmoraAvInfo-$version-win64
stage=$build/$name
# The release preset installs everything into one folder, the exe stripped.
cmake --install "$build" --prefix "$stage" --strip >/dev/null
exe=$stage/VelmoraAvInfo.exe

if [ -n "${VELMORA_SIGN_CERT:-}" ] || [ -n "${VELMORA_SIGN_KEY:-}" ]; then
    : "${VELMORA_SIGN_CERT:?is needed with VELMORA_SIGN_KEY}" "${VELMORA_SIGN_KEY:?is needed with VELMORA_SIGN_CERT}"
    set -- -certs "$VELMORA_SIGN_CERT" -key "$VELMORA_SIGN_KEY" -h sha256 -n VelmoraAvInfo
    if [ -n "${VELMORA_SIGN_PASSWORD_FILE:-}" ]; then set -- "$@" -readpass "$VELMORA_SIGN_PASSWORD_FILE"; fi
    if [ -n "${VELMORA_SIGN_TIMESTAMP_URL:-}" ]; then set -- "$@" -ts "$VELMORA_SIGN_TIMESTAMP_URL"; fi
    osslsigncode sign "$@" -in "$exe" -out "$exe.signed" >/dev/null
    mv "$exe.signed" "$exe"
    echo "signed with $VELMORA_SIGN_CERT"
fi

# Sums of every file of the folder, as sha256sum -c reads them there.
(cd "$stage" && find . -type f ! -name SHA256SUMS | LC_ALL=C sort | sed 's|^\./||' \
    | xargs sha256sum > SHA256SUMS)
mkdir -p "$dist"
python3 scripts/zip_release.py "$stage" "$dist/$name.zip"

echo "VelmoraAvInfo.exe: $(wc -c < "$exe") bytes"
echo "$dist/$name.zip: $(sha256sum < "$dist/$name.zip" | cut -d' ' -f1)"
