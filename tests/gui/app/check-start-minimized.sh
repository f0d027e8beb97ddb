#!/usr/bin/env bash
# Run by with-tray-host.sh: `horalet --minimized` shows only its tray icon, no window, and
# ends normally on SIGTERM. usage: check-start-minimized.sh <horalet>
set -euo pipefail
exe=$1
work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/store" "$work/config" "$work/data"

XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data HORALET_STORE_DIR=$work/store \
    "$exe" --minimized >"$work/log" 2>&1 &
pid=$!

for _ in $(seq 200); do
    [ -e "$work/store/.horalet.lock" ] && break
    kill -0 "$pid" 2>/dev/null || { echo "the program ended early:" >&2; cat "$work/log" >&2; exit 1; }
    sleep 0.1
done
[ -e "$work/store/.horalet.lock" ] || { echo "the program did not open its store" >&2; exit 1; }

# The tray host embeds our icon: one small visible window of the program's class. A loaded
# machine (a build beside the tests) may take seconds.
icon=
for _ in $(seq 300); do
    icon=$(xdotool search --onlyvisible --class horalet 2>/dev/null | head -n1 || true)
    [ -n "$icon" ] && break
    sleep 0.1
done
[ -n "$icon" ] || { echo "no tray icon appeared" >&2; xwininfo -root -tree >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$icon")"
echo "tray icon window $icon: ${WIDTH}x${HEIGHT}"
[ "$WIDTH" -le 64 ] && [ "$HEIGHT" -le 64 ] || { echo "the visible window is not an icon" >&2; exit 1; }

# The main window stays hidden, also a moment later.
sleep 1
if xdotool search --onlyvisible --name "Quenlo" >/dev/null 2>&1; then
    echo "the main window is shown" >&2
    exit 1
fi

kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || { echo "exit status $status after SIGTERM" >&2; cat "$work/log" >&2; exit 1; }
[ ! -e "$work/store/.horalet.lock" ] || { echo "the store lock was left behind" >&2; exit 1; }
echo "started in the tray, no window, ended cleanly"
