#!/usr/bin/env bash
# Writes tessary-info --audit --html for every shared real cabinet, opens each page in headless
# Chromium (no network: the page must need none), takes a screenshot and checks that it shows
# something: at least 2% of its pixels are not the page's white.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=$build/html-check
rm -rf "$out" && mkdir -p "$out"
count=0
for cabinet in ../shared/corpus/real/*; do
  [ -f "$cabinet" ] || continue
  name=$(basename "$cabinet")
  status=0
  "$build/tools/tessary-info" --audit --html "$out/$name.html" "$cabinet" >/dev/null || status=$?
  if [ "$status" -ne 0 ] && [ "$status" -ne 4 ]; then
    echo "tessary-info --audit --html $name: exit $status"
    exit 1
  fi
  if grep -qi "http" "$out/$name.html"; then
    echo "$name: the report refers to something outside itself"
    exit 1
  fi
  # A profile of its own, no network, no first-run pages: nothing but the file.
  timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run \
    --user-data-dir="$out/profile" --proxy-server="127.0.0.1:9" --window-size=1280,900 \
    --screenshot="$out/$name.png" "file://$PWD/$out/$name.html" >/dev/null 2>&1
  python3 - "$out/$name.png" "$name" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
pos, idat, width, height, kind = 8, b"", 0, 0, 0
while pos < len(data):
    length, tag = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    if tag == b"IHDR":
        width, height, depth, kind = struct.unpack(">IIBB", body[:10])
        assert depth == 8 and kind in (2, 6), "unexpected PNG format"
    elif tag == b"IDAT":
        idat += body
    pos += 12 + length
raw = zlib.decompress(idat)
bpp = 3 if kind == 2 else 4
stride = width * bpp
prev = bytearray(stride)
marked = 0
for y in range(height):
    f = raw[y * (stride + 1)]
    line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for i in range(stride):
        a = line[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        if f == 1: line[i] = (line[i] + a) & 255
        elif f == 2: line[i] = (line[i] + b) & 255
        elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    for x in range(0, stride, bpp):
        if line[x] < 240 or line[x + 1] < 240 or line[x + 2] < 240:
            marked += 1
    prev = line
share = marked / (width * height)
print(f"  {sys.argv[2]}: {width}x{height}, {share:.1%} of the pixels drawn")
sys.exit(0 if share >= 0.02 else 1)
PY
  count=$((count + 1))
done
echo "$count HTML reports shown"
