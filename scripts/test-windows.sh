#!/usr/bin/env bash
# The Windows legs, each built and its tests run under Wine:
#   windows-x64       MinGW, 64-bit: the whole suite and vesk-host's scenarios under wine64;
#   windows-x86       MinGW, 32-bit, the panel host's own: the same under 32-bit Wine;
#   windows-msvc-x64  the DLLs in the MSVC ABI, as Visual Studio builds them: inspected, driven
#                     by the C host (which refuses windows-x64's MinGW DLL), and hosted by
#                     windows-x64's vesk-host.exe: the follow life and the examples' scenarios;
#   windows-msvc-x86  the same in 32 bits, against windows-x86's DLL and vesk-host.exe.
# The MinGW legs come first: the MSVC legs use what they built. All legs share one Wine prefix
# (build/wineprefix) and one Wine session. At the end it prints each leg's time and tests.
# Missing tools are installed first with apt-get, saying so (scripts/ensure-packages.sh);
# 32-bit Wine needs the i386 architecture, which that adds. VESK_JOBS sets the parallel jobs
# (default: the cores there are). With ccache on the machine, the compilers go through it.
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
# Without 32-bit Wine the 64-bit legs still run; the 32-bit legs' tests then fail, each saying
# that 32-bit Wine is missing (scripts/wine-run.sh).
if ! scripts/ensure-packages.sh /usr/lib/wine/wine:wine32:i386; then
    echo "32-bit Wine (wine32:i386) could not be installed: the 32-bit legs will fail" >&2
fi

jobs=$(scripts/build-jobs.sh)
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
fi

# One prefix for every leg, made by Wine while the first leg compiles, and one session for all
# tests, started apart from CTest's pipes, which would otherwise stay open as long as Wine's
# helper processes live. The session ends with the script, passed or failed.
prefix=build/wineprefix
scripts/wine-run.sh "$prefix" --init &
init=$!
session=""
trap '[ -n "$session" ] && WINEPREFIX=$PWD/'"$prefix"' /usr/lib/wine/wineserver -k 2>/dev/null; true' EXIT

summary=()
failed=()
leg() {
    local preset=$1
    local start=$SECONDS
    local log=build/$preset.ctest.log
    echo "== $preset =="
    if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset" -j "$jobs"; then
        summary+=("$(printf '%-18s %4d s  build FAILED' "$preset" $((SECONDS - start)))")
        failed+=("$preset")
        return
    fi
    if [ -z "$session" ]; then
        wait "$init"
        scripts/wine-run.sh "$prefix" --session
        session=1
    fi
    local status=0
    ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log" || status=$?
    local counts
    counts=$(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
    summary+=("$(printf '%-18s %4d s  %s' "$preset" $((SECONDS - start)) "${counts:-no tests run}")")
    [ $status = 0 ] || failed+=("$preset")
    echo "== $preset: $((SECONDS - start)) s =="
}

leg windows-x64
leg windows-x86
leg windows-msvc-x64
leg windows-msvc-x86

echo "== the Windows legs =="
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "failed: ${failed[*]}" >&2
    exit 1
fi
