#!/usr/bin/env bash
# korvane64.exe end to end under wine64: a test tree mapped as drive K:, the program driven through its
# window by program_test.cpp, and the snapshot it writes compared with the Linux build's record of the
# same tree.
# Usage: program_test.sh KORVANE64_EXE DRIVER_EXE [LINUX_KORVANE]
set -euo pipefail
program=$1 driver=$2 linux_korvane=${3:-}
wine=/usr/lib/wine/wine64
if [ -z "${DISPLAY:-}" ]; then
  echo "no X display: run the Windows tests under xvfb-run"
  exit 0
fi
: "${WINEPREFIX:?the Windows tests run in a Wine prefix of their own}"

work=$(mktemp -d)
link=$WINEPREFIX/dosdevices/k:
# A run that was killed leaves its link behind, pointing at a tree that is gone.
if [ -L "$link" ] && [ ! -e "$link" ]; then rm -f "$link"; fi
if [ -e "$link" ] || [ -L "$link" ]; then
  echo "drive K: is already mapped in $WINEPREFIX" >&2
  exit 1
fi
trap 'rm -f "$link"; rm -rf "$work"' EXIT

tree=$work/tree
mkdir -p "$tree/文档/报告" "$tree/程序/bin" "$tree/空目录" "$tree/增长" "$tree/深/一/二/三"
truncate -s 200000 "$tree/文档/报告/年度.bin"
truncate -s 1500 "$tree/文档/说明.txt"
truncate -s 3000000 "$tree/程序/bin/app.dll"
truncate -s 70000 "$tree/深/一/二/三/底.dat"
truncate -s 12 "$tree/根.txt"
mkdir "$work/home"
cp "$program" "$work/home/korvane64.exe"
ln -s "$tree" "$link"
export KORVANE_TEST_HOME=$work/home

"$wine" "$driver" --gtest_filter='ScanPhase.*'

if [ -n "$linux_korvane" ]; then
  mkdir "$work/linux-home"
  if ! KORVANE_DRIVES="K=$tree" "$linux_korvane" --home "$work/linux-home" snapshot --drive K >"$work/linux.log" 2>&1; then
    cat "$work/linux.log" >&2
    exit 1
  fi
  windows_file=$(ls "$work/home"/*.k)
  linux_file=$(ls "$work/linux-home"/*.k)
  "$linux_korvane" decode "$windows_file" >"$work/windows.txt"
  "$linux_korvane" decode "$linux_file" >"$work/linux.txt"
  # The drive's own line holds the volume's used bytes, which the files written meanwhile change.
  grep -v '^K:\\|' "$work/windows.txt" >"$work/windows-dirs.txt"
  grep -v '^K:\\|' "$work/linux.txt" >"$work/linux-dirs.txt"
  if ! diff "$work/linux-dirs.txt" "$work/windows-dirs.txt"; then
    cat "$work/linux.txt" "$work/windows.txt" >&2
    echo "the Windows snapshot differs from the Linux one (< Linux, > Windows)" >&2
    exit 1
  fi
  [ "$(wc -l <"$work/windows.txt")" -eq "$(wc -l <"$work/linux.txt")" ]
  echo "the Windows and the Linux snapshot of the tree agree: $(wc -l <"$work/windows-dirs.txt") directory records"
else
  echo "no Linux build given: the Windows snapshot is not compared with the Linux one"
fi

truncate -s 3145728 "$tree/增长/新.bin"
truncate -s 2097152 "$tree/文档/报告/追加.bin"
"$wine" "$driver" --gtest_filter='ProgramPhase.*'
