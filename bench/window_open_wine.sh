#!/usr/bin/env bash
# The Windows window opening a generated setup of 20,000 files under Wine (tessary.exe's hidden
# --quit-after-open: the window is made, the setup opened and shown, then it quits), against
# tessary-info.exe --json of the same cabinet under Wine: the median wall time of each over
# interleaved runs, and their ratio. One wineserver serves every run, started before the first.
#
#   bash bench/window_open_wine.sh [--runs N] [--files N] [WINDOWS_BUILD_DIR]
#
# Run from the repository root after building the 64-bit Windows build (default build-win64,
# with its wineprefix made by its tests) and the native make_setup_cabinet
# (build/bench/make_setup_cabinet, -DTESSARY_BUILD_BENCH=ON).
set -euo pipefail

runs=7
files=20000
windows=build-win64
while [ $# -gt 0 ]; do
    case "$1" in
    --runs) runs=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --inner) shift; break ;;
    -h | --help) sed -n '2,11p' "$0"; exit 0 ;;
    *) windows=$1; shift ;;
    esac
done

# The window needs a display: the runs go on inside a virtual one.
if [ -z "${TESSARY_BENCH_INNER:-}" ]; then
    TESSARY_BENCH_INNER=1 exec xvfb-run -a -s "-screen 0 1024x768x24" \
        bash "$0" --runs "$runs" --files "$files" "$windows"
fi

wine=wine64
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
window="$windows/win/tessary.exe"
tool="$windows/tools/tessary-info.exe"
generator=build/bench/make_setup_cabinet
for f in "$window" "$tool" "$generator"; do
    [ -f "$f" ] || { echo "missing $f" >&2; exit 2; }
done
export WINEPREFIX="$(cd "$windows" && pwd)/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
cabinet="$work/Generated.cab"
"$generator" "$files" "$cabinet" >/dev/null
wineserver -p
"$wine" "$tool" --version >/dev/null # the first start of a prefix costs more than the others

milliseconds() { # command... ; its wall time in ms
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >"$work/window" && : >"$work/tool"
for _ in $(seq "$runs"); do
    milliseconds "$wine" "$window" --quit-after-open "$cabinet" >>"$work/window"
    milliseconds "$wine" "$tool" --json "$cabinet" >>"$work/tool"
done
tool_ms=$(median <"$work/tool")
window_ms=$(median <"$work/window")
printf '%-44s %10s %7s\n' "program ($files files, median of $runs)" "ms" "ratio"
printf '%-44s %10d %7.2f\n' "tessary-info.exe --json" "$tool_ms" 1
printf '%-44s %10d %7.2f\n' "tessary.exe --quit-after-open" "$window_ms" \
    "$(echo "$window_ms / $tool_ms" | bc -l)"
