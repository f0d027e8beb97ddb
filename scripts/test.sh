#!/usr/bin/env bash
# Builds Horalet and runs every test, then the same suite under ASan+UBSan.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

BUILD_DIR=${BUILD_DIR:-$top/build} "$top/scripts/setup.sh"
(cd "${BUILD_DIR:-$top/build}" && ctest --output-on-failure -j2)

if [ "${HORALET_SKIP_SANITIZE:-0}" != 1 ]; then
    asan=${ASAN_BUILD_DIR:-$top/build-asan}
    BUILD_DIR=$asan "$top/scripts/setup.sh" -DHORALET_SANITIZE=ON -DHORALET_BENCH=OFF \
        -DCMAKE_BUILD_TYPE=Debug
    # The end-to-end runs (real program, real time) ran above; here they would only add
    # minutes. Link order is not checked: a program run under libfaketime has it first.
    (cd "$asan" && ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 \
        ctest --output-on-failure -j2 -LE 'no-sanitize|e2e')
fi

# The fuzzers, each for a bounded time (FUZZ_SECONDS, 60 by default) in a clang build of their own.
if [ "${HORALET_SKIP_FUZZ:-0}" != 1 ]; then
    if command -v clang++ >/dev/null; then
        "$top/scripts/fuzz.sh"
    else
        echo "clang++ not found: fuzzers skipped" >&2
    fi
fi
