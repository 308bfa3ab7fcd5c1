#!/usr/bin/env bash
# Takes the README's pictures of the real trimdesk.exe under Wine on a virtual display:
# docs/main-window.png and docs/gearbox-dialog.png. Run it again after a change to the windows.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh imagemagick
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target screenshot_poser

# Always the project's virtual display, so the pictures look the same whoever takes them.
unset DISPLAY
state=${TRIMDESK_WINE_STATE:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/trimdesk-wine}
mkdir -p docs

trap 'scripts/wine-run.sh --stop' EXIT
coproc poser { exec scripts/wine-run.sh build/win64/tests/wine/screenshot_poser.exe 2>&1; }
# Copies of the poser's pipes and id: bash drops its own as soon as the poser ends.
exec {from_poser}<&"${poser[0]}" {to_poser}>&"${poser[1]}"
poser_pid=$poser_PID
taken=0
while read -r name x y width height <&"$from_poser"; do
    height=${height%$'\r'}
    if ! [[ $x$y$width$height =~ ^[0-9-]+$ ]]; then
        echo "screenshots: $name $x $y $width $height" >&2  # the poser's complaint
        continue
    fi
    import -display ":$(cat "$state/display")" -window root \
        -crop "${width}x${height}+${x}+${y}" +repage "docs/$name.png"
    echo "screenshots: docs/$name.png"
    taken=$((taken + 1))
    echo taken >&"$to_poser"
done
wait "$poser_pid" || true
[ "$taken" -eq 2 ] || { echo "screenshots: only $taken of 2 pictures taken" >&2; exit 1; }
