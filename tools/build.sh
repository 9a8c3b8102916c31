#!/usr/bin/env bash
# Configures (once) and builds into the given folder (default: build). Extra arguments go to
# the first cmake configure, e.g. tools/build.sh build-asan -DTREVANIX_SANITIZE=address,undefined
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
fi
cmake --build "$dir" -j2
