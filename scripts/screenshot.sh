#!/usr/bin/env bash
# Makes docs/screenshot.png: the viewer with the bundled sample setup open on its Files page,
# under Xvfb.
# Usage: scripts/screenshot.sh [BUILD_DIR]   (default: build; it must hold app/tessary and
# samples/Sample.cab, which scripts/run.sh or a plain build produces).
set -euo pipefail
cd "$(dirname "$0")/.."
# Xvfb comes with the project's packages; the grab needs imagemagick's import, and choosing the
# Files page needs xdotool.
if ! command -v import >/dev/null 2>&1 || ! command -v xdotool >/dev/null 2>&1; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y imagemagick xdotool
fi
build=${1:-build}
viewer="$build/app/tessary"
sample="$build/samples/Sample.cab"
for needed in "$viewer" "$sample"; do
  [ -e "$needed" ] || { echo "missing $needed: build first" >&2; exit 1; }
done
out=docs/screenshot.png
mkdir -p docs

# Runs inside the X server: start the viewer, wait for its window, grab the screen, stop it.
xvfb-run -a -s "-screen 0 760x480x24" bash -c '
  set -eu
  "$1" "$2" &
  viewer=$!
  for _ in $(seq 1 50); do
    xwininfo -root -tree 2>/dev/null | grep -q "Tessary - " && break
    sleep 0.2
  done
  sleep 1
  window=$(xwininfo -root -tree | awk "/\"Tessary - /{print \$1; exit}")
  # The project tree has the focus: one step down selects "Files".
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
  sleep 0.5
  xdotool key Down
  sleep 1
  import -window "$window" "$3"
  kill "$viewer"
  wait "$viewer" 2>/dev/null || true
' screenshot "$viewer" "$sample" "$out"
echo "wrote $out"
