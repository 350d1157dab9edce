#!/usr/bin/env bash
# Every C and C++ source laid out as .clang-format says; prints the deviations and fails on any.
# Run `scripts/check-format.sh --fix` to reformat in place.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/ensure-packages.sh clang-format-14:clang-format-14

mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h' 2>/dev/null ||
    find bench bridge commands config examples fuzz host platform script tests \
        -name '*.c' -o -name '*.cpp' -o -name '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format-14 -i "${files[@]}"
    exit 0
fi
clang-format-14 --dry-run --Werror "${files[@]}"
echo "format: ${#files[@]} files as .clang-format lays them out"
