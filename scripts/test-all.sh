#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: native, sanitizers,
# fuzz targets, and the Windows builds (i686 and x86_64, both run under Wine) with their
# release archives in dist/, unpacked and checked by a test of each Windows preset.
#
# The Windows builds come first, at full speed. Their suites spend most of their time waiting
# on Wine and on the virtual board's real time, so the two run side by side, each in a Wine
# prefix of its own (their boards never meet), while the Linux presets build and test beside
# them at the lowest priority, which keeps them from delaying the board's stream.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

wine_state=${TRIMDESK_WINE_STATE:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/trimdesk-wine}
windows_presets=(win32 win64)
linux_presets=(native asan tsan fuzz)
logs=build/test-logs
mkdir -p "$logs"

stop_wine() {
    for preset in "${windows_presets[@]}"; do
        TRIMDESK_WINE_STATE=$wine_state-$preset scripts/wine-run.sh --stop
    done
}
trap stop_wine EXIT

failed=()

build() { cmake --preset "$1" >/dev/null && cmake --build --preset "$1"; }

timed() {  # PRESET COMMAND...: runs the command, notes the preset as failed if it fails
    local preset=$1 started=$SECONDS
    shift
    echo "=== $preset"
    "$@" || failed+=("$preset")
    echo "=== $preset: $((SECONDS - started)) s"
}

for preset in "${windows_presets[@]}"; do
    timed "$preset build" build "$preset"
done

suites=()
for preset in "${windows_presets[@]}"; do
    TRIMDESK_WINE_STATE=$wine_state-$preset ctest --preset "$preset" >"$logs/$preset.log" 2>&1 &
    suites+=("$preset:$!")
done

for preset in "${linux_presets[@]}"; do
    timed "$preset" nice -n 19 bash -c "$(declare -f build); build $preset && ctest --preset $preset"
done

for suite in "${suites[@]}"; do
    preset=${suite%%:*}
    echo "=== $preset tests (run beside the Linux presets)"
    wait "${suite##*:}" || failed+=("$preset")
    cat "$logs/$preset.log"
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "FAILED presets: ${failed[*]}"
    exit 1
fi
echo "all presets passed; release archives:"
ls dist/*.zip
