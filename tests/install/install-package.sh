#!/usr/bin/env bash
# Installs the built package as CI does (apt-get install ./horalet_*.deb, as root), starts the
# installed program, and puts the system back as it was: a package that was not installed
# before is purged afterwards. Exit 77 (skipped) when not root.
# usage: install-package.sh <dir with horalet_*.deb>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=$1
if [ "$(id -u)" -ne 0 ]; then
    echo "not root: the system install is left to CI" >&2
    exit 77
fi
debs=("$dir"/horalet_*.deb)
[ -f "${debs[0]}" ] || { echo "no package in $dir (package_build first)" >&2; exit 1; }
deb=$(realpath "${debs[0]}")

# One system install at a time, whichever build tree runs it.
exec 9>/tmp/horalet-package-install.lock
flock -w 600 9

before=$(dpkg-query -W -f='${Status} ${Version}' horalet 2>/dev/null || true)
version=$(dpkg-deb -f "$deb" Version)
if [[ "$before" == "install ok installed "* && "$before" != *" $version" ]]; then
    echo "another version of horalet is installed ($before): not replacing it" >&2
    exit 77
fi
restore() {
    if [[ "$before" != "install ok installed "* ]]; then
        DEBIAN_FRONTEND=noninteractive dpkg --purge horalet >/dev/null 2>&1 || true
    fi
}
trap restore EXIT

# Everything it depends on is already here in CI, so nothing is downloaded; recommendations
# (xdg-utils, a sound server) are left out for the same reason.
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "$deb" >/tmp/horalet-apt.log 2>&1 ||
    { cat /tmp/horalet-apt.log >&2; echo "apt-get install failed" >&2; exit 1; }
[ "$(dpkg-query -W -f='${Status}' horalet)" = "install ok installed" ] || { echo "not installed" >&2; exit 1; }
# Under the prefix the package was built for (/usr, or /usr/local from a build left at the default).
program=$(dpkg-deb -c "$deb" | awk '{print substr($6, 2)}' | grep -x '.*/bin/horalet')
prefix=${program%/bin/horalet}
[ "$(command -v horalet)" = "$program" ] || { echo "horalet is not on the PATH" >&2; exit 1; }
[ -f "$prefix/share/applications/horalet.desktop" ] || { echo "no menu entry" >&2; exit 1; }

"$here/run-installed.sh" "$program"
