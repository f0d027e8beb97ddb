#!/usr/bin/env bash
# Starts an installed horalet offscreen with a temporary store, checks that it runs and opens
# its store, then ends it with SIGTERM and expects a normal exit. usage: run-installed.sh <horalet>
set -euo pipefail
exe=$1
work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/store" "$work/config" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"

version=$("$exe" --version)
echo "$version"
[[ "$version" == "Horalet "* ]] || { echo "unexpected --version output" >&2; exit 1; }

env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" \
    XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
    "$exe" --store "$work/store" >"$work/log" 2>&1 &
pid=$!
for _ in $(seq 200); do
    [ -e "$work/store/.horalet.lock" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
sleep 1 # the initial update and the first passes of the schedule
if ! kill -0 "$pid" 2>/dev/null; then
    echo "the installed program ended by itself:" >&2
    cat "$work/log" >&2
    exit 1
fi
[ -e "$work/store/.horalet.lock" ] || { echo "the store was not opened" >&2; exit 1; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
if [ "$status" -ne 0 ]; then
    echo "exit status $status after SIGTERM:" >&2
    cat "$work/log" >&2
    exit 1
fi
echo "installed program started and ended cleanly"
