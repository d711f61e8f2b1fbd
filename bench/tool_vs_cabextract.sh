#!/usr/bin/env bash
# tessary-info --json on a generated 20,000-file setup cabinet, against what cabextract needs to
# list the same cabinet and print its descriptor. Run from the repository root after a build.
set -euo pipefail
build=${1:-build}
files=${2:-20000}
runs=${3:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/make_setup_cabinet" "$files" "$work/big.cab"

time_runs() { # command... ; prints seconds for $runs runs
  local start end
  start=$(date +%s.%N)
  for _ in $(seq "$runs"); do "$@" >/dev/null; done
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
baseline() { cabextract -l "$work/big.cab"; cabextract -p -F '*.000' "$work/big.cab"; }

ours=$(time_runs "$build/tools/tessary-info" --json "$work/big.cab")
theirs=$(time_runs baseline)
printf 'files: %s, runs: %s\n' "$files" "$runs"
printf 'tessary-info --json:            %.3f s per run\n' "$(echo "$ours / $runs" | bc -l)"
printf 'cabextract -l and -p *.000:     %.3f s per run\n' "$(echo "$theirs / $runs" | bc -l)"
printf 'ratio (ours / cabextract):      %.2f\n' "$(echo "$ours / $theirs" | bc -l)"
