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
    (cd "$asan" && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j2 -LE no-sanitize)
fi
