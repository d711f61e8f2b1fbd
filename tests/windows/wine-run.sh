#!/bin/bash
# Runs one Windows test program under Wine for ctest. Now and then a Wine client starting beside
# others loses its connection to the wineserver before the program's first instruction ("wine
# client error: ... Connection reset by peer"); that says nothing of the program, so such a
# start is tried once more. Any other failure is the program's own and is passed on as it is.
wine=$1
shift
err=$(mktemp)
trap 'rm -f "$err"' EXIT
for attempt in 1 2; do
  # The errors go through tee in a pipeline, which bash waits for whole: a process substitution
  # is not waited for, and its copy could still be empty when looked at below.
  { "$wine" "$@" 2>&1 1>&3 3>&- | tee "$err" >&2 3>&-; status=${PIPESTATUS[0]}; } 3>&1
  if [ "$status" -eq 0 ] || ! grep -q '^wine client error' "$err"; then
    exit "$status"
  fi
  [ "$attempt" = 1 ] && echo "wine-run: Wine's client lost its wineserver; starting the program again" >&2
done
exit "$status"
