#!/usr/bin/env bash
# Runs one Windows program, 64-bit or 32-bit, under Wine in the project's private prefix, with
# an X display and the Russian locale. CMake uses it as the cross-compiling emulator of both
# Windows builds.
#
#   TRIMDESK_WINE_STATE   where the prefix, the display note and the locale live
#   TRIMDESK_WINE_LOCALE  locale for the run (default ru_RU.UTF-8; C.UTF-8 shows an English one)
#
#   wine-run.sh PROGRAM [ARGS...]   run a program
#   wine-run.sh --stop              end the Wine server and the display this script started
set -euo pipefail

state=${TRIMDESK_WINE_STATE:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/trimdesk-wine}
mkdir -p "$state"
export WINEPREFIX=$state/prefix
export WINEDEBUG=-all
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# The 64-bit loader starts 32-bit programs as well (through the 32-bit one). Debian's `wine`
# prefers the 32-bit loader whenever wine32 is installed, which on a machine that runs 32-bit
# code only through an emulator makes every start, 64-bit ones too, several times slower.
loader=/usr/lib/wine/wine64
[ -x "$loader" ] || loader=wine

display_alive() { [ -n "${1:-}" ] && xdpyinfo -display "$1" >/dev/null 2>&1; }

# Wine behaves like Russian Windows (code page 1251) only when glibc knows the locale.
prepare_locale() {
    local wanted=${TRIMDESK_WINE_LOCALE:-ru_RU.UTF-8}
    if [ "$wanted" = ru_RU.UTF-8 ] && ! LC_ALL=C locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
        export LOCPATH=$state/locale
        if [ ! -d "$LOCPATH/ru_RU.UTF-8" ]; then
            # Built aside and renamed, so a build cut short is never taken for a locale.
            rm -rf "$LOCPATH/ru_RU.UTF-8.new"
            mkdir -p "$LOCPATH"
            LC_ALL=C localedef -i ru_RU -f UTF-8 "$LOCPATH/ru_RU.UTF-8.new"
            mv "$LOCPATH/ru_RU.UTF-8.new" "$LOCPATH/ru_RU.UTF-8"
        fi
    fi
    { export LC_ALL=$wanted; } 2>/dev/null  # bash itself need not know the locale
}

# A prefix made while only wine64 was installed has no 32-bit system folder, and once wine32 is
# installed every program in it, 64-bit ones too, fails to load kernel32.dll. So the prefix
# records the loaders it was made with, and is made anew when they have changed.
installed_loaders() {
    local candidate
    for candidate in /usr/lib/wine/wine /usr/lib/wine/wine64; do
        [ -x "$candidate" ] && printf '%s ' "${candidate##*/}"
    done
    return 0
}

# Every run holds the in-use lock shared for as long as its program (and what that program
# starts) lives; remaking the prefix takes it exclusively, so a prefix never goes away under a
# program of another run.
prepare_prefix() {
    local ready=$WINEPREFIX/.trimdesk-ready loaders
    loaders=$(installed_loaders)
    [ -f "$ready" ] && [ "$(cat "$ready")" = "$loaders" ] && return
    if [ -d "$WINEPREFIX" ]; then
        if ! flock -x -w "${TRIMDESK_WINE_WAIT:-900}" 8; then
            echo "wine-run: the prefix $WINEPREFIX must be made anew (the Wine loaders changed)," \
                "but programs of other runs still use it; try again once they have ended" >&2
            exit 1
        fi
        wineserver -k 2>/dev/null || true
        rm -rf "$WINEPREFIX"
    fi
    # The server and services that wineboot starts outlive this run: they must not hold its locks.
    "$loader" wineboot -i >/dev/null 2>&1 8>&- 9>&-
    # Without a window manager Wine waits at every hide of a top-level window; unmanaged
    # windows make a suite several times faster.
    "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 8>&- 9>&-
    wineserver -w
    echo "$loaders" >"$ready"
}

prepare_display() {
    display_alive "${DISPLAY:-}" && return
    local note=$state/display
    if display_alive ":$(cat "$note" 2>/dev/null)"; then
        export DISPLAY=":$(cat "$note")"
        return
    fi
    # A display of our own, detached from the caller's output so that no harness waits on it.
    rm -f "$note.new"
    setsid Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$note.new" \
        </dev/null >/dev/null 2>&1 8>&- 9>&- &
    for _ in $(seq 100); do
        [ -s "$note.new" ] && break
        sleep 0.1
    done
    [ -s "$note.new" ] || { echo "wine-run: Xvfb did not start" >&2; exit 1; }
    mv "$note.new" "$note"
    echo $! >"$state/xvfb.pid"
    export DISPLAY=":$(cat "$note")"
}

if [ "${1:-}" = --stop ]; then
    wineserver -k 2>/dev/null || true
    [ -f "$state/xvfb.pid" ] && kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid" "$state/display"
    exit 0
fi

# Everything a run prepares is shared with the runs beside it (a test suite starts several at
# once), so it is prepared under one lock: a half-built locale or prefix is never seen.
exec 9>"$state/lock"
flock 9
exec 8>"$state/in-use"
prepare_locale
prepare_prefix
prepare_display
flock -s 8
# Wine's server and its background services keep the output of the process that started them
# open until they exit; started here, detached, they never hold a harness's pipe (nor the
# in-use lock, which a server outliving every program must not keep).
if wineserver -p60 </dev/null >/dev/null 2>&1 8>&- 9>&-; then
    "$loader" wineboot </dev/null >/dev/null 2>&1 8>&- 9>&- || true
fi
flock -u 9
exec 9>&-

exec "$loader" "$@"
