#!/bin/sh
# The release script:
#   - refusals that come before any build: a signature asked for without a
#     certificate, a key and a time-stamping server, or half of them, or a
#     file that cannot be read;
#   - four runs:
#     a   unsigned, in this checkout; its PE header has the mitigations
#         docs/hardening.md names;
#     b   unsigned, in an export of the commit (git archive; in this checkout
#         when it has uncommitted changes): the two zips are the same bytes,
#         SBOM and BUILDINFO.txt included, so clone and export give one
#         release. Checked on a: SHA256SUMS inside the folder and beside the
#         zip; the folder's file list; the files copied from the checkout; the
#         notices, the SBOM and the documents (check_release.py, against the
#         files the linker and the compiler took outside the checkout); the
#         build record; REPRODUCE.txt's sum; the unstripped exe;
#     c   signed with a throwaway certificate and time-stamped by a throwaway
#         RFC 3161 server, as --require-signature asks: README.txt's Linux
#         commands, run as written, pass and name the signer BUILDINFO.txt
#         names; signing changed only the exe and the records that describe
#         it; REPRODUCE.txt's way back to the unsigned exe gives a's;
#     d   signed with a time-stamping server that does not answer: the
#         release fails, makes no zip, and leaves the exe as built.
# Each run is a clean build; the outcome is tested, never a tool's wording.
set -eu
cd "$(dirname "$0")/../.."
root=$(pwd)
work=$(mktemp -d)
export_dir=build/release-test-export
cleanup() {
    [ ! -s "$work/tsa.pid" ] || kill "$(cat "$work/tsa.pid")" 2>/dev/null || true
    rm -rf "$work" "$export_dir" build/release-test-a build/release-test-b build/release-test-c \
        build/release-test-d build/release-test-refused
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

# Throwaway certificates, made here and never kept: one for code signing, one
# for the time-stamping server started below.
certificate() {  # certificate NAME EXTENDED-KEY-USAGE
    openssl req -x509 -newkey rsa:3072 -sha256 -nodes -days 2 -subj "/CN=VelmoraAvInfo release test $1" \
        -addext keyUsage=critical,digitalSignature -addext "extendedKeyUsage=$2" \
        -keyout "$work/$1-key.pem" -out "$work/$1.pem" 2>/dev/null
}
certificate signer codeSigning
mkdir "$work/tsa"
certificate tsa critical,timeStamping
mv "$work/tsa.pem" "$work/tsa-key.pem" "$work/tsa/"
python3 tests/release/timestamp_server.py "$work/tsa" & echo $! > "$work/tsa.pid"
sign="VELMORA_SIGN_CERT=$work/signer.pem VELMORA_SIGN_KEY=$work/signer-key.pem"

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
--require-signature|$sign|error: a signed release was asked for, but VELMORA_SIGN_TIMESTAMP_URL is not set
--require-signature|VELMORA_SIGN_CERT=$work/signer.pem|error: VELMORA_SIGN_KEY is needed with VELMORA_SIGN_CERT
|VELMORA_SIGN_KEY=$work/signer-key.pem|error: VELMORA_SIGN_CERT is needed with VELMORA_SIGN_KEY
|VELMORA_SIGN_CERT=$work/signer.pem VELMORA_SIGN_KEY=$work/none.pem|error: cannot read $work/none.pem
--sign||error: unknown argument --sign (usage: scripts/release.sh [--require-signature])
ROWS

release() {  # release NAME SOURCE-FOLDER [VARIABLE=VALUE...]: one run into $work/NAME, unpacked there
    name=$1 source=$2; shift 2
    if ! (cd "$source" && env -u SOURCE_DATE_EPOCH "$@" VELMORA_RELEASE_BUILD_DIR="$root/build/release-test-$name" \
        VELMORA_DIST_DIR="$work/$name" scripts/release.sh > "$work/$name.log" 2>&1); then
        cat "$work/$name.log"; fail "release run $name"
    fi
    grep -E '^(VelmoraAvInfo.exe|signed)' "$work/$name.log" | sed "s/^/$name: /"
    zip=$(ls "$work/$name"/VelmoraAvInfo-*-win64.zip)
    python3 -m zipfile -e "$zip" "$work/$name"
    folder=$(basename "$zip" .zip)
    eval "folder_$name=\$work/\$name/\$folder"
    eval "zip_$name=\$zip"
}

# Every file outside the checkout that went into the exe of build folder $1:
# the archives the linker took members from and the objects it loaded (its
# map), and every header a source included (ninja's record of the compiler's
# dependency lists).
linked_files() {
    { sed -n '/^Archive member included/,/^Discarded input sections/s/^\([^ ][^(]*\.a\)(.*/\1/p' "$1/VelmoraAvInfo.map"
      sed -n 's/^LOAD \(\/.*\.o\)$/\1/p' "$1/VelmoraAvInfo.map"
      ninja -C "$1" -t deps | sed -n 's/^    //p' | (cd "$1" && xargs realpath)
    } | xargs realpath | LC_ALL=C sort -u | grep -v "^$root/"
}

release a .
if [ -z "$(git status --porcelain)" ]; then
    mkdir -p "$export_dir"
    git archive HEAD | tar -x -C "$export_dir"
    release b "$export_dir"
else
    echo "b: the checkout has uncommitted changes, so b is built here, not from an export"
    release b .
fi
cmp "$folder_a/VelmoraAvInfo.spdx.json" "$folder_b/VelmoraAvInfo.spdx.json" || fail "the SBOMs of a and b differ"
cmp "$folder_a/BUILDINFO.txt" "$folder_b/BUILDINFO.txt" || fail "the build records of a and b differ"
cmp "$zip_a" "$zip_b" || fail "the releases of a and b differ"
# The second zip: the field tests and their README, as reproducible.
cmp "$work"/a/VelmoraAvInfo-*-win64-fieldtests.zip "$work"/b/VelmoraAvInfo-*-win64-fieldtests.zip ||
    fail "the field-test zips of a and b differ"
[ "$(python3 -m zipfile -l "$work"/a/VelmoraAvInfo-*-win64-fieldtests.zip | awk 'NR > 1 {print $1}' | sed 's|^[^/]*/||' | sort | tr '\n' ' ')" = \
  "README.txt SHA256SUMS VelmoraAvInfoFieldTests.exe " ] || fail "the field-test zip holds other files"

(cd "$folder_a" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"
(cd "$work/a" && sha256sum --quiet -c SHA256SUMS) || fail "the SHA256SUMS beside the zip does not match it"
grep -q " $(basename "$zip_a")\$" "$work/a/SHA256SUMS" || fail "the SHA256SUMS beside the zip misses it"
(cd "$folder_a" && find . -type f | LC_ALL=C sort) > "$work/files"
{ (cd docs && find . -type f ! -name development.md | sed 's|^\./|./docs/|')
  printf './%s\n' BUILDINFO.txt CHANGELOG.md LICENSE README.txt REPRODUCE.txt SECURITY.md SHA256SUMS \
      THIRD-PARTY-NOTICES.txt VelmoraAvInfo.exe VelmoraAvInfo.spdx.json
} | LC_ALL=C sort > "$work/expected"
diff "$work/expected" "$work/files" || fail "the release folder holds other files (above)"
version=$(basename "$folder_a" -win64 | sed 's/^VelmoraAvInfo-//')
newest=$(sed -n 's/^## \([0-9][0-9.]*\)$/\1/p' CHANGELOG.md | head -n 1)
[ "$newest" = "$version" ] || fail "CHANGELOG.md's newest version is $newest, the build's $version"
for doc in packaging/README.txt CHANGELOG.md LICENSE SECURITY.md docs; do
    diff -r -x development.md "$doc" "$folder_a/$(basename "$doc")" >/dev/null || fail "$doc in the release differs from the checkout"
done

linked_files build/release-test-a > "$work/linked-files"
[ -s "$work/linked-files" ] || fail "no file found in the build's record of what went into the exe"
python3 tests/release/check_release.py "$folder_a" "$work/linked-files" || fail "the records or documents (above)"
grep -rl -e /usr/share -e common-licenses "$folder_a" && fail "a shipped file points to a path of the build machine (above)"
for line in "Version: $version" "Commit: $(git rev-parse HEAD)*" "SOURCE_DATE_EPOCH: $(git log -1 --format=%ct)" \
    "Signature: none*"; do
    grep -q "^$line" "$folder_a/BUILDINFO.txt" || fail "BUILDINFO.txt lacks [$line]"
done
unsigned=$(sha256sum < "$folder_a/VelmoraAvInfo.exe" | cut -d' ' -f1)
grep -qx "     $unsigned" "$folder_a/REPRODUCE.txt" || fail "REPRODUCE.txt does not give the exe's sum $unsigned"

unstripped=$work/a/VelmoraAvInfo-$version-win64-unstripped.exe
# strip writes SOURCE_DATE_EPOCH into the PE header, as the release's did.
SOURCE_DATE_EPOCH=$(sed -n 's/^SOURCE_DATE_EPOCH: //p' "$folder_a/BUILDINFO.txt") \
    x86_64-w64-mingw32-strip -o "$work/restripped.exe" "$unstripped"
cmp "$work/restripped.exe" "$folder_a/VelmoraAvInfo.exe" || fail "the unstripped exe is not the released one"
cmp "$unstripped" "$folder_a/VelmoraAvInfo.exe" >/dev/null && fail "the unstripped exe is stripped"
x86_64-w64-mingw32-objdump -p "$folder_a/VelmoraAvInfo.exe" > "$work/pe-header"
for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT; do
    grep -qw "$flag" "$work/pe-header" || fail "the exe lacks $flag, which docs/hardening.md says it has"
done

[ -s "$work/tsa/port" ] || fail "the time-stamping server did not start"
# shellcheck disable=SC2086  # $sign is two assignments
release c . $sign VELMORA_REQUIRE_SIGNATURE=1 VELMORA_SIGN_TIMESTAMP_URL="http://127.0.0.1:$(cat "$work/tsa/port")/"
cmp "$folder_a/VelmoraAvInfo.exe" "$folder_c/VelmoraAvInfo.exe" >/dev/null && fail "the exe of run c is not signed"
# README.txt's Linux commands as written: those before "In this folder" beside
# the zip, the others in the unpacked folder, with the roots it names there.
cp "$work/signer.pem" "$folder_c/ROOT.pem"
cp "$work/tsa/tsa.pem" "$folder_c/TSA-ROOT.pem"
place=$work/c
sed -n '/^Checking the download/,$p' "$folder_c/README.txt" | while IFS= read -r line; do
    case $line in
        "In this folder"*) place=$folder_c ;;
        "  Linux:"*) command=$(echo "$line" | sed 's/^  Linux: *//')
            (cd "$place" && sh -c "$command") > "$work/command.log" 2>&1 ||
                { cat "$work/command.log"; fail "README.txt's [$command] failed in $place"; }
            cat "$work/command.log" >> "$work/commands.log" ;;
    esac
done
thumbprint=$(sed -n 's/^Signer certificate SHA-256: //p' "$folder_c/BUILDINFO.txt")
[ -n "$thumbprint" ] || fail "BUILDINFO.txt of a signed release names no signer"
grep -qx "sha256 Fingerprint=$thumbprint" "$work/commands.log" || fail "README.txt's commands do not show the signer $thumbprint"
rm "$folder_c/ROOT.pem" "$folder_c/TSA-ROOT.pem" "$folder_c/signature.pem"
for file in $(cd "$folder_a" && find . -type f); do
    case $file in
        ./VelmoraAvInfo.exe | ./BUILDINFO.txt | ./VelmoraAvInfo.spdx.json | ./SHA256SUMS) ;;
        *) cmp "$folder_a/$file" "$folder_c/$file" || fail "signing changed $file" ;;
    esac
done
(cd "$folder_c" && osslsigncode remove-signature -in VelmoraAvInfo.exe -out "$work/unsigned.exe" >/dev/null) ||
    fail "osslsigncode cannot take the signature off"
cmp "$work/unsigned.exe" "$folder_a/VelmoraAvInfo.exe" || fail "the signed exe without its signature is not the unsigned one"

# Nothing listens on port 1: signing must fail, and the release with it.
# shellcheck disable=SC2086  # $sign is two assignments
if (env $sign VELMORA_SIGN_TIMESTAMP_URL=http://127.0.0.1:1/ VELMORA_RELEASE_BUILD_DIR=build/release-test-d \
    VELMORA_DIST_DIR="$work/d" scripts/release.sh > "$work/d.log" 2>&1); then
    fail "a release whose time-stamping server does not answer succeeded"
fi
grep -q "could not sign" "$work/d.log" || { cat "$work/d.log"; fail "release d failed before it signed"; }
[ -z "$(ls "$work/d" 2>/dev/null)" ] || fail "the failed release left files in its dist folder"
cmp "build/release-test-d/VelmoraAvInfo-$version-win64/VelmoraAvInfo.exe" "$folder_a/VelmoraAvInfo.exe" ||
    fail "a failed signing changed the exe"
echo "release: reproducible from a clone or an export, complete, with its notices and SBOM, and signed when asked"
