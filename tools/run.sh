#!/usr/bin/env bash
# Installs what is missing, builds and starts the program with the simulated analyzer attached
# (its port is offered as a Prolific adapter). Pass --no-sim to start without it; other
# arguments go to the simulator (e.g. --records 200 --baud 9600).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh build
sim=1
args=()
for a in "$@"; do
    if [ "$a" = "--no-sim" ]; then sim=0; else args+=("$a"); fi
done
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found. Start the program on a desktop, or without one through"
    echo "    xvfb-run -a tools/run.sh"
    exit 1
fi
if [ "$sim" = 1 ]; then
    link="${XDG_RUNTIME_DIR:-/tmp}/trevanix-analyzer-$$"
    [ ${#args[@]} -gt 0 ] || args=(--records 25 --baud 9600)
    build/tools/analyzer-sim "${args[@]}" --link "$link" >/dev/null &
    simpid=$!
    trap 'kill $simpid 2>/dev/null || true' EXIT
    for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
    export TREVANIX_EXTRA_PORTS="$link=Prolific USB-to-Serial Comm Port (simulated analyzer)"
    echo "Simulated analyzer on $link: press Download, keep the preselected port, answer Yes."
fi
build/src/trevanix
