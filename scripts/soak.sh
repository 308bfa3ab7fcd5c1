#!/usr/bin/env bash
# The long soak of the DLLs under Wine: Init and Done again and again with the real and the
# simulated DLLs, and a stream from the simulated board that vanishes every 700 ms, drained by
# a window's message loop; each for SECONDS per model (default 300). Prints the handles,
# threads and committed private memory of the host process at the start and the end.
# Needs a built win64 preset (the i686 programs cannot run here).
#
#   scripts/soak.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
build=build/win64
soak=$PWD/$build/tests/hidlib/hid_soak.exe
[ -f "$soak" ] || { echo "build the win64 preset first: $soak is missing" >&2; exit 1; }

status=0
for run in "hidlib init-done" "hidlib/simulated init-done" "hidlib/simulated stream"; do
    read -r folder mode <<<"$run"
    echo "=== $folder: $mode, $seconds s per model"
    (cd "$build/$folder" && "$OLDPWD/scripts/wine-run.sh" "$soak" . "$mode" "$seconds") || status=1
done
exit $status
