#!/usr/bin/env bash
# Builds what the demo needs, vesk-host and the follow script, and runs the follow script's
# life in the emulated host, printing the transcript. Further arguments go to vesk-host
# (--quiet, --junit FILE). VESK_DEMO_BUILD picks the build folder (default build/demo).
# Missing tools are installed first with apt-get, saying so (scripts/ensure-packages.sh);
# VESK_JOBS sets the parallel jobs (default: the cores there are).
#
#   scripts/run-demo.sh --serve 8080   the follow script made ready, then its live page on
#                                      http://127.0.0.1:8080/ until Ctrl-C
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/ensure-packages.sh cmake:cmake g++:g++ make:make \
    /usr/include/civetweb.h:libcivetweb-dev /usr/include/nlohmann/json.hpp:nlohmann-json3-dev

build=${VESK_DEMO_BUILD:-build/demo}
jobs=$(scripts/build-jobs.sh)
mkdir -p "$build"
echo "Building vesk-host and viewTrail in $build ..."
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVESK_BUILD_TESTS=OFF \
        -DVESK_BUILD_EXAMPLES=OFF -DVESK_BUILD_FUZZERS=OFF -DVESK_FIND_PACKAGE_TEST=OFF &&
       cmake --build "$build" --target vesk-host viewTrail -j "$jobs"; } >"$build/demo-build.log" 2>&1
then
    cat "$build/demo-build.log"
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
