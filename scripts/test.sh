#!/usr/bin/env bash
# Builds Horalet and runs every test, then the same suite under ASan+UBSan, then the fuzzers.
# The release tests spend most of their time waiting on the real clock, so the next build
# runs beside them at the lowest priority: the tests keep the processor whenever they want it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
asan=${ASAN_BUILD_DIR:-$top/build-asan}
sanitize=$([ "${HORALET_SKIP_SANITIZE:-0}" = 1 ] && echo 0 || echo 1)
fuzz=$([ "${HORALET_SKIP_FUZZ:-0}" = 1 ] && echo 0 || echo 1)
if [ $fuzz = 1 ] && ! command -v clang++ >/dev/null; then
    echo "clang++ not found: fuzzers skipped" >&2
    fuzz=0
fi

# Without debug information: it is a third of the compile and link time, and a failing test
# tells what failed by its own output.
BUILD_DIR=$build "$top/scripts/setup.sh" -DCMAKE_BUILD_TYPE=Release

status=0
if [ $sanitize = 1 ]; then
    # Only what the sanitizer run needs: no benchmarks; the package is built by the tests above.
    mkdir -p "$asan"
    nice -n 19 env BUILD_DIR=$asan "$top/scripts/setup.sh" -DHORALET_SANITIZE=ON \
        -DHORALET_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >"$asan/build.log" 2>&1 &
    asan_build=$!
fi
# Four at a time: most of them wait on the real clock, not on the processor.
(cd "$build" && ctest --output-on-failure -j4) || status=1

if [ $sanitize = 1 ]; then
    if ! wait $asan_build; then
        cat "$asan/build.log" >&2
        exit 1
    fi
    if [ $fuzz = 1 ]; then
        FUZZ_BUILD_ONLY=1 nice -n 19 "$top/scripts/fuzz.sh" >"$asan/fuzz-build.log" 2>&1 &
        fuzz_build=$!
    fi
    # The end-to-end runs (real program, real time) ran above; here they would only add
    # minutes. Link order is not checked: a program run under libfaketime has it first.
    (cd "$asan" && ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 \
        ctest --output-on-failure -j2 -LE 'no-sanitize|e2e') || status=1
    if [ $fuzz = 1 ] && ! wait $fuzz_build; then
        cat "$asan/fuzz-build.log" >&2
        exit 1
    fi
fi

# The fuzzers, each for a bounded time (FUZZ_SECONDS, 60 by default) in a clang build of their own.
if [ $fuzz = 1 ]; then
    "$top/scripts/fuzz.sh" || status=1
fi
exit $status
