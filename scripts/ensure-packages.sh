#!/usr/bin/env bash
# Installs, with apt-get, what the build and the tests need beyond the machine's own tools.
# Each argument is "command:package"; a package is installed only when its command is missing.
set -euo pipefail

missing=()
for pair in "$@"; do
    cmd=${pair%%:*}
    pkg=${pair#*:}
    if ! command -v "$cmd" >/dev/null 2>&1 && [ ! -e "$cmd" ]; then
        missing+=("$pkg")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# One apt at a time on a machine that builds several trees at once.
lock=""
if command -v flock >/dev/null 2>&1; then
    lock="flock /tmp/apt.lock"
fi
$sudo $lock apt-get update -qq
$sudo $lock apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
