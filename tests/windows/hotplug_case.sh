#!/usr/bin/env bash
# Hot-plug through scripts/wine-bench.sh: an edit of the bench while a program runs is a device
# change (the entries are registered anew and WM_DEVICECHANGE / DBT_DEVNODES_CHANGED reaches
# the program's top-level window), and the driver's own write into the bench is none.
#
#   hotplug_case.sh WORK BENCH PROBE.exe
#
# BENCH has the tuners "Morvane DVB-S2 Tuner" (with the Unicable set) and "Morvane DVB-C
# Tuner" (id "cable"); the test unplugs the second while the probe waits.
set -uo pipefail
work=$1 bench=$2 probe=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
rm -rf "$work" && mkdir -p "$work" || exit 1
cp "$bench" "$work/bench.json" || exit 1

MORVANE_TRACE=$work/trace.txt "$here/../../scripts/wine-bench.sh" "$work/bench.json" "$probe" \
    "Z:${work//\//\\}\\ready" >"$work/stdout.raw" 2>"$work/stderr.txt" &
run=$!
for _ in $(seq 600); do
    [ -e "$work/ready" ] && break
    kill -0 "$run" 2>/dev/null || break
    sleep 0.1
done
failed=0
if [ -e "$work/ready" ]; then
    # An editor's save: a new file moved over the bench.
    sed 's/"id": "cable",/"id": "cable", "present": false,/' "$work/bench.json" >"$work/edited.json"
    mv "$work/edited.json" "$work/bench.json"
else
    echo "FAILED: the probe never got ready"
    failed=1
fi
status=0
wait "$run" || status=$?
tr -d '\r' <"$work/stdout.raw" >"$work/stdout.txt"
printf 'before: Morvane DVB-S2 Tuner|Morvane DVB-C Tuner\nafter: Morvane DVB-S2 Tuner\n' >"$work/expected.txt"
[ "$status" -eq 0 ] || { echo "FAILED: exit code $status"; failed=1; }
diff -u "$work/expected.txt" "$work/stdout.txt" || { echo "FAILED: output"; failed=1; }
grep -q '"frequency": 1300' "$work/bench.json" ||
    { echo "FAILED: the driver's write did not survive the edit"; failed=1; }
[ "$(tail -n 1 "$work/trace.txt" 2>/dev/null)" = "exit live=0" ] ||
    { echo "FAILED: the trace does not end with exit live=0"; failed=1; }
if [ "$failed" -ne 0 ]; then
    echo "--- standard output:" && cat "$work/stdout.txt"
    echo "--- standard error:" && cat "$work/stderr.txt"
    echo "--- bench:" && cat "$work/bench.json"
    exit 1
fi
echo "passed"
