#!/usr/bin/env bash
# Makes docs/window.png: korvane64.exe under Wine after comparing a generated drive with its snapshot.
# Needs the x86_64 Windows build (scripts/test.sh makes it) and the packages of scripts/setup.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/win64
export WINEPREFIX=$root/build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
link=$WINEPREFIX/dosdevices/k:
if [ -L "$link" ] && [ ! -e "$link" ]; then rm -f "$link"; fi  # left by a killed run
[ -e "$link" ] && { echo "drive K: is already mapped in $WINEPREFIX" >&2; exit 1; }
trap 'rm -f "$link"; rm -rf "$work"' EXIT

# A small user profile's worth of folders, then a session's growth in several of them.
tree=$work/tree
for folder in Users/李明/AppData/Local/Temp Users/李明/AppData/Local/Google/Chrome/Cache \
  Users/李明/AppData/Roaming/Tencent/WeChat Users/李明/Documents/WeChat\ Files Users/李明/Downloads \
  Users/李明/Videos ProgramData/Package\ Cache Windows/SoftwareDistribution/Download Windows/Temp \
  Program\ Files/Common\ Files Windows/Installer; do
  mkdir -p "$tree/$folder"
  truncate -s $((RANDOM * 40)) "$tree/$folder/kept.dat"
done
mkdir "$work/home"
cp "$build/platform/win32/window/korvane64.exe" "$work/home/"
ln -s "$tree" "$link"
export KORVANE_TEST_HOME=$work/home
driver=$build/tests/win32/program/korvane_program_tests.exe
display=:77
Xvfb $display -screen 0 1000x600x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb; rm -f "$link"; rm -rf "$work"' EXIT
export DISPLAY=$display
sleep 2
/usr/lib/wine/wine64 "$driver" --gtest_filter='ScanPhase.*' >/dev/null
size=7
for folder in Users/李明/AppData/Local/Temp Users/李明/AppData/Local/Google/Chrome/Cache \
  Users/李明/AppData/Roaming/Tencent/WeChat Users/李明/Documents/WeChat\ Files Users/李明/Downloads \
  Windows/SoftwareDistribution/Download Windows/Installer; do
  truncate -s $((size * 1048576 + RANDOM)) "$tree/$folder/new.dat"
  size=$((size * 3 / 2))
done
KORVANE_SCREENSHOT_SECONDS=8 /usr/lib/wine/wine64 "$driver" --gtest_filter='Screenshot.*' >/dev/null &
comparison=$!
sleep 6
import -window root -crop 836x487+50+50 "$root/docs/window.png"
wait $comparison
echo "docs/window.png written"
