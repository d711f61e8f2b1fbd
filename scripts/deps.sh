#!/usr/bin/env bash
# Installs everything the build, the tests and the viewer need on a fresh Debian 12 machine.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libmspack-dev libgcab-dev gcab libarchive-dev libmsi-dev wixl
  qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  clang-14 libclang-rt-14-dev cabextract xvfb xauth bc
  libssl-dev osslsigncode
  # Collections of setups are indexed into SQLite (with FTS5, which Debian builds in).
  libsqlite3-dev
  # The window asks for Arial 8 pt; Liberation Sans has its metrics, so the columns fit.
  fonts-liberation)
# The package checks: lintian, and appstreamcli for the desktop metadata.
packages+=(lintian appstream)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
