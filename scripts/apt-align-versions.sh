#!/usr/bin/env bash
# Prints the apt-get install arguments that let packages of a foreign architecture (wine32:i386)
# go in beside the machine's own, one a line: apt-align-versions.sh PACKAGE:ARCH...
#
# A library that both architectures install ("Multi-Arch: same") must have the same version on
# both. When the mirror's index of one architecture lags behind the other's (a security index
# that failed to download, a mirror in the middle of a sync), the version installed for the
# machine's own architecture may be one the other cannot get, and apt gives up ("held broken
# packages"). For every such library in the dependency closure of the packages asked for, this
# names the newest version that both architectures' indexes offer, on both architectures:
# "zlib1g:amd64=V zlib1g:i386=V". That may be older than the installed one, so the install
# needs --allow-downgrades. Libraries whose versions the indexes offer alike are left alone.
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: $0 PACKAGE:ARCH..." >&2
    exit 2
fi
native=$(dpkg --print-architecture)

# The dependency closure, as apt resolves it for the architecture asked for.
closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances "$@" 2>/dev/null | grep -v '^ ' | grep -v '^<' | sort -u)

declare -A foreign_arch=()
for wanted in "$@"; do
    foreign_arch[${wanted##*:}]=1
done

# Which of those the machine has installed for its own architecture, at what version, and
# whether the two architectures must agree on it.
names=()
for entry in $closure; do
    [[ $entry == *:* ]] || continue
    arch=${entry##*:}
    [ -n "${foreign_arch[$arch]:-}" ] || continue
    names+=("${entry%:*}:$native")
done
[ ${#names[@]} -eq 0 ] && exit 0
declare -A installed=()
while read -r name status version multiarch; do
    if [ "$status" = ii ] && [ "$multiarch" = same ]; then
        installed[${name%:*}]=$version
    fi
done < <(dpkg-query -W -f='${Package}:${Architecture} ${db:Status-Abbrev} ${Version} ${Multi-Arch}\n' \
    "${names[@]}" 2>/dev/null || true)
[ ${#installed[@]} -eq 0 ] && exit 0

# Every version the indexes offer, per package and architecture.
queries=()
for name in "${!installed[@]}"; do
    queries+=("$name:$native")
    for arch in "${!foreign_arch[@]}"; do
        queries+=("$name:$arch")
    done
done
declare -A offered=()
while IFS='|' read -r name version origin; do
    name=${name// /}
    name=${name%%:*}
    version=${version// /}
    arch=$(awk '{print $(NF - 1)}' <<<"$origin")
    [ "$arch" = all ] && arch=$native
    offered[$name/$arch]+=" $version"
done < <(apt-cache madison "${queries[@]}" 2>/dev/null)

newest_common() {
    local name=$1 best="" version arch ok
    for version in ${offered[$name/$native]:-}; do
        ok=1
        for arch in "${!foreign_arch[@]}"; do
            [[ " ${offered[$name/$arch]:-} " == *" $version "* ]] || ok=0
        done
        [ $ok = 1 ] || continue
        if [ -z "$best" ] || dpkg --compare-versions "$version" gt "$best"; then
            best=$version
        fi
    done
    echo "$best"
}

# The suite the packages asked for come from: the machine's own packages that depend on a
# library moved to another version follow it from there, rather than being removed.
suite=$(apt-cache madison "$1" 2>/dev/null | awk -F'|' 'NR == 1 {split($3, a, " "); split(a[2], b, "/"); print b[1]}')
[ -n "$suite" ] && echo "--target-release=$suite"

for name in $(printf '%s\n' "${!installed[@]}" | sort); do
    # Nothing to do when every index offers the same versions.
    same=1
    for arch in "${!foreign_arch[@]}"; do
        [ "$(tr ' ' '\n' <<<"${offered[$name/$arch]:-}" | sort)" = \
            "$(tr ' ' '\n' <<<"${offered[$name/$native]:-}" | sort)" ] || same=0
    done
    [ $same = 1 ] && continue
    target=$(newest_common "$name")
    if [ -z "$target" ]; then
        echo "apt-align-versions.sh: no version of $name is offered for every architecture" >&2
        continue
    fi
    echo "$name:$native=$target"
    for arch in "${!foreign_arch[@]}"; do
        echo "$name:$arch=$target"
    done
done
