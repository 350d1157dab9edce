#!/usr/bin/env bash
# Builds the benchmarks (Release), runs them and prints the table: ns/op, allocations/op and
# the ratio to each floor. Arguments go to the benchmark program, e.g.
#   scripts/run-benchmarks.sh --benchmark_filter=event/
# BENCH_REPETITIONS (default 5) sets how many runs the median is taken over.
# Missing tools are installed first with apt-get, saying so (scripts/ensure-packages.sh);
# VESK_JOBS sets the parallel jobs (default: the cores there are).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/ensure-packages.sh cmake:cmake g++:g++ jq:jq \
    /usr/include/benchmark/benchmark.h:libbenchmark-dev

jobs=$(scripts/build-jobs.sh)
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs" >/dev/null

out=build/bench/benchmarks.json
log=build/bench/benchmarks.log
if ! build/bench/bin/vesk_benchmarks \
    --benchmark_repetitions="${BENCH_REPETITIONS:-5}" \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$out" --benchmark_out_format=json \
    "$@" >"$log" 2>&1; then
    cat "$log" >&2
    exit 1
fi

jq -r '.context | "\(.date) on \(.host_name): \(.num_cpus) CPUs at \(.mhz_per_cpu) MHz, load \(.load_avg | map(. * 100 | round / 100 | tostring) | join(" "))"' "$out"
echo "CPU time per operation, median of ${BENCH_REPETITIONS:-5} runs; full results in $out"
echo
jq -r -f scripts/benchmark-table.jq "$out"
