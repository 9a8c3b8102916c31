#!/usr/bin/env bash
# Configures and builds into the given folder (default: build). Extra arguments go to cmake's
# configure step on every run, so a second run keeps what it is asked for (e.g. -Werror), e.g.
#   tools/build.sh build-asan -DTREVANIX_SANITIZE=address,undefined
# A folder configured before keeps its cache; the arguments given now are applied on top.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
elif [ $# -gt 0 ]; then
    cmake -S . -B "$dir" "$@"
fi
cmake --build "$dir" -j2
