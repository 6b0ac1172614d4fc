#!/bin/sh
# A consumer's build: a plain configure (no preset, so no tests and no
# benchmarks) in a clean folder builds the program, and `cmake --install`
# installs it with its documentation.
set -eu
cd "$(dirname "$0")/../.."
build=build/consumer
rm -rf "$build"
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build"
cmake --install "$build" --prefix "$build/installed" >/dev/null
for file in bin/VelmoraAvInfo share/doc/VelmoraAvInfo/README.txt share/doc/VelmoraAvInfo/CHANGELOG.md \
            share/doc/VelmoraAvInfo/LICENSE share/doc/VelmoraAvInfo/SECURITY.md \
            share/doc/VelmoraAvInfo/docs/README.md share/doc/VelmoraAvInfo/docs/schemas/policy.schema.json; do
    [ -f "$build/installed/$file" ] || { echo "FAILED: $file was not installed" >&2; exit 1; }
done
[ ! -e "$build/installed/share/doc/VelmoraAvInfo/docs/development.md" ] ||
    { echo "FAILED: the developers' notes were installed" >&2; exit 1; }
if grep -q -e '^GTest_DIR:' -e '^benchmark_DIR:' -e '^Python3_EXECUTABLE:' "$build/CMakeCache.txt"; then
    echo "FAILED: the plain configure looked for a test dependency" >&2; exit 1
fi
rm -rf "$build"
echo "consumer build: the program and its documentation, without tests or benchmarks"
