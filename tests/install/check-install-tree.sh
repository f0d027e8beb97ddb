#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the tree: the program, its desktop
# entry, its icons where the hicolor theme looks, the manual, and nothing else.
# usage: check-install-tree.sh <build dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

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
# The action names the helper where the package puts it, which this tree holds at the same
# place below its prefix.
helper=$(sed -n 's/^HORALET_WAKEALARM_PATH:STRING=//p' "$build/CMakeCache.txt")
[[ "$helper" == */libexec/horalet/horalet-wakealarm ]] || fail "helper path $helper"
/usr/bin/python3 "$here/check-polkit-action.py" \
    "$prefix/share/polkit-1/actions/org.horalet.wakealarm.policy" "$helper" || fail "polkit action"

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
