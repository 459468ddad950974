#!/usr/bin/env bash
# Hot-plug through scripts/wine-bench.sh: every outside edit of the bench while a program runs
# is a device change (the entries are registered anew and WM_DEVICECHANGE /
# DBT_DEVNODES_CHANGED reaches the program's top-level window), and the driver's own write into
# the bench is none.
#
#   hotplug_case.sh WORK BENCH PROBE.exe
#
# BENCH has the tuners "Morvane DVB-S2 Tuner" (with the Unicable set) and "Morvane DVB-C
# Tuner" (id "cable"). The program's bench is a symbolic link to a file in a folder reached
# through another link; while
# the probe waits, the test
#   1. unplugs the second tuner (an editor's save: a new file moved over the file),
#   2. puts back the text the driver wrote last (both tuners),
#   3. turns the bench into a named pipe (unusable: the last valid bench stays),
#   4. replaces the folder with one whose bench lacks the second tuner,
#   5. turns the bench into a link to /dev/zero (unusable again).
# Each is one device change; the script neither waits on the pipe nor copies /dev/zero, and no
# temporary file stays.
set -uo pipefail
work=$1 bench=$2 probe=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
rm -rf "$work" && mkdir -p "$work/real" "$work/tmp" || exit 1
cp "$bench" "$work/real/bench.json" && ln -s real "$work/folder" &&
    ln -s folder/bench.json "$work/bench.json" || exit 1

TMPDIR=$work/tmp MORVANE_TRACE=$work/trace.txt "$here/../../scripts/wine-bench.sh" \
    "$work/bench.json" "$probe" "Z:${work//\//\\}\\ready" 5 >"$work/stdout.raw" \
    2>"$work/stderr.txt" &
run=$!
failed=0
# Waits until the probe waits for the next device change; then it may come.
ready() {
    for _ in $(seq 600); do
        [ -e "$work/ready" ] && rm -f "$work/ready" && return 0
        kill -0 "$run" 2>/dev/null || break
        sleep 0.1
    done
    echo "FAILED: the probe never got ready for $1"
    failed=1
    return 1
}
unplugged() { sed 's/"id": "cable",/"id": "cable", "present": false,/' "$1"; }

if ready "the first edit"; then
    cp "$work/real/bench.json" "$work/driver-wrote.json" # after the driver's own write
    unplugged "$work/driver-wrote.json" >"$work/edited.json" && mv "$work/edited.json" "$work/real/bench.json"
fi
ready "the second edit" && cp "$work/driver-wrote.json" "$work/edited.json" &&
    mv "$work/edited.json" "$work/real/bench.json"
ready "the named pipe" && rm "$work/real/bench.json" && mkfifo "$work/real/bench.json"
if ready "the folder"; then
    mkdir "$work/next" && unplugged "$work/driver-wrote.json" >"$work/next/bench.json"
    mv "$work/real" "$work/old" && mv "$work/next" "$work/real"
fi
ready "the link to /dev/zero" && rm "$work/real/bench.json" && ln -s /dev/zero "$work/real/bench.json"
status=0
wait "$run" || status=$?
tr -d '\r' <"$work/stdout.raw" >"$work/stdout.txt"
both='Morvane DVB-S2 Tuner|Morvane DVB-C Tuner' one='Morvane DVB-S2 Tuner'
printf '%s\n' "before: $both" "after: $one" "after: $both" "after: $both" "after: $one" \
    "after: $one" >"$work/expected.txt"
[ "$status" -eq 0 ] || { echo "FAILED: exit code $status"; failed=1; }
diff -u "$work/expected.txt" "$work/stdout.txt" || { echo "FAILED: output"; failed=1; }
grep -q '"frequency": 1300' "$work/driver-wrote.json" ||
    { echo "FAILED: the driver's write did not reach the file the link names"; failed=1; }
[ -L "$work/bench.json" ] || { echo "FAILED: the driver replaced the link"; failed=1; }
# (Wine keeps a folder of its own there.)
[ -z "$(ls -A "$work/tmp" | grep -v '^wine-')" ] || { echo "FAILED: temporary files were left"; failed=1; }
[ "$(tail -n 1 "$work/trace.txt" 2>/dev/null)" = "exit live=0" ] ||
    { echo "FAILED: the trace does not end with exit live=0"; failed=1; }
if [ "$failed" -ne 0 ]; then
    echo "--- standard output:" && cat "$work/stdout.txt"
    echo "--- standard error:" && cat "$work/stderr.txt"
    exit 1
fi
echo "passed"
