#!/usr/bin/env bash
# Sets up and stops the Wine prefixes of the Windows tests (ctest's fixtures call it), and
# prefixes for anyone else:
#
#   scripts/wine-prefix.sh new PREFIX [--dpi N] [--graphics null|x11] [--server SECONDS]
#       makes PREFIX afresh (stopping and removing the one there, if it was made by these
#       scripts); with --server, leaves a wineserver running that stays up SECONDS after the
#       last program ended, so that the runs that follow start fast
#   scripts/wine-prefix.sh ensure PREFIX [--dpi N] [--graphics null|x11]
#       makes PREFIX unless it exists with these settings
#   scripts/wine-prefix.sh stop PREFIX
#       stops the wineserver of PREFIX and every program still running in it
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

usage() {
    sed -n '4,13s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2
    exit 64
}
[ $# -ge 2 ] || usage
command=$1 prefix=$2
shift 2
wine_env_find || exit 127

case $command in
new)
    options=() server=""
    while [ $# -gt 0 ]; do
        case $1 in
        --server) server=${2:?--server needs a number of seconds} && shift 2 ;;
        *) options+=("$1") && shift ;;
        esac
    done
    started=$SECONDS
    wine_prefix_new "$prefix" "${options[@]}"
    echo "wine-prefix: made $prefix ($(cat "$prefix/.mcc-prefix")) in $((SECONDS - started)) s"
    if [ -n "$server" ]; then
        wine_server_start "$prefix" "$server"
    fi
    ;;
ensure) wine_prefix_ensure "$prefix" "$@" ;;
stop) wine_server_stop "$prefix" ;;
*) usage ;;
esac
