#!/usr/bin/env bash
# The Linux side of the logs the Windows build must repeat under Wine: morvane-enum over the
# stand-in on a private copy of BENCH prints exactly EXPECTED (pointers masked as in
# wine_bench_case.sh), and its trace ends with "exit live=0".
#
#   same_log_case.sh WORK BENCH EXPECTED MORVANE_ENUM
set -uo pipefail
work=$1 bench=$2 expected=$3 program=$4
rm -rf "$work" && mkdir -p "$work" && cp "$bench" "$work/bench.json" || exit 1
MORVANE_BENCH=$work/bench.json MORVANE_TRACE=$work/trace.txt "$program" >"$work/stdout.raw" \
    2>"$work/stderr.txt"
status=$?
awk -f "$(dirname "${BASH_SOURCE[0]}")/mask_pointers.awk" "$work/stdout.raw" >"$work/stdout.txt"
failed=0
[ "$status" -eq 0 ] || { echo "FAILED: exit code $status"; failed=1; }
diff -u "$expected" "$work/stdout.txt" || { echo "FAILED: the log differs from $expected"; failed=1; }
[ "$(tail -n 1 "$work/trace.txt")" = "exit live=0" ] || { echo "FAILED: trace end"; failed=1; }
[ "$failed" -eq 0 ] && echo passed
exit "$failed"
