#!/bin/sh
# Signs a Windows executable in place with Authenticode (SHA-256), as
# scripts/release.sh does before it takes the sums.
#
# Usage: scripts/sign.sh FILE.exe
# Environment: VELMORA_SIGN_CERT, VELMORA_SIGN_KEY (PEM, both needed),
#   VELMORA_SIGN_PASSWORD_FILE and VELMORA_SIGN_TIMESTAMP_URL (optional; with
#   the URL, osslsigncode asks that RFC 3161 server for a time stamp, and
#   signing fails when it does not answer: a release meant to carry one must
#   not go out without it).
# On failure the file is left as it was.
set -eu
exe=$1
set -- -certs "$VELMORA_SIGN_CERT" -key "$VELMORA_SIGN_KEY" -h sha256 -n VelmoraAvInfo
if [ -n "${VELMORA_SIGN_PASSWORD_FILE:-}" ]; then set -- "$@" -readpass "$VELMORA_SIGN_PASSWORD_FILE"; fi
if [ -n "${VELMORA_SIGN_TIMESTAMP_URL:-}" ]; then set -- "$@" -ts "$VELMORA_SIGN_TIMESTAMP_URL"; fi
rm -f "$exe.signed"
if ! osslsigncode sign "$@" -in "$exe" -out "$exe.signed" > "$exe.signlog" 2>&1; then
    cat "$exe.signlog" >&2
    rm -f "$exe.signed" "$exe.signlog"
    echo "error: osslsigncode could not sign $exe" >&2
    exit 1
fi
rm -f "$exe.signlog"
mv "$exe.signed" "$exe"
