#!/usr/bin/env bash
# The program starts under Xvfb with the fixture store and its main window is drawn whole at
# the smallest size. usage: check-screenshot.sh <horalet> <out.png>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
HORALET_EXE=$1 "$here/../../../scripts/screenshot.sh" "$2" >/dev/null
read -r width height < <(identify -format '%w %h\n' "$2")
colours=$(identify -format '%k\n' "$2")
echo "window ${width}x${height}, ${colours} colours"
[ "$width" -ge 900 ] && [ "$height" -ge 765 ] || { echo "window smaller than 900x765" >&2; exit 1; }
# A window that shows its form has text, icons and frames: many colours, not a blank area.
[ "$colours" -gt 100 ] || { echo "window looks blank" >&2; exit 1; }
