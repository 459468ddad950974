#!/usr/bin/env bash
# Runs a program of the Windows build under Wine on a bench file: the simulated driver
# (morvane-simdriver.dll) serves the bench's tuners, capture and transport-information filters
# through Wine's own device enumerator, property bags, class activation and filter graph.
#
#   scripts/wine-bench.sh BENCH PROGRAM.exe [ARGUMENTS...]
#
# Sets up (or reuses) the prefix, registers the driver and the bench's device entries, runs
# the program, removes the registration again, and returns the program's exit code. Runs in
# one prefix take turns (the registry is shared). While it runs, every outside edit of the bench
# is a device change, as on Linux: the entries are registered anew (an unplugged tuner
# disappears) and WM_DEVICECHANGE with DBT_DEVNODES_CHANGED goes to every top-level window. The
# driver's own writes into the bench (a stored property value) are no device change. A bench
# reached through a symbolic link is watched where the file lies; a replaced folder is watched
# anew. The bench is read only as the driver reads it: a regular file of at most 16 MiB, opened
# without waiting (a named pipe or a device in its place is an unusable bench, not a wait).
#
# A bench that cannot be read or is refused: "bench: FILE: REASON" on standard error, exit 2,
# and the program does not run. Every other failure of the script itself says why on standard
# error ("wine-bench: ...").
#
# On a display (DISPLAY set) the window appears there: without WINEPREFIX the run uses the
# prefix wine/prefix-x11 of the build tree, made for Wine's X11 driver (the tests' wine/prefix
# uses the null driver, which shows nothing). A program shown on a display, or started from a
# terminal, runs as long as the user keeps it; other runs are stopped after 120 s.
#
# WINEPREFIX        the prefix, used with the graphics driver it was made with (default above)
# MORVANE_TRACE     a file for the driver's trace lines (Linux path; passed on as a Wine path)
# MCC_WINE_TIMEOUT  seconds the program may run (the tests set it; 0: no limit)
# MCC_SIMDRIVER_DIR where morvane-simdriver.dll and morvane-register.exe are (default: the
#                   program's directory)
set -Eeuo pipefail
# Set by the caller, not by wine-env.sh's default.
time_limit=${MCC_WINE_TIMEOUT:-}
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

# Whatever stops the script unplanned says so.
trap 'echo "wine-bench: stopped at line $LINENO: \"$BASH_COMMAND\" failed (exit $?)" >&2' ERR
trap 'echo "wine-bench: stopped by SIGTERM" >&2; exit 143' TERM
trap 'echo "wine-bench: stopped by SIGHUP" >&2; exit 129' HUP
trap 'exit 130' INT

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

prefix=${WINEPREFIX:-} prefix_options=()
if [ -z "$prefix" ]; then
    prefix=$(wine_prefix_default "$program") || exit 1
    if [ -n "${DISPLAY:-}" ]; then
        prefix=$prefix-x11 prefix_options=(--graphics x11)
    fi
fi
wine_prefix_ensure "$prefix" "${prefix_options[@]}" || exit 1
wine_env_export "$prefix"
if [ -z "$time_limit" ]; then
    time_limit=120
    if [ -t 0 ] || { [ -n "${DISPLAY:-}" ] && grep -qs 'graphics=x11' "$WINEPREFIX/.mcc-prefix"; }; then
        time_limit=0 # someone is there to end it
    fi
fi
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
watcher="" registered_entries=""
# The prefix is left as it was found: the driver's classes and the bench's device entries go.
cleanup() {
    local status=$?
    set +e
    trap - ERR
    if [ -n "$watcher" ]; then
        kill "$watcher" 2>/dev/null
        wait "$watcher" 2>/dev/null
    fi
    if [ -f "$work/watch.pid" ]; then kill "$(cat "$work/watch.pid")" 2>/dev/null; fi
    if [ -n "$registered_entries" ]; then
        wine_run_limited 60 "$register" --unregister "$(wine_path "$dll")" >&2 8>&- ||
            echo "wine-bench: removing the driver's registration from $WINEPREFIX failed" >&2
    fi
    rm -rf "$work"
    exit "$status"
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
registered_entries=yes
register_bench || status=$?
if [ "$status" -eq 2 ]; then
    exit 2 # the bench is refused: the register tool said why
elif [ "$status" -ne 0 ]; then
    echo "wine-bench: registering the driver and the bench's devices in $WINEPREFIX failed" \
        "(exit $status)" >&2
    exit "$status"
fi

# ---- the bench's content, read by its own rules ---------------------------------------------

max_bytes=$((16 << 20))

# Copies the bench into $work/current when it is a regular file of at most 16 MiB, opened
# without waiting and read no further than just past the limit (whatever takes its place
# meanwhile); 1, with nothing copied, when it is not.
snapshot() {
    local kind size
    rm -f "$work/current"
    kind=$(stat -L -c %F -- "$bench" 2>/dev/null) || return 1
    case $kind in
    "regular file" | "regular empty file") ;;
    *) return 1 ;;
    esac
    size=$(stat -L -c %s -- "$bench" 2>/dev/null) || return 1
    [ "$size" -le "$max_bytes" ] || return 1
    dd if="$bench" of="$work/current" iflag=nonblock bs=65536 count=$((max_bytes / 65536 + 1)) \
        status=none 2>/dev/null || { rm -f "$work/current" && return 1; }
    size=$(stat -c %s -- "$work/current") || return 1
    [ "$size" -le "$max_bytes" ] || { rm -f "$work/current" && return 1; }
}

# The content seen last is $work/seen (none: the bench was unusable). One device change for each
# other content (a usable one, or the bench becoming unusable) that is not the driver's own
# write; each own write is recognised once, so an outside edit back to its text counts.
on_change() {
    if snapshot; then
        [ -f "$work/seen" ] && cmp -s "$work/current" "$work/seen" && return 0
        if [ -f "$work/own-write" ] && cmp -s "$work/current" "$work/own-write"; then
            rm -f "$work/own-write"
            mv -f "$work/current" "$work/seen"
            return 0
        fi
        mv -f "$work/current" "$work/seen"
    else
        [ -f "$work/seen" ] || return 0
        rm -f "$work/seen"
    fi
    # A refused bench keeps the entries of the last valid one; the driver tells why.
    register_bench --notify || echo "wine-bench: announcing a device change failed" >&2
}
snapshot && mv -f "$work/current" "$work/seen"

# ---- the watch -------------------------------------------------------------------------------

# The paths whose change can change the bench: the file, along its chain of symbolic links, and
# the folder of each; into watch_paths and, for the folders holding them that exist, watch_dirs.
places() {
    local at hop to
    at=$(realpath -m -s -- "$1")
    watch_paths=() watch_dirs=()
    for hop in 1 2 3 4 5 6 7 8; do
        watch_paths+=("$at" "$(dirname "$at")")
        [ -d "$(dirname "$at")" ] && watch_dirs+=("$(dirname "$at")")
        [ -d "$(dirname "$(dirname "$at")")" ] && watch_dirs+=("$(dirname "$(dirname "$at")")")
        [ -L "$at" ] || break
        to=$(readlink -- "$at") || break
        case $to in
        /*) at=$to ;;
        *) at=$(dirname "$at")/$to ;;
        esac
        at=$(realpath -m -s -- "$at")
    done
}

# Watches the places of the bench until the places change (a link or a folder moved); then
# again, checking the bench each time the watch is set up anew. Runs in the background.
watch_bench() {
    local events line path relevant before p
    trap 'kill "$(cat "$work/watch.pid" 2>/dev/null)" 2>/dev/null; exit 0' TERM
    while :; do
        places "$bench"
        : >"$work/inotify.log"
        exec {events}< <(exec inotifywait -m -e close_write,moved_to,moved_from,create,delete \
            -e modify,attrib,delete_self,move_self --format '%e|%w%f' "${watch_dirs[@]}" \
            2>"$work/inotify.log" 8>&-)
        echo $! >"$work/watch.pid"
        for _ in $(seq 200); do
            grep -q 'Watches established' "$work/inotify.log" && break
            sleep 0.05
        done
        if ! grep -q 'Watches established' "$work/inotify.log"; then
            echo "wine-bench: cannot watch the bench's folder ($(grep -v '^Setting up' \
                "$work/inotify.log" | head -n 1)); looking at the bench every 0.5 s" >&2
            kill "$(cat "$work/watch.pid")" 2>/dev/null
            while sleep 0.5; do on_change; done
        fi
        : >"$work/watch-ready"
        on_change # whatever changed while the watch was set up
        while read -r -u "$events" line; do
            path=${line#*|} path=${path%/} relevant=""
            case ${line%%|*} in
            *DELETE_SELF* | *MOVE_SELF*) relevant=again ;;
            esac
            for p in "${watch_paths[@]}"; do
                [ "$path" = "$p" ] && relevant=${relevant:-yes}
            done
            [ -n "$relevant" ] || continue
            on_change
            # A folder on the way went, or a link leads elsewhere: watch where the bench is now.
            [ "$relevant" = again ] && break
            before="${watch_paths[*]}|${watch_dirs[*]}"
            places "$bench"
            [ "${watch_paths[*]}|${watch_dirs[*]}" = "$before" ] || break
        done
        kill "$(cat "$work/watch.pid")" 2>/dev/null
        exec {events}<&-
    done
}

if command -v inotifywait >/dev/null 2>&1; then
    watch_bench 8>&- &
    watcher=$!
    # The program starts only once the watch is in place.
    for _ in $(seq 300); do
        [ -e "$work/watch-ready" ] && break
        kill -0 "$watcher" 2>/dev/null || break
        sleep 0.05
    done
else
    (while sleep 0.5; do on_change; done) 8>&- &
    watcher=$!
fi

wine_run_limited "$time_limit" "$program" "$@" 8>&- || status=$?
exit "$status"
