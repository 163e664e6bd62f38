# Where a Windows program built here finds its DLLs and Qt plugins under Wine.
# shellcheck shell=bash

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
