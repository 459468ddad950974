#!/usr/bin/env bash
# One golden case (tests/golden/cases/NAME) played by the Windows build under Wine: the case's
# program runs on a private copy of its bench through scripts/wine-bench.sh (without a bench:
# through scripts/wine-run.sh, a PC without broadcast devices), and the case passes under the
# rules of the Linux runner (tests/golden/golden.h):
#   - the exit code is the case's,
#   - standard output (CRLF read as LF, the pointers of "CONNECTING TUNER WITH CAPTURE:" masked
#     as %p or NULL) is exactly expected.log,
#   - the bench file ends up as bench.after.json, or unchanged when there is none,
#   - the driver's trace ends with "exit live=0". A program that never bound a device of the
#     bench never loaded the driver: it has no trace, and no driver object could be alive.
#
#   golden_case.sh WORK CASE_DIR EXIT_CODE PROGRAM.exe [ARGUMENTS...]
set -uo pipefail
if [ $# -lt 4 ]; then
    echo "usage: golden_case.sh WORK CASE_DIR EXIT_CODE PROGRAM.exe [ARGUMENTS...]" >&2
    exit 64
fi
work=$1 case_dir=$2 exit_code=$3
shift 3
scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../../scripts" && pwd)
rm -rf "$work" && mkdir -p "$work" || exit 1

status=0
if [ -f "$case_dir/bench.json" ]; then
    cp "$case_dir/bench.json" "$work/bench.json" || exit 1
    MORVANE_TRACE=$work/trace.txt "$scripts/wine-bench.sh" "$work/bench.json" "$@" \
        >"$work/stdout.raw" 2>"$work/stderr.txt" || status=$?
else
    env -u MORVANE_BENCH -u MORVANE_TRACE "$scripts/wine-run.sh" "$@" \
        >"$work/stdout.raw" 2>"$work/stderr.txt" || status=$?
fi
awk -f "$scripts/../tests/windows/mask_pointers.awk" "$work/stdout.raw" >"$work/stdout.txt"

failed=0
fail() {
    echo "FAILED: $*"
    failed=1
}
[ "$status" -eq "$exit_code" ] || fail "exit code $status, expected $exit_code"
diff -u "$case_dir/expected.log" "$work/stdout.txt" ||
    fail "standard output differs from expected.log (- expected, + this run)"
if [ -f "$case_dir/bench.json" ]; then
    after=$case_dir/bench.after.json
    [ -f "$after" ] || after=$case_dir/bench.json
    diff -u "$after" "$work/bench.json" || fail "the bench file is not as $(basename "$after") says"
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
echo "passed: $(basename "$case_dir")"
