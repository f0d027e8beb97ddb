#!/usr/bin/env bash
# Runs a command on a private X display with a real window manager (openbox) whose tray is
# held by trayer (an XEmbed tray host), without a session bus (none autolaunched either), so
# Qt uses the XEmbed tray. Minimising, restoring and focus then behave as on a desktop.
# Usage: with-tray-host.sh command [args...]
set -euo pipefail
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and reports it, so parallel runs never share one. The
# screen is the smallest the program is made for.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")
unset WAYLAND_DISPLAY XAUTHORITY
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/horalet-no-session-bus

# A loaded machine may take a while to bring the display up.
for _ in $(seq 200); do
    xwininfo -root >/dev/null 2>&1 && break
    sleep 0.1
done
# The window manager, with a configuration of its own so no user's file is read; started
# again if it could not reach the display the first time.
mkdir -p "$work/config/openbox"
cp /etc/xdg/openbox/rc.xml "$work/config/openbox/rc.xml"
for _ in 1 2 3; do
    XDG_CONFIG_HOME="$work/config" openbox --sm-disable \
        --config-file "$work/config/openbox/rc.xml" >"$work/openbox.log" 2>&1 &
    wm=$!
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        kill -0 $wm 2>/dev/null || break
        sleep 0.1
    done
    kill -0 $wm 2>/dev/null && break
    sleep 0.5
done
pids+=($wm)
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
    { echo "openbox did not start:" >&2; cat "$work/openbox.log" >&2; exit 1; }

# The tray host: started again if it could not reach the display the first time.
for _ in 1 2 3; do
    trayer --edge top --align right --widthtype pixel --width 160 --heighttype pixel \
        --height 32 --expand false --transparent false 2>"$work/trayer.log" &
    tray=$!
    for _ in $(seq 50); do
        xwininfo -root -tree 2>/dev/null | grep -qi 'trayer\|panel' && break
        kill -0 $tray 2>/dev/null || break
        sleep 0.1
    done
    kill -0 $tray 2>/dev/null && break
    sleep 0.2
done
pids+=($tray)
kill -0 $tray 2>/dev/null || { echo "trayer did not start:" >&2; cat "$work/trayer.log" >&2; }
status=0
QT_QPA_PLATFORM=xcb HORALET_TRAY_HOST=1 "$@" || status=$?
exit $status
