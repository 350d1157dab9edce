#!/usr/bin/env bash
# Builds what the demo needs, vesk-host and the follow script, and runs the follow script's
# life in the emulated host, printing the transcript. Further arguments go to vesk-host
# (--quiet, --junit FILE). VESK_DEMO_BUILD picks the build folder (default build/demo).
# Missing tools are installed first with apt-get, saying so (scripts/ensure-packages.sh);
# VESK_JOBS sets the parallel jobs (default: the cores there are). The first run says that it
# builds, for about how long and where the build's output goes, and shows its progress at a
# terminal; later runs rebuild what changed, quietly. The tree also holds everything the SDK
# installs: `cmake --install build/demo --prefix DIR`.
#
#   scripts/run-demo.sh --serve 8080   the follow script made ready, then its live page on
#                                      http://127.0.0.1:8080/ until Ctrl-C
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/ensure-packages.sh cmake:cmake g++:g++ make:make \
    /usr/include/civetweb.h:libcivetweb-dev /usr/include/nlohmann/json.hpp:nlohmann-json3-dev

build=${VESK_DEMO_BUILD:-build/demo}
log=$build/demo-build.log
jobs=$(scripts/build-jobs.sh)
mkdir -p "$build"
: >"$log"

# The first build configures and compiles everything: about 180 s of one core's time (150 s
# measured compiling, and the configure). Later runs rebuild only what changed, and say nothing
# unless something is compiled.
core_seconds=180
first=
if [ ! -f "$build/CMakeCache.txt" ] || [ ! -x "$build/bin/vesk-host" ]; then
    first=1
    seconds=$((core_seconds / jobs))
    if [ "$seconds" -lt 120 ]; then
        estimate="$(((seconds + 9) / 10 * 10)) seconds"
    else
        estimate="$(((seconds + 30) / 60)) minutes"
    fi
    echo "Building vesk-host and viewTrail in $build, the first time: about $estimate with" \
        "$jobs jobs (VESK_JOBS sets them), longer on a busy machine." >&2
    echo "The build's output goes to $log." >&2
fi

# Keeps the build's output in the log and, at a terminal, shows how far it has come on one line.
progress=
[ -t 2 ] && progress=1
follow_build() {
    local line shown='' percent last=-1
    while IFS= read -r line; do
        printf '%s\n' "$line" >>"$log"
        percent=
        if [[ $line =~ ^\[\ *([0-9]+)%\]\ (Building|Linking) ]]; then
            percent=${BASH_REMATCH[1]}
        elif [[ $line =~ ^\[([0-9]+)/([0-9]+)\]\ (Building|Linking) ]]; then
            percent=$((100 * BASH_REMATCH[1] / BASH_REMATCH[2]))
        fi
        # Parallel jobs finish out of order; the line only goes forward.
        if [ -z "$percent" ] || [ "$percent" -le "$last" ]; then
            continue
        fi
        last=$percent
        if [ -z "$first" ] && [ -z "$shown" ]; then
            echo "Rebuilding what changed in $build (output: $log) ..." >&2
        fi
        shown=1
        [ -n "$progress" ] && printf '\r  built %3s%%' "$percent" >&2
    done
    if [ -n "$shown" ] && [ -n "$progress" ]; then
        printf '\r\033[K' >&2
    fi
    return 0
}

configure=(cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVESK_BUILD_TESTS=OFF
    -DVESK_BUILD_EXAMPLES=OFF -DVESK_BUILD_FUZZERS=OFF -DVESK_FIND_PACKAGE_TEST=OFF)
# A configured tree reconfigures itself when a CMake file changed.
if [ -z "$first" ] && { [ -f "$build/Makefile" ] || [ -f "$build/build.ninja" ]; }; then
    configure=(true)
fi
if ! { "${configure[@]}" && cmake --build "$build" --target vesk-host viewTrail -j "$jobs"; } \
    2>&1 | follow_build; then
    cat "$log" >&2
    echo "The build failed; its output is above and in $log." >&2
    exit 1
fi

case "$(uname -s)" in
Darwin) script="$build/lib/libviewTrail.dylib" ;;
MINGW* | MSYS* | CYGWIN*) script="$build/bin/viewTrail.dll" ;;
*) script="$build/lib/libviewTrail.so" ;;
esac

scenario=examples/follow.scenario
for arg in "$@"; do
    [ "$arg" = --serve ] && scenario=examples/follow-setup.scenario
done
exec "$build/bin/vesk-host" --script "$script" --system examples/demo-system --workstation 12 \
    "$scenario" "$@"
