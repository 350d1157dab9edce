#!/usr/bin/env bash
# The Windows legs: the 64-bit MinGW build with its tests under Wine (the code on the real
# Windows calls), the 32-bit MinGW build, inspected, and the MSVC-ABI builds of the DLLs a
# Visual Studio-built host loads: 64-bit, inspected and driven by the C host under Wine (which
# also refuses the 64-bit MinGW DLL, built first), and 32-bit, inspected.
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
    # The 64-bit legs run their tests under Wine, each in its own prefix.
    local prefix=""
    case $preset in
    windows-x64 | windows-msvc-x64) prefix=build/$preset/wineprefix ;;
    esac
    echo "== $preset =="
    cmake --preset "$preset" >/dev/null
    if [ -n "$prefix" ]; then
        # Wine makes its prefix while the compiler works.
        scripts/wine-run.sh "$prefix" --init &
        local init=$!
    fi
    cmake --build --preset "$preset" -j "$jobs"
    if [ -n "$prefix" ]; then
        wait "$init"
        # One Wine session for all tests, started apart from CTest's pipes, which would
        # otherwise stay open as long as Wine's helper processes live.
        scripts/wine-run.sh "$prefix" --session
    fi
    if [ -n "$prefix" ]; then
        # The session ends with the leg, passed or failed.
        trap 'WINEPREFIX=$PWD/'"$prefix"' /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
    fi
    ctest --preset "$preset" -j "$jobs"
    if [ -n "$prefix" ]; then
        WINEPREFIX=$PWD/$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
        trap - EXIT
    fi
    echo "== $preset: $((SECONDS - start)) s =="
}

leg windows-x64
leg windows-x86
leg windows-msvc-x64
leg windows-msvc-x86
