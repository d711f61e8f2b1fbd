#!/usr/bin/env bash
# Builds and runs every test: the normal build, the core again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a bounded run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
# Six targets share the run; 40 s each keeps the whole of it well under half an hour on two cores.
fuzz_seconds=${TESSARY_FUZZ_SECONDS:-40}

echo "== Build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs"

echo "== SARIF of every shared real cabinet, validated by the SARIF multitool"
bash scripts/validate-sarif.sh build

echo "== tessary-info on the descriptor bomb and the deep folder, within 1 GiB and 60 s"
# The tool tests write both cabinets to build/hostile-fixtures.
check_hostile() { # expected message, then the tool's arguments
  local expected=$1 status=0
  shift
  (ulimit -v 1048576 && exec timeout 60 build/tools/tessary-info "$@") >/dev/null \
    2>build/hostile-fixtures/last.err || status=$?
  if [ "$status" -ne 3 ] || ! grep -q "$expected" build/hostile-fixtures/last.err; then
    echo "tessary-info $*: exit $status, expected 3 and \"$expected\":"
    head -c 600 build/hostile-fixtures/last.err
    exit 1
  fi
  head -c 300 build/hostile-fixtures/last.err
  echo
}
check_hostile "a descriptor larger than" build/hostile-fixtures/descriptor-bomb.cab
rm -rf build/hostile-fixtures/out
check_hostile "longer than the system allows" --extract-all build/hostile-fixtures/out \
  build/hostile-fixtures/deep-folder.cab

echo "== Debian package: lint, install, run the installed programs"
appstreamcli validate --no-net build/app/*.metainfo.xml
rm -f build/tessary_*.deb
(cd build && cpack -G DEB)
deb=$(echo build/tessary_*_amd64.deb)
lintian --fail-on error "$deb"
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
# --reinstall: a package of the same version from an earlier run would otherwise stay.
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --reinstall "./$deb"
version=$(build/tools/tessary-info --version)
[ "$(/usr/bin/tessary-info --version)" = "$version" ]
cabinet=build/samples/Sample.cab
for c in ../shared/corpus/real/*.[cC][aA][bB]; do
  if [ -f "$c" ]; then cabinet=$c; break; fi
done
json=$(/usr/bin/tessary-info --json "$cabinet")
[[ $json == '{"format":'* ]]
[ "$(QT_QPA_PLATFORM=offscreen /usr/bin/tessary --version)" = "Tessary ${version#tessary-info }" ]
# The hidden --quit-after-open prints the caption and answers whether the setup opened.
caption=$(QT_QPA_PLATFORM=offscreen timeout 60 /usr/bin/tessary --quit-after-open \
  build/samples/Sample.cab)
[ "$caption" = "Tessary - Sample.cab" ]

echo "== Core tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSARY_SANITIZE=ON \
  -DTESSARY_BUILD_APP=OFF -DTESSARY_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== Fuzz targets, ${fuzz_seconds}s each"
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSARY_FUZZ=ON -DTESSARY_BUILD_APP=OFF -DTESSARY_BUILD_BENCH=OFF -DTESSARY_BUILD_TESTS=OFF
cmake --build build-fuzz -j "$jobs"
shopt -s nullglob
for fuzzer in build-fuzz/tests/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  seeds="build-fuzz/seeds/$name"
  mkdir -p "$seeds"
  # Each target writes its seed inputs and exits when TESSARY_WRITE_SEEDS names a folder.
  TESSARY_WRITE_SEEDS="$seeds" "$fuzzer" >/dev/null 2>&1 || true
  echo "-- $name"
  "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=1 "$seeds" 2>&1 | tail -n 12
done
echo "== Windows build: core tests, tessary-info.exe and the tessary.exe window under Wine"
bash scripts/deps-windows.sh
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-win -j "$jobs"
# The Windows tests have no libgcab: the native tests record the cabinets they build for them.
rm -rf build-win/fixtures
TESSARY_RECORD_FIXTURES="$PWD/build-win/fixtures" \
  ctest --test-dir build -R '^(cab|setup|xml|loading|report|signature|programs|provisioning|audit|compare)$' -j "$jobs" --output-on-failure -Q
export WINEPREFIX="$PWD/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The first start creates the prefix; done once here so that no test pays for it.
wineboot -i >/dev/null 2>&1 || true
wineserver -w
# The window's Extract File must write what the Linux build writes.
rm -rf build-win/native-extract
if [ -f ../shared/corpus/real/Basic.WM.CAB ]; then
  build/tools/tessary-info --extract-all build-win/native-extract/Basic.WM.CAB \
    ../shared/corpus/real/Basic.WM.CAB >/dev/null
fi
# tessary.exe's window test needs an X display: a virtual one, for the tests only.
TESSARY_NATIVE_EXTRACT="$PWD/build-win/native-extract" xvfb-run -a -s "-screen 0 1024x768x24" \
  ctest --test-dir build-win --output-on-failure -j "$jobs"
# Wine's processes that knew the virtual display end with it.
wineserver -k || true
wineserver -w
(cd build-win && rm -f tessary-*-win32.zip && cpack -G ZIP)
rm -rf build-win/unzipped && mkdir build-win/unzipped
(cd build-win/unzipped && cmake -E tar xf ../tessary-*-win32.zip)
zipped=$(echo build-win/unzipped/tessary-*-win32)
[ -f "$zipped/README.txt" ]
[ -f "$zipped/COPYRIGHT.txt" ]
[ -f "$zipped/tessary.exe" ]
[ "$(wine "$zipped/tessary-info.exe" --version | tr -d '\r')" = "$(build/tools/tessary-info --version)" ]
# The zipped window, started on a relative path with its hidden --quit-after-open, prints the
# caption and answers whether the setup opened. The wineserver the line above started has no
# display, and a window started beside it would find none either: start afresh inside xvfb-run.
wineserver -k || true
wineserver -w
caption=$(cd build/samples && xvfb-run -a wine "$OLDPWD/$zipped/tessary.exe" --quit-after-open \
  Sample.cab 2>/dev/null | tr -d '\r')
[ "$caption" = "Tessary - Sample.cab" ]
wineserver -k || true
wineserver -w
bash tests/windows/compare-with-wine.sh build/tools/tessary-info build-win/tools/tessary-info.exe \
  build-win/wine-compare "$PWD/../shared/corpus" build-win/fixtures | grep -v '^differs: '
wineserver -k || true
echo "== All tests passed"
