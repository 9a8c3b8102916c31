#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. Long benchmarks are not tests: see the
# README's developer section.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh "${TREVANIX_BUILD_DIR:-build}" ${TREVANIX_CMAKE_ARGS:-}
cd "${TREVANIX_BUILD_DIR:-build}"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300
