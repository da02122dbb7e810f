#!/usr/bin/env bash
# Installs what building and testing KestrixTray needs on Debian 12, and
# only what is missing: a second run finds everything in place and returns
# at once. Run as root (or through sudo).
set -euo pipefail

packages=(
    cmake ninja-build g++ python3
    clang-14 libclang-rt-14-dev                     # the fuzz build (libFuzzer, sanitizers)
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    wine wine32:i386 wine64                         # the integration tests and scripts/start.sh
    xvfb xdotool x11-apps x11-utils xauth imagemagick
    libgtest-dev googletest libgmock-dev libbenchmark-dev
    fp-utils                                        # chmcmd, the help-file compiler
    nsis
    ccache                                          # shared compiler cache of the helpers' builds
)

if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then
        exec sudo -- "$0" "$@"
    fi
    echo "install-deps.sh: run as root" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive

installed() {
    [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true)" = "install ok installed" ]
}

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
if [ "${#missing[@]}" -eq 0 ]; then
    echo "install-deps.sh: everything is installed"
    exit 0
fi

echo "install-deps.sh: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
