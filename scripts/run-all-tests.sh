#!/usr/bin/env bash
# Builds everything and runs every test: the default build with the find-package test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/ensure-packages.sh cmake:cmake g++:g++ /usr/include/gtest/gtest.h:libgtest-dev

jobs=$(nproc 2>/dev/null || echo 2)

echo "== default build (GCC) =="
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"
