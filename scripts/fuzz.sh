#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (their own build directory) and runs them side by side,
# each for a bounded time over a copy of its seed corpus. A failure leaves the input in $FUZZ_OUT:
# fix the fault, then keep the input under tests/data/fuzz/<target>/ so ctest replays it.
#   FUZZ_SECONDS  time per target (60)    FUZZ_BUILD_DIR  build directory (build-fuzz)
#   FUZZ_TARGETS  targets to run          FUZZ_OUT        findings and corpora (build-fuzz/out)
#   FUZZ_BUILD_ONLY=1  build the targets and stop
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD_DIR:-$top/build-fuzz}
out=${FUZZ_OUT:-$build/out}
targets=${FUZZ_TARGETS:-"profile_file code_page task_store snapcast"}

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DHORALET_FUZZ=ON \
    -DHORALET_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build "$build" -j2 --target $(printf 'fuzz_%s ' $targets)
[ "${FUZZ_BUILD_ONLY:-0}" = 1 ] && exit 0

# The targets run side by side, each for its time on the wall clock.
run_target() {
    local target=$1 corpus=$out/$1/corpus log=$out/$1/log.txt
    mkdir -p "$corpus" "$out/$target/findings"
    cp -n "$top/tests/data/fuzz/$target"/* "$corpus"/ 2>/dev/null || true
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 "$build/tests/fuzz/fuzz_$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$out/$target/findings/" "$corpus" >"$log" 2>&1
}
echo "== fuzz_${targets// /, fuzz_} for ${seconds}s"
declare -A runs
for target in $targets; do
    run_target "$target" &
    runs[$target]=$!
done
status=0
for target in $targets; do
    log=$out/$target/log.txt
    if wait "${runs[$target]}"; then
        grep -E '^stat::number_of_executed_units' "$log" | sed "s/^/fuzz_$target: /"
    else
        status=1
        echo "fuzz_$target FAILED; see $log and $out/$target/findings/" >&2
        tail -n 30 "$log" >&2
    fi
done
exit $status
