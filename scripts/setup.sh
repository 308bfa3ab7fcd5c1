#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, when it is missing.
#   setup.sh [extra packages...]
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev googletest libbenchmark-dev clang-format
    mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools llvm
    wine wine64 wine32:i386 xvfb xauth x11-utils locales nsis
    "$@"
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

install() {
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" \
        >/dev/null
}

# wine32 runs the trainers' 32-bit programs; its packages come from the i386 architecture.
add_i386_architecture() {
    dpkg --print-foreign-architectures | grep -qx i386 && return
    $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
}

runs_i386_code() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

recent_qemu_installed() {
    local version
    version=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null) &&
        dpkg --compare-versions "$version" ge 1:8
}

# Some kernels run 64-bit code only (i386 executables fail with "Exec format error"). There,
# qemu runs 32-bit Linux programs, Wine's 32-bit loader among them, through binfmt_misc. It
# must be qemu 8 or later: 7.2 ignores MAP_FIXED_NOREPLACE, which costs Wine a minute per
# process start. Debian 12 has it in bookworm-backports. The registration does not outlive a
# reboot, so every run checks it.
enable_i386_emulation() {
    installed libc6:i386 || { $sudo apt-get update -qq && install libc6:i386; }
    runs_i386_code && return
    if ! recent_qemu_installed; then
        echo "setup: this kernel runs no 32-bit code; installing qemu-user-static for it"
        echo "deb http://deb.debian.org/debian bookworm-backports main" |
            $sudo tee /etc/apt/sources.list.d/bookworm-backports.list >/dev/null
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq -t bookworm-backports \
            qemu-user-static >/dev/null
    fi
    local binfmt=/proc/sys/fs/binfmt_misc
    [ -f $binfmt/register ] || $sudo mount -t binfmt_misc binfmt_misc $binfmt
    [ -e $binfmt/qemu-i386 ] ||
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
        $sudo tee $binfmt/register >/dev/null
    runs_i386_code || { echo "setup: 32-bit programs still do not run here" >&2; exit 1; }
}

add_i386_architecture
enable_i386_emulation

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
$sudo apt-get update -qq
install "${missing[@]}"
