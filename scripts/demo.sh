#!/usr/bin/env bash
# Installs what is missing, builds the trainers' 32-bit Windows program and starts the real
# trimdesk.exe under Wine in demo/, a working folder laid out like a trainer's: the HBV5.dll
# interface marker, the stand-in calibrators, and C:\sys_kvel\ with a defaults file.
# With no X display of your own, the program runs on a virtual one and a screenshot is saved.
#
#   scripts/demo.sh [--win64]    the 64-bit build instead
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
preset=win32
if [ "${1:-}" = --win64 ]; then preset=win64; fi

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then headless=1; fi
if [ $headless = 1 ]; then scripts/setup.sh imagemagick; else scripts/setup.sh; fi

cmake --preset $preset >/dev/null
cmake --build --preset $preset --target trimdesk capta captb captc captd capte

# The working folder: the program, the calibrators, and the marker that selects capta.exe.
rm -rf demo && mkdir -p demo
cp dist/$preset/trimdesk.exe build/$preset/tests/standins/capt?.exe demo/
: >demo/HBV5.dll

# C:\sys_kvel\ inside the Wine prefix, with default values for "Восстановить значения...".
state=${TRIMDESK_WINE_STATE:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/trimdesk-wine}
scripts/wine-run.sh cmd /c exit >/dev/null 2>&1  # makes the prefix on first use
mkdir -p "$state/prefix/drive_c/sys_kvel"
printf '%s\r\n' 900 100 800 50 700 60 600 70 500 80 >"$state/prefix/drive_c/sys_kvel/calib_us.out"

cd demo
if [ $headless = 0 ]; then
    echo "demo: trimdesk.exe is starting on your display; the result file will be"
    echo "      $state/prefix/drive_c/sys_kvel/calib5us.out"
    exec "$root/scripts/wine-run.sh" trimdesk.exe
fi

setsid "$root/scripts/wine-run.sh" trimdesk.exe </dev/null >/dev/null 2>&1 &
sleep 5
display=":$(cat "$state/display")"
import -display "$display" -window root screenshot.png
echo "demo: trimdesk.exe runs on the virtual display $display; its window is in demo/screenshot.png"
echo "      stop it with: scripts/wine-run.sh --stop"
