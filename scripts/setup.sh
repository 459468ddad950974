#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks, builds, and then either starts the panel on the
# demo bench (`run`), or builds every preset and runs every test (`test`: default, asan, a minute
# of fuzzing of the bench loader, then windows), or builds only the Windows build and runs its
# tests under Wine (`windows`).
set -euo pipefail

cd "$(dirname "$0")/.."

# The Linux build, and what both builds share: GoogleTest's sources (package googletest) are
# built by the Windows build with the cross compiler, nlohmann-json is header only.
packages=(cmake ninja-build g++ pkg-config qt6-base-dev nlohmann-json3-dev googletest libgtest-dev
          libgmock-dev libbenchmark-dev clang libclang-rt-14-dev)
# The accessibility test reads the Qt window as a screen reader does: over AT-SPI (the
# accessibility bus of at-spi2-core on a session bus of its own), with Debian's Python client,
# on an Xvfb display.
packages+=(xvfb dbus-daemon at-spi2-core python3-pyatspi)
# The bench's JSON Schema is checked against the loader with Debian's python3-jsonschema.
packages+=(python3-jsonschema)
# The Windows build: the mingw-w64 cross compiler (its -posix variant is the one used) and the
# 64-bit Wine whose runtime runs its tests. Wine's launcher scripts (package wine) are not needed:
# scripts/wine-env.sh finds /usr/lib/wine/wine64 itself. The installer is built by wixl and
# read by its tests with msitools (msibuild finishes its tables); icoutils (icotool, wrestool)
# and librsvg2-bin (rsvg-convert) make and check the icon. osslsigncode signs the programs and the package when
# a certificate is configured; its test makes a throwaway CA with openssl.
windows_packages=(cmake ninja-build googletest nlohmann-json3-dev g++-mingw-w64-x86-64 wine64
                  wixl msitools icoutils librsvg2-bin osslsigncode openssl)

# Installs those of the given packages that are missing. Every package is installed before
# anything is built, so a machine that cannot have one fails at once, not after the long builds.
install_missing() {
    local missing=() p
    for p in "$@"; do
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

# The Windows build, cross-built with mingw-w64, and its tests under Wine (every ctest run sets
# up its own Wine prefixes in build/windows/wine).
test_windows() {
    build windows
    ctest --preset windows
}

case "${1:-}" in
run)
    install_missing "${packages[@]}"
    build default
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
        echo "setup: no display; the panel runs on Qt's offscreen platform (its log shows below, Ctrl+C ends it)" >&2
        export QT_QPA_PLATFORM=offscreen
    fi
    # Without a login session there is no XDG_RUNTIME_DIR, and Qt warns about it: the panel
    # gets a private one (mode 0700, owned by the user), as a session would give it.
    if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
        runtime="${TMPDIR:-/tmp}/morvane-runtime-$(id -u)"
        mkdir -p -m 0700 "$runtime"
        if [ -L "$runtime" ] || [ ! -O "$runtime" ]; then
            echo "setup: $runtime belongs to someone else; set XDG_RUNTIME_DIR" >&2
            exit 1
        fi
        chmod 0700 "$runtime"
        export XDG_RUNTIME_DIR="$runtime"
    fi
    # The panel writes Unicable settings into its bench, as a driver keeps them: run on a copy so
    # the checked-in demo stays as it is (a newer checked-in demo replaces the copy).
    cp -u benches/demo.json build/default/demo.json
    MORVANE_BENCH="$PWD/build/default/demo.json" exec ./build/default/morvane-control-center
    ;;
test)
    install_missing "${packages[@]}" "${windows_packages[@]}"
    build default
    ctest --preset default
    build asan
    ctest --preset asan
    # A minute of fuzzing of the bench loader from the project's benches (clang, libFuzzer).
    bash scripts/fuzz.sh 60
    test_windows
    ;;
windows)
    install_missing "${windows_packages[@]}"
    test_windows
    ;;
*)
    echo "usage: scripts/setup.sh run|test|windows" >&2
    exit 64
    ;;
esac
