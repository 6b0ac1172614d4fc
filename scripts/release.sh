#!/bin/sh
# Builds the Windows program as released, from a clean build folder, and packs
#   dist/VelmoraAvInfo-<version>-win64.zip
# holding the folder VelmoraAvInfo-<version>-win64/ with the stripped
# VelmoraAvInfo.exe, README.txt (the integrator's front page), CHANGELOG.md,
# LICENSE, SECURITY.md, docs/, BUILDINFO.txt (version, commit,
# SOURCE_DATE_EPOCH, signer and the build's package versions),
# THIRD-PARTY-NOTICES.txt (the licences of what the exe holds of others'
# code), VelmoraAvInfo.spdx.json (the SBOM), REPRODUCE.txt (how to rebuild
# the exe and its expected sum) and SHA256SUMS. Beside the zip, never in it:
#   dist/SHA256SUMS   the sums of the version's zips, for the release page
#   dist/VelmoraAvInfo-<version>-win64-unstripped.exe
# the same program with its symbols, for crash analysis.
#
# The same commit and Debian packages give the same bytes: every time stamp is
# the last commit's time (SOURCE_DATE_EPOCH, unless already set), and nothing
# of the build folder or the clock gets in. A signed exe differs from run to
# run by its signature only.
#
# Usage: scripts/release.sh [--require-signature]
#   --require-signature   refuse to build without a certificate, a key and a
#       time-stamping server (also VELMORA_REQUIRE_SIGNATURE=1): a release for
#       others must be signed, and its signature must outlive the certificate
#
# Environment:
#   VELMORA_SIGN_CERT, VELMORA_SIGN_KEY   PEM certificate (with its chain) and
#       private key; when both are set, the exe is signed (scripts/sign.sh)
#   VELMORA_SIGN_PASSWORD_FILE   file holding the key's password (optional)
#   VELMORA_SIGN_TIMESTAMP_URL   RFC 3161 time-stamping server (needed with
#       --require-signature), so that the signature stays valid after the
#       certificate expires; signing fails when it does not answer
#   VELMORA_RELEASE_BUILD_DIR    build folder, emptied first (default build/release)
#   VELMORA_DIST_DIR             where the zip goes (default dist)
set -eu
cd "$(dirname "$0")/.."
require_signature=${VELMORA_REQUIRE_SIGNATURE:-0}
for argument in "$@"; do
    case $argument in
        --require-signature) require_signature=1 ;;
        *) echo "error: unknown argument $argument (usage: scripts/release.sh [--require-signature])" >&2; exit 2 ;;
    esac
done
# Everything signing needs is checked before the long build.
if [ -n "${VELMORA_SIGN_CERT:-}${VELMORA_SIGN_KEY:-}" ]; then
    [ -n "${VELMORA_SIGN_CERT:-}" ] || { echo "error: VELMORA_SIGN_CERT is needed with VELMORA_SIGN_KEY" >&2; exit 1; }
    [ -n "${VELMORA_SIGN_KEY:-}" ] || { echo "error: VELMORA_SIGN_KEY is needed with VELMORA_SIGN_CERT" >&2; exit 1; }
    for file in "$VELMORA_SIGN_CERT" "$VELMORA_SIGN_KEY" ${VELMORA_SIGN_PASSWORD_FILE:+"$VELMORA_SIGN_PASSWORD_FILE"}; do
        [ -r "$file" ] || { echo "error: cannot read $file" >&2; exit 1; }
    done
    if [ "$require_signature" = 1 ] && [ -z "${VELMORA_SIGN_TIMESTAMP_URL:-}" ]; then
        echo "error: a signed release was asked for, but VELMORA_SIGN_TIMESTAMP_URL is not set" >&2
        exit 1
    fi
elif [ "$require_signature" = 1 ]; then
    echo "error: a signed release was asked for, but VELMORA_SIGN_CERT and VELMORA_SIGN_KEY are not set" >&2
    exit 1
fi

build=${VELMORA_RELEASE_BUILD_DIR:-build/release}
dist=${VELMORA_DIST_DIR:-dist}
# The commit and its time: from git in a clone; in an export (git archive),
# from the line git wrote into packaging/source-commit.txt (export-subst).
read -r exported exported_time < packaging/source-commit.txt
case $exported in
    *Format*) commit=$(git rev-parse HEAD 2>/dev/null) || commit=unknown
              commit_time=$(git log -1 --format=%ct 2>/dev/null) || commit_time=
              changes=$(git status --porcelain 2>/dev/null) || changes= ;;
    *) commit=$exported; commit_time=$exported_time; changes= ;;
esac
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$commit_time
    [ -n "$SOURCE_DATE_EPOCH" ] ||
        { echo "error: SOURCE_DATE_EPOCH is not set and there is no git history to take it from" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH
if [ -n "$changes" ]; then
    echo "warning: the checkout has uncommitted changes; this release is not the commit's" >&2
    commit="$commit (with uncommitted changes)"
fi

rm -rf "$build"
# The release preset also has the linker write VelmoraAvInfo.map into the
# build folder (what it took from which library; the exe's bytes are the same
# without it), for the release test's check of the notices.
cmake --preset release -B "$build" >/dev/null
cmake --build "$build"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=VelmoraAvInfo-$version-win64
stage=$build/$name
# The release preset installs everything into one folder, the exe stripped.
cmake --install "$build" --prefix "$stage" --strip >/dev/null
exe=$stage/VelmoraAvInfo.exe
unsigned_sha256=$(sha256sum < "$exe" | cut -d' ' -f1)

if [ -n "${VELMORA_SIGN_CERT:-}" ]; then
    scripts/sign.sh "$exe"
    echo "signed with $VELMORA_SIGN_CERT"
fi
# The records describe the final exe: its signer, and its sum in the SBOM.
python3 scripts/release_records.py "$stage" "$version" "$commit" "$unsigned_sha256"

# Sums of every file of the folder, as sha256sum -c reads them there.
(cd "$stage" && find . -type f ! -name SHA256SUMS | LC_ALL=C sort | sed 's|^\./||' \
    | xargs sha256sum > SHA256SUMS)
mkdir -p "$dist"
rm -f "$dist/$name"*.zip "$dist/SHA256SUMS"
python3 scripts/zip_release.py "$stage" "$dist/$name.zip"
cp "$build/VelmoraAvInfo.exe" "$dist/$name-unstripped.exe"

echo "VelmoraAvInfo.exe: $(wc -c < "$exe") bytes"
echo "$dist/$name.zip: $(sha256sum < "$dist/$name.zip" | cut -d' ' -f1)"
scripts/release_fieldtests.sh "$version" "$dist"
# Every further zip of this version is made above this line, by a script of
# its own; then the sums beside the zips, for the release page to publish.
(cd "$dist" && LC_ALL=C ls "$name"*.zip | xargs sha256sum > SHA256SUMS)
