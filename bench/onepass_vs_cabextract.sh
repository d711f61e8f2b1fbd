#!/usr/bin/env bash
# tessary-info --json against what cabextract needs to list a cabinet and print its descriptor
# (cabextract -l, then cabextract -p of the .000 entry), on generated setups of 1,000, 20,000 and
# 65,000 files, and two registry-heavy ones (20,000 files with 20,000 values under 2,000 keys;
# 65,000 / 65,000 / 6,500): callgrind's instruction counts and the median wall time of each, and
# the ratio of ours to cabextract's. With a second build (or a git revision, built here into build-bench-base)
# the same figures are measured for it in the same run, so before and after can be compared.
#
#   bash bench/onepass_vs_cabextract.sh [--runs N]
#       [--sizes "1000 20000 65000 20000:20000:2000 65000:65000:6500"]  (FILES[:VALUES:KEYS])
#                                       [--baseline BUILD_DIR | --baseline-ref REV] [BUILD_DIR]
#
# Run from the repository root after building tessary-info and make_setup_cabinet
# (-DTESSARY_BUILD_BENCH=ON). valgrind and cabextract are installed with apt-get when missing.
set -euo pipefail

runs=11
sizes="1000 20000 65000 20000:20000:2000 65000:65000:6500"
baseline=""
baseline_ref=""
build=build
while [ $# -gt 0 ]; do
    case "$1" in
    --runs) runs=$2; shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    --baseline) baseline=$2; shift 2 ;;
    --baseline-ref) baseline_ref=$2; shift 2 ;;
    -h | --help) sed -n '2,15p' "$0"; exit 0 ;;
    *) build=$1; shift ;;
    esac
done

need=()
command -v valgrind >/dev/null || need+=(valgrind)
command -v cabextract >/dev/null || need+=(cabextract)
command -v callgrind_annotate >/dev/null || need+=(valgrind)
if [ ${#need[@]} -gt 0 ]; then
    apt-get update -qq && apt-get install -y -qq "${need[@]}" >/dev/null
fi

ours="$build/tools/tessary-info"
generator="$build/bench/make_setup_cabinet"
for f in "$ours" "$generator"; do
    [ -x "$f" ] || { echo "missing $f: build tessary-info and make_setup_cabinet first" >&2; exit 2; }
done

# A revision to compare with is exported and built beside the others, tessary-info only.
if [ -n "$baseline_ref" ]; then
    baseline=build-bench-base
    rm -rf "$baseline/src"
    mkdir -p "$baseline/src"
    git archive "$baseline_ref" | tar -x -C "$baseline/src"
    launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S "$baseline/src" -B "$baseline" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTESSARY_BUILD_APP=OFF -DTESSARY_BUILD_TESTS=OFF -DTESSARY_BUILD_BENCH=OFF \
        "${launcher[@]}" >/dev/null
    nice -n 10 cmake --build "$baseline" -j2 --target tessary-info >/dev/null
fi
before=""
if [ -n "$baseline" ]; then
    before="$baseline/tools/tessary-info"
    [ -x "$before" ] || { echo "missing $before" >&2; exit 2; }
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cabextract_both() { # the baseline: list the cabinet, then print its descriptor
    cabextract -q -l "$1" >/dev/null
    cabextract -q -p -F '*.000' "$1" >/dev/null
}

# shellcheck source=bench/measure.sh
source "$(dirname "$0")/measure.sh"

printf '%-17s %-30s %14s %6s %10s %6s %12s\n' shape program instructions ratio "median ms" ratio "us per file"
declare -A per_file
for shape in $sizes; do
    n=${shape%%:*}
    registry=()
    if [ "$shape" != "$n" ]; then
        rest=${shape#*:}
        registry=("${rest%%:*}" "${rest#*:}")
    fi
    cab="$work/setup-${shape//:/-}.cab"
    "$generator" "$n" "$cab" "${registry[@]}"
    base_ir=$(( $(instructions cabextract -q -l "$cab") + \
                $(instructions cabextract -q -p -F '*.000' "$cab") ))
    base_ms=$(median_ms cabextract_both "$cab")
    printf '%-17s %-30s %14s %6s %10.2f %6s %12.3f\n' "$shape" "cabextract -l + -p *.000" \
        "$base_ir" 1.00 "$base_ms" 1.00 "$(echo "$base_ms * 1000 / $n" | bc -l)"
    for which in after before; do
        program=$ours
        [ "$which" = before ] && program=$before
        [ -n "$program" ] || continue
        ir=$(instructions "$program" --json "$cab")
        ms=$(median_ms "$program" --json "$cab")
        us=$(echo "$ms * 1000 / $n" | bc -l)
        per_file[$which,$shape]=$us
        printf '%-17s %-30s %14s %6s %10.2f %6s %12.3f\n' "$shape" "tessary-info --json ($which)" \
            "$ir" "$(ratio "$ir" "$base_ir")" "$ms" "$(ratio "$ms" "$base_ms")" "$us"
    done
done
# How the time per file grows from the smallest files-only setup to the largest.
first=""
last=""
for shape in $sizes; do
    [[ $shape == *:* ]] && continue
    [ -n "$first" ] || first=$shape
    last=$shape
done
[ -n "$first" ] || exit 0
for which in after before; do
    [ -n "${per_file[$which,$first]:-}" ] || continue
    printf 'time per file at %s files / at %s files (%s): %s\n' "$last" "$first" "$which" \
        "$(ratio "${per_file[$which,$last]}" "${per_file[$which,$first]}")"
done
