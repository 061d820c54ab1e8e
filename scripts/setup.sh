#!/usr/bin/env bash
# Installs what Korvane's builds and tests need from Debian's packages (apt-get update first on a
# machine that lacks any of them).
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev  # native build; clang for the libFuzzer targets
  zlib1g-dev libgtest-dev googletest libcli11-dev  # libraries and test framework
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev  # the Windows builds
  wine64 xvfb xauth imagemagick fonts-wqy-microhei  # the Windows build's window, its Chinese glyphs, screenshots
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
