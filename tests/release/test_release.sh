#!/bin/sh
# The release script, run three times from this checkout:
#   a, b  unsigned, each in a build folder of its own: the two zips are the same
#         bytes, SHA256SUMS holds the right sums, and the folder holds the exe,
#         README.md, CHANGELOG.md and docs/ as they are in the checkout;
#   c     signed with a throwaway self-signed certificate: osslsigncode verifies
#         the exe's signature against it, and only the exe's sum changes.
# Takes a few minutes: each run is a clean build.
set -eu
cd "$(dirname "$0")/../.."
# One time for all three runs; a checkout without git history (an unpacked
# source archive) takes a fixed one.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) || SOURCE_DATE_EPOCH=1765152000
fi
export SOURCE_DATE_EPOCH
work=$(mktemp -d)
trap 'rm -rf "$work" build/release-test-a build/release-test-b build/release-test-c' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

release() {  # release NAME [VARIABLE=VALUE...]: one run into $work/NAME, unpacked there
    name=$1; shift
    if ! env "$@" VELMORA_RELEASE_BUILD_DIR="build/release-test-$name" VELMORA_DIST_DIR="$work/$name" \
        scripts/release.sh > "$work/$name.log" 2>&1; then
        cat "$work/$name.log"; fail "release run $name"
    fi
    grep -E '^(VelmoraAvInfo.exe|signed)' "$work/$name.log" | sed "s/^/$name: /"
    zip=$(ls "$work/$name"/VelmoraAvInfo-*-win64.zip)
    python3 -m zipfile -e "$zip" "$work/$name"
    folder=$(basename "$zip" .zip)
    eval "folder_$name=\$work/\$name/\$folder"
    eval "zip_$name=\$zip"
}

release a
release b
cmp "$zip_a" "$zip_b" || fail "two unsigned releases of one commit differ"
cmp "$folder_a/SHA256SUMS" "$folder_b/SHA256SUMS" || fail "SHA256SUMS differ"

(cd "$folder_a" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"
(cd "$folder_a" && find . -type f | LC_ALL=C sort) > "$work/files"
{ (cd docs && find . -type f | sed 's|^\./|./docs/|')
  printf '%s\n' ./CHANGELOG.md ./README.md ./SHA256SUMS ./VelmoraAvInfo.exe; } | LC_ALL=C sort > "$work/expected"
diff "$work/expected" "$work/files" || fail "the release folder holds other files (above)"
version=$(basename "$folder_a" -win64 | sed 's/^VelmoraAvInfo-//')
newest=$(sed -n 's/^## \([0-9][0-9.]*\)$/\1/p' CHANGELOG.md | head -n 1)
[ "$newest" = "$version" ] || fail "CHANGELOG.md's newest version is $newest, the build's $version"
for doc in README.md CHANGELOG.md docs; do
    diff -r "$doc" "$folder_a/$doc" >/dev/null || fail "$doc in the release differs from the checkout"
done

# A throwaway code-signing certificate, made here and never kept.
openssl req -x509 -newkey rsa:3072 -sha256 -nodes -days 2 -subj "/CN=VelmoraAvInfo release test" \
    -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
release c VELMORA_SIGN_CERT="$work/cert.pem" VELMORA_SIGN_KEY="$work/key.pem"
# -CAfile trusts the self-signed certificate (osslsigncode 2.5 and later).
osslsigncode verify -in "$folder_c/VelmoraAvInfo.exe" -CAfile "$work/cert.pem" > "$work/verify.log" 2>&1 \
    || { cat "$work/verify.log"; fail "osslsigncode does not verify the signed exe"; }
(cd "$folder_c" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the signed exe"
grep -v ' VelmoraAvInfo.exe$' "$folder_a/SHA256SUMS" > "$work/sums_a"
grep -v ' VelmoraAvInfo.exe$' "$folder_c/SHA256SUMS" > "$work/sums_c"
cmp "$work/sums_a" "$work/sums_c" || fail "signing changed more than the exe"
cmp "$folder_a/VelmoraAvInfo.exe" "$folder_c/VelmoraAvInfo.exe" >/dev/null && fail "the exe of run c is not signed"
echo "release: reproducible, complete, and signed when asked"
