# Where a Windows program built here finds its DLLs and Qt plugins under Wine.
# shellcheck shell=bash

# Qt for Windows is built from the same Qt source release as the host's own Qt tools, which
# build its moc and rcc steps: 6.4.2 on Debian 12, 6.8.2 on Debian 13.
nimbrel_win_qt_version() {
    local v
    v=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null ||
        apt-cache show --no-all-versions qt6-base-dev-tools 2>/dev/null | sed -n 's/^Version: //p')
    v=${v#*:}
    printf '%s\n' "${v%%[+~-]*}"
}
NIMBREL_WIN_QT_VERSION=${NIMBREL_WIN_QT_VERSION:-$(nimbrel_win_qt_version)}
: "${NIMBREL_WIN_QT:=${NIMBREL_WIN_CACHE:-$HOME/.cache/nimbrel}/qt-$NIMBREL_WIN_QT_VERSION-mingw64}"

# The MinGW runtime: libstdc++, libgcc and winpthread.
NIMBREL_WIN_RUNTIME_DIRS=()
for _dll in libstdc++-6.dll libwinpthread-1.dll; do
    _path=$(x86_64-w64-mingw32-g++-posix -print-file-name="$_dll" 2>/dev/null || true)
    [ -f "$_path" ] && NIMBREL_WIN_RUNTIME_DIRS+=("$(cd "$(dirname "$_path")" && pwd)")
done
unset _dll _path

nimbrel_win_runtime_env() {
    local path="" dir
    for dir in "$NIMBREL_WIN_QT/bin" "${NIMBREL_WIN_RUNTIME_DIRS[@]}"; do
        path+="${path:+;}Z:${dir//\//\\}"
    done
    export WINEPATH="$path"
    export QT_PLUGIN_PATH="Z:${NIMBREL_WIN_QT//\//\\}\\plugins"
    export WINEDEBUG=${WINEDEBUG:--all}
    # No Mono or Gecko install prompts, no desktop menu entries.
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
}
