#!/usr/bin/env bash
# Installs, with apt-get, what the build and the tests need beyond the machine's own tools.
# Each argument is "command:package"; a package is installed only when its command (or file)
# is missing. Before anything is installed it says what and how; apt-get runs through sudo
# only when this is not root. VESK_NO_INSTALL=1 lists what is missing and stops instead.
#
# A package may name an architecture ("/usr/lib/wine/wine:wine32:i386"): that architecture is
# added to dpkg first, saying so. When the mirror's indexes of the two architectures disagree
# (one failed to download, or lags behind), the libraries both install are first brought to a
# version both offer (scripts/apt-align-versions.sh), which may be a downgrade, and it says
# which.
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

# Architectures the packages name that dpkg does not have yet.
native=$(dpkg --print-architecture)
foreign=()
for pkg in "${missing[@]}"; do
    if [[ $pkg == *:* ]]; then
        arch=${pkg##*:}
        if [ "$arch" != "$native" ] && [ "$arch" != all ] &&
            ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
            echo "Adding the $arch architecture to dpkg (dpkg --add-architecture $arch)"
            $sudo dpkg --add-architecture "$arch"
        fi
        foreign+=("$pkg")
    fi
done

# A mirror in the middle of a sync serves an index that does not match its release file; a
# later try may find it complete. After the last, apt uses the indexes it did get.
for attempt in 1 2 3; do
    if "${apt[@]}" update -qq; then
        break
    fi
    if [ $attempt = 3 ]; then
        echo "apt-get update failed $attempt times; going on with the indexes it could get" >&2
    else
        echo "apt-get update failed; trying again in $((attempt * 5)) s" >&2
        sleep $((attempt * 5))
    fi
done

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >"$log" 2>&1; then
    exit 0
fi
if [ ${#foreign[@]} -eq 0 ]; then
    cat "$log" >&2
    exit 1
fi
echo "apt-get could not install ${missing[*]} as it stands:" >&2
grep -E '^( |E:)' "$log" | head -20 >&2 || true
mapfile -t aligned < <("$(dirname "$0")/apt-align-versions.sh" "${foreign[@]}")
if [ ${#aligned[@]} -eq 0 ]; then
    echo "No library of ${foreign[*]} differs between the architectures' indexes" >&2
    cat "$log" >&2
    exit 1
fi
echo "Bringing the libraries both architectures install to a version both indexes offer:"
printf '  %s\n' "${aligned[@]}"
if ! "${apt[@]}" install -y -qq --no-install-recommends --allow-downgrades "${aligned[@]}" \
    "${missing[@]}" >"$log" 2>&1; then
    cat "$log" >&2
    echo "apt-get could not install ${missing[*]} even with the versions aligned" >&2
    exit 1
fi
