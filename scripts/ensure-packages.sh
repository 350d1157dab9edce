#!/usr/bin/env bash
# Installs, with apt-get, what the build and the tests need beyond the machine's own tools.
# Each argument is "command:package"; a package is installed only when its command (or file)
# is missing. Before anything is installed it says what and how; apt-get runs through sudo
# only when this is not root. VESK_NO_INSTALL=1 lists what is missing and stops instead.
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
if [ "${VESK_NO_INSTALL:-}" = 1 ]; then
    echo "Missing packages: ${missing[*]} (VESK_NO_INSTALL=1: install them yourself)" >&2
    exit 1
fi
if ! command -v apt-get >/dev/null 2>&1; then
    echo "Missing packages: ${missing[*]}; there is no apt-get here: install them yourself" >&2
    exit 1
fi
if [ -n "$sudo" ] && ! command -v sudo >/dev/null 2>&1; then
    echo "Missing packages: ${missing[*]}; not root and no sudo: install them yourself" >&2
    exit 1
fi
echo "Installing with ${sudo:+sudo }apt-get: ${missing[*]}"
# sudo keeps no environment of ours, so the setting goes on the command itself. One apt at a
# time on a machine that builds several trees at once.
lock=()
if command -v flock >/dev/null 2>&1; then
    lock=(flock /tmp/apt.lock)
fi
apt=($sudo "${lock[@]}" env DEBIAN_FRONTEND=noninteractive apt-get)
"${apt[@]}" update -qq
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
