#!/usr/bin/env bash
# The Windows legs: the 64-bit MinGW build with its tests under Wine (the code on the real
# Windows calls), the 32-bit MinGW build, inspected, and the MSVC-ABI builds of the DLLs a
# Visual Studio-built host loads, 64-bit and 32-bit, inspected.
# Missing tools are installed first with apt-get, saying so (scripts/ensure-packages.sh);
# VESK_JOBS sets the parallel jobs (default: the cores there are).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/ensure-packages.sh \
    cmake:cmake \
    x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64 \
    i686-w64-mingw32-g++-posix:g++-mingw-w64-i686 \
    /usr/lib/wine/wine64:wine64 \
    /usr/src/googletest/CMakeLists.txt:googletest \
    clang-cl-14:clang-14 \
    lld-link-14:lld-14 \
    /usr/include/wine/wine/msvcrt/stdlib.h:libwine-dev \
    /usr/lib/llvm-14/include/c++/v1/__config:libc++-14-dev

jobs=$(scripts/build-jobs.sh)

leg() {
    local preset=$1
    local start=$SECONDS
    echo "== $preset =="
    cmake --preset "$preset" >/dev/null
    if [ "$preset" = windows-x64 ]; then
        # Wine makes its prefix while the compiler works.
        scripts/wine-run.sh build/windows-x64/wineprefix --init &
        local init=$!
    fi
    cmake --build --preset "$preset" -j "$jobs"
    if [ "$preset" = windows-x64 ]; then
        wait "$init"
    fi
    if [ "$preset" = windows-x64 ]; then
        # One Wine session for all tests, started apart from CTest's pipes, which would
        # otherwise stay open as long as Wine's helper processes live.
        scripts/wine-run.sh build/windows-x64/wineprefix --session
    fi
    ctest --preset "$preset" -j "$jobs"
    if [ "$preset" = windows-x64 ]; then
        WINEPREFIX=$PWD/build/windows-x64/wineprefix /usr/lib/wine/wineserver -k 2>/dev/null || true
    fi
    echo "== $preset: $((SECONDS - start)) s =="
}

leg windows-x64
leg windows-x86
leg windows-msvc-x64
leg windows-msvc-x86
