#!/usr/bin/env bash
# Hardening checks, each of which must come out clean:
#   1. valgrind memcheck over the follow script's whole life (its scenario in the emulated
#      host, its tests, and the dispatcher corpus, which drives it through the real export) and
#      over the command tests;
#   2. the fuzz targets built with libFuzzer and the sanitizers, their corpora replayed, then
#      each fuzzed for a bounded time (VESK_FUZZ_SECONDS, 60 by default), two at a time;
#   3. the whole test suite in the asan-ubsan build.
# Inputs that fuzzing finds are kept in build/fuzz/corpus-work/<target>; crashes go to
# build/fuzz/artifacts/ and fail the run.
# Missing tools are installed first with apt-get, saying so (scripts/ensure-packages.sh);
# VESK_JOBS sets the parallel jobs (default: the cores there are).
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_seconds=${VESK_FUZZ_SECONDS:-60}
jobs=$(scripts/build-jobs.sh)
start=$SECONDS

phase() {
    echo
    echo "== $1 ($((SECONDS - start)) s so far) =="
}

scripts/ensure-packages.sh cmake:cmake g++:g++ clang++:clang valgrind:valgrind \
    /usr/include/gtest/gtest.h:libgtest-dev \
    /usr/include/civetweb.h:libcivetweb-dev /usr/include/nlohmann/json.hpp:nlohmann-json3-dev
# libFuzzer and the sanitizer runtimes come apart from clang itself.
runtime_dir=$(clang++ --print-runtime-dir)
scripts/ensure-packages.sh "$runtime_dir/libclang_rt.fuzzer-x86_64.a:libclang-rt-$(
    clang++ -dumpversion | cut -d. -f1)-dev"

# ---------------------------------------------------------------------------------------------
phase "valgrind memcheck"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs" --target command_tests script_tests dispatcher_fuzzer \
    vesk-host viewTrail host_web_tests

memcheck() {
    echo "-- valgrind: $*"
    valgrind --quiet --error-exitcode=99 --leak-check=full \
        --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect \
        --track-origins=yes "$@" >build/default/valgrind.log 2>&1 || {
        cat build/default/valgrind.log
        echo "valgrind found errors or leaks in: $*"
        exit 1
    }
    grep -E '(PASSED|FAILED|replayed|expectation)' build/default/valgrind.log | tail -2
}
memcheck build/default/bin/vesk-host --script build/default/lib/libviewTrail.so \
    --system examples/demo-system --workstation 12 examples/follow.scenario
# The same run through its supervisor's page: recorded, saved as HTML.
memcheck build/default/bin/vesk-host --script build/default/lib/libviewTrail.so \
    --system examples/demo-system --workstation 12 --record build/default/valgrind.scenario \
    --html build/default/valgrind.html examples/follow.scenario
memcheck build/default/bin/host_web_tests
memcheck build/default/bin/script_tests
memcheck build/default/bin/command_tests
memcheck build/default/bin/dispatcher_fuzzer fuzz/corpus/dispatcher

# ---------------------------------------------------------------------------------------------
phase "fuzz build (clang, libFuzzer, ASan, UBSan)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz -j "$jobs"

phase "fuzzing, ${fuzz_seconds} s per target"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fuzz_dir=build/fuzz
mkdir -p "$fuzz_dir/artifacts" "$fuzz_dir/logs"
targets=()
for corpus in fuzz/corpus/*/; do
    target=$(basename "$corpus")
    [ -x "$fuzz_dir/bin/${target}_fuzzer" ] && targets+=("$target")
done

fuzz_one() {
    local target=$1
    local work=$fuzz_dir/corpus-work/$target
    local dict=()
    mkdir -p "$work"
    [ -f "fuzz/dict/$target.dict" ] && dict=(-dict="fuzz/dict/$target.dict")
    "$fuzz_dir/bin/${target}_fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
        -timeout=10 -rss_limit_mb=4096 "${dict[@]}" \
        -artifact_prefix="$fuzz_dir/artifacts/$target-" "$work" "fuzz/corpus/$target" \
        >"$fuzz_dir/logs/$target.log" 2>&1
}

# Two at a time: one per core on the machines this runs on.
failed=()
for ((i = 0; i < ${#targets[@]}; i += 2)); do
    pids=()
    for target in "${targets[@]:i:2}"; do
        fuzz_one "$target" &
        pids+=("$!:$target")
    done
    for entry in "${pids[@]}"; do
        wait "${entry%%:*}" || failed+=("${entry#*:}")
    done
done

printf '%-18s %12s %10s %8s %8s\n' target executions exec/s edges corpus
for target in "${targets[@]}"; do
    log=$fuzz_dir/logs/$target.log
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    edges=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
    size=$(cat <(ls "fuzz/corpus/$target") <(ls "$fuzz_dir/corpus-work/$target") | sort -u | wc -l)
    printf '%-18s %12s %10s %8s %8s\n' "$target" "${runs:-?}" "${rate:-?}" "${edges:-?}" "$size"
done
if [ ${#failed[@]} -gt 0 ]; then
    for target in "${failed[@]}"; do
        echo
        echo "fuzzing $target failed:"
        grep -E -A12 'ERROR|invariant broken|runtime error' "$fuzz_dir/logs/$target.log" | head -40
    done
    ls -l "$fuzz_dir/artifacts"
    exit 1
fi

# ---------------------------------------------------------------------------------------------
phase "asan-ubsan build and the whole test suite"
cmake --preset asan-ubsan >/dev/null
cmake --build --preset asan-ubsan -j "$jobs"
ctest --preset asan-ubsan -j "$jobs"

phase "hardening checks passed"
