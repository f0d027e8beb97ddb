#!/usr/bin/env bash
# Installs the system packages that are missing and builds Horalet into $BUILD_DIR.
# Usage: scripts/setup.sh [extra cmake args...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

mapfile -t wanted < <(grep -v '^\s*#' "$top/scripts/packages.txt" | sed '/^\s*$/d')
missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Installed under /usr, as the Debian package is; a later -DCMAKE_INSTALL_PREFIX=… wins.
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
