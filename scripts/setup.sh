#!/bin/sh
# Installs what a fresh Debian 12 machine lacks to build and test both targets.
set -eu
packages="cmake ninja-build g++ git python3 python3-jsonschema pkg-config util-linux
  nlohmann-json3-dev libspdlog-dev libfmt-dev libgtest-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
  wine64 wine clang libclang-rt-14-dev valgrind strace time osslsigncode openssl"
missing=""
for p in $packages; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q $missing
fi
# The workflow linter of .ci/run, from npm (Debian's npm where the machine has
# no npm of its own).
if ! command -v action-validator >/dev/null 2>&1; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    if ! command -v npm >/dev/null 2>&1; then
        $SUDO apt-get update -q
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q npm
    fi
    $SUDO npm install -g @action-validator/cli@0.6.0
fi
