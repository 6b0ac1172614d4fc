#!/bin/sh
# Installs what is missing, then builds and runs every test: the Linux build,
# the same tests under AddressSanitizer and UndefinedBehaviorSanitizer, the
# Windows build under Wine, a consumer's plain build, the release (built three
# times: reproducible and signed), and fuzzing.
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
echo "==== consumer build"
tests/release/test_consumer_build.sh || status=1
echo "==== release"
tests/release/test_release.sh || status=1
if [ -x tests/fuzz/run.sh ]; then
    echo "==== fuzz"
    tests/fuzz/run.sh || status=1
fi
exit $status
