#!/bin/sh
# Installs what is missing, then builds and runs every test: the Linux build,
# the same tests under AddressSanitizer and UndefinedBehaviorSanitizer, and
# the Windows build under Wine.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
status=0
for preset in linux linux-asan windows; do
    echo "==== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" || status=1
done
if [ -x tests/fuzz/run.sh ]; then
    echo "==== fuzz"
    tests/fuzz/run.sh || status=1
fi
exit $status
