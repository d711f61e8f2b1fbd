#!/usr/bin/env bash
# Installs what the Windows cross build and its tests need on Debian 12: mingw-w64 (the posix
# thread model), GoogleTest's sources, Wine with its 32-bit half, which needs the i386
# architecture, and Xvfb for the window test's virtual display.
set -euo pipefail
packages=(mingw-w64 g++-mingw-w64-i686-posix googletest nlohmann-json3-dev wine wine32:i386 xvfb xauth)
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
