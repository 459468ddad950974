#!/usr/bin/env bash
# The bench and trace files handled as a careful tool handles them, the same on both hosts: the
# Linux stand-in (HOST linux, the program run with MORVANE_BENCH) and the simulated driver under
# Wine (HOST wine, through scripts/wine-bench.sh). golden-apply stores frequency 1680, SCR 3 and
# the switch into the bench's tuner, as Save does.
#
#   bench_files_case.sh HOST WORK GOLDEN_APPLY
#
# - Through a bench path that is a symbolic link, the file the link names takes the values and
#   the link stays a link.
# - A bench nobody may write (mode 0444) stays as it is, mode included: the apply succeeds, the
#   values stay in the driver's memory and one warning says why.
# - MORVANE_TRACE naming a named pipe or a symbolic link: the run neither waits nor writes
#   through the link, and one line says why.
# - A bench of mode 0600 (owned by another user, when run as root) keeps owner and mode, a
#   bench with two names (hard links) is not split, and a name too long for a temporary file
#   beside it is either stored or refused with one line; a path with non-ASCII characters is
#   taken under a locale that is not UTF-8.
# - Linux: a file-size limit (ulimit -f) smaller than the bench and the trace: the apply
#   succeeds, one line each says why, and no temporary file is left.
set -uo pipefail
if [ $# -ne 3 ]; then
    echo "usage: bench_files_case.sh linux|wine WORK GOLDEN_APPLY" >&2
    exit 64
fi
host=$1 work=$2 program=$3
scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)
rm -rf "$work" && mkdir -p "$work/real" && cd "$work" || exit 1

bench='{"tuners": [{"id": "sat", "friendly_name": "Morvane DVB-S2 Tuner", "device_path": "usb#sat#1",
 "standard": "dvb-s", "unicable": {"enabled": 0, "scr": 2, "frequency": 1210}}]}'
stored=${bench/\"enabled\": 0/\"enabled\": 1}
stored=${stored/\"scr\": 2/\"scr\": 3}
stored=${stored/1210/1680}

failed=0
fail() {
    echo "FAILED: $*"
    failed=1
}

# run BENCH: the apply on BENCH; standard output in out.txt, standard error in err.txt (CRLF read
# as LF), the exit code in status. A run that waits is stopped after 60 s (under Wine by the
# script's own time limit).
run() {
    status=0
    if [ "$host" = wine ]; then
        "$scripts/wine-bench.sh" "$1" "$program" 1680 3 1 usb#sat#1 >out.raw 2>err.raw || status=$?
    else
        MORVANE_BENCH=$1 timeout 60 "$program" 1680 3 1 usb#sat#1 >out.raw 2>err.raw || status=$?
    fi
    tr -d '\r' <out.raw >out.txt
    tr -d '\r' <err.raw >err.txt
    [ "$status" -eq 0 ] && grep -qx 'apply result: 0' out.txt ||
        fail "$2: exit code $status, $(tail -n 1 out.txt)"
}

echo "--- a bench reached through a symbolic link"
printf '%s\n' "$bench" >real/bench.json && ln -s real/bench.json link.json
run link.json "through a link"
[ -L link.json ] || fail "the link was replaced"
[ "$(cat real/bench.json)" = "$stored" ] || fail "the file the link names did not take the values"

echo "--- a read-only bench"
printf '%s\n' "$bench" >read-only.json && chmod 0444 read-only.json
run read-only.json "read-only"
[ "$(cat read-only.json)" = "$bench" ] || fail "the read-only bench was written"
[ "$(stat -c %a read-only.json)" = 444 ] || fail "the bench's mode is $(stat -c %a read-only.json)"
warning='bench: read-only.json: the file was not updated, the property value is kept in memory (cannot write it (the file is read-only))'
[ "$(grep -c '^bench: ' err.txt)" -eq 1 ] && grep -qxF "$warning" err.txt ||
    fail "expected the one warning '$warning'"

echo "--- a trace file that is a named pipe, or a symbolic link"
printf '%s\n' "$bench" >bench.json && mkfifo trace.fifo
MORVANE_TRACE=$work/trace.fifo run bench.json "a named pipe as the trace"
grep -q 'trace\.fifo: not a regular file (a named pipe); no trace is written$' err.txt ||
    fail "no line says why the pipe takes no trace"
echo untouched >other.txt && ln -s other.txt trace.link
MORVANE_TRACE=$work/trace.link run bench.json "a link as the trace"
[ "$(cat other.txt)" = untouched ] || fail "the trace was written through the link"
[ "$(grep -c 'trace\.link: a symbolic link, not followed; no trace is written$' err.txt)" -eq 1 ] ||
    fail "not one line says why the link takes no trace"

# stored_or_refused FILE WHAT: FILE holds the stored values, or is unchanged with one warning.
stored_or_refused() {
    [ "$(cat "$1")" = "$stored" ] && return 0
    [ "$(cat "$1")" = "$bench" ] && [ "$(grep -c "^bench: .*kept in memory" err.txt)" -eq 1 ] ||
        fail "$2: neither stored nor refused with one line"
}

echo "--- owner and mode kept, hard links not split, a long name, a non-ASCII path"
printf '%s\n' "$bench" >private.json && chmod 0600 private.json
[ "$(id -u)" -ne 0 ] || chown 65534:65534 private.json
owner=$(stat -c %a:%u:%g private.json)
run private.json "mode 0600"
stored_or_refused private.json "mode 0600"
[ "$(stat -c %a:%u:%g private.json)" = "$owner" ] || fail "owner or mode changed: $owner to $(stat -c %a:%u:%g private.json)"
printf '%s\n' "$bench" >one.json && ln one.json two.json
run one.json "hard links"
[ "$(stat -c %h one.json)" = 2 ] && cmp -s one.json two.json || fail "the hard links were split"
stored_or_refused two.json "hard links"
long=$(printf 'b%.0s' $(seq 245)).json
printf '%s\n' "$bench" >"$long"
run "$long" "a long name"
stored_or_refused "$long" "a long name"
printf '%s\n' "$bench" >bänk.json
LC_ALL=C run bänk.json "a non-ASCII path under LC_ALL=C"
[ "$(cat bänk.json)" = "$stored" ] || fail "the non-ASCII bench did not take the values"
[ -z "$(ls -A | grep '^\.~')" ] || fail "a temporary file was left: $(ls -A | grep '^\.~')"

if [ "$host" = linux ]; then
    echo "--- a file-size limit smaller than the bench and the trace"
    printf '%s%2000s\n' "$bench" "" >big.json && head -c 2000 /dev/zero >big-trace.txt
    (ulimit -f 1 && MORVANE_TRACE=$work/big-trace.txt run big.json "ulimit -f 1")
    [ "$(grep -c 'big.json: .*(the new content exceeds the file-size limit (ulimit -f))$' err.txt)" -eq 1 ] ||
        fail "not one line names the file-size limit"
    [ "$(grep -c '^trace: .*big-trace.txt: File too large; no trace is written$' err.txt)" -eq 1 ] ||
        fail "not one line says why the trace takes nothing"
    [ -z "$(ls -A | grep '^\.~')" ] || fail "a temporary file was left"
fi

if [ "$failed" -ne 0 ]; then
    echo "--- last standard error:" && cat err.txt
    exit 1
fi
echo passed
