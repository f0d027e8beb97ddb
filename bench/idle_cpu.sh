#!/usr/bin/env bash
# Idle cost of the running program: CPU time from /proc/<pid>/stat over a span while the
# window is shown (clock and status line running), then the same span minimised (with a tray
# host the window hides to the tray), on a private Xvfb with openbox as window manager.
# usage: bench/idle_cpu.sh [seconds] [store dir]   (default 60 s, tests/data/look-window;
# BUILD_DIR or HORALET_EXE select the program; TRAY=0 leaves the tray host out)
# Under Xvfb, OpenGL is Mesa's software renderer: while the player's GL surface is part of the
# form, every repaint of the form composes the whole window with it. Run once more with
# QT_XCB_GL_INTEGRATION=none (the player then shows a plain black pane) to see the cost
# without that compose.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
span=${1:-60}
source_store=${2:-$top/tests/data/look-window}
exe=${HORALET_EXE:-${BUILD_DIR:-$top/build}/src/gui/app/horalet}
[ -x "$exe" ] || { echo "no program at $exe (build first)" >&2; exit 1; }

. "$top/scripts/lib/private_desktop.sh"
private_desktop_start "$source_store"
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/horalet-no-session-bus
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
if [ "${TRAY:-1}" != 0 ]; then
    sleep 0.5
    trayer --edge top --align right --widthtype pixel --width 160 --heighttype pixel \
        --height 32 --expand false --transparent false 2>"$work/trayer.log" &
    pids+=($!)
fi
sleep 1
"$top/tests/fixtures/pulse-start.sh" "$work/pulse" >/dev/null
export PULSE_SERVER=unix:$work/pulse/native

HORALET_STORE_DIR=$work/store XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb "$exe" \
    >"$work/horalet.log" 2>&1 &
pid=$!
pids+=($pid)
win=$(timeout 20 xdotool search --sync --onlyvisible --name "Quenlo" | head -n1)
sleep 3 # start-up work is not idle cost

ticks_per_second=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
measure() { # label
    local before after
    before=$(cpu_ticks)
    sleep "$span"
    after=$(cpu_ticks)
    awk -v t=$((after - before)) -v hz="$ticks_per_second" -v s="$span" -v what="$1" \
        'BEGIN { printf "%-34s %6.3f%% of one core (%d ticks in %d s)\n", what, 100 * t / hz / s, t, s }'
}

measure "shown (clock, 50 Hz status line)"
xdotool windowminimize "$win"
sleep 2
state=minimised
xwininfo -id "$win" | grep -q "IsViewable" || state="minimised, hidden to the tray"
xdotool search --onlyvisible --name "Quenlo" >/dev/null 2>&1 || state="minimised, hidden to the tray"
measure "$state"
