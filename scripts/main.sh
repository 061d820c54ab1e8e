#!/usr/bin/env bash
# Sets everything up, builds Korvane natively and runs its main job: the drive list, then a snapshot of
# the system drive (C, the root filesystem) saved in build/home and read back.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)" --target korvane

korvane=build/release/cli/korvane
export KORVANE_HOME=$PWD/build/home
mkdir -p "$KORVANE_HOME"
echo "== drives"
"$korvane" drives
echo "== snapshot of drive C"
# Progress comes one line per directory when stderr is no terminal: show the last lines only.
snapshot=$("$korvane" snapshot --drive C 2> >(tail -n 2 >&2))
[ -n "$snapshot" ] || exit 1
echo "saved $snapshot; its first lines:"
"$korvane" decode "$snapshot" | sed -n 1,12p
