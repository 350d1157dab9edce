#!/usr/bin/env bash
# Steps per second of a whole vesk-host run over a long generated scenario, plain and with
# the page (--html and --record), at 1 000, 10 000 and 100 000 steps. Each step is a parent
# text that moves the follow script's crosspoint, checked by an expectation, so that every
# step sends lines, changes the router and the tally, and adds to the transcript and the
# recording; the run passes without a warning. Prints one row per size and mode: wall and CPU
# seconds, steps per second and the largest resident size (of the supervisor or the run, whichever is larger).
# BENCH_ARGS adds options to every run (e.g. --in-process).
#
#   scripts/bench-steps.sh                    # the default build's vesk-host and viewTrail
#   scripts/bench-steps.sh 1000 20000         # other sizes
#   BENCH_BUILD=build/bench scripts/bench-steps.sh
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BENCH_BUILD:-build/default}
host=${BENCH_HOST:-$build/bin/vesk-host}
script=$build/lib/libviewTrail.so
[ "$(uname -s)" = Darwin ] && script=$build/lib/libviewTrail.dylib
if [ ! -x "$host" ] || [ ! -f "$script" ]; then
    echo "bench-steps: build vesk-host and viewTrail first (cmake --build $build --target vesk-host viewTrail)" >&2
    exit 2
fi
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 10000 100000)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The follow script on the demo system, following, then `steps` parent texts.
scenario() {
    local steps=$1
    {
        echo "parent panel=main"
        echo "parent instance=router1"
        echo "parent source=1"
        echo "press 1 button"
        awk -v n="$steps" 'BEGIN {
            for (i = 0; i < n; i++) {
                s = i % 15 + 1
                if (s >= 8) s++   # not source 8, whose name no TP line can carry
                printf "parent source=%d\nexpect crosspoint 3 %d 7\n", s, s
            }
        }'
    } >"$work/steps-$steps.scenario"
}

run() {
    local steps=$1 mode=$2
    local extra=()
    [ "$mode" = page ] && extra=(--html "$work/page.html" --record "$work/recorded.scenario")
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$host" --script "$script" --system examples/demo-system \
        --workstation 12 --quiet ${BENCH_ARGS:-} "${extra[@]}" "$work/steps-$steps.scenario" >/dev/null 2>"$work/err" || {
        cat "$work/err" >&2
        exit 1
    }
    # CPU time (user and system, the supervisor's and the run's) is what a shared machine
    # disturbs least; steps per second are given by it and by the wall clock.
    awk -v s="$steps" -v m="$mode" '{
        cpu = $2 + $3
        printf "| %d | %s | %.2f | %.2f | %.0f | %.0f | %.0f |\n", s, m, $1, cpu, s / $1, s / cpu, $4 / 1024
    }' "$work/time"
}

echo "| steps | mode | wall s | cpu s | steps/s (wall) | steps/s (cpu) | max RSS MiB |"
echo "|---:|---|---:|---:|---:|---:|---:|"
for steps in "${sizes[@]}"; do
    scenario "$steps"
    run "$steps" plain
    run "$steps" page
done
