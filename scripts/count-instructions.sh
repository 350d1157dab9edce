#!/usr/bin/env bash
# Instructions per operation under callgrind, for each named benchmark and its floor: a figure
# that, unlike time, does not move with the load of the machine. Run after
# scripts/run-benchmarks.sh has built the program. Without names, the rows the goals are about.
#   scripts/count-instructions.sh command/router/RC event/m
# valgrind is installed first with apt-get when missing, saying so (scripts/ensure-packages.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/ensure-packages.sh valgrind:valgrind
program=build/bench/bin/vesk_benchmarks
[ -x "$program" ] || { echo "build the benchmarks first: scripts/run-benchmarks.sh" >&2; exit 1; }
if [ $# -eq 0 ]; then
    set -- event/revertive_other event/revertive_monitor event/m command/router/RC \
        command/control_text/TP_tally command/router/RU command/router/RR
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Two runs of 2000 and 4000 iterations: the difference, per iteration, leaves out the set-up.
count() {
    local name=$1 iterations total=()
    for iterations in 2000 4000; do
        VESK_BENCH_ITERATIONS=$iterations valgrind --tool=callgrind \
            --callgrind-out-file="$work/out" "$program" \
            --benchmark_filter="^$name/iterations:[0-9]+\$" >/dev/null 2>"$work/err"
        total+=("$(grep -o 'refs: *[0-9,]*' "$work/err" | tr -dc 0-9)")
    done
    echo $(((total[1] - total[0]) / 2000))
}

echo "| benchmark | instructions/op | floor instructions/op |"
echo "|---|---:|---:|"
for name in "$@"; do
    echo "| $name | $(count "$name") | $(count "$name/floor") |"
done
