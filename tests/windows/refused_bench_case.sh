#!/usr/bin/env bash
# A bench that is refused stops scripts/wine-bench.sh before the program runs, with the one
# line "bench: FILE: REASON" (FILE as given) on standard error and exit code 2.
#
#   refused_bench_case.sh WORK PROGRAM.exe
set -uo pipefail
work=$1 program=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
printf '{"tuners": [{"friendly_name": "Morvane DVB-S2 Tuner", "colour": "red"}]}\n' >bad.json
status=0
"$here/../../scripts/wine-bench.sh" bad.json "$program" >stdout.txt 2>stderr.txt || status=$?
failed=0
[ "$status" -eq 2 ] || { echo "FAILED: exit code $status, expected 2"; failed=1; }
[ ! -s stdout.txt ] || { echo "FAILED: the program ran"; failed=1; }
expected='bench: bad.json: tuners[0].colour: unknown key'
grep -qxF "$expected" <(tr -d '\r' <stderr.txt) ||
    { echo "FAILED: standard error lacks the line '$expected'"; failed=1; }
if [ "$failed" -ne 0 ]; then
    echo "--- standard error:" && cat stderr.txt
    exit 1
fi
echo passed
