#!/usr/bin/env bash
# Stores and reads back a system-drive-sized snapshot (27,034 lines, as large as the largest built-in
# reference) with korvane encode/decode, side by side with gzip and gunzip on the same text.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
command -v hyperfine >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq hyperfine >/dev/null
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target korvane >/dev/null

work=build/bench
mkdir -p "$work"
python3 - "$work/snapshot.txt" <<'PY'
import random, sys
random.seed(27034)
names = ["Windows", "System32", "WinSxS", "Program Files", "用户", "文档", "Microsoft", "zh-CN", "Temp",
         "AppData", "Local", "驱动程序", "amd64_microsoft-windows-a..", "Boot", "Fonts", "x86"]
paths, lines = ["C:\\"], ["C:\\|24122384384"]
while len(lines) < 27034:
    parent = random.choice(paths)
    if parent.count("\\") > 8:
        continue
    path = parent + random.choice(names) + str(len(paths)) + "\\"
    paths.append(path)
    lines.append(path + "|" + str(random.randrange(0, 1 << random.randrange(1, 36))))
open(sys.argv[1], "w", encoding="utf-8", newline="").write("".join(l + "\r\n" for l in lines))
PY
korvane=build/release/cli/korvane
"$korvane" encode "$work/snapshot.txt" "$work/snapshot.c"
gzip -6 -c "$work/snapshot.txt" >"$work/snapshot.txt.gz"
echo "text $(wc -c <"$work/snapshot.txt") bytes; stored by korvane $(wc -c <"$work/snapshot.c"); gzip -6 $(wc -c <"$work/snapshot.txt.gz")"
hyperfine --warmup 3 --runs 30 -N \
  "$korvane encode $work/snapshot.txt $work/snapshot.c" \
  "gzip -6 -f -k $work/snapshot.txt" \
  "$korvane decode $work/snapshot.c" \
  "gzip -d -c $work/snapshot.txt.gz"
