#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: native, sanitizers,
# fuzz targets, and the Windows builds (i686 and x86_64, both run under Wine) with their
# release archives in dist/, unpacked and checked by a test of each Windows preset.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
trap 'scripts/wine-run.sh --stop' EXIT

failed=()
for preset in native asan tsan fuzz win32 win64; do
    echo "=== $preset"
    started=$SECONDS
    if cmake --preset "$preset" >/dev/null &&
        cmake --build --preset "$preset" &&
        ctest --preset "$preset"; then
        :
    else
        failed+=("$preset")
    fi
    echo "=== $preset: $((SECONDS - started)) s"
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "FAILED presets: ${failed[*]}"
    exit 1
fi
echo "all presets passed; release archives:"
ls dist/*.zip
