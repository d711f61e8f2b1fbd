#!/usr/bin/env bash
# Installs what the Windows cross builds and their tests need on Debian 12: mingw-w64 for both
# processors (the posix thread model), GoogleTest's sources, Wine with its 64-bit loader and its
# 32-bit half (which needs the i386 architecture; whether the machine can run it is probed by
# the test command, not assumed), Xvfb for the window test's virtual display, and what makes
# the SQLite the Windows builds compile in from Debian's own source package (dpkg-source and
# Tcl, through scripts/sqlite-windows.sh, which fetches it once and keeps it).
set -euo pipefail
packages=(mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest
  nlohmann-json3-dev wine wine64 wine32:i386 xvfb xauth dpkg-dev tcl)
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
bash "$(dirname "$0")/sqlite-windows.sh"
