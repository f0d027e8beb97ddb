#!/bin/sh
# The real program on the real clock for a while, a task each minute playing a short tone
# into a private PulseAudio null sink: counts the starts heard in a recording of the sink
# and prints the program's memory at start and end.
# Usage: bench/soak_real.sh [minutes] [build-dir]   (default 30 minutes, build/)
set -eu
minutes=${1:-30}
here=$(cd "$(dirname "$0")" && pwd)
build=${2:-$here/../build}
work=$(mktemp -d "${TMPDIR:-/tmp}/horalet-soak-XXXXXX")
fixtures=$here/../tests/fixtures

"$fixtures/pulse-start.sh" "$work/pulse" >/dev/null
trap '"$fixtures/pulse-stop.sh" "$work/pulse"' EXIT INT TERM
status=0
PULSE_SERVER="unix:$work/pulse/native" /usr/bin/python3 "$here/soak_real.py" \
    "$build/src/gui/app/horalet" "$minutes" "$work" || status=$?
exit "$status"
