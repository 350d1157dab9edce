#!/usr/bin/env bash
# Every C and C++ source laid out as .clang-format says, and vesk-host's page (page.js,
# page.css) linted by eslint and laid out by prettier at the versions tools/web-lint pins;
# prints the deviations and fails on any.
# Run `scripts/check-format.sh --fix` to reformat in place (and apply eslint's own fixes).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/ensure-packages.sh clang-format-14:clang-format-14 node:nodejs npm:npm

fix=0
[ "${1:-}" = "--fix" ] && fix=1

mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h' 2>/dev/null ||
    find bench bridge commands config examples fuzz host platform script tests \
        -name '*.c' -o -name '*.cpp' -o -name '*.h')
if [ $fix = 1 ]; then
    clang-format-14 -i "${files[@]}"
else
    clang-format-14 --dry-run --Werror "${files[@]}"
    echo "format: ${#files[@]} files as .clang-format lays them out"
fi

# The page's tools come from npm, by the lock file, into tools/web-lint/node_modules.
lint=tools/web-lint
if [ ! -x $lint/node_modules/.bin/eslint ] || [ ! -x $lint/node_modules/.bin/prettier ] ||
    [ $lint/package-lock.json -nt $lint/node_modules/.package-lock.json ]; then
    echo "web: installing eslint and prettier into $lint/node_modules (npm ci)"
    (cd $lint && npm ci --no-audit --no-fund --loglevel=error)
fi
web=(host/web/page.js host/web/page.css)
eslint=(
    $lint/node_modules/.bin/eslint --config $lint/eslint.config.mjs --max-warnings 0
    --no-warn-ignored
)
prettier=($lint/node_modules/.bin/prettier --config $lint/prettier.config.mjs --log-level warn)
if [ $fix = 1 ]; then
    "${prettier[@]}" --write "${web[@]}"
    "${eslint[@]}" --fix "${web[@]}"
    exit 0
fi
"${prettier[@]}" --check "${web[@]}"
"${eslint[@]}" "${web[@]}"
echo "web: ${web[*]} linted by eslint and laid out by prettier"
