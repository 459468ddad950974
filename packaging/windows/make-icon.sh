#!/usr/bin/env bash
# Makes the application icon, morvane-control-center.ico, from its drawing,
# morvane-control-center.svg (both in this directory; the .ico is committed so that every build,
# MSVC's too, has it without these tools). Run it after changing the drawing:
#
#   packaging/windows/make-icon.sh [OUTPUT.ico]
#
# The icon holds 16, 32 and 48 px images (32-bit, with alpha) and a 256 px PNG, as Windows
# expects of an application icon. Made with Debian's rsvg-convert (librsvg2-bin) and icotool
# (icoutils): the same drawing and tools give the same bytes.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
output=${1:-$here/morvane-control-center.ico}
for tool in rsvg-convert icotool; do
    command -v "$tool" >/dev/null || { echo "make-icon: $tool is missing (packages librsvg2-bin, icoutils)" >&2; exit 127; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for size in 16 32 48 256; do
    rsvg-convert --width "$size" --height "$size" "$here/morvane-control-center.svg" -o "$work/$size.png"
done
icotool --create --output "$output" "$work/16.png" "$work/32.png" "$work/48.png" --raw "$work/256.png"
