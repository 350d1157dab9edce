#!/usr/bin/env bash
# Times `vesk-host --validate` of viewTrail at the default level: the whole validation, each
# check alone, and the rate of exploration's events. Builds vesk-host and viewTrail in the
# default preset (RelWithDebInfo) first. BENCH_RUNS (default 5) runs are taken per figure and
# the median printed; BENCH_SEED (default 1) fixes the seed, so every run does the same work.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(scripts/build-jobs.sh)
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs" --target vesk-host viewTrail >/dev/null

host=build/default/bin/vesk-host
library=build/default/lib/libviewTrail.so
runs=${BENCH_RUNS:-5}
seed=${BENCH_SEED:-1}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The median wall time, in milliseconds, of `runs` runs of the validation with these options.
median_ms() {
    local times=()
    for _ in $(seq "$runs"); do
        local start end
        start=$(date +%s%N)
        "$host" --validate --script "$library" --seed "$seed" --out "$out" "$@" >/dev/null || true
        end=$(date +%s%N)
        times+=($(((end - start) / 1000000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

echo "vesk-host --validate of viewTrail, seed $seed, median of $runs runs, $(nproc) CPUs"
echo
printf '%-16s %8s\n' "checks" "ms"
printf '%-16s %8s\n' "all (level 5)" "$(median_ms)"
# The checks of the default level, as --help lists them.
checks=$("$host" --help | sed -n '/^Checks of --validate/,/^Scenario commands/p' |
    awk '$1 ~ /^[a-z-]+$/ && $2 ~ /^[0-9]+$/ && $2 <= 5 {print $1}')
for check in $checks; do
    printf '%-16s %8s\n' "$check" "$(median_ms --checks "$check")"
done
echo
few=$(median_ms --checks explore --events 2000)
many=$(median_ms --checks explore --events 10000)
if [ "$many" -gt "$few" ]; then
    echo "explore: $few ms for 2000 events, $many ms for 10000: $((8000 * 1000 / (many - few))) events/s"
fi
