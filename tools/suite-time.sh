#!/bin/sh
# Measures how long every suite of the given targets (preset names) takes
# after a build: the wall time of `ctest --preset PRESET` for each, one
# target after the other, and their sum. It only measures: the build trees
# must be built (make test), and a failing suite stops it. The machine's
# load average is printed before and after, since a busy machine slows
# every figure.
set -eu
cd "$(dirname "$0")/.."

now() { date +%s.%N; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

echo "load average before: $(load)"
total=0
for preset in "$@"; do
    if [ ! -f "build/$preset/CTestTestfile.cmake" ]; then
        echo "build/$preset is not built: run make test-$preset first" >&2
        exit 1
    fi
    start=$(now)
    if ! ctest --preset "$preset" >"build/$preset/suite-time.log" 2>&1; then
        cat "build/$preset/suite-time.log" >&2
        exit 1
    fi
    seconds=$(awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }')
    total=$(awk -v a="$total" -v b="$seconds" 'BEGIN { printf "%.1f", a + b }')
    printf '%-14s %6s s\n' "$preset" "$seconds"
done
printf '%-14s %6s s\n' "all" "$total"
echo "load average after: $(load)"
