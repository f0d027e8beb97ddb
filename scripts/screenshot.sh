#!/usr/bin/env bash
# Starts Horalet on a private Xvfb display with a copy of a store and saves a PNG of its main
# window. usage: screenshot.sh [out.png] [store dir]   (BUILD_DIR selects the build, default build/)
# SHOT=root takes the whole screen instead; SHOT_DELAY is the wait in seconds before the shot.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$top/build/horalet-main.png}")
source_store=${2:-$top/tests/data/main-window}
exe=${HORALET_EXE:-${BUILD_DIR:-$top/build}/src/gui/app/horalet}
[ -x "$exe" ] || { echo "no program at $exe (build first)" >&2; exit 1; }

. "$top/scripts/lib/private_desktop.sh"
private_desktop_start "$source_store"

# A sound server of its own, so the volume row has a device to show.
"$top/tests/fixtures/pulse-start.sh" "$work/pulse" >/dev/null
export PULSE_SERVER=unix:$work/pulse/native

HORALET_STORE_DIR=$work/store XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb "$exe" &
pids+=($!)
win=$(timeout 20 xdotool search --sync --onlyvisible --name "Quenlo" | head -n1)
sleep "${SHOT_DELAY:-1.5}" # let the first paint settle
target=$([ "${SHOT:-window}" = root ] && echo root || echo "$win")
# A window that comes or goes during the shot (a tooltip, the window fitted to its columns on
# a slow machine) fails it with BadWindow: take it again.
for try in 1 2 3; do
    import -window "$target" "$out" && break
    [ "$try" = 3 ] && exit 1
    sleep 1
done
echo "$out"
