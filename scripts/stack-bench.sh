#!/usr/bin/env bash
# The input path through Wine's HID stack: the virtual board's stamped stream of 1,000 reports a
# second, read by a host on the real HBV7.dll (a window, one message per packet), by a bare
# overlapped ReadFile loop in the host's own thread, and by the library's design with none of
# its code (a reader thread with the bare loop posting one message per report), round after
# round with the order rotating, for each Windows build that is built. Prints the medians over
# the rounds and the ratios, one `name = value` line each: CPU per report of the host process,
# latency from the board program's hand-over to the host holding the report (median and 99th
# percentile), and the reports lost.
#
#   scripts/stack-bench.sh [ROUNDS [SECONDS]]     after scripts/test-all.sh (default 5 rounds, 5 s)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
seconds=${2:-5}
run=scripts/wine-run.sh
vboard=dist/win64/vboard/vboard.exe
[ -f "$vboard" ] || { echo "stack-bench: build the win64 preset first" >&2; exit 1; }

work=$(mktemp -d)
board=
finish() {
    # The board program is ended, not let finish its time: the node it leaves is removed after.
    if [ -n "$board" ]; then
        kill "$board" 2>/dev/null || true
        wait "$board" 2>/dev/null || true
    fi
    "$run" "$vboard" --unplug-all >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap finish EXIT

"$run" "$vboard" --unplug-all >/dev/null
"$run" "$vboard" --model HBV7 --stamp >"$work/board.out" 2>&1 &
board=$!
for _ in $(seq 300); do
    grep -q '^plugged' "$work/board.out" && break
    kill -0 "$board" 2>/dev/null || break
    sleep 0.1
done
grep -q '^plugged' "$work/board.out" || { cat "$work/board.out"; exit 1; }

# The median of one figure of one mode; each host prints key=value fields on one line.
median() {
    grep "mode=$2 " "$1" | tr ' ' '\n' | sed -n "s/^$3=//p" | sort -g |
        awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
total() { grep "mode=$2 " "$1" | tr ' ' '\n' | sed -n "s/^$3=//p" | awk '{ s += $1 } END { print s + 0 }'; }

for arch in win64 win32; do
    host=build/$arch/tests/hidlib/hid_stack_bench_host.exe
    [ -f "$host" ] && [ -f "dist/$arch/HBV7.dll" ] || continue
    figures=$work/$arch.txt
    for round in $(seq "$rounds"); do
        case $((round % 3)) in
            1) modes="dll bare handoff" ;;
            2) modes="bare handoff dll" ;;
            0) modes="handoff dll bare" ;;
        esac
        for mode in $modes; do
            (cd "dist/$arch" && "../../$run" "../../$host" "$mode" HBV7 "$seconds") | tr -d '\r' |
                tee -a "$figures"
        done
    done
    echo "$arch, medians of $rounds rounds of $seconds s:"
    for figure in cpu_ns_per_report latency_p50_ns latency_p99_ns; do
        for mode in dll bare handoff; do
            eval "$mode=\$(median \"\$figures\" $mode $figure)"
            echo "${arch}_${mode}_$figure = ${!mode}"
        done
        ratio() {
            awk -v a="$2" -v b="$3" -v n="${arch}_${figure}_$1" \
                'BEGIN { if (b > 0) printf "%s = %.3f\n", n, a / b }'
        }
        ratio dll_to_bare_ratio "$dll" "$bare"
        ratio handoff_to_bare_ratio "$handoff" "$bare"
        ratio dll_to_handoff_ratio "$dll" "$handoff"
    done
    for mode in dll bare handoff; do
        echo "${arch}_${mode}_reports_lost = $(total "$figures" "$mode" lost)"
        echo "${arch}_${mode}_reports_out_of_order = $(total "$figures" "$mode" out_of_order)"
    done
done
