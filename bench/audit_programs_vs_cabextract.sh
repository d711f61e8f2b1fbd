#!/usr/bin/env bash
# tessary-info --audit (text, --json) on the generated setup of 20,000 programs (PE images of
# 1.5 KB, make_setup_cabinet --programs) against decompressing all its files (cabextract -p to
# /dev/null): callgrind's instruction counts and the median wall time of each, and the ratio of
# ours to cabextract's. With a second build (--baseline BUILD_DIR) the same figures are measured
# for it in the same run. bench_programs measures the analysis alone the same way.
#
#   bash bench/audit_programs_vs_cabextract.sh [--runs N] [--baseline BUILD_DIR] [BUILD_DIR]
#
# Run from the repository root after building tessary-info and make_setup_cabinet
# (-DTESSARY_BUILD_BENCH=ON). valgrind and cabextract are installed with apt-get when missing.
set -euo pipefail

runs=5
baseline=""
build=build
while [ $# -gt 0 ]; do
    case "$1" in
    --runs) runs=$2; shift 2 ;;
    --baseline) baseline=$2; shift 2 ;;
    -h | --help) sed -n '2,11p' "$0"; exit 0 ;;
    *) build=$1; shift ;;
    esac
done

need=()
command -v valgrind >/dev/null || need+=(valgrind)
command -v cabextract >/dev/null || need+=(cabextract)
if [ ${#need[@]} -gt 0 ]; then
    apt-get update -qq && apt-get install -y -qq "${need[@]}" >/dev/null
fi

generator="$build/bench/make_setup_cabinet"
programs=("$build/tools/tessary-info")
[ -n "$baseline" ] && programs+=("$baseline/tools/tessary-info")
for f in "$generator" "${programs[@]}"; do
    [ -x "$f" ] || { echo "missing $f: build tessary-info and make_setup_cabinet first" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cab="$work/programs.cab"
"$generator" --programs "$cab"

# shellcheck source=bench/measure.sh
source "$(dirname "$0")/measure.sh"

printf '%-50s %14s %6s %10s %6s\n' program instructions ratio "median ms" ratio
base_ir=$(instructions cabextract -q -p "$cab")
base_ms=$(median_ms cabextract -q -p "$cab")
printf '%-50s %14s %6s %10.2f %6s\n' "cabextract -p (all files)" "$base_ir" 1.00 "$base_ms" 1.00
for program in "${programs[@]}"; do
    for mode in "--audit" "--audit --json"; do
        # shellcheck disable=SC2086 # the mode is two words on purpose
        ir=$(instructions "$program" $mode "$cab")
        # shellcheck disable=SC2086
        ms=$(median_ms "$program" $mode "$cab")
        printf '%-50s %14s %6s %10.2f %6s\n' "$program $mode" "$ir" "$(ratio "$ir" "$base_ir")" \
            "$ms" "$(ratio "$ms" "$base_ms")"
    done
done
