#!/usr/bin/env bash
# vesk-host's page in a real browser: Debian's chromium driven by playwright-core (from the
# lock file in tests/browser), against the default build's vesk-host and follow script.
# VESK_SCREENSHOT=FILE also saves a picture of the page with the follow panel pressed.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS

scripts/ensure-packages.sh cmake:cmake g++:g++ make:make node:nodejs npm:npm \
    /usr/bin/chromium:chromium /usr/include/gtest/gtest.h:libgtest-dev \
    /usr/include/civetweb.h:libcivetweb-dev /usr/include/nlohmann/json.hpp:nlohmann-json3-dev

echo "== browser tests (chromium, playwright-core) =="
jobs=$(scripts/build-jobs.sh)
[ -f build/default/CMakeCache.txt ] || cmake --preset default >/dev/null
cmake --build --preset default --target vesk-host viewTrail probe_script broken_crash -j "$jobs"

# playwright-core brings no browser and must never fetch one.
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
(cd tests/browser && npm ci --no-audit --no-fund --loglevel=error)

ext=so
[ "$(uname -s)" = Darwin ] && ext=dylib
build=$PWD/build/default
(cd tests/browser &&
    VESK_HOST=$build/bin/vesk-host \
    VESK_SCRIPT=$build/lib/libviewTrail.$ext \
    VESK_PROBE_SCRIPT=$build/lib/libprobe_script.$ext \
    VESK_CRASHING_SCRIPT=$build/lib/libbroken_crash.$ext \
    VESK_CHROMIUM=/usr/bin/chromium \
    node --test --test-reporter=tap)
echo "browser tests: $((SECONDS - start)) s"
