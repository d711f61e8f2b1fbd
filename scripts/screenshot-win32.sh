#!/usr/bin/env bash
# Makes docs/screenshot-win32.png: tessary.exe under Wine on a virtual X display, with a real
# cabinet open on its Files page, in Wine's own desktop window so that the frame is drawn.
# Usage: scripts/screenshot-win32.sh [BUILD_DIR] [CABINET]   (default: build-win64 and the
# corpus's Basic.WM.CAB; BUILD_DIR must hold win/tessary.exe from a cross build).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps-windows.sh
# The grab needs imagemagick's import, the key press xdotool, Wine's frame its own fonts.
missing=()
command -v import >/dev/null 2>&1 || missing+=(imagemagick)
command -v xdotool >/dev/null 2>&1 || missing+=(xdotool)
dpkg -s fonts-wine >/dev/null 2>&1 || missing+=(fonts-wine)
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
build=${1:-build-win64}
# Debian's /usr/bin/wine starts the 32-bit loader whenever it is installed, which not every
# kernel runs; a 64-bit build names the 64-bit one.
wine=wine
if grep -q 'mingw-w64-x86_64' "$build/CMakeCache.txt" 2>/dev/null &&
  [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
fi
cabinet=${2:-../shared/corpus/real/Basic.WM.CAB}
viewer="$build/win/tessary.exe"
for needed in "$viewer" "$cabinet"; do
  [ -e "$needed" ] || { echo "missing $needed" >&2; exit 1; }
done
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
out=docs/screenshot-win32.png
mkdir -p docs
windows_path() { printf 'Z:%s' "$(realpath "$1" | sed 's|/|\\|g')"; }

xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  set -eu
  "$4" explorer /desktop=Tessary,560x400 "$1" "$2" >/dev/null 2>&1 &
  for _ in $(seq 1 100); do
    xwininfo -root -tree 2>/dev/null | grep -q "\"Tessary - " && break
    sleep 0.2
  done
  sleep 2
  # The project tree has the focus: one step down selects "Files".
  xdotool key Down
  sleep 1
  import -window root -crop 560x400+0+0 +repage "$3"
  wineserver -k
' screenshot "$(windows_path "$viewer")" "$(windows_path "$cabinet")" "$out" "$wine"
echo "wrote $out"
