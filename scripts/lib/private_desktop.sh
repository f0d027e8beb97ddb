# Sourced by the scripts that run the real program on a desktop of their own.
# private_desktop_start <store dir>: makes $work (removed on exit, with every process in
# $pids and the sound server under $work/pulse) holding a copy of the store in $work/store and
# a runtime folder in $work/runtime, and starts a private Xvfb, exported as DISPLAY.
# Needs $top, the checkout.

private_desktop_cleanup() {
    [ -d "$work/pulse" ] && "$top/tests/fixtures/pulse-stop.sh" "$work/pulse" >/dev/null 2>&1 || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}

private_desktop_start() {
    work=$(mktemp -d)
    pids=()
    trap private_desktop_cleanup EXIT
    mkdir -p "$work/store" "$work/runtime"
    chmod 700 "$work/runtime"
    cp -r "$1"/. "$work/store/"

    # Xvfb picks a free display itself, so parallel runs never share one.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    pids+=($!)
    for _ in $(seq 100); do
        [ -s "$work/display" ] && xwininfo -display ":$(head -n1 "$work/display")" -root >/dev/null 2>&1 &&
            break
        sleep 0.1
    done
    export DISPLAY=:$(head -n1 "$work/display")
    unset WAYLAND_DISPLAY XAUTHORITY
}
