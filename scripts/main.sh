#!/usr/bin/env bash
# Sets everything up, builds Korvane natively and runs its main job on the system drive (C, the root
# filesystem): the largest directories, a snapshot saved in build/home, and what grew since the first
# snapshot there (a second run of this script shows what grew in between).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)" --target korvane

korvane=build/release/cli/korvane
export KORVANE_HOME=$PWD/build/home
mkdir -p "$KORVANE_HOME"
# Progress comes one line per directory when stderr is no terminal: the last lines are enough here.
quiet() { "$@" 2> >(tail -n 1 >&2); }

echo "== drives"
"$korvane" drives
echo "== directories of drive C of 1 GB or more"
quiet "$korvane" stats --drive C --min 1 --unit GB --units
echo "== snapshot of drive C"
quiet "$korvane" snapshot --drive C
oldest=$("$korvane" snapshots --drive C | tail -n 1)
echo "== what grew on drive C by 1 MB or more since snapshot $oldest"
quiet "$korvane" compare --drive C --private "$oldest" --min 1 --unit MB --units --sort 5
