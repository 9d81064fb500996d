#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12), then configures and
# builds into build/. Extra arguments go to the cmake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."

# The file-system tests mount FAT and NTFS images of their own (FUSE). The
# Windows build installs its own tools (scripts/windows.sh).
packages=(cmake g++ make qtbase5-dev qtbase5-dev-tools libqt5xml5 clang-format coreutils
          fuse3 fusefat ntfs-3g dosfstools)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build build -j"$(nproc)"
