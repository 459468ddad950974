#!/usr/bin/env bash
# Runs a program of the Windows build under Wine, with a time limit, and returns its exit code.
# The windows preset's emulator: ctest starts every Windows test through it, and CMake any
# program of the build that a custom command runs. Also for running a program by hand:
#
#   scripts/wine-run.sh build/windows/morvane-enum.exe
#
# WINEPREFIX     the prefix (default: wine/prefix in the build tree holding the program, the
#                one the tests set up); made on first use, see scripts/wine-env.sh
# MCC_WINE_TIMEOUT  seconds the program may run (default 120); then it is stopped
# WINEDEBUG      kept when set, else -all
#
# Output is passed through untouched: Windows programs end their lines with CRLF.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

if [ $# -lt 1 ]; then
    echo "usage: scripts/wine-run.sh PROGRAM.exe [ARGUMENTS...]" >&2
    exit 64
fi
wine_env_find || exit 127
prefix=${WINEPREFIX:-}
[ -n "$prefix" ] || prefix=$(wine_prefix_default "$1") || exit 1
wine_prefix_ensure "$prefix" || exit 1
wine_env_export "$prefix"
status=0
wine_run_limited "$MCC_WINE_TIMEOUT" "$@" || status=$?
exit "$status"
