# Shared by scripts/run and scripts/test: the packages the project needs and their install.
# shellcheck shell=bash

NIMBREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export NIMBREL_ROOT

# Debian/Ubuntu package names. Building and running need the first group; the test suite
# needs the second as well.
NIMBREL_RUN_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libx11-dev libxtst-dev libxext-dev libxss-dev
    fonts-liberation qt6-wayland
)
NIMBREL_TEST_PACKAGES=(
    xvfb xauth x11-utils openbox xserver-xorg-core xserver-xorg-video-dummy
    clang clang-format clang-tidy libclang-rt-dev file
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    desktop-file-utils appstream dpkg-dev
    python3 dbus-daemon librsvg2-bin libbenchmark-dev locales
    man-db groff-base
    weston
)
# Only scripts/windows installs these: the 64-bit MinGW toolchain that Qt for Windows and the
# program are built with, Wine to run and test the result, NSIS for the installer. A name ending
# in "?" is installed where the archive offers it and left out where it does not: wine64 is its
# own package up to Debian 13, and later releases may fold it into wine.
NIMBREL_WINDOWS_PACKAGES=(
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64? nsis zip xvfb xauth x11-utils fonts-liberation fonts-wine dpkg-dev
)

nimbrel_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

nimbrel_offered() {
    [ -n "$(apt-cache show --no-all-versions "$1" 2>/dev/null | head -n1)" ]
}

# An optional name the package lists already know to be absent is not missing; on a system
# that has no lists yet, it is, until apt-get update tells.
nimbrel_missing_packages() {
    local p
    for p in "$@"; do
        nimbrel_installed "${p%\?}" && continue
        if [ "${p%\?}" != "$p" ] && compgen -G '/var/lib/apt/lists/*_Packages' >/dev/null &&
            ! nimbrel_offered "${p%\?}"; then
            continue
        fi
        printf '%s\n' "$p"
    done
}

# Installs whatever is missing; idempotent. Without apt-get, says what to install by hand.
nimbrel_ensure_packages() {
    if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
        echo "This system has no apt-get. Install by hand the equivalents of these Debian packages:" >&2
        printf '  %s\n' "$@" >&2
        echo "(a C++20 compiler, CMake 3.25+, Ninja, Qt 6.4+ base with Widgets/Network/DBus/Test," >&2
        echo " X11, XTest and XScreenSaver development files, Xvfb, clang and clang-format)" >&2
        return 0
    fi
    local missing
    mapfile -t missing < <(nimbrel_missing_packages "$@")
    if [ "${#missing[@]}" -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "Not root and no sudo: please install these packages: ${missing[*]}" >&2
            return 1
        fi
    fi
    "${sudo[@]}" apt-get update -q
    local wanted=() p
    for p in "${missing[@]}"; do
        if [ "${p%\?}" = "$p" ]; then
            wanted+=("$p")
        elif nimbrel_offered "${p%\?}"; then
            wanted+=("${p%\?}")
        fi
    done
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends \
        "${wanted[@]}"
}

nimbrel_jobs() {
    local n
    n=$(nproc 2>/dev/null || echo 2)
    [ "$n" -gt 2 ] && n=2
    echo "$n"
}
