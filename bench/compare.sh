#!/usr/bin/env bash
# Builds the comparison benchmark in Release and runs it: the comparison pass, its index and the column
# sort, beside the plain searches the index replaces, in one program. Arguments go to the program
# (--runs N for the medians, --no-plain to skip the plain-search passes, which take seconds).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target korvane_compare_bench >/dev/null
# The machine is shared: the load average says how much other work ran beside the benchmark.
echo "machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p'); load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
build/bench/bench/korvane_compare_bench "$@"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
