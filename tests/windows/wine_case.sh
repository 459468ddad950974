#!/usr/bin/env bash
# One run of a test program of the Windows build under Wine on a bench:
#
#   wine_case.sh WORK BENCH PROGRAM.exe [ARGUMENTS...]
#
# The program runs on a private copy of BENCH (in the directory WORK, made afresh) through
# scripts/wine-bench.sh, with the driver's trace in WORK/trace.txt. It passes when it exits with
# 0 and the driver's trace ends with "exit live=0". A program that never bound a device of the
# bench never loaded the driver: it has no trace, and no driver object could be alive. (The
# golden cases have their own runner, tests/golden.)
set -uo pipefail
if [ $# -lt 3 ]; then
    echo "usage: wine_case.sh WORK BENCH PROGRAM.exe [ARGUMENTS...]" >&2
    exit 64
fi
work=$1 bench=$2
shift 2
scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)
rm -rf "$work" && mkdir -p "$work" && cp "$bench" "$work/bench.json" || exit 1

status=0
MORVANE_TRACE=$work/trace.txt "$scripts/wine-bench.sh" "$work/bench.json" "$@" || status=$?
failed=""
[ "$status" -eq 0 ] || failed="exit code $status"
last=$(tail -n 1 "$work/trace.txt" 2>/dev/null) || last="exit live=0"
[ "$last" = "exit live=0" ] || failed="$failed; the trace ends with '$last'"
if [ -n "$failed" ]; then
    echo "FAILED: ${failed#; }"
    echo "--- trace:" && cat "$work/trace.txt" 2>/dev/null
    exit 1
fi
echo "passed: $*"
