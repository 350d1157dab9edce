#!/usr/bin/env bash
# Builds everything and runs every test:
#   0. the sources' layout (clang-format);
#   1. the default build (GCC) with the whole suite, the find-package and template tests;
#   2. hardening: valgrind, bounded fuzzing, the AddressSanitizer/UBSan build's suite;
#   3. the Windows builds, 64- and 32-bit, MinGW and the MSVC ABI, with their tests under Wine;
#   4. vesk-host's page in a real browser (chromium).
# Each step installs with apt-get what it needs beyond the machine's own tools, saying so first
# (scripts/ensure-packages.sh). VESK_JOBS sets the parallel jobs (default: the cores there are).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS

# libedit-dev: line editing in vesk-host's interactive mode (built without it otherwise);
# civetweb and nlohmann-json: vesk-host's page.
scripts/ensure-packages.sh cmake:cmake g++:g++ make:make /usr/include/gtest/gtest.h:libgtest-dev \
    /usr/include/histedit.h:libedit-dev /usr/include/civetweb.h:libcivetweb-dev \
    /usr/include/nlohmann/json.hpp:nlohmann-json3-dev

jobs=$(scripts/build-jobs.sh)

scripts/check-format.sh

echo "== default build (GCC) =="
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"
echo "default build and tests: $((SECONDS - start)) s"

scripts/test-hardening.sh
echo "with hardening: $((SECONDS - start)) s"

# A leg whose script lost its run bit fails the run rather than being skipped.
if [ ! -x scripts/test-windows.sh ]; then
    echo "scripts/test-windows.sh is not executable" >&2
    exit 1
fi
scripts/test-windows.sh
echo "with the Windows legs: $((SECONDS - start)) s"
if [ ! -x scripts/test-browser.sh ]; then
    echo "scripts/test-browser.sh is not executable" >&2
    exit 1
fi
scripts/test-browser.sh
echo "with the browser tests: $((SECONDS - start)) s"
echo "all tests passed in $((SECONDS - start)) s"
