#!/usr/bin/env bash
# One run of a program of the Windows build under Wine, checked as the Linux golden runner
# (tests/golden/golden.h) checks a case:
#
#   wine_case.sh WORK BENCH EXPECTED AFTER EXIT_CODE PROGRAM.exe [ARGUMENTS...]
#
# The program runs on a private copy of BENCH (in the directory WORK, made afresh) through
# scripts/wine-bench.sh, with the driver's trace in WORK/trace.txt; BENCH "-": through
# scripts/wine-run.sh on a PC without broadcast devices. It passes when
#   - the exit code is EXIT_CODE,
#   - standard output (CRLF read as LF, the two pointers of "CONNECTING TUNER WITH CAPTURE:"
#     masked as %p, or NULL for a null pointer) is exactly the text of EXPECTED ("-": any),
#   - the bench copy ends up with exactly the text of AFTER ("-": not checked),
#   - the driver's trace ends with "exit live=0". A program that never bound a device of the
#     bench never loaded the driver: it has no trace, and no driver object could be alive.
set -uo pipefail
if [ $# -lt 6 ]; then
    echo "usage: wine_case.sh WORK BENCH EXPECTED AFTER EXIT_CODE PROGRAM.exe [ARGUMENTS...]" >&2
    exit 64
fi
work=$1 bench=$2 expected=$3 after=$4 exit_code=$5
shift 5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
scripts=$here/../../scripts
rm -rf "$work" && mkdir -p "$work" || exit 1

status=0
if [ "$bench" != - ]; then
    cp "$bench" "$work/bench.json" || exit 1
    MORVANE_TRACE=$work/trace.txt "$scripts/wine-bench.sh" "$work/bench.json" "$@" \
        >"$work/stdout.raw" 2>"$work/stderr.txt" || status=$?
else
    env -u MORVANE_BENCH -u MORVANE_TRACE "$scripts/wine-run.sh" "$@" \
        >"$work/stdout.raw" 2>"$work/stderr.txt" || status=$?
fi
awk -f "$here/mask_pointers.awk" "$work/stdout.raw" >"$work/stdout.txt"

failed=0
fail() {
    echo "FAILED: $*"
    failed=1
}
[ "$status" -eq "$exit_code" ] || fail "exit code $status, expected $exit_code"
if [ "$expected" != - ] && ! diff -u "$expected" "$work/stdout.txt"; then
    fail "standard output differs from $expected (- expected, + this run)"
fi
if [ "$after" != - ] && ! diff -u "$after" "$work/bench.json"; then
    fail "the bench file is not as $after says"
fi
if [ -f "$work/trace.txt" ]; then
    last=$(tail -n 1 "$work/trace.txt")
    [ "$last" = "exit live=0" ] || fail "the trace ends with '$last', not 'exit live=0'"
fi
if [ "$failed" -ne 0 ]; then
    echo "--- standard error:" && cat "$work/stderr.txt"
    echo "--- trace:" && cat "$work/trace.txt" 2>/dev/null
    exit 1
fi
echo "passed: $*"
