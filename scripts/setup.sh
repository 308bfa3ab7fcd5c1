#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, when it is missing.
#   setup.sh [extra packages...]
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev googletest libbenchmark-dev clang-format
    mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools llvm
    wine wine64 xvfb xauth x11-utils locales nsis
    "$@"
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
