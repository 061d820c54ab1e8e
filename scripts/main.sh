#!/usr/bin/env bash
# Sets everything up, builds Korvane natively and runs its main job: a snapshot written in its stored
# form (packed and enciphered) and read back with the korvane command.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)" --target korvane

korvane=build/release/cli/korvane
demo=build/demo
mkdir -p "$demo"
printf 'C:\\|24122384384\r\nC:\\$Recycle.Bin\\|129\r\nC:\\Boot\\|19118640\r\nC:\\用户\\|512\r\nC:\\Boot\\zh-CN\\|73728\r\n' \
  >"$demo/snapshot.txt"
"$korvane" encode "$demo/snapshot.txt" "$demo/20211125153012_5_22.47GB.c"
echo "Stored $demo/20211125153012_5_22.47GB.c ($(wc -c <"$demo/20211125153012_5_22.47GB.c") bytes); decoded:"
"$korvane" decode "$demo/20211125153012_5_22.47GB.c"
