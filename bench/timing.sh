#!/bin/sh
# Runs the schedule driver on the real clock and prints its lateness figures.
# Usage: bench/timing.sh [minutes] [build-dir]   (default 10 minutes, build/)
set -eu
minutes=${1:-10}
build=${2:-$(dirname "$0")/../build}
exec "$build/bench/horalet_schedule_timing" "$minutes"
