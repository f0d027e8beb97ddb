#!/bin/sh
# Runs a command on a private Xvfb display. Xvfb picks a free display number itself
# (-displayfd), so parallel tests never race for one as "xvfb-run -a" can.
set -eu
dir=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$dir"' EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" 2>"$dir/log" &
xvfb=$!
i=0
while [ ! -s "$dir/display" ]; do
    i=$((i + 1))
    if [ "$i" -gt 100 ] || ! kill -0 "$xvfb" 2>/dev/null; then
        cat "$dir/log" >&2
        exit 1
    fi
    sleep 0.05
done
DISPLAY=:$(cat "$dir/display")
export DISPLAY
"$@"
