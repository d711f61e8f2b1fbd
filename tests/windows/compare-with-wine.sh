#!/usr/bin/env bash
# Runs the Linux tessary-info and the Windows one under Wine over the same cabinets and compares:
# the real cabinets and the tests' recorded fixtures must print the same and extract the same
# bytes; every hostile cabinet must be survived by the Windows build (no crash, no hang, nothing
# written outside the target folder), its answers may differ from libmspack's.
# usage: compare-with-wine.sh NATIVE_TOOL WINDOWS_TOOL WORK_DIR CORPUS_DIR [FIXTURE_DIR]
set -uo pipefail
native=$1 windows=$2 work=$3 corpus=$4 fixtures=${5:-}
# The Wine loader for the Windows build's processor: wine64 for a 64-bit build.
wine=${TESSARY_WINE:-wine}
timeout_native=60 timeout_wine=120
rm -rf "$work" && mkdir -p "$work"
# One wineserver for the whole run (in the caller's WINEPREFIX): starting one for each of the
# run's hundreds of processes costs more than their work.
wineserver -p 2>/dev/null || true
trap 'wineserver -k 2>/dev/null || true' EXIT
failures=0 differences=0 checked=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# The tool's own exit codes are 0 to 3; anything else, a timeout or the runtime's last words is
# a crash or a hang.
survived() { # rc stderr-file what
  if [ "$1" -eq 124 ]; then fail "$3: no answer within ${timeout_wine}s"; return 1; fi
  if [ "$1" -gt 3 ] || grep -qiE 'unhandled|terminate|abnormal' "$2"; then
    fail "$3: crashed (exit $1): $(head -c 300 "$2")"
    return 1
  fi
}

# Every file below sandbox lies below sandbox/target.
stayed_inside() { # sandbox what
  local escaped
  escaped=$(find "$1" -mindepth 1 -not -path "$1/target" -not -path "$1/target/*" | head -5)
  [ -z "$escaped" ] || fail "$2: written outside the target: $escaped"
}

compare_cabinet() { # cabinet strict(yes/no)
  local cab=$1 strict=$2 name case mode n w
  name=${cab#"$corpus"/}
  case=$work/$(printf '%s' "$name" | tr '/ ' '__')
  mkdir -p "$case"
  for mode in entries json; do
    local args=(--json)
    [ "$mode" = entries ] && args=(--entries --json)
    timeout "$timeout_native" "$native" "${args[@]}" "$cab" >"$case/$mode.n" 2>"$case/$mode.n.err"
    n=$?
    local try
    for try in 1 2; do
      timeout "$timeout_wine" "$wine" "$windows" "${args[@]}" "$(windows_path "$cab")" \
        >"$case/$mode.w.raw" 2>"$case/$mode.w.err"
      w=$?
      tr -d '\r' <"$case/$mode.w.raw" >"$case/$mode.w"
      # The setups of a package (a cabinet of cabinets) each name the file as it was given,
      # which each system writes its own way.
      local given=${cab//\\/\\\\} given_w
      given_w=$(windows_path "$cab")
      given_w=${given_w//\\/\\\\}
      perl -pi -e 'BEGIN { ($w, $n) = splice(@ARGV, 0, 2) } s/"file":"\Q$w\E"/"file":"$n"/g' \
        "$given_w" "$given" "$case/$mode.w"
      [ "$strict" = yes ] || break
      [ "$n" -eq "$w" ] && cmp -s "$case/$mode.n" "$case/$mode.w" && break
      [ "$try" -eq 1 ] && echo "retrying under Wine: $name --$mode (Windows exit $w)"
    done
    survived "$w" "$case/$mode.w.err" "$name --$mode" || continue
    if [ "$n" -ne "$w" ] || ! cmp -s "$case/$mode.n" "$case/$mode.w"; then
      if [ "$strict" = yes ]; then
        fail "$name --$mode: Linux exit $n, Windows exit $w; $(diff "$case/$mode.n" "$case/$mode.w" | head -5)"
      else
        differences=$((differences + 1))
        echo "differs: $name --$mode (Linux exit $n, Windows exit $w)"
      fi
    fi
  done
  mkdir -p "$case/n/target"
  timeout "$timeout_native" "$native" --extract-all "$case/n/target" "$cab" \
    >"$case/extract.n" 2>&1
  n=$?
  # Wine's cabinet library now and then answers "not a cabinet" for a cabinet it reads fine on
  # the next start; a strict mismatch is only counted when a second start gives it too.
  local attempt
  for attempt in 1 2; do
    rm -rf "$case/w" && mkdir -p "$case/w/target"
    timeout "$timeout_wine" "$wine" "$windows" --extract-all "$(windows_path "$case/w/target")" \
      "$(windows_path "$cab")" >"$case/extract.w" 2>"$case/extract.w.err"
    w=$?
    [ "$strict" = yes ] || break
    [ "$n" -eq "$w" ] && diff -r "$case/n/target" "$case/w/target" >/dev/null && break
    [ "$attempt" -eq 1 ] && echo "retrying under Wine: $name --extract-all (Windows exit $w)"
  done
  survived "$w" "$case/extract.w.err" "$name --extract-all" || return
  stayed_inside "$case/w" "$name --extract-all (Windows)"
  stayed_inside "$case/n" "$name --extract-all (Linux)"
  if [ "$n" -ne "$w" ] || ! diff -r "$case/n/target" "$case/w/target" >/dev/null; then
    if [ "$strict" = yes ]; then
      fail "$name --extract-all: Linux exit $n, Windows exit $w; $(diff -r "$case/n/target" "$case/w/target" | head -5)"
    else
      differences=$((differences + 1))
      echo "differs: $name --extract-all (Linux exit $n, Windows exit $w)"
    fi
  fi
  checked=$((checked + 1))
}

# Each process spends much of its life waiting on Wine's start: the cabinets are compared as
# many at once as there are cores, each one's lines and counts kept in its own files and read
# back in order at the end.
compare_in_background() { # job number, cabinet, strict
  local job=$work/job-$1
  # shellcheck disable=SC2030 # each job counts its own; the totals are read back below
  (
    failures=0 differences=0 checked=0
    compare_cabinet "$2" "$3" >"$job.log" 2>&1
    echo "$failures $differences $checked" >"$job.counts"
  ) &
}
parallel=${TESSARY_COMPARE_JOBS:-$(nproc)}
shopt -s nullglob
cabinets=() strictness=()
for cab in "$corpus"/real/*; do cabinets+=("$cab") strictness+=(yes); done
if [ -n "$fixtures" ]; then
  for cab in "$fixtures"/*.cab; do cabinets+=("$cab") strictness+=(yes); done
fi
while IFS= read -r cab; do cabinets+=("$cab") strictness+=(no); done < <(
  find "$corpus/robust" -type f -iname '*.cab' | sort)
for i in "${!cabinets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
  compare_in_background "$i" "${cabinets[$i]}" "${strictness[$i]}"
done
wait
for i in "${!cabinets[@]}"; do
  job=$work/job-$i
  cat "$job.log" 2>/dev/null
  # A job that left no counts ended before its last line: that is a failure of its own.
  if ! read -r f d c <"$job.counts" 2>/dev/null; then
    fail "${cabinets[$i]}: the comparison ended without a result"
    continue
  fi
  # shellcheck disable=SC2031
  failures=$((failures + f)) differences=$((differences + d)) checked=$((checked + c))
done

echo "compared $checked cabinets: $failures failures, $differences answers that differ on hostile cabinets"
[ "$failures" -eq 0 ]
