#!/usr/bin/env bash
# The million-results set: the lists, the command line, the Graph view and storing a block, each
# at 10,000 and at 1,000,000 results stored out of date order, side by side with its baseline.
# Not part of the tests; about 15 minutes on two cores. Builds the benchmarks into build-bench.
#   tools/bench-million.sh [rows ...]     (default: 10000 1000000)
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh build-bench -DTREVANIX_BUILD_BENCHMARKS=ON -DTREVANIX_BUILD_TESTS=OFF
counts=("$@")
[ ${#counts[@]} -eq 0 ] && counts=(10000 1000000)
cd build-bench
for rows in "${counts[@]}"; do
    echo "=== $rows results, stored out of date order"
    for bench in bench_list bench_cli bench_graph bench_decoder; do
        echo "--- $bench $rows --out-of-order"
        /usr/bin/time -f "    ($bench: peak memory %M KB, %e s)" \
            "tools/$bench" "$rows" --out-of-order
    done
done
