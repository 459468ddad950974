# Wine for the Windows build: finding it, making prefixes, and runs with a time limit.
# Sourced (never run) by scripts/wine-run.sh (the build's emulator), scripts/wine-prefix.sh (the
# tests' prefix set-up) and any script that runs a program of the Windows build:
#
#   . scripts/wine-env.sh
#   wine_env_find || exit 1                        # MCC_WINE, MCC_WINESERVER
#   wine_prefix_ensure "$prefix" [--dpi N] [--graphics null|x11]
#   wine_env_export "$prefix"                      # WINEPREFIX, WINEARCH, WINEDEBUG, ...
#   wine_run_limited 120 program.exe args...       # the program's exit code
#
# A prefix made here is 64-bit, answers every DPI query with the DPI it was made with (96
# unless asked), uses Wine's null graphics driver unless asked for another (no display needed,
# and no window can ever appear on someone's screen), reports Windows 10, and has no Mono or
# Gecko installer that could stop its creation at a dialog. Wine's menu builder is off, so an
# installer run in it writes no menu entries or icons into the host's home. It holds a mark,
# .mcc-prefix, with its DPI and driver: nothing here removes or reuses a directory that lacks
# that mark, so ~/.wine or anyone else's prefix is never touched. A prefix is made once, under
# a lock on PREFIX.lock next to it: parallel runs wait for the one that makes it instead of
# racing on a half-made prefix.

# Time limits, in seconds, for making a prefix (a loaded machine needs far more than the usual
# ten to twenty seconds) and, by default, for one run of a program.
MCC_WINE_PREFIX_TIME_LIMIT=${MCC_WINE_PREFIX_TIME_LIMIT:-600}
MCC_WINE_TIMEOUT=${MCC_WINE_TIMEOUT:-120}

# Sets MCC_WINE (the 64-bit loader) and MCC_WINESERVER. Debian's wine64 package puts them in
# /usr/lib/wine without anything on PATH. 1, with a message, when Wine is not installed.
wine_env_find() {
    MCC_WINE=$(command -v wine64 2>/dev/null || true)
    if [ -z "$MCC_WINE" ] && [ -x /usr/lib/wine/wine64 ]; then
        MCC_WINE=/usr/lib/wine/wine64
    fi
    if [ -z "$MCC_WINE" ]; then
        echo "wine-env: wine64 is not installed (Debian package wine64)" >&2
        return 1
    fi
    MCC_WINESERVER=$(command -v wineserver 2>/dev/null || true)
    if [ -z "$MCC_WINESERVER" ]; then
        MCC_WINESERVER=$(dirname "$(readlink -f "$MCC_WINE")")/wineserver
    fi
    if [ ! -x "$MCC_WINESERVER" ]; then
        echo "wine-env: wineserver not found next to $MCC_WINE" >&2
        return 1
    fi
}

# Exports the environment of a run in PREFIX. A caller's WINEDEBUG is kept (else -all); a
# caller's WINEDLLOVERRIDES are added after the project's.
wine_env_export() {
    local overrides='mscoree,mshtml=;winemenubuilder.exe=d'
    export WINEPREFIX
    WINEPREFIX=$(_wine_absolute "$1")
    export WINEARCH=win64
    export WINEDEBUG=${WINEDEBUG--all}
    case ${WINEDLLOVERRIDES:-} in
    "$overrides"*) ;; # exported here already
    *) export WINEDLLOVERRIDES="$overrides${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}" ;;
    esac
}

# The prefix for a program when WINEPREFIX is not set: wine/prefix in the CMake build tree that
# holds the program (the one the tests set up), else in the build tree around the current
# directory. 1 when neither lies in a build tree.
wine_prefix_default() {
    local dir
    for dir in "$(dirname "$(_wine_absolute "$1")")" "$PWD"; do
        while [ "$dir" != / ] && [ -n "$dir" ]; do
            if [ -f "$dir/CMakeCache.txt" ]; then
                echo "$dir/wine/prefix"
                return 0
            fi
            dir=$(dirname "$dir")
        done
    done
    echo "wine-env: $1 is not in a CMake build tree; set WINEPREFIX to the prefix to use" >&2
    return 1
}

# Makes PREFIX if it does not exist yet, else checks that it was made here (and, for each
# option given, with that setting). Options: --dpi N (default 96), --graphics DRIVER (default
# null; x11 shows windows on $DISPLAY).
wine_prefix_ensure() {
    local prefix
    prefix=$(_wine_absolute "$1") && shift && _wine_settings "$@" || return
    # Made already: the mark is written last, so a prefix with a mark is complete.
    _wine_matches "$(cat "$prefix/.mcc-prefix" 2>/dev/null || true)" && return 0
    _wine_locked "$prefix" _wine_ensure_locked "$prefix"
}

# Makes PREFIX afresh: stops its wineserver and removes it (only when it was made here), then
# makes it with the given settings (options as for wine_prefix_ensure).
wine_prefix_new() {
    local prefix
    prefix=$(_wine_absolute "$1") && shift && _wine_settings "$@" || return
    _wine_locked "$prefix" _wine_new_locked "$prefix"
}

# Starts a wineserver for PREFIX that stays up SECONDS after its last program ended (with
# Wine's own services, which otherwise start anew with every program: a run then costs about
# a tenth of a second instead of more than one). Nothing happens when one already runs.
wine_server_start() {
    local prefix
    prefix=$(_wine_absolute "$1") || return
    WINEPREFIX=$prefix "$MCC_WINESERVER" -p"${2:-60}" </dev/null >/dev/null 2>&1 || true
}

# Stops the wineserver of PREFIX, and every program still running in it, and waits for it.
wine_server_stop() {
    local prefix
    prefix=$(_wine_absolute "$1") || return
    [ -d "$prefix" ] || return 0
    WINEPREFIX=$prefix timeout -k 10 60 "$MCC_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    WINEPREFIX=$prefix timeout -k 10 60 "$MCC_WINESERVER" -w </dev/null >/dev/null 2>&1 || true
}

# Runs PROGRAM under Wine (WINEPREFIX exported) for at most SECONDS and returns its exit
# code. A program that stopped at a message box or any other wait for a user would wait for
# ever: at the limit it is stopped, with a message, and the result is 124 (137 when it had to
# be killed). SECONDS 0: no limit, for a program a user runs. Output is passed on as it comes
# (CRLF line ends included).
wine_run_limited() {
    local limit=$1 started=$SECONDS status=0 foreground=() output limiter run followers=()
    shift
    # From a terminal the program stays in the terminal's process group (it may read input).
    [ -t 0 ] && foreground=(--foreground)
    limiter=(timeout "${foreground[@]}" -k 10 "$limit")
    [ "$limit" != 0 ] || limiter=()
    if { [ -t 1 ] || [ -f /dev/stdout ]; } && { [ -t 2 ] || [ -f /dev/stderr ]; }; then
        "${limiter[@]}" "$MCC_WINE" "$@" || status=$?
    else
        # Wine starts its services and the desktop process when a program first needs them,
        # and they inherit the program's standard output and error, which they hold open as
        # long as the wineserver runs: whoever reads a pipe to its end (ctest, a $(...)) would
        # wait that long. The program writes into files instead, passed on as they grow.
        output=$(mktemp -d) || return
        : >"$output/stdout" && : >"$output/stderr" || return
        "${limiter[@]}" "$MCC_WINE" "$@" <&0 >"$output/stdout" 2>"$output/stderr" &
        run=$!
        tail -c +1 -s 0.1 -f --pid="$run" "$output/stdout" </dev/null &
        followers+=($!)
        tail -c +1 -s 0.1 -f --pid="$run" "$output/stderr" </dev/null >&2 &
        followers+=($!)
        wait "$run" || status=$?
        wait "${followers[@]}"
        rm -rf "$output"
    fi
    if [ "$limit" != 0 ] && { [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; } &&
        [ $((SECONDS - started)) -ge "$limit" ]; then
        echo "wine-env: $1 did not end within $limit s and was stopped" \
            "(waiting for input, or at a message box nobody answers?)" >&2
    fi
    return "$status"
}

# ---- internals --------------------------------------------------------------------------------

_wine_absolute() {
    case $1 in
    '') echo "wine-env: empty path" >&2 && return 1 ;;
    /*) echo "${1%/}" ;;
    *) echo "$PWD/${1%/}" ;;
    esac
}

# Parses the prefix options into _wine_dpi, _wine_graphics, the mark's text _wine_want, and
# _wine_given (the options given, as they appear in a mark).
_wine_settings() {
    _wine_dpi=96
    _wine_graphics=null
    _wine_given=()
    while [ $# -gt 0 ]; do
        case $1 in
        --dpi) _wine_dpi=${2:-} && _wine_given+=(dpi) && shift 2 ;;
        --graphics) _wine_graphics=${2:-} && _wine_given+=(graphics) && shift 2 ;;
        *) echo "wine-env: unknown prefix option '$1' (expected --dpi N or --graphics DRIVER)" >&2 && return 1 ;;
        esac || { echo "wine-env: $1 needs a value" >&2 && return 1; }
    done
    if ! [[ $_wine_dpi =~ ^[1-9][0-9]{1,2}$ ]]; then
        echo "wine-env: the DPI must be a whole number from 10 to 999, not '$_wine_dpi'" >&2
        return 1
    fi
    case $_wine_graphics in
    null | x11) ;;
    *) echo "wine-env: the graphics driver must be null or x11, not '$_wine_graphics'" >&2 && return 1 ;;
    esac
    _wine_want="dpi=$_wine_dpi graphics=$_wine_graphics"
}

# Whether a mark (empty: none) shows a complete prefix with every setting that was asked for.
_wine_matches() {
    local mark=" $1 " setting value
    [ -n "$1" ] || return 1
    for setting in "${_wine_given[@]}"; do
        value=_wine_$setting
        [[ $mark == *" $setting=${!value} "* ]] || return 1
    done
}

# _wine_locked PREFIX COMMAND [ARGS]: runs COMMAND while holding the lock of PREFIX.
_wine_locked() {
    local lock="$1.lock"
    shift
    mkdir -p "$(dirname "$lock")" || return
    (
        if ! flock -w "$MCC_WINE_PREFIX_TIME_LIMIT" 9; then
            echo "wine-env: waited $MCC_WINE_PREFIX_TIME_LIMIT s for the lock $lock in vain" >&2
            exit 1
        fi
        "$@"
    ) 9>"$lock"
}

# absent (no directory, or an empty one), ours (made here, complete or not) or foreign.
_wine_prefix_kind() {
    if [ ! -d "$1" ] || [ -z "$(ls -A "$1")" ]; then
        echo absent
    elif [ -f "$1/.mcc-prefix" ] || [ -f "$1/.mcc-prefix-creating" ]; then
        echo ours
    else
        echo foreign
    fi
}

_wine_refuse_foreign() {
    echo "wine-env: $1 exists and was not made by scripts/wine-env.sh: not touched." \
        "Name a new directory in WINEPREFIX (or unset it for the build tree's prefix)." >&2
    return 1
}

_wine_ensure_locked() {
    local prefix=$1 have asked=() setting value
    have=$(cat "$prefix/.mcc-prefix" 2>/dev/null || true)
    _wine_matches "$have" && return 0 # made while this one waited for the lock
    if [ -n "$have" ]; then
        for setting in "${_wine_given[@]}"; do
            value=_wine_$setting
            asked+=("$setting=${!value}")
        done
        echo "wine-env: the prefix $prefix has $have, not ${asked[*]}: use another prefix" >&2
        return 1
    fi
    case $(_wine_prefix_kind "$prefix") in
    foreign) _wine_refuse_foreign "$prefix" ;;
    ours) # an interrupted creation: start over
        wine_server_stop "$prefix" && rm -rf "$prefix" && _wine_create "$prefix" ;;
    absent) _wine_create "$prefix" ;;
    esac
}

_wine_new_locked() {
    local prefix=$1
    case $(_wine_prefix_kind "$prefix") in
    foreign) _wine_refuse_foreign "$prefix" ;;
    ours) wine_server_stop "$prefix" && rm -rf "$prefix" && _wine_create "$prefix" ;;
    absent) _wine_create "$prefix" ;;
    esac
}

# Boots a new prefix, then chooses the graphics driver, the DPI and Windows 10. The first
# session started its desktop before the driver was chosen: it has to end (wineserver -w) so
# that every later program runs in a session with these settings. The log of the creation is
# PREFIX.log.
_wine_create() {
    local prefix=$1 log="$1.log" limit=$MCC_WINE_PREFIX_TIME_LIMIT
    mkdir -p "$prefix" && : >"$prefix/.mcc-prefix-creating" || return
    if ! (
        wine_env_export "$prefix"
        # Not even the boot may open a window on a display.
        unset DISPLAY WAYLAND_DISPLAY
        timeout -k 10 "$limit" "$MCC_WINE" wineboot --init &&
            timeout -k 10 "$limit" "$MCC_WINE" reg add 'HKCU\Software\Wine\Drivers' \
                /v Graphics /d "$_wine_graphics" /f &&
            timeout -k 10 "$limit" "$MCC_WINE" reg add 'HKCU\Control Panel\Desktop' \
                /v LogPixels /t REG_DWORD /d "$_wine_dpi" /f &&
            timeout -k 10 "$limit" "$MCC_WINE" winecfg /v win10 &&
            timeout -k 10 "$limit" "$MCC_WINESERVER" -w
    ) </dev/null >"$log" 2>&1; then
        echo "wine-env: could not make the Wine prefix $prefix; its log ($log):" >&2
        sed 's/^/    /' "$log" >&2
        wine_server_stop "$prefix"
        return 1
    fi
    echo "$_wine_want" >"$prefix/.mcc-prefix" && rm -f "$prefix/.mcc-prefix-creating"
}
