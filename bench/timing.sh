#!/bin/sh
# Runs the schedule driver on the real clock and prints its lateness figures.
# Usage: bench/timing.sh [minutes] [build-dir] [--log]   (default 10 minutes, build/)
# --log writes a play-log row at every pass, to compare with the figures without it.
set -eu
minutes=${1:-10}
build=${2:-$(dirname "$0")/../build}
exec "$build/bench/horalet_schedule_timing" "$minutes" ${3:+"$3"}
