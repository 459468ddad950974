#!/usr/bin/env bash
# Runs a program of the Windows build under Wine on a bench file: the simulated driver
# (morvane-simdriver.dll) serves the bench's tuners, capture and transport-information filters
# through Wine's own device enumerator, property bags, class activation and filter graph.
#
#   scripts/wine-bench.sh BENCH PROGRAM.exe [ARGUMENTS...]
#
# Sets up (or reuses) the prefix, registers the driver and the bench's device entries, runs
# the program, removes the registration again, and returns the program's exit code. Runs in
# one prefix take turns (the registry is shared). While it runs, every edit of the bench is a device
# change, as on Linux: the entries are registered anew (an unplugged tuner disappears) and
# WM_DEVICECHANGE with DBT_DEVNODES_CHANGED goes to every top-level window. The driver's own
# writes into the bench (a stored property value) are no device change.
#
# A bench that cannot be read or is refused: "bench: FILE: REASON" on standard error, exit 2,
# and the program does not run.
#
# WINEPREFIX        the prefix (default: wine/prefix in the build tree holding the program)
# MORVANE_TRACE     a file for the driver's trace lines (Linux path; passed on as a Wine path)
# MCC_WINE_TIMEOUT  seconds the program may run (default 120)
# MCC_SIMDRIVER_DIR where morvane-simdriver.dll and morvane-register.exe are (default: the
#                   program's directory)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

if [ $# -lt 2 ]; then
    echo "usage: scripts/wine-bench.sh BENCH PROGRAM.exe [ARGUMENTS...]" >&2
    exit 64
fi
bench_given=$1
bench=$(_wine_absolute "$1")
program=$(_wine_absolute "$2")
shift 2
wine_env_find || exit 127

driver_dir=${MCC_SIMDRIVER_DIR:-$(dirname "$program")}
dll=$driver_dir/morvane-simdriver.dll
register=$driver_dir/morvane-register.exe
for file in "$program" "$dll" "$register"; do
    if [ ! -f "$file" ]; then
        echo "wine-bench: $file does not exist (build the windows preset first)" >&2
        exit 127
    fi
done

prefix=${WINEPREFIX:-}
[ -n "$prefix" ] || prefix=$(wine_prefix_default "$program") || exit 1
wine_prefix_ensure "$prefix" || exit 1
wine_env_export "$prefix"
# One run at a time per prefix: the device entries live in its registry. (Nothing started
# from here keeps the lock's descriptor: a lingering wineserver would hold the lock.)
exec 8>"$WINEPREFIX.bench-lock"
if ! flock -w "${MCC_WINE_BENCH_WAIT:-900}" 8; then
    echo "wine-bench: another run holds $WINEPREFIX.bench-lock; gave up waiting" >&2
    exit 1
fi
# Registrations and the program follow one another: one wineserver for all of them.
wine_server_start "$prefix" 30 8>&-

# Wine sees the host's / as drive Z:.
wine_path() { printf 'Z:%s' "${1//\//\\}"; }

work=$(mktemp -d)
watcher=() reader=() registered=""
# The prefix is left as it was found: the driver's classes and the bench's device entries go.
cleanup() {
    if [ ${#watcher[@]} -gt 0 ]; then kill "${watcher[@]}" 2>/dev/null || true; fi
    if [ ${#reader[@]} -gt 0 ]; then wait "${reader[@]}" 2>/dev/null || true; fi
    if [ -n "$registered" ]; then
        wine_run_limited 60 "$register" --unregister "$(wine_path "$dll")" >&2 8>&- || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

export MORVANE_BENCH MORVANE_BENCH_LABEL
MORVANE_BENCH=$(wine_path "$bench")
MORVANE_BENCH_LABEL=$bench_given
if [ -n "${MORVANE_TRACE:-}" ]; then
    MORVANE_TRACE=$(wine_path "$(_wine_absolute "$MORVANE_TRACE")")
    export MORVANE_TRACE
fi
# The driver copies each text it writes into the bench here first: its own writes.
export MORVANE_SIMDRIVER_OWN_WRITES
MORVANE_SIMDRIVER_OWN_WRITES=$(wine_path "$work/own-write")

register_bench() {
    wine_run_limited 60 "$register" "$@" "$(wine_path "$dll")" 8>&-
}

status=0
registered=yes
register_bench || status=$?
if [ "$status" -ne 0 ]; then
    exit "$status"
fi
cp "$bench" "$work/registered" 2>/dev/null || : >"$work/registered"

# One device change for a content that differs from the one registered last and is not the
# driver's own write.
on_change() {
    cmp -s "$bench" "$work/registered" && return 0
    if cmp -s "$bench" "$work/own-write"; then
        cp "$bench" "$work/registered"
        return 0
    fi
    cp "$bench" "$work/registered" 2>/dev/null || rm -f "$work/registered"
    # A refused bench keeps the entries of the last valid one; the driver tells why.
    register_bench --notify || true
}

bench_dir=$(dirname "$bench") bench_name=$(basename "$bench")
if command -v inotifywait >/dev/null 2>&1; then
    mkfifo "$work/events"
    inotifywait -m -e close_write,moved_to,create,delete,modify --format '%f' "$bench_dir" \
        >"$work/events" 2>"$work/inotify.log" 8>&- &
    watcher=($!)
    while read -r name; do
        [ "$name" = "$bench_name" ] && on_change
    done <"$work/events" &
    reader=($!)
    # The program starts only once the watch is in place.
    for _ in $(seq 100); do
        grep -q 'Watches established' "$work/inotify.log" 2>/dev/null && break
        sleep 0.05
    done
else
    (
        while sleep 0.5; do on_change; done
    ) &
    watcher=($!)
fi

wine_run_limited "$MCC_WINE_TIMEOUT" "$program" "$@" 8>&- || status=$?
exit "$status"
