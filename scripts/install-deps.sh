#!/usr/bin/env bash
# Installs what building, running and testing the editor needs (Debian 12).
# Safe to run again: it only installs what is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache git
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
    libgtest-dev googletest libsndfile1-dev libsamplerate0-dev
    sox stm32flash openssl python3 xvfb xauth desktop-file-utils fonts-dejavu-core
    clang libclang-rt-14-dev
    at-spi2-core python3-pyatspi python3-gi dbus-daemon
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
