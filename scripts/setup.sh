#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks, builds, and then either starts the panel on the
# demo bench (`run`) or builds both presets, runs every test and fuzzes the bench loader for a
# minute (`test`).
set -euo pipefail

cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ pkg-config qt6-base-dev nlohmann-json3-dev googletest libgtest-dev
          libgmock-dev libbenchmark-dev clang libclang-rt-14-dev)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "setup: installing ${missing[*]}" >&2
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

case "${1:-}" in
run)
    install_missing
    build default
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
        echo "setup: no display; the panel runs on Qt's offscreen platform (its log shows below, Ctrl+C ends it)" >&2
        export QT_QPA_PLATFORM=offscreen
    fi
    # The panel writes Unicable settings into its bench, as a driver keeps them: run on a copy so
    # the checked-in demo stays as it is (a newer checked-in demo replaces the copy).
    cp -u benches/demo.json build/default/demo.json
    MORVANE_BENCH="$PWD/build/default/demo.json" exec ./build/default/morvane-control-center
    ;;
test)
    install_missing
    build default
    ctest --preset default
    build asan
    ctest --preset asan
    # A minute of fuzzing of the bench loader from the project's benches (clang, libFuzzer).
    bash scripts/fuzz.sh 60
    if [ -f .ci/windows-check ]; then
        bash .ci/windows-check
    fi
    ;;
*)
    echo "usage: scripts/setup.sh run|test" >&2
    exit 64
    ;;
esac
