# Used by scripts/windows: Qt for Windows built once per machine from Debian's own source
# package, then Nimbrel cross-built against it.
# shellcheck shell=bash

NIMBREL_WIN_CACHE=${NIMBREL_WIN_CACHE:-$HOME/.cache/nimbrel}
source "$NIMBREL_ROOT/scripts/lib/windows-runtime.sh"
NIMBREL_WIN_QT_WORK=$NIMBREL_WIN_CACHE/qt-$NIMBREL_WIN_QT_VERSION-work
NIMBREL_WIN_QT_STAMP=$NIMBREL_WIN_QT/.nimbrel-complete
NIMBREL_WIN_TOOLCHAIN=$NIMBREL_ROOT/cmake/mingw-w64-x86_64.cmake
export NIMBREL_WIN_QT

nimbrel_win_qt_ready() {
    [ -f "$NIMBREL_WIN_QT_STAMP" ]
}

# deb-src lines for the suites the machine already uses, so `apt-get source` gets the same
# Qt version as the host tools.
nimbrel_win_enable_deb_src() {
    local list=/etc/apt/sources.list.d/nimbrel-deb-src.sources
    if apt-get source --print-uris qt6-base >/dev/null 2>&1; then
        return 0
    fi
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$list"
    elif [ -f /etc/apt/sources.list ]; then
        grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
            >/etc/apt/sources.list.d/nimbrel-deb-src.list
    else
        echo "No apt sources found to derive deb-src lines from" >&2
        return 1
    fi
    apt-get update -q >&2
}

nimbrel_win_qt_source() {
    local src
    src=$(find "$NIMBREL_WIN_QT_WORK" -maxdepth 1 -type d -name "qt6-base-$NIMBREL_WIN_QT_VERSION*" 2>/dev/null | head -n1)
    if [ -z "$src" ]; then
        nimbrel_win_enable_deb_src >&2
        mkdir -p "$NIMBREL_WIN_QT_WORK"
        (cd "$NIMBREL_WIN_QT_WORK" && apt-get source -q "qt6-base=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)") >&2
        src=$(find "$NIMBREL_WIN_QT_WORK" -maxdepth 1 -type d -name "qt6-base-$NIMBREL_WIN_QT_VERSION*" | head -n1)
    fi
    printf '%s\n' "$src"
}

# Only what the program and its tests use. OpenGL is off, and with it dynamicgl: 6.4.2's
# Windows platform plugin otherwise refers to the OpenGL context in isSoftwareGl(). Debian's
# source has no wintab header, hence no tablet events.
NIMBREL_WIN_QT_CONFIGURE=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_openssl=OFF -DINPUT_openssl=no -DFEATURE_schannel=ON
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_xml=OFF -DFEATURE_testlib=ON -DFEATURE_tabletevent=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF
    -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_freetype=OFF -DFEATURE_fontconfig=OFF -DFEATURE_icu=OFF -DFEATURE_jpeg=OFF
    -DFEATURE_gif=OFF -DFEATURE_androiddeployqt=OFF
    -DFEATURE_zstd=OFF -DFEATURE_brotli=OFF -DFEATURE_libproxy=OFF -DFEATURE_gssapi=OFF
)

# Configures and builds Qt for Windows; nice'd so the rest of the machine keeps priority.
# The log is $NIMBREL_WIN_QT_WORK/build.log.
nimbrel_win_build_qt() {
    if nimbrel_win_qt_ready; then
        return 0
    fi
    local src build log
    src=$(nimbrel_win_qt_source)
    build=$NIMBREL_WIN_QT_WORK/build
    log=$NIMBREL_WIN_QT_WORK/build.log
    echo "Building Qt $NIMBREL_WIN_QT_VERSION for Windows into $NIMBREL_WIN_QT (log: $log)"
    nice -n 19 cmake -S "$src" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$NIMBREL_WIN_TOOLCHAIN" \
        -DCMAKE_INSTALL_PREFIX="$NIMBREL_WIN_QT" \
        "${NIMBREL_WIN_QT_CONFIGURE[@]}" >"$log" 2>&1 || {
        tail -n 40 "$log" >&2
        return 1
    }
    nice -n 19 cmake --build "$build" -j"$(nimbrel_jobs)" >>"$log" 2>&1 || {
        tail -n 40 "$log" >&2
        return 1
    }
    nice -n 19 cmake --install "$build" >>"$log" 2>&1 || {
        tail -n 40 "$log" >&2
        return 1
    }
    date -u +%FT%TZ >"$NIMBREL_WIN_QT_STAMP"
}

NIMBREL_WIN_BUILD=$NIMBREL_ROOT/build/windows
NIMBREL_WIN_VERSION=7.0

# Nimbrel for Windows in build/windows; extra arguments go to its CMake configure.
nimbrel_win_build_program() {
    cmake -S "$NIMBREL_ROOT" -B "$NIMBREL_WIN_BUILD" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$NIMBREL_WIN_TOOLCHAIN" -DNIMBREL_WIN_QT="$NIMBREL_WIN_QT" \
        -DCMAKE_PREFIX_PATH="$NIMBREL_WIN_QT" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DNIMBREL_BENCH=OFF \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$NIMBREL_ROOT/scripts/lib/wine-exec" "$@" >/dev/null
    cmake --build "$NIMBREL_WIN_BUILD" -j"$(nimbrel_jobs)"
}

# The DLLs a program or plugin imports, one name a line.
nimbrel_win_imports() {
    x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'
}

# Where a DLL that is not part of Windows comes from: Qt's bin folder or the MinGW runtime.
nimbrel_win_find_dll() {
    local name=$1 dir
    for dir in "$NIMBREL_WIN_QT/bin" "${NIMBREL_WIN_RUNTIME_DIRS[@]}"; do
        if [ -f "$dir/$name" ]; then
            printf '%s\n' "$dir/$name"
            return 0
        fi
    done
    return 1
}

# Copies into $1 every DLL that the given binaries import, and what those import in turn.
# Windows' own DLLs are not found in our folders and stay out.
nimbrel_win_copy_imports() {
    local stage=$1 queue=("${@:2}") seen=" " file name path
    while [ "${#queue[@]}" -gt 0 ]; do
        file=${queue[0]}
        queue=("${queue[@]:1}")
        while read -r name; do
            case "$seen" in *" ${name,,} "*) continue ;; esac
            seen+="${name,,} "
            if path=$(nimbrel_win_find_dll "$name"); then
                cp "$path" "$stage/$name"
                queue+=("$stage/$name")
            fi
        done < <(nimbrel_win_imports "$file")
    done
}

# nimbrel-7.0-win64.zip and nimbrel-7.0-setup.exe from the built program.
nimbrel_win_package() {
    local stage=$NIMBREL_WIN_BUILD/stage/Nimbrel zip setup plugin
    zip=$NIMBREL_WIN_BUILD/nimbrel-$NIMBREL_WIN_VERSION-win64.zip
    setup=$NIMBREL_WIN_BUILD/nimbrel-$NIMBREL_WIN_VERSION-setup.exe
    rm -rf "$NIMBREL_WIN_BUILD/stage" "$zip" "$setup"
    mkdir -p "$stage"
    cp "$NIMBREL_WIN_BUILD/src/app/nimbrel.exe" "$NIMBREL_ROOT/resources/HAND-M.CUR" "$stage/"
    # Plugins are loaded by name, not imported: the platform, the TLS backend for https, the
    # reader of the .CUR pointer file, and the native widget style.
    local plugins=(platforms/qwindows.dll tls/qschannelbackend.dll imageformats/qico.dll
        styles/qwindowsvistastyle.dll)
    for plugin in "${plugins[@]}"; do
        if [ -f "$NIMBREL_WIN_QT/plugins/$plugin" ]; then
            mkdir -p "$stage/$(dirname "$plugin")"
            cp "$NIMBREL_WIN_QT/plugins/$plugin" "$stage/$plugin"
        elif [ "$plugin" != styles/qwindowsvistastyle.dll ]; then
            echo "Qt for Windows lacks the plugin $plugin" >&2
            return 1
        fi
    done
    mapfile -t binaries < <(find "$stage" -name '*.exe' -o -name '*.dll')
    nimbrel_win_copy_imports "$stage" "${binaries[@]}"
    # https goes through Schannel: nothing of OpenSSL ships or is imported.
    if find "$stage" \( -iname '*openssl*' -o -iname 'libssl*' -o -iname 'libcrypto*' \) | grep -q . ||
        find "$stage" -name '*.dll' -o -name '*.exe' | while read -r f; do nimbrel_win_imports "$f"; done |
        grep -qiE '^(libssl|libcrypto)'; then
        echo "The Windows release files hold or import OpenSSL" >&2
        return 1
    fi
    find "$stage" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
    (cd "$NIMBREL_WIN_BUILD/stage" && zip -q -9 -r -X "$zip" Nimbrel)
    makensis -V2 -DVERSION="$NIMBREL_WIN_VERSION" -DSTAGE="$stage" -DOUTFILE="$setup" \
        "$NIMBREL_ROOT/packaging/nimbrel.nsi"
    ls -l "$zip" "$setup"
}

# A Linux build for the pieces of the Windows test that run on this side: the end-to-end driver
# and the sample service it hosts.
NIMBREL_WIN_HOST_BUILD=$NIMBREL_ROOT/build/windows-host

nimbrel_win_build_host_driver() {
    cmake -S "$NIMBREL_ROOT" -B "$NIMBREL_WIN_HOST_BUILD" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBREL_BENCH=OFF >/dev/null
    cmake --build "$NIMBREL_WIN_HOST_BUILD" -j"$(nimbrel_jobs)" --target tst_endtoend_wine \
        sample-weather-service
}

# A fresh 64-bit prefix in $1: metric-compatible faces for "Arial", "Courier New" and
# "Times New Roman", and a stand-in browser that writes each address it is given to
# $1/browser.log instead of opening it.
nimbrel_win_new_prefix() {
    local work=$1
    export WINEPREFIX=$work/prefix WINEARCH=win64
    nimbrel_win_runtime_env
    wine wineboot --init >/dev/null 2>&1
    wineserver -w
    # One server for the whole run instead of one per program started.
    wineserver -p
    cp /usr/share/fonts/truetype/liberation/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    # Wine's own faces, Tahoma among them: "MS Shell Dlg", the system's dialog face, stands for
    # it, and without it Qt's font database holds that family with no styles, on which Qt's
    # font dialog crashes.
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    local substitutes='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
    wine reg add "$substitutes" /v Arial /t REG_SZ /d "Liberation Sans" /f >/dev/null
    wine reg add "$substitutes" /v "Courier New" /t REG_SZ /d "Liberation Mono" /f >/dev/null
    wine reg add "$substitutes" /v "Times New Roman" /t REG_SZ /d "Liberation Serif" /f >/dev/null
    # Wine manages the windows itself, as Windows does. Left to an X window manager (and Xvfb
    # has none), Wine waits 2 s for each hidden window to be withdrawn by it.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
    cat >"$work/browser" <<EOS
#!/bin/sh
printf '%s\n' "\$*" >>"$work/browser.log"
EOS
    chmod +x "$work/browser"
    wine reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /t REG_SZ /d "$work/browser" \
        /f >/dev/null
}

# The installer under Wine: installs silently, the installed program starts on its own DLLs
# (no Qt path), the uninstaller removes the program and its registration but not the settings.
nimbrel_win_check_installer() {
    local setup=$NIMBREL_WIN_BUILD/nimbrel-$NIMBREL_WIN_VERSION-setup.exe
    local dir="$WINEPREFIX/drive_c/Program Files/Nimbrel"
    local uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Nimbrel'
    local status=0 pid
    # wine returns when the program it started has ended.
    wine "$setup" /S
    [ -f "$dir/nimbrel.exe" ] || { echo "FAIL: installer: no nimbrel.exe in Program Files"; status=1; }
    [ -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Nimbrel.lnk" ] ||
        { echo "FAIL: installer: no Start-menu shortcut"; status=1; }
    wine reg query "$uninstall" /v UninstallString >/dev/null 2>&1 ||
        { echo "FAIL: installer: not registered in Apps & features"; status=1; }
    # Only what the installer put there: no Qt or MinGW folders on the path.
    (unset WINEPATH QT_PLUGIN_PATH; exec wine "$dir/nimbrel.exe") &
    pid=$!
    for _ in $(seq 300); do
        xwininfo -root -children 2>/dev/null | grep -q '"Nimbrel"' && break
        sleep 0.2
    done
    if xwininfo -root -children 2>/dev/null | grep -q '"Nimbrel"'; then
        echo "ok: the installed program shows its settings window"
    else
        echo "FAIL: the installed program showed no window"
        status=1
    fi
    kill "$pid" 2>/dev/null || true
    wine taskkill /f /im nimbrel.exe >/dev/null 2>&1 || true
    wait "$pid" 2>/dev/null || true
    # The uninstaller hands over to a copy of itself in the temporary folder and returns at once;
    # its registration goes last.
    wine "$dir/uninstall.exe" /S
    for _ in $(seq 150); do
        wine reg query "$uninstall" >/dev/null 2>&1 || break
        sleep 0.2
    done
    [ ! -f "$dir/nimbrel.exe" ] || { echo "FAIL: uninstaller left nimbrel.exe"; status=1; }
    ! wine reg query "$uninstall" >/dev/null 2>&1 ||
        { echo "FAIL: uninstaller left its registration"; status=1; }
    wine reg query 'HKCU\Software\Corvane\Nimbrel' /v APIKey >/dev/null 2>&1 ||
        { echo "FAIL: uninstaller removed the user's settings"; status=1; }
    [ $status -eq 0 ] && echo "ok: installer, installed program and uninstaller"
    return $status
}

# Everything that runs on the X server: the Windows test suite, the end-to-end run and the
# installer. $1 is the work folder.
nimbrel_win_test_under_xvfb() {
    local work=$1 status=0
    nimbrel_win_new_prefix "$work"
    echo "== Windows test suite under Wine"
    NIMBREL_THROWAWAY_REGISTRY=1 ctest --test-dir "$NIMBREL_WIN_BUILD" --output-on-failure \
        || status=1
    echo "== End to end under Wine"
    NIMBREL_WINE_RUN=$NIMBREL_ROOT/scripts/lib/wine-exec \
    NIMBREL_WINE_PROGRAM=$NIMBREL_WIN_BUILD/tests/e2e/nimbrel-e2e.exe \
    NIMBREL_WINE_BROWSER_LOG=$work/browser.log \
        "$NIMBREL_WIN_HOST_BUILD/tests/e2e/tst_endtoend_wine" || status=1
    echo "== Installer under Wine"
    nimbrel_win_check_installer || status=1
    wineserver -k || true
    return $status
}

