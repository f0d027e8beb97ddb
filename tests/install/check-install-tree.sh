#!/usr/bin/env bash
# Installs the build under its own prefix into a temporary root (DESTDIR) and checks the
# tree: the program, its desktop entry, its icons where the hicolor theme looks, the manual,
# the wake-alarm helper where the program and its polkit action name it, and nothing else.
# usage: check-install-tree.sh <build dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

configured=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
DESTDIR=$root cmake --install "$build" >/dev/null
prefix=$root$configured

fail() { echo "$*" >&2; exit 1; }
expected=(
    bin/horalet
    share/applications/horalet.desktop
    share/icons/hicolor/scalable/apps/horalet.svg
    share/horalet/help/index.html
    share/horalet/help/manual.css
    libexec/horalet/horalet-wakealarm
    share/polkit-1/actions/org.horalet.wakealarm.policy
)
sizes=(16 22 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/horalet.png")
done
for file in "${expected[@]}"; do
    [ -f "$prefix/$file" ] || fail "missing: $file"
done
[ -x "$prefix/bin/horalet" ] || fail "bin/horalet is not executable"
[ -x "$prefix/libexec/horalet/horalet-wakealarm" ] || fail "the wake-alarm helper is not executable"
# The program and the polkit action both name the helper where the install put it.
helper=$configured/libexec/horalet/horalet-wakealarm
/usr/bin/python3 "$here/check-polkit-action.py" \
    "$prefix/share/polkit-1/actions/org.horalet.wakealarm.policy" "$helper" || fail "polkit action"
/usr/bin/python3 - "$prefix/bin/horalet" "$helper" <<'EOF' || fail "the program does not run $helper"
import sys
program = open(sys.argv[1], "rb").read()
sys.exit(0 if sys.argv[2].encode("utf-16-le") in program else 1)
EOF

# Nothing of the tests or benchmarks, nor anything unlisted.
extra=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort |
    grep -vxF -f <(printf '%s\n' "${expected[@]}") || true)
[ -z "$extra" ] || fail "unexpected files installed:"$'\n'"$extra"

desktop-file-validate "$prefix/share/applications/horalet.desktop" || fail "desktop entry invalid"
grep -qx 'Categories=AudioVideo;Audio;Player;' "$prefix/share/applications/horalet.desktop" ||
    fail "categories"
grep -qx 'Name\[zh_CN\]=Quenlo多媒体定时播放系统' "$prefix/share/applications/horalet.desktop" ||
    fail "Chinese name"
grep -q '^Comment\[zh_CN\]=' "$prefix/share/applications/horalet.desktop" || fail "Chinese comment"
grep -q '^Comment=' "$prefix/share/applications/horalet.desktop" || fail "English comment"
grep -qx 'Icon=horalet' "$prefix/share/applications/horalet.desktop" || fail "icon name"

# Each PNG has the size of the folder it is in.
for size in "${sizes[@]}"; do
    got=$(/usr/bin/identify -format '%wx%h' "$prefix/share/icons/hicolor/${size}x${size}/apps/horalet.png")
    [ "$got" = "${size}x${size}" ] || fail "icon ${size}x${size} is $got"
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/horalet.svg" || fail "svg icon"

"$here/run-installed.sh" "$prefix/bin/horalet"
echo "install tree complete"
