#!/usr/bin/env bash
# Builds and runs every test: the normal build, the core again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a bounded run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
# Nine targets share the run, as many at once as there are cores.
fuzz_seconds=${TESSARY_FUZZ_SECONDS:-20}
# A machine with ccache rebuilds only what changed; a fresh one builds everything.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# Each stage's heading says how long the run has taken so far: where a slow run spends its time.
elapsed() { echo "$((SECONDS / 60))m$((SECONDS % 60))s"; }
stage() { echo "== $* [$(elapsed)]"; }

stage "Format"
# Every C++ source as .clang-format lays it out; clang-format -i FILE mends one.
format=$(command -v clang-format || command -v clang-format-14)
git ls-files -z '*.cpp' '*.h' | xargs -0 "$format" --dry-run -Werror
# No function of the programs runs past about a screenful.
bash scripts/function-length.sh 80 cab xml setup report provisioning programs signature audit \
  device compare inspection collection package tools app win

stage "The version, written once"
# project() holds it; the programs, the manifest, the metainfo and the tests read it generated.
version=$(sed -n 's/^project(Tessary VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
if git grep -n -F "$version" -- . ':!CMakeLists.txt' ':!*.md'; then
  echo "the version $version is written by hand above; read kTessaryVersion or @PROJECT_VERSION@"
  exit 1
fi

stage "Build and test"
# Line tables are all a failing test's backtrace needs; full debug information costs a third of
# the compile time.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" "${launcher[@]}"
cmake --build build -j "$jobs"
echo "-- [$(elapsed)] built; the tests"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs"

stage "SARIF of every shared real cabinet, validated by the SARIF multitool"
bash scripts/validate-sarif.sh build

stage "The HTML report of every shared real cabinet, shown in headless Chromium"
bash scripts/html-screenshots.sh build

stage "tessary-info on the descriptor bomb and the deep folder, within 1 GiB and 60 s"
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

stage "CycloneDX inventories of the shared real cabinets and of their index, against the CycloneDX 1.5 schema"
bash scripts/validate-sbom.sh build

stage "Debian package: lint, install, run the installed programs"
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
# libarchive is loaded when a zip is first opened, not linked: the package must depend on it.
packaged=$(mktemp -d)
(cd ../shared/corpus/packages/Ushahidi &&
  cmake -E tar cf "$packaged/Ushahidi.zip" --format=zip Ushahidi.ini Ushahidi.CAB)
/usr/bin/tessary-info --json "$packaged/Ushahidi.zip" |
  grep -q '"container":{"kind":"zip","path":"Ushahidi.CAB"'
rm -rf "$packaged"
[ "$(QT_QPA_PLATFORM=offscreen /usr/bin/tessary --version)" = "Tessary ${version#tessary-info }" ]
# The hidden --quit-after-open prints the caption and answers whether the setup opened.
caption=$(QT_QPA_PLATFORM=offscreen timeout 60 /usr/bin/tessary --quit-after-open \
  build/samples/Sample.cab)
[ "$caption" = "Tessary - Sample.cab" ]

stage "Core tests under AddressSanitizer and UndefinedBehaviorSanitizer, then the fuzz targets"
# One Clang build serves both: the sanitized core with its tests, and the libFuzzer targets.
# Line tables are all a sanitizer's report needs; full debug information only costs time. -O1,
# as the sanitizers' own documents advise, compiles a fifth faster than -O2.
sanitized_flags=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG"
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG")
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "${sanitized_flags[@]}" -DTESSARY_FUZZ=ON -DTESSARY_BUILD_APP=OFF -DTESSARY_BUILD_BENCH=OFF \
  "${launcher[@]}"
cmake --build build-fuzz -j "$jobs"
echo "-- [$(elapsed)] built; the tests"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-fuzz --output-on-failure -j "$jobs"

stage "The cabinet layer's diagnostics, the inspection's background jobs, the package writer and the audit's image reader under ThreadSanitizer"
CC=clang-14 CXX=clang++-14 cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "${sanitized_flags[@]}" -DCMAKE_C_FLAGS=-fsanitize=thread -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DTESSARY_BUILD_APP=OFF -DTESSARY_BUILD_BENCH=OFF \
  "${launcher[@]}"
cmake --build build-tsan -j "$jobs" --target test_cab test_inspection test_package test_programs
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/test_cab --gtest_filter='Diagnostics*'
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/test_inspection
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/test_package \
  --gtest_filter='FileWriter*:Package.CabinetInACabinet*:Package.Msi*'
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/test_programs --gtest_filter='EntryImageReader*'

stage "Fuzz targets, ${fuzz_seconds}s each, ${jobs} at a time"
# Each target runs on one core: as many at once as there are cores. Each one's report is kept in
# its own file and shown in order once all have ended; a target that fails shows more of it.
export fuzz_seconds
rm -f build-fuzz/fuzz_*.log build-fuzz/fuzz_*.status
printf '%s\0' build-fuzz/tests/fuzz_* | xargs -0 -r -P "$jobs" -n 1 bash -c '
  fuzzer=$1 name=$(basename "$1")
  [ -x "$fuzzer" ] || exit 0
  seeds="build-fuzz/seeds/$name"
  mkdir -p "$seeds"
  # Each target writes its seed inputs and exits when TESSARY_WRITE_SEEDS names a folder.
  TESSARY_WRITE_SEEDS="$seeds" "$fuzzer" >/dev/null 2>&1 || true
  status=0
  "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=1 "$seeds" \
    >"build-fuzz/$name.log" 2>&1 || status=$?
  echo "$status" >"build-fuzz/$name.status"' _
fuzz_failed=0
for fuzzer in build-fuzz/tests/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  echo "-- $name"
  if [ "$(cat "build-fuzz/$name.status" 2>/dev/null)" = 0 ]; then
    tail -n 12 "build-fuzz/$name.log"
  else
    tail -n 80 "build-fuzz/$name.log" 2>/dev/null || echo "$name did not run"
    fuzz_failed=1
  fi
done
[ "$fuzz_failed" -eq 0 ]
stage "Windows builds: core tests, tessary-info.exe and the tessary.exe window under Wine"
bash scripts/deps-windows.sh
# Both processors are built every run, as they are shipped (Release); the 64-bit build is tested
# under wine64 everywhere, the 32-bit one wherever the machine can run 32-bit programs (some
# kernels cannot at all): elsewhere only its two programs are built, to be zipped.
for arch in x86_64 i686; do
  dir=build-win64; [ "$arch" = i686 ] && dir=build-win
  cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DTESSARY_FIXTURE_DIR="$PWD/build-fixtures-win" \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}"
done
cmake --build build-win64 -j "$jobs"
cmake --build build-win -j "$jobs" --target tessary-info tessary
echo "-- [$(elapsed)] build-win64 built, and build-win's programs"
# The Windows tests have no libgcab: the native tests record the cabinets they build for them.
rm -rf build-fixtures-win
TESSARY_RECORD_FIXTURES="$PWD/build-fixtures-win" \
  ctest --test-dir build -R '^(cab|setup|xml|loading|report|signature|programs|provisioning|audit|compare|inspection|collection)$' -j "$jobs" --output-on-failure -Q
# The window's Extract File must write what the Linux build writes.
rm -rf build-fixtures-win/native-extract
if [ -f ../shared/corpus/real/Basic.WM.CAB ]; then
  build/tools/tessary-info --extract-all build-fixtures-win/native-extract/Basic.WM.CAB \
    ../shared/corpus/real/Basic.WM.CAB >/dev/null
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

test_windows_build() { # build folder, Wine loader, zip suffix
  local dir=$1 wine=$2 suffix=$3
  export WINEPREFIX="$PWD/$dir/wineprefix"
  # The first start creates the prefix; done once here so that no test pays for it.
  "$wine" wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  # tessary.exe's window test needs an X display: a virtual one, for the tests only.
  TESSARY_NATIVE_EXTRACT="$PWD/build-fixtures-win/native-extract" \
    xvfb-run -a -s "-screen 0 1024x768x24" ctest --test-dir "$dir" --output-on-failure -j "$jobs"
  # Wine's processes that knew the virtual display end with it.
  wineserver -k || true
  wineserver -w
  (cd "$dir" && rm -f tessary-*-"$suffix".zip && cpack -G ZIP)
  rm -rf "$dir/unzipped" && mkdir "$dir/unzipped"
  (cd "$dir/unzipped" && cmake -E tar xf ../tessary-*-"$suffix".zip)
  local zipped
  zipped=$(echo "$dir"/unzipped/tessary-*-"$suffix")
  [ -f "$zipped/README.txt" ]
  [ -f "$zipped/COPYRIGHT.txt" ]
  [ -f "$zipped/tessary.exe" ]
  [ "$("$wine" "$zipped/tessary-info.exe" --version | tr -d '\r')" = "$(build/tools/tessary-info --version)" ]
  # The zipped window, started on a relative path with its hidden --quit-after-open, prints the
  # caption and answers whether the setup opened. The wineserver the line above started has no
  # display, and a window started beside it would find none either: start afresh inside xvfb-run.
  wineserver -k || true
  wineserver -w
  local caption
  caption=$(cd build/samples && xvfb-run -a "$wine" "$OLDPWD/$zipped/tessary.exe" \
    --quit-after-open Sample.cab 2>/dev/null | tr -d '\r')
  [ "$caption" = "Tessary - Sample.cab" ]
  wineserver -k || true
  wineserver -w
  TESSARY_WINE="$wine" bash tests/windows/compare-with-wine.sh build/tools/tessary-info \
    "$dir/tools/tessary-info.exe" "$dir/wine-compare" "$PWD/../shared/corpus" \
    build-fixtures-win | grep -v '^differs: '
  wineserver -k || true
  wineserver -w
}

# Debian's /usr/bin/wine starts the 32-bit loader whenever it is installed; the 64-bit build
# names the 64-bit one.
wine64=wine64
[ -x /usr/lib/wine/wine64 ] && wine64=/usr/lib/wine/wine64
echo "-- [$(elapsed)] 64-bit Windows build (x86_64) under $wine64"
test_windows_build build-win64 "$wine64" win64

# Whether this machine runs 32-bit programs is asked of the built program itself.
export WINEPREFIX="$PWD/build-win/wineprefix"
wine wineboot -i >/dev/null 2>&1 || true
wineserver -w
probe=$(timeout 120 wine build-win/tools/tessary-info.exe --version 2>build-win/probe.err |
  tr -d '\r') || true
if [ "$probe" = "$(build/tools/tessary-info --version)" ]; then
  echo "-- 32-bit Windows build (i686) under wine"
  cmake --build build-win -j "$jobs"
  test_windows_build build-win wine win32
elif grep -q 'Exec format error' build-win/probe.err; then
  (cd build-win && rm -f tessary-*-win32.zip && cpack -G ZIP >/dev/null)
  echo "NOTE: the 32-bit Windows build was compiled and zipped but not run: this machine cannot" \
    "run 32-bit programs (wine build-win/tools/tessary-info.exe --version said:" \
    "\"$(head -n 1 build-win/probe.err | tr -d '\r' | cut -c1-120)\")."
else
  # Wine started but the program did not answer: a fault of the build, not of the machine.
  echo "wine build-win/tools/tessary-info.exe --version: expected" \
    "\"$(build/tools/tessary-info --version)\", got \"$probe\":"
  head -c 600 build-win/probe.err
  exit 1
fi
stage "All tests passed"
