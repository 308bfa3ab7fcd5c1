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

binfmt=/proc/sys/fs/binfmt_misc

# The interpreter of an enabled binfmt_misc entry that runs i386 programs through qemu, if any.
i386_emulator() {
    local entry
    for entry in "$binfmt"/*; do
        [ -f "$entry" ] && grep -qx enabled "$entry" 2>/dev/null || continue
        sed -n 's/^interpreter \(.*qemu-i386.*\)$/\1/p' "$entry"
    done | head -n 1
}

# qemu 8 or later: 7.2 ignores MAP_FIXED_NOREPLACE, which costs Wine a minute per process start.
recent_qemu() {
    local major
    major=$("$1" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p')
    [ -n "$major" ] && [ "$major" -ge 8 ]
}

recent_qemu_installed() {
    local version
    version=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null) &&
        dpkg --compare-versions "$version" ge 1:8
}

# Some kernels run 64-bit code only (i386 executables fail with "Exec format error"). There,
# qemu runs 32-bit Linux programs, Wine's 32-bit loader among them, through binfmt_misc, from
# bookworm-backports (Debian 12's own is 7.2). An emulation already registered counts only when
# it is recent: whatever runs i386 programs is looked at before it is trusted. The registration
# does not outlive a reboot, so every run checks it.
enable_i386_emulation() {
    installed libc6:i386 || { $sudo apt-get update -qq && install libc6:i386; }
    [ -f $binfmt/register ] || $sudo mount -t binfmt_misc binfmt_misc $binfmt 2>/dev/null || true
    local emulator
    emulator=$(i386_emulator)
    if [ -z "$emulator" ]; then
        runs_i386_code && return
    elif recent_qemu "$emulator"; then
        return
    else
        echo "setup: $emulator is older than qemu 8; replacing its registration"
        for entry in "$binfmt"/*; do
            grep -qs "^interpreter $emulator\$" "$entry" && echo -1 | $sudo tee "$entry" >/dev/null
        done
        runs_i386_code && return  # the kernel runs them itself
    fi
    if ! recent_qemu_installed; then
        echo "setup: this kernel runs no 32-bit code; installing qemu-user-static for it"
        echo "deb http://deb.debian.org/debian bookworm-backports main" |
            $sudo tee /etc/apt/sources.list.d/bookworm-backports.list >/dev/null
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq -t bookworm-backports \
            qemu-user-static >/dev/null
    fi
    [ -e $binfmt/qemu-i386 ] ||
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
        $sudo tee $binfmt/register >/dev/null
    runs_i386_code && recent_qemu "$(i386_emulator)" ||
        { echo "setup: 32-bit programs still do not run here through qemu 8 or later" >&2; exit 1; }
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
