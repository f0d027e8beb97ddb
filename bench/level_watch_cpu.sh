#!/usr/bin/env bash
# What listening to the output costs, on a private PulseAudio with a null sink (a tone from
# module-sine stands in for a playing task): CPU of the listening process and of the server.
# usage: bench/level_watch_cpu.sh [seconds per span]   (default 20; BUILD_DIR selects the build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
exe=${BUILD_DIR:-$top/build}/bench/horalet_level_watch_cpu
[ -x "$exe" ] || { echo "no program at $exe (build horalet_level_watch_cpu first)" >&2; exit 1; }
work=$(mktemp -d)
trap '"$top/tests/fixtures/pulse-stop.sh" "$work/pulse" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
"$top/tests/fixtures/pulse-start.sh" "$work/pulse" >/dev/null
export PULSE_SERVER=unix:$work/pulse/native
"$exe" "${1:-20}" "$(cat "$work/pulse/run/pid")"
