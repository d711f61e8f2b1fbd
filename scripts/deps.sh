#!/usr/bin/env bash
# Installs everything the build, the tests and the viewer need on a fresh Debian 12 machine.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libmspack-dev libgcab-dev gcab libarchive-dev libmsi-dev wixl
  qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  clang-14 libclang-rt-14-dev cabextract xvfb xauth bc
  libssl-dev osslsigncode
  # Collections of setups are indexed into SQLite (with FTS5, which Debian builds in).
  libsqlite3-dev
  # The test command validates --sbom documents with the CycloneDX schema through npm packages.
  nodejs
  # The window asks for Arial 8 pt; Liberation Sans has its metrics, so the columns fit.
  fonts-liberation)
# The package checks: lintian, and appstreamcli for the desktop metadata.
packages+=(lintian appstream)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
# Debian's npm, unless a nodejs that brings its own is installed.
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi

# The CycloneDX schemas and a JSON Schema validator, at the versions of the lock file, into
# build/node-tools: installed here, never fetched while the tests run.
cd "$(dirname "$0")/.."
if ! cmp -s scripts/node-tools/package-lock.json build/node-tools/package-lock.json 2>/dev/null ||
  [ ! -d build/node-tools/node_modules ]; then
  mkdir -p build/node-tools
  cp scripts/node-tools/package.json scripts/node-tools/package-lock.json build/node-tools/
  (cd build/node-tools && npm ci --no-audit --no-fund --ignore-scripts)
fi
