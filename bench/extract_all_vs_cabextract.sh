#!/usr/bin/env bash
# tessary-info --extract-all of a generated setup cabinet (65,000 files by default) against
# cabextract -d of the same cabinet, in one run. Each run writes into a fresh folder; removing
# it is not timed. Run from the repository root after a build with the benchmarks.
set -euo pipefail
build=${1:-build}
files=${2:-65000}
runs=${3:-3}
tool=${4:-$build/tools/tessary-info}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/make_setup_cabinet" "$files" "$work/big.cab"

time_runs() { # command... ; the last argument-free folder is $work/out; prints total seconds
  local total=0 start end
  for _ in $(seq "$runs"); do
    rm -rf "$work/out"
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true # a setup may hold rows without an entry
    end=$(date +%s.%N)
    total=$(echo "$total + $end - $start" | bc -l)
  done
  echo "$total"
}

ours=$(time_runs "$tool" --extract-all "$work/out" "$work/big.cab")
written=$(find "$work/out" -type f | wc -l)
theirs=$(time_runs cabextract -q -d "$work/out" "$work/big.cab")
printf 'files: %s (written by tessary-info: %s), runs: %s\n' "$files" "$written" "$runs"
printf 'tessary-info --extract-all:  %.3f s per run\n' "$(echo "$ours / $runs" | bc -l)"
printf 'cabextract -d:               %.3f s per run\n' "$(echo "$theirs / $runs" | bc -l)"
printf 'ratio (ours / cabextract):   %.2f\n' "$(echo "$ours / $theirs" | bc -l)"
