#!/usr/bin/env bash
# Starts Horalet under a private Xvfb with a copy of a store and saves a PNG of its main window.
# usage: screenshot.sh [out.png] [store dir]   (BUILD_DIR selects the build, default build/)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$top/build/horalet-main.png}")
source_store=${2:-$top/tests/data/main-window}
exe=${HORALET_EXE:-${BUILD_DIR:-$top/build}/src/app/horalet}
[ -x "$exe" ] || { echo "no program at $exe (build first)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/store" "$work/runtime"
chmod 700 "$work/runtime"
cp -r "$source_store"/. "$work/store/"

cat >"$work/shoot.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
"$HORALET_EXE" & pid=$!
trap 'kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true' EXIT
win=$(timeout 20 xdotool search --sync --onlyvisible --name "Quenlo" | head -n1)
sleep 1.5   # let the first paint settle
import -window "$win" "$SHOT_OUT"
INNER
chmod +x "$work/shoot.sh"

HORALET_EXE=$exe SHOT_OUT=$out HORALET_STORE_DIR=$work/store XDG_RUNTIME_DIR=$work/runtime \
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$work/shoot.sh"
echo "$out"
