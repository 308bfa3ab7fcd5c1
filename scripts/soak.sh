#!/usr/bin/env bash
# The long soak of the DLLs under Wine: Init and Done again and again with the real and the
# simulated DLLs, and a stream from the simulated board that vanishes every 700 ms, drained by
# a window's message loop; each for SECONDS per model (default 300); and the real DLLs through
# Wine's HID stack while vboard.exe unplugs and replugs the board, SECONDS cycles per model.
# Prints the handles, threads and committed private memory of the host process at the start and
# the end.
# Runs for each Windows build that is built, or for the presets named.
#
#   scripts/soak.sh [SECONDS [win32|win64]...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
shift || true
presets=(win32 win64)
[ $# -eq 0 ] || presets=("$@")

vboard=$PWD/dist/win64/vboard/vboard.exe
status=0 soaked=0
for build in "${presets[@]/#/build/}"; do
    soak=$PWD/$build/tests/hidlib/hid_soak.exe
    [ -f "$soak" ] || continue
    soaked=1
    for run in "hidlib init-done" "hidlib/simulated init-done" "hidlib/simulated stream" \
        "hidlib stack"; do
        read -r folder mode <<<"$run"
        # Through the HID stack a cycle of the board (700 ms plugged, 700 ms not) takes 1.4 s.
        board=()
        if [ "$mode" = stack ]; then
            [ -f "$vboard" ] || continue
            board=("$vboard")
        fi
        echo "=== $build/$folder: $mode, $seconds s per model"
        (cd "$build/$folder" &&
            "$OLDPWD/scripts/wine-run.sh" "$soak" . "$mode" "$seconds" "${board[@]}") || status=1
    done
done
[ $soaked = 1 ] || { echo "build the win32 or win64 preset first" >&2; exit 1; }
exit $status
