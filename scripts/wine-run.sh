#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest: wine-run.sh PREFIX PROGRAM [ARGS...]
# A 32-bit program needs 32-bit Wine (Debian: wine32:i386) beside wine64; without it the run
# fails and says so, rather than passing unseen.
# "wine-run.sh PREFIX --init" only makes the prefix, which a build can do while it compiles;
# "wine-run.sh PREFIX --session" also starts a lasting Wine session, detached from all streams.
#
# PREFIX is a throwaway Wine prefix, made on first use; parallel tests wait for the one that
# makes it. Wine's own chatter is off unless WINEDEBUG is already set (WINEDEBUG=+debugstr
# shows the debugger output too).
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 PREFIX PROGRAM [ARGS...]" >&2
    exit 2
fi
prefix=$(realpath -m "$1") # Wine takes absolute prefixes only
shift

loader=${WINELOADER:-}
if [ -z "$loader" ]; then
    for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
        if [ -n "$candidate" ] && [ -x "$candidate" ]; then
            loader=$candidate
            break
        fi
    done
fi
if [ -z "$loader" ]; then
    echo "wine-run.sh: no Wine loader found (install wine64)" >&2
    exit 2
fi

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko prompts, no display: the tests are console programs.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$(dirname "$prefix")"
ready=$prefix/.vesk-ready
if [ ! -f "$ready" ]; then
    (
        flock 9
        if [ ! -f "$ready" ]; then
            "$loader" wineboot --init >"$prefix.log" 2>&1 || {
                cat "$prefix.log" >&2
                exit 1
            }
            touch "$ready"
        fi
    ) 9>"$prefix.lock"
fi

# A 32-bit program (PE32: the optional header's magic is 0x10b) needs Wine's 32-bit loader,
# which wine64 starts for it from its own folder. The prefix is made by wine64 either way.
if [ "$1" != "--init" ] && [ "$1" != "--session" ] && [ -f "$1" ]; then
    pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    magic=""
    [ -n "$pe" ] && magic=$(od -An -tx2 -j$((pe + 24)) -N2 "$1" 2>/dev/null | tr -d ' ')
    if [ "$magic" = 010b ] && [ ! -x "$(dirname "$(realpath "$loader")")/wine" ]; then
        echo "wine-run.sh: $1 is a 32-bit program and 32-bit Wine is missing;" \
            "install wine32:i386 (scripts/ensure-packages.sh does, see scripts/test-windows.sh)" >&2
        exit 2
    fi
fi

[ "$1" = "--init" ] && exit 0
if [ "$1" = "--session" ]; then
    server=$(dirname "$loader")/wineserver
    [ -x "$server" ] || server=$(command -v wineserver)
    "$server" -p </dev/null >/dev/null 2>&1 || true
    "$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
    exit 0
fi

# Wine's helper processes inherit the standard streams of the program that starts a session,
# and CTest waits on those pipes until they quit. scripts/test-windows.sh therefore starts the
# session itself, detached from every stream, before it runs the tests.
exec "$loader" "$@"
