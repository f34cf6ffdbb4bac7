#!/usr/bin/env bash
# Installs what building, testing and running need on Debian 12, then configures and builds.
# Usage: scripts/setup.sh [run]   ("run" adds what showing the window needs: a CJK font).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake ninja-build pkg-config ca-certificates
          qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
          libcurl4-openssl-dev libcpp-httplib-dev libgtest-dev libgmock-dev)
if [ "${1:-}" = run ]; then
    packages+=(fonts-wqy-microhei xdg-utils)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)"
