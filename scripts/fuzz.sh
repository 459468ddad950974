#!/usr/bin/env bash
# Fuzzes the bench loader with libFuzzer for SECONDS seconds (default 60), starting from the
# project's benches. Builds the `fuzz` preset (clang, ASan+UBSan) first. The corpus grows in
# build/fuzz/corpus and is kept between runs; a crash leaves its input in build/fuzz/ and
# ends the script with a non-zero code.
#
# Usage: scripts/fuzz.sh [SECONDS] [extra libFuzzer flags, e.g. -jobs=2 -workers=2]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

corpus=build/fuzz/corpus
seeds=build/fuzz/seeds
mkdir -p "$corpus" "$seeds"
for f in benches/*.json tests/*/benches/*.json; do
    cp -f "$f" "$seeds/$(echo "$f" | tr / _)"
done

cd build/fuzz
# New inputs go to the first directory; the seeds stay as checked in. A bench is a few kB:
# inputs up to 64 kB reach every limit of the loader but the file size.
exec ./bench-fuzz -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 "$@" corpus seeds
