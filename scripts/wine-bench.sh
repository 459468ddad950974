#!/usr/bin/env bash
# Runs a program of the Windows build under Wine on a bench file: the simulated driver
# (morvane-simdriver.dll) serves the bench's tuners, capture and transport-information filters
# through Wine's own device enumerator, property bags, class activation and filter graph.
#
#   scripts/wine-bench.sh BENCH PROGRAM.exe [ARGUMENTS...]
#
# Sets up (or reuses) the prefix, registers the driver and the bench's device entries, runs
# the program while morvane-register.exe --watch announces each outside edit of the bench as a
# device change (by the bench rules the driver shares with the Linux stand-in), removes the
# registration, and returns the program's exit code. Runs in one prefix take turns. A refused
# bench: "bench: FILE: REASON" on standard error and exit 2; any other failure of the script
# says why ("wine-bench: ...").
#
# On a display (DISPLAY set) the window appears there: without WINEPREFIX the run uses the
# build tree's prefix wine/prefix-x11, made for Wine's X11 driver. A program shown on a display
# or started from a terminal runs as long as the user keeps it; other runs stop after 120 s.
#
# WINEPREFIX        the prefix, used with the graphics driver it was made with (default above)
# MORVANE_TRACE     a file for the driver's trace lines (Linux path; passed on as a Wine path)
# MCC_WINE_TIMEOUT  seconds the program may run (the tests set it; 0: no limit)
# MCC_SIMDRIVER_DIR the folder of morvane-simdriver.dll and morvane-register.exe (default: the
#                   program's)
set -Eeuo pipefail
# Set by the caller, not by wine-env.sh's default.
time_limit=${MCC_WINE_TIMEOUT:-}
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

trap 'echo "wine-bench: stopped at line $LINENO: \"$BASH_COMMAND\" failed (exit $?)" >&2' ERR
trap 'echo "wine-bench: stopped by SIGTERM" >&2; exit 143' TERM
trap 'echo "wine-bench: stopped by SIGHUP" >&2; exit 129' HUP
trap 'exit 130' INT

[ $# -ge 2 ] || { echo "usage: scripts/wine-bench.sh BENCH PROGRAM.exe [ARGUMENTS...]" >&2 && exit 64; }
bench_given=$1 bench=$(_wine_absolute "$1") program=$(_wine_absolute "$2")
shift 2
wine_env_find || exit 127

driver_dir=${MCC_SIMDRIVER_DIR:-$(dirname "$program")}
dll=$driver_dir/morvane-simdriver.dll
register=$driver_dir/morvane-register.exe
for file in "$program" "$dll" "$register"; do
    [ -f "$file" ] || { echo "wine-bench: $file does not exist (build the windows preset first)" >&2 && exit 127; }
done

prefix=${WINEPREFIX:-} prefix_options=()
if [ -z "$prefix" ]; then
    prefix=$(wine_prefix_default "$program") || exit 1
    [ -z "${DISPLAY:-}" ] || prefix=$prefix-x11 prefix_options=(--graphics x11)
fi
wine_prefix_ensure "$prefix" "${prefix_options[@]}" || exit 1
wine_env_export "$prefix"
if [ -z "$time_limit" ]; then
    time_limit=120
    if [ -t 0 ] || { [ -n "${DISPLAY:-}" ] && grep -qs 'graphics=x11' "$WINEPREFIX/.mcc-prefix"; }; then
        time_limit=0 # someone is there to end it
    fi
fi
# Wine reads the environment (the bench's path among it) in the locale's character set.
[ "$(locale charmap 2>/dev/null)" = UTF-8 ] ||
    { export LANG=${LC_ALL:-${LANG:-C}} LC_CTYPE=C.UTF-8 && unset LC_ALL; }
# One run at a time per prefix (the device entries live in its registry); nothing started from
# here keeps the lock's descriptor, which a lingering wineserver would hold.
exec 8>"$WINEPREFIX.bench-lock"
if ! flock -w "${MCC_WINE_BENCH_WAIT:-900}" 8; then
    echo "wine-bench: another run holds $WINEPREFIX.bench-lock; gave up waiting" >&2
    exit 1
fi
# Registrations and the program follow one another: one wineserver for all of them.
wine_server_start "$prefix" 30 8>&-

# Wine sees the host's / as drive Z:.
wine_path() { printf 'Z:%s' "${1//\//\\}"; }
export MORVANE_BENCH=$(wine_path "$bench") MORVANE_BENCH_LABEL=$bench_given
[ -z "${MORVANE_TRACE:-}" ] || export MORVANE_TRACE=$(wine_path "$(_wine_absolute "$MORVANE_TRACE")")

# The watch's log and its sign of being set up lie beside the lock. The prefix is left as it
# was found: the driver's classes and the bench's device entries go.
watcher="" registered="" watch_log=$WINEPREFIX.bench-watch.log ready=$WINEPREFIX.bench-watching
cleanup() {
    local status=$?
    set +e && trap - ERR
    [ -z "$watcher" ] || { kill "$watcher" && wait "$watcher"; } 2>/dev/null
    [ ! -s "$watch_log" ] || tr -d '\r' <"$watch_log" >&2
    rm -f "$watch_log" "$ready"
    if [ -n "$registered" ]; then
        wine_run_limited 60 "$register" --unregister "$(wine_path "$dll")" >&2 8>&- ||
            echo "wine-bench: removing the driver's registration from $WINEPREFIX failed" >&2
    fi
    exit "$status"
}
trap cleanup EXIT

# The watch registers the driver and the bench's entries first; the program starts once the
# watch is set up (it runs on until stopped here).
rm -f "$ready"
registered=yes status=0
"$MCC_WINE" "$register" --watch "$(wine_path "$dll")" "$(wine_path "$ready")" \
    </dev/null >/dev/null 2>"$watch_log" 8>&- &
watcher=$!
for _ in $(seq 1200); do
    [ ! -e "$ready" ] && kill -0 "$watcher" 2>/dev/null && sleep 0.05 || break
done
if [ ! -e "$ready" ]; then
    kill "$watcher" 2>/dev/null || :; wait "$watcher" || status=$?
    watcher=""
    [ "$status" -ne 2 ] || exit 2 # the bench is refused: the register tool said why
    echo "wine-bench: registering the driver and the bench's devices in $WINEPREFIX failed" \
        "(exit $status)" >&2
    exit 1
fi

wine_run_limited "$time_limit" "$program" "$@" 8>&- || status=$?
exit "$status"
