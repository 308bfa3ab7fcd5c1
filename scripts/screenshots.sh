#!/usr/bin/env bash
# Takes the pictures of the operator's guide (docs/guide/*.png) from the real trimdesk.exe under
# Wine with the Russian locale, at 100 % display scale (96 DPI), and the main window once more at
# 150 % (144 DPI) as docs/main-window-144dpi.png. Run it again after a change to the windows or
# their texts. The pictures come from the x86_64 build, which starts faster here than the
# 32-bit one and shows the same windows.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh imagemagick optipng
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target screenshot_poser

# A virtual display of our own, large enough for the main window at 150 %, so the pictures look
# the same whoever takes them.
display_note=$(mktemp)
Xvfb -displayfd 3 -nolisten tcp -screen 0 1600x1200x24 3>"$display_note" </dev/null >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$display_note" ] && break
    sleep 0.1
done
[ -s "$display_note" ] || { echo "screenshots: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$display_note")"
rm -f "$display_note"

set_display_scale() {  # DPI; Wine reads it when its server starts
    scripts/wine-run.sh --stop
    scripts/wine-run.sh reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
        >/dev/null 2>&1
    scripts/wine-run.sh --stop
}
finish() {
    set_display_scale 96 || true
    kill "$xvfb_pid" 2>/dev/null || true
}
trap finish EXIT

# Runs the poser with the given arguments and saves each window it shows as FOLDER/NAME.png.
take_pictures() {
    local folder=$1
    shift
    mkdir -p "$folder"
    coproc poser { exec scripts/wine-run.sh build/win64/tests/wine/screenshot_poser.exe "$@" 2>&1; }
    # Copies of the poser's pipes and id: bash drops its own as soon as the poser ends.
    local from_poser to_poser
    exec {from_poser}<&"${poser[0]}" {to_poser}>&"${poser[1]}"
    local poser_pid=$poser_PID name x y width height
    while read -r name x y width height <&"$from_poser"; do
        height=${height%$'\r'}
        if ! [[ $x$y$width$height =~ ^[0-9-]+$ ]]; then
            echo "screenshots: $name $x $y $width $height" >&2  # the poser's complaint
            continue
        fi
        import -display "$DISPLAY" -window root \
            -crop "${width}x${height}+${x}+${y}" +repage "$folder/$name.png"
        optipng -quiet -o5 -strip all "$folder/$name.png"
        echo "screenshots: $folder/$name.png"
        echo taken >&"$to_poser"
    done
    exec {from_poser}<&- {to_poser}>&-
    wait "$poser_pid" || { echo "screenshots: the poser failed" >&2; return 1; }
}

set_display_scale 96
take_pictures docs/guide
set_display_scale 144
take_pictures docs main-window-144dpi
