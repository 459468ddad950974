#!/usr/bin/env bash
# One run of a Windows program on a bench through scripts/wine-bench.sh, checked:
#
#   wine_bench_case.sh WORK BENCH EXPECTED EXIT_CODE PROGRAM [ARGUMENTS...]
#
# Runs PROGRAM on a private copy of BENCH (in the directory WORK, made afresh), with the
# driver's trace in WORK/trace.txt, and passes when
#   - the exit code is EXIT_CODE,
#   - standard output (CRLF read as LF, the two pointers of "CONNECTING TUNER WITH CAPTURE:"
#     masked as %p, or NULL for a null pointer) is exactly the text of EXPECTED (- skips this),
#   - the trace ends with "exit live=0": the driver's objects were all given back,
#   - and, when BENCH.after exists, the bench copy ends up with exactly its text.
set -uo pipefail
if [ $# -lt 5 ]; then
    echo "usage: wine_bench_case.sh WORK BENCH EXPECTED EXIT_CODE PROGRAM [ARGUMENTS...]" >&2
    exit 64
fi
work=$1 bench=$2 expected=$3 exit_code=$4
shift 4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
rm -rf "$work" && mkdir -p "$work" || exit 1
cp "$bench" "$work/bench.json" || exit 1

status=0
MORVANE_TRACE=$work/trace.txt "$here/../../scripts/wine-bench.sh" "$work/bench.json" "$@" \
    >"$work/stdout.raw" 2>"$work/stderr.txt" || status=$?
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
last=$(tail -n 1 "$work/trace.txt" 2>/dev/null)
[ "$last" = "exit live=0" ] || fail "the trace ends with '$last', not 'exit live=0'"
if [ -f "$bench.after" ] && ! diff -u "$bench.after" "$work/bench.json"; then
    fail "the bench file is not as $bench.after says"
fi
if [ "$failed" -ne 0 ]; then
    echo "--- standard error:" && cat "$work/stderr.txt"
    echo "--- trace:" && cat "$work/trace.txt" 2>/dev/null
    exit 1
fi
echo "passed: $*"
