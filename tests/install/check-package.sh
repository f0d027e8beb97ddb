#!/usr/bin/env bash
# Builds the Debian package with CPack and checks its control fields and contents.
# usage: check-package.sh <build dir> <out dir>   (leaves horalet_*.deb in <out dir>)
set -euo pipefail
build=$1
out=$2
rm -rf "$out"
mkdir -p "$out"
fail() { echo "$*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; fail "cpack failed"; }
rm -rf "$out/_CPack_Packages"
debs=("$out"/horalet_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one horalet_*.deb in $out"
deb=${debs[0]}
echo "$(basename "$deb"): $(du -h "$deb" | cut -f1)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$(dpkg-deb -f "$deb" Package)" = horalet ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version) is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for wanted in 'fonts-noto-cjk | fonts-wqy-zenhei' timgm6mb-soundfont qt6-translations-l10n \
    qt6-qpa-plugins libqt6widgets6 libmpv2 libpulse0 libc6; do
    [[ "$depends" == *"$wanted"* ]] || fail "Depends lacks $wanted"
done

# The campus head-end needs a Snapcast server; rooms need nothing of ours.
[[ "$(dpkg-deb -f "$deb" Suggests)" == *snapserver* ]] || fail "Suggests lacks snapserver"
# Everything under the prefix the build was configured with, where the program looks.
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in bin/horalet share/applications/horalet.desktop share/icons/hicolor/scalable/apps/horalet.svg \
    share/icons/hicolor/48x48/apps/horalet.png share/horalet/help/index.html \
    libexec/horalet/horalet-wakealarm share/polkit-1/actions/org.horalet.wakealarm.policy; do
    grep -qxF ".$prefix/$file" <<<"$contents" || fail "package lacks .$prefix/$file"
done
dpkg-deb --fsys-tarfile "$deb" | tar -xO ".$prefix/share/polkit-1/actions/org.horalet.wakealarm.policy" \
    >"$out/wakealarm.policy" || fail "cannot read the polkit action"
/usr/bin/python3 "$(dirname "$0")/check-polkit-action.py" "$out/wakealarm.policy" \
    "$prefix/libexec/horalet/horalet-wakealarm" || fail "polkit action of the package"
! grep -qE 'test_|bench_' <<<"$contents" || fail "package holds tests or benchmarks"
echo "package fields and contents as expected"
