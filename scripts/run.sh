#!/usr/bin/env bash
# Builds and starts Horalet; with no display it runs under Xvfb so the schedule still plays.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
exe=${BUILD_DIR:-$top/build}/src/gui/app/horalet
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$exe" "$@"
fi
exec "$exe" "$@"
