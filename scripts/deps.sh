#!/usr/bin/env bash
# Installs everything the build, the tests and the viewer need on a fresh Debian 12 machine.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libmspack-dev libgcab-dev gcab libarchive-dev libmsi-dev wixl msitools
  qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  clang-14 libclang-rt-14-dev cabextract xvfb xauth bc
  libssl-dev osslsigncode
  # Collections of setups are indexed into SQLite (with FTS5, which Debian builds in).
  libsqlite3-dev
  # Inno Setup installers are unpacked with it, when it is installed, to reach their cabinets.
  innoextract
  # The window asks for Arial 8 pt; Liberation Sans has its metrics, so the columns fit.
  fonts-liberation)
# The format check of the sources.
packages+=(clang-format-14)
# The package checks: lintian, and appstreamcli for the desktop metadata.
packages+=(lintian appstream)
# The audit's reports: SARIF is validated with the SARIF multitool (from npm, below), the HTML
# report is opened and photographed in headless Chromium. The test command also validates the
# --sbom documents with the CycloneDX schema through npm packages.
packages+=(nodejs chromium)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
# Debian's npm, unless a nodejs that brings its own is installed (NodeSource's conflicts with it).
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi

# The SARIF multitool, pinned, in a folder of the build; the tests never download it.
sarif_dir=build/node-tools
sarif_version=5.7.0
sarif_tool=$sarif_dir/node_modules/@microsoft/sarif-multitool-linux/Sarif.Multitool
if [ ! -x "$sarif_tool" ] || ! grep -q "\"version\": \"$sarif_version\"" \
    "$sarif_dir/node_modules/@microsoft/sarif-multitool-linux/package.json" 2>/dev/null; then
  mkdir -p "$sarif_dir"
  npm install --no-save --no-audit --no-fund --prefix "$sarif_dir" \
    "@microsoft/sarif-multitool-linux@$sarif_version"
  # npm may skip the package's install script, which only marks the program executable.
  chmod u+x "$sarif_tool"
fi

# The CycloneDX schemas and a JSON Schema validator, at the versions of the lock file, into
# build/node-tools/cyclonedx: installed here, never fetched while the tests run.
cd "$(dirname "$0")/.."
cyclonedx_dir=build/node-tools/cyclonedx
if ! cmp -s scripts/node-tools/package-lock.json "$cyclonedx_dir/package-lock.json" 2>/dev/null ||
  [ ! -d "$cyclonedx_dir/node_modules" ]; then
  mkdir -p "$cyclonedx_dir"
  cp scripts/node-tools/package.json scripts/node-tools/package-lock.json "$cyclonedx_dir/"
  (cd "$cyclonedx_dir" && npm ci --no-audit --no-fund --ignore-scripts)
fi
