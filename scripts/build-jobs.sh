#!/usr/bin/env bash
# Prints how many jobs a build or a test run may use: VESK_JOBS when it is set, otherwise the
# cores this machine has.
set -euo pipefail

if [ -n "${VESK_JOBS:-}" ]; then
    if ! [[ $VESK_JOBS =~ ^[1-9][0-9]*$ ]]; then
        echo "VESK_JOBS must be a positive number, not '$VESK_JOBS'" >&2
        exit 2
    fi
    echo "$VESK_JOBS"
else
    nproc 2>/dev/null || getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2
fi
