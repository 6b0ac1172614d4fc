#!/bin/sh
# Builds the fuzz targets and runs each for a bounded time (FUZZ_SECONDS,
# default 60) on a copy of its seed corpus; fails on any finding. A finding
# is left in build/fuzz/findings/<area>/: copy it to tests/fuzz/regressions/<area>/
# once mended, so that it is replayed from then on.
set -eu
cd "$(dirname "$0")/../.."
seconds=${FUZZ_SECONDS:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz
status=0
for target in build/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    area=$(basename "$target" | sed 's/^fuzz_//')
    work=build/fuzz/corpus-run/$area
    findings=build/fuzz/findings/$area
    rm -rf "$work" && mkdir -p "$work" "$findings"
    [ -d "tests/fuzz/corpus/$area" ] && cp -r "tests/fuzz/corpus/$area/." "$work/"
    echo "==== fuzz $area for ${seconds}s"
    if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
            -artifact_prefix="$findings/" -print_final_stats=1 "$work" > "build/fuzz/$area.log" 2>&1; then
        echo "FINDING in $area:"; tail -40 "build/fuzz/$area.log"; status=1
    fi
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "build/fuzz/$area.log" || true
done
exit $status
