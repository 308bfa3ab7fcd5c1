#!/usr/bin/env bash
# The Wine runner's shared state under runs at once, as a test suite in parallel makes them:
# - two first uses on a state folder whose locale is not built yet, with a slow localedef: each
#   must start with the whole Russian locale;
# - a prefix that must be made anew (the Wine loaders changed) while a program of another run is
#   alive in it: the prefix is not removed under that program, and the new run still works.
#   runner_first_use.sh WINE_RUN_SH PRINT_LOCALE_VIEW_EXE
set -euo pipefail
runner=$1
print_locale_view=$2
state=$(mktemp -d)
export TRIMDESK_WINE_STATE=$state
trap '"$runner" --stop >/dev/null 2>&1; rm -rf "$state"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The prefix alone, with a locale that needs no building.
TRIMDESK_WINE_LOCALE=C.UTF-8 "$runner" cmd /c exit

# A localedef that takes its time between making its folder and filling it, as on a slow disk.
mkdir "$state/slow"
cat >"$state/slow/localedef" <<'SLOW'
#!/bin/sh
for output; do :; done
mkdir -p "$output"
sleep 4
exec /usr/bin/localedef "$@"
SLOW
chmod +x "$state/slow/localedef"

# The second run comes while the first one builds the locale.
for run in 1 2; do
    PATH=$state/slow:$PATH "$runner" "$print_locale_view" проверка >"$state/view$run.out" 2>&1 &
    eval "view$run=\$!"
    sleep 1
done
for run in 1 2; do
    eval "pid=\$view$run"
    if ! wait "$pid"; then
        fail "first use $run: $(cat "$state/view$run.out")"
    elif [ "$(tr -d '\r' <"$state/view$run.out")" != "1251 866 проверка" ]; then
        fail "first use $run started without the Russian locale: $(cat "$state/view$run.out")"
    fi
done

# A program that lives for about three seconds, then the loaders seem to have changed.
"$runner" ping -n 4 127.0.0.1 >"$state/long.out" 2>&1 &
long=$!
sleep 1.5
echo "other loaders" >"$state/prefix/.trimdesk-ready"
started=$SECONDS
"$runner" cmd /c exit >"$state/remake.out" 2>&1 || fail "the run that remade the prefix: $(cat "$state/remake.out")"
wait "$long" || fail "the program in the old prefix was ended under it: $(cat "$state/long.out")"
grep -q "$(cat "$state/prefix/.trimdesk-ready" 2>/dev/null)" <<<"wine wine64 " ||
    fail "the prefix was not made anew"

[ $failures -eq 0 ] && echo "the runner's locale and prefix held under runs at once"
exit $failures
