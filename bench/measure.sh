# Measuring helpers for the bench scripts, sourced by them. They need $work (a scratch folder)
# and $runs (how many timed runs a median takes).

instructions() { # command... ; prints the instructions callgrind counted for it
    local log="$work/callgrind.log"
    valgrind --tool=callgrind --callgrind-out-file=/dev/null --log-file="$log" "$@" >/dev/null
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$log" | tail -n 1
}

median_ms() { # command... ; prints the median wall time of $runs runs in milliseconds
    local times=() start end
    for _ in $(seq "$runs"); do
        start=$EPOCHREALTIME
        "$@" >/dev/null
        end=$EPOCHREALTIME
        times+=("$(echo "($end - $start) * 1000" | bc -l)")
    done
    printf '%s\n' "${times[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }
