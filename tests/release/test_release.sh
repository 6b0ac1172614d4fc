#!/bin/sh
# The release script:
#   - refusals that come before any build: a signature asked for without a
#     certificate and key, or half of them, or a file that cannot be read;
#   - three runs from this checkout:
#     a, b  unsigned, each in a build folder of its own: the two zips are the
#           same bytes, SHA256SUMS holds the right sums, the folder holds the
#           exe, README.txt, CHANGELOG.md and docs/ as they are in the
#           checkout, BUILDINFO.txt and THIRD-PARTY-NOTICES.txt; the notices
#           name every Debian package whose headers or libraries went into the
#           exe (read from the build: the linker's map and the compiler's
#           header lists), with its installed version; the unstripped exe
#           beside the zip is the released one before strip;
#     c     signed with a throwaway self-signed certificate: osslsigncode
#           verifies the exe's signature against it, and only the exe's sum
#           changes; signing again with a time-stamping server that does not
#           answer fails with osslsigncode's own time-stamp error.
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
trap 'rm -rf "$work" build/release-test-a build/release-test-b build/release-test-c build/release-test-refused' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

# A throwaway code-signing certificate, made here and never kept.
openssl req -x509 -newkey rsa:3072 -sha256 -nodes -days 2 -subj "/CN=VelmoraAvInfo release test" \
    -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null

# Refused before the build: ARGUMENTS|VARIABLE=VALUE ...|the one line on stderr.
while IFS='|' read -r arguments variables expected; do
    # shellcheck disable=SC2086  # both lists are split on purpose
    if env $variables VELMORA_RELEASE_BUILD_DIR=build/release-test-refused VELMORA_DIST_DIR="$work/refused" \
        scripts/release.sh $arguments < /dev/null > "$work/refused.log" 2>&1; then
        fail "release.sh $arguments with [$variables] did not fail"
    fi
    [ "$(cat "$work/refused.log")" = "$expected" ] || { cat "$work/refused.log"; fail "release.sh $arguments with [$variables]: not the expected error"; }
    [ ! -e build/release-test-refused ] || fail "release.sh $arguments with [$variables] began a build"
done <<ROWS
--require-signature||error: a signed release was asked for, but VELMORA_SIGN_CERT and VELMORA_SIGN_KEY are not set
|VELMORA_REQUIRE_SIGNATURE=1|error: a signed release was asked for, but VELMORA_SIGN_CERT and VELMORA_SIGN_KEY are not set
--require-signature|VELMORA_SIGN_CERT=$work/cert.pem|error: VELMORA_SIGN_KEY is needed with VELMORA_SIGN_CERT
|VELMORA_SIGN_KEY=$work/key.pem|error: VELMORA_SIGN_CERT is needed with VELMORA_SIGN_KEY
|VELMORA_SIGN_CERT=$work/cert.pem VELMORA_SIGN_KEY=$work/none.pem|error: cannot read $work/none.pem
--sign||error: unknown argument --sign (usage: scripts/release.sh [--require-signature])
ROWS

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

# The Debian packages whose files went into the exe of build folder $1: the
# archives the linker took members from and the objects it loaded (its map),
# and every header outside the checkout that a source included (ninja's
# record of the compiler's dependency lists). A file of no package fails.
linked_packages() {
    { sed -n '/^Archive member included/,/^Discarded input sections/s/^\([^ ][^(]*\.a\)(.*/\1/p' "$1/VelmoraAvInfo.map"
      sed -n 's/^LOAD \(\/.*\.o\)$/\1/p' "$1/VelmoraAvInfo.map"
      ninja -C "$1" -t deps | sed -n 's/^    //p' | (cd "$1" && xargs realpath)
    } | xargs realpath | LC_ALL=C sort -u | grep -v "^$(pwd)/" > "$work/linked-files"
    xargs dpkg -S < "$work/linked-files" | sed -n 's/^\([^:, ]*\)\(:[a-z0-9]*\)\{0,1\}: .*/\1/p' | LC_ALL=C sort -u
}

release a
release b
cmp "$zip_a" "$zip_b" || fail "two unsigned releases of one commit differ"
cmp "$folder_a/SHA256SUMS" "$folder_b/SHA256SUMS" || fail "SHA256SUMS differ"
# The second zip: the field tests and their README, as reproducible.
cmp "$work"/a/VelmoraAvInfo-*-win64-fieldtests.zip "$work"/b/VelmoraAvInfo-*-win64-fieldtests.zip ||
    fail "two field-test zips of one commit differ"
[ "$(python3 -m zipfile -l "$work"/a/VelmoraAvInfo-*-win64-fieldtests.zip | awk 'NR > 1 {print $1}' | sed 's|^[^/]*/||' | sort | tr '\n' ' ')" = \
  "README.txt SHA256SUMS VelmoraAvInfoFieldTests.exe " ] || fail "the field-test zip holds other files"

(cd "$folder_a" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"
(cd "$folder_a" && find . -type f | LC_ALL=C sort) > "$work/files"
{ (cd docs && find . -type f | sed 's|^\./|./docs/|')
  printf '%s\n' ./BUILDINFO.txt ./CHANGELOG.md ./README.txt ./SHA256SUMS ./THIRD-PARTY-NOTICES.txt ./VelmoraAvInfo.exe
} | LC_ALL=C sort > "$work/expected"
diff "$work/expected" "$work/files" || fail "the release folder holds other files (above)"
version=$(basename "$folder_a" -win64 | sed 's/^VelmoraAvInfo-//')
newest=$(sed -n 's/^## \([0-9][0-9.]*\)$/\1/p' CHANGELOG.md | head -n 1)
[ "$newest" = "$version" ] || fail "CHANGELOG.md's newest version is $newest, the build's $version"
for doc in packaging/README.txt CHANGELOG.md docs; do
    diff -r "$doc" "$folder_a/$(basename "$doc")" >/dev/null || fail "$doc in the release differs from the checkout"
done
for doc in $(grep -o 'docs\\[a-z-]*\.md' packaging/README.txt | tr '\\' / | sort -u); do
    [ -f "$folder_a/$doc" ] || fail "README.txt names $doc, which the release does not hold"
done

linked_packages build/release-test-a > "$work/linked"
[ -s "$work/linked" ] || fail "no package found in the build's record of what went into the exe"
while read -r package; do
    grep -qxF "  Package: $package $(dpkg-query -W -f '${Version}' "$package")" "$folder_a/THIRD-PARTY-NOTICES.txt" ||
        { grep -F "$package" "$work/linked-files" | head -n 3; fail "THIRD-PARTY-NOTICES.txt does not name $package at its installed version"; }
done < "$work/linked"
for line in "Version: $version" "Commit: $(git rev-parse HEAD 2>/dev/null || echo unknown)*" "SOURCE_DATE_EPOCH: $SOURCE_DATE_EPOCH"; do
    grep -q "^$line" "$folder_a/BUILDINFO.txt" || fail "BUILDINFO.txt lacks [$line]"
done

unstripped=$work/a/VelmoraAvInfo-$version-win64-unstripped.exe
x86_64-w64-mingw32-strip -o "$work/restripped.exe" "$unstripped"
cmp "$work/restripped.exe" "$folder_a/VelmoraAvInfo.exe" || fail "the unstripped exe is not the released one"
cmp "$unstripped" "$folder_a/VelmoraAvInfo.exe" >/dev/null && fail "the unstripped exe is stripped"

release c VELMORA_SIGN_CERT="$work/cert.pem" VELMORA_SIGN_KEY="$work/key.pem"
# -CAfile trusts the self-signed certificate (osslsigncode 2.5 and later).
osslsigncode verify -in "$folder_c/VelmoraAvInfo.exe" -CAfile "$work/cert.pem" > "$work/verify.log" 2>&1 \
    || { cat "$work/verify.log"; fail "osslsigncode does not verify the signed exe"; }
(cd "$folder_c" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the signed exe"
grep -v ' VelmoraAvInfo.exe$' "$folder_a/SHA256SUMS" > "$work/sums_a"
grep -v ' VelmoraAvInfo.exe$' "$folder_c/SHA256SUMS" > "$work/sums_c"
cmp "$work/sums_a" "$work/sums_c" || fail "signing changed more than the exe"
cmp "$folder_a/VelmoraAvInfo.exe" "$folder_c/VelmoraAvInfo.exe" >/dev/null && fail "the exe of run c is not signed"

# Nothing listens on port 1 here: the URL must reach osslsigncode, which then
# fails for want of a time stamp and leaves the exe as it was.
cp "$folder_a/VelmoraAvInfo.exe" "$work/stamped.exe"
if VELMORA_SIGN_CERT="$work/cert.pem" VELMORA_SIGN_KEY="$work/key.pem" VELMORA_SIGN_TIMESTAMP_URL=http://127.0.0.1:1/ \
    scripts/sign.sh "$work/stamped.exe" > "$work/stamp.log" 2>&1; then
    fail "signing with a time-stamping server that does not answer succeeded"
fi
for line in "HTTP failure: Failed to get data from http://127.0.0.1:1/" "RFC 3161 timestamping failed"; do
    grep -qxF "$line" "$work/stamp.log" || { cat "$work/stamp.log"; fail "the time-stamping URL did not reach osslsigncode"; }
done
cmp "$work/stamped.exe" "$folder_a/VelmoraAvInfo.exe" || fail "a failed signing changed the exe"
echo "release: reproducible, complete, with its notices, and signed when asked"
