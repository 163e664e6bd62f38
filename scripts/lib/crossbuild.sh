# Used by scripts/crossbuild (and scripts/test, to ask whether it can run): Nimbrel for another
# Debian architecture (arm64, armhf: the Raspberry Pi) with Debian's multiarch cross tools, its
# tests run under qemu's user-mode emulator.
# shellcheck shell=bash

NIMBREL_CROSS_ARCHES=(arm64 armhf)
NIMBREL_CROSS_TOOLCHAIN=$NIMBREL_ROOT/cmake/debian-multiarch-linux.cmake

# What the package and the suite need on the build machine besides the build itself: CPack's
# dependency reading (file, dpkg-shlibdeps), the tools the tests start (the private session bus,
# the desktop-file and AppStream checks, the manual page check) and the emulator.
NIMBREL_CROSS_BUILD_TOOLS=(
    dpkg-dev file python3 dbus-daemon desktop-file-utils appstream man-db groff-base locales
    qemu-user
)
# Tests that need a server of their own (X, Wayland, Wine) stay on the build machine's suite.
NIMBREL_CROSS_LEFT_OUT_LABELS='xvfb|wayland|wine'
# Tests that start programs of their own: the program, the standalone sample service, a second
# copy of the test, a private session bus. Qt starts a child with clone(CLONE_PIDFD), which
# qemu's user mode refuses before version 8.0 (Debian 12 has 7.2), so there none of them runs.
NIMBREL_CROSS_SPAWNING_TESTS=(tst_termination tst_sampleservice tst_core_settings
    tst_display_desktop)
# Of those, the ones whose child is a target program: the kernel runs it only through binfmt_misc.
NIMBREL_CROSS_TARGET_CHILD_TESTS=(tst_termination tst_sampleservice tst_core_settings)

nimbrel_cross_known_arch() {
    local a
    for a in "${NIMBREL_CROSS_ARCHES[@]}"; do
        [ "$a" = "$1" ] && return 0
    done
    return 1
}

# Field of dpkg-architecture for the target (GNU_TYPE, MULTIARCH, GNU_CPU); its warning about
# the build machine's compiler is of no interest here.
nimbrel_cross_field() {
    dpkg-architecture -a"$1" -qDEB_HOST_"$2" 2>/dev/null
}

# The target's libraries: every development package the program builds with, for ARCH.
nimbrel_cross_target_packages() {
    local arch=$1 p
    printf '%s\n' "crossbuild-essential-$arch"
    for p in "${NIMBREL_RUN_PACKAGES[@]}"; do
        case "$p" in
        *-dev) printf '%s\n' "$p:$arch" ;;
        esac
    done
}

# The emulator for ARCH, if one is installed.
nimbrel_cross_emulator() {
    local cpu
    cpu=$(nimbrel_cross_field "$1" GNU_CPU) || return 1
    command -v "qemu-$cpu" 2>/dev/null || command -v "qemu-$cpu-static" 2>/dev/null
}

# Whether everything scripts/crossbuild ARCH needs is installed: exit status only, no output,
# nothing installed.
nimbrel_cross_ready() {
    local arch=${1:-}
    nimbrel_cross_known_arch "$arch" || return 1
    command -v dpkg-query >/dev/null 2>&1 && command -v dpkg-architecture >/dev/null 2>&1 ||
        return 1
    dpkg --print-foreign-architectures 2>/dev/null | grep -qxF "$arch" || return 1
    local packages missing
    mapfile -t packages < <(nimbrel_cross_target_packages "$arch")
    mapfile -t missing < <(nimbrel_missing_packages "${NIMBREL_RUN_PACKAGES[@]}" \
        "${NIMBREL_CROSS_BUILD_TOOLS[@]}" "${packages[@]}")
    [ "${#missing[@]}" -eq 0 ] || return 1
    nimbrel_cross_emulator "$arch" >/dev/null
}

nimbrel_cross_as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "Not root and no sudo: cannot run $*" >&2
        return 1
    fi
}

# The binfmt_misc registration comes with qemu: qemu-user-binfmt where the system offers it,
# else qemu-user-static (which conflicts with it). Without systemd (a chroot, a container),
# binfmt-support registers them; named in the same install, it keeps apt from choosing systemd.
nimbrel_cross_binfmt_packages() {
    if nimbrel_installed qemu-user-static; then
        printf '%s\n' qemu-user-static
    elif nimbrel_offered qemu-user-binfmt; then
        printf '%s\n' qemu-user-binfmt
    else
        printf '%s\n' qemu-user-static
    fi
    [ -x /usr/lib/systemd/systemd-binfmt ] || [ -x /lib/systemd/systemd-binfmt ] ||
        printf '%s\n' binfmt-support
}

# Adds ARCH to dpkg and installs whatever is missing for it; idempotent.
nimbrel_cross_install() {
    local arch=$1
    if ! command -v apt-get >/dev/null 2>&1; then
        echo "scripts/crossbuild needs Debian's apt-get and multiarch packages" >&2
        return 1
    fi
    if ! dpkg --print-foreign-architectures | grep -qxF "$arch"; then
        echo "Adding the architecture $arch to dpkg"
        nimbrel_cross_as_root dpkg --add-architecture "$arch"
        nimbrel_cross_as_root apt-get update -q
    fi
    # dpkg-architecture is needed to name the target's packages and tools.
    nimbrel_ensure_packages dpkg-dev
    local target binfmt
    mapfile -t target < <(nimbrel_cross_target_packages "$arch")
    mapfile -t binfmt < <(nimbrel_cross_binfmt_packages)
    nimbrel_ensure_packages "${NIMBREL_RUN_PACKAGES[@]}" "${NIMBREL_CROSS_BUILD_TOOLS[@]}" \
        "${binfmt[@]}" "${target[@]}"
}

# Whether the kernel runs a target program by itself (binfmt_misc through qemu), as the tests'
# child programs need. Where binfmt_misc is merely unmounted or the entry disabled, and this is
# root, it is mounted and enabled first. $2 is a target program that prints and exits.
nimbrel_cross_binfmt_works() {
    local arch=$1 probe=$2 cpu
    "$probe" --version >/dev/null 2>&1 && return 0
    cpu=$(nimbrel_cross_field "$arch" GNU_CPU)
    if [ ! -e /proc/sys/fs/binfmt_misc/status ]; then
        nimbrel_cross_as_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc \
            >/dev/null 2>&1 || return 1
    fi
    if command -v update-binfmts >/dev/null 2>&1; then
        nimbrel_cross_as_root update-binfmts --enable "qemu-$cpu" >/dev/null 2>&1 || true
    fi
    "$probe" --version >/dev/null 2>&1
}

# build/cross-ARCH, or $NIMBREL_CROSS_BUILD (a second system sharing this tree needs its own).
nimbrel_cross_build_dir() {
    printf '%s\n' "${NIMBREL_CROSS_BUILD:-$NIMBREL_ROOT/build/cross-$1}"
}

# Configures and builds for ARCH in build/cross-ARCH; extra arguments go to CMake's configure.
nimbrel_cross_build() {
    local arch=$1 build emulator build_multiarch
    shift
    build=$(nimbrel_cross_build_dir "$arch")
    emulator=$(nimbrel_cross_emulator "$arch")
    build_multiarch=$(dpkg-architecture -qDEB_BUILD_MULTIARCH 2>/dev/null)
    cmake -S "$NIMBREL_ROOT" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$NIMBREL_CROSS_TOOLCHAIN" -DNIMBREL_CROSS_ARCH="$arch" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$build_multiarch/cmake" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
        -DNIMBREL_BENCH=OFF "$@" >/dev/null
    nice -n 10 cmake --build "$build" -j"$(nimbrel_jobs)"
}

# The .deb for ARCH, checked to be one; prints its path.
nimbrel_cross_package() {
    local arch=$1 build deb
    build=$(nimbrel_cross_build_dir "$arch")
    rm -f "$build"/nimbrel_*.deb
    (cd "$build" && cpack -G DEB >cpack.log 2>&1) ||
        { cat "$build/cpack.log" >&2; return 1; }
    deb=$(find "$build" -maxdepth 1 -name "nimbrel_*_$arch.deb" | head -n 1)
    if [ -z "$deb" ] || [ "$(dpkg-deb -f "$deb" Architecture)" != "$arch" ]; then
        echo "cpack made no package for $arch" >&2
        return 1
    fi
    printf '%s\n' "$deb"
}

# The real display, offscreen, against the sample service: the display test's cases that read
# back the lines it draws (place, temperature, summary, low, high).
NIMBREL_CROSS_DISPLAY_CASES=(linePositions dayRangeAskedOncePerOpeningAndRefresh)

# Whether programs under this emulator can start children: qemu's user mode passes CLONE_PIDFD
# on from 8.0.
nimbrel_cross_emulator_spawns() {
    local version
    version=$("$1" --version | sed -n 's/^qemu-[^ ]* version \([0-9]*\)\..*/\1/p')
    [ -n "$version" ] && [ "$version" -ge 8 ]
}

# The tests, --version and the display run under the emulator. Says what it left out and why.
nimbrel_cross_test() {
    local arch=$1 build emulator status=0 left_out=()
    build=$(nimbrel_cross_build_dir "$arch")
    emulator=$(nimbrel_cross_emulator "$arch")
    if ! nimbrel_cross_emulator_spawns "$emulator"; then
        left_out=("${NIMBREL_CROSS_SPAWNING_TESTS[@]}")
        echo "(left out ${left_out[*]}: they start programs of their own, which $("$emulator" --version | head -n 1) cannot; qemu 8.0 or newer can)"
    elif ! nimbrel_cross_binfmt_works "$arch" "$build/src/app/nimbrel"; then
        left_out=("${NIMBREL_CROSS_TARGET_CHILD_TESTS[@]}")
        echo "(left out ${left_out[*]}: they start $arch programs, and binfmt_misc cannot hand them to qemu here)"
    fi
    local exclude=()
    if [ "${#left_out[@]}" -gt 0 ]; then
        exclude=(-E "^($(IFS='|'; echo "${left_out[*]}"))\$")
    fi
    echo "== Tests for $arch under $(basename "$emulator") (left out: labels $NIMBREL_CROSS_LEFT_OUT_LABELS)"
    ctest --test-dir "$build" --output-on-failure -j"$(nimbrel_jobs)" \
        -LE "$NIMBREL_CROSS_LEFT_OUT_LABELS" "${exclude[@]}" || status=1
    echo "== nimbrel --version on $arch"
    "$emulator" "$build/src/app/nimbrel" --version || status=1
    echo "== The display on $arch, offscreen, against the sample service"
    QT_QPA_PLATFORM=offscreen "$emulator" "$build/tests/display/tst_display" \
        "${NIMBREL_CROSS_DISPLAY_CASES[@]}" || status=1
    return $status
}
