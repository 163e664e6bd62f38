#!/usr/bin/env bash
# Installs the build into a scratch prefix, validates the desktop entry and the AppStream
# metadata there, then builds the Debian package and checks what it holds.
# usage: check_install.sh <cmake> <cpack> <build folder> <work folder>
set -u
cmake=$1 cpack=$2 build=$3 work=$4
rm -rf "$work"
mkdir -p "$work"
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

"$cmake" --install "$build" --prefix "$work/prefix" >"$work/install.log" ||
    { cat "$work/install.log"; echo "FAIL: cmake --install"; exit 1; }
prefix=$work/prefix
desktop=$prefix/share/applications/org.nimbrel.Nimbrel.desktop
metainfo=$prefix/share/metainfo/org.nimbrel.Nimbrel.metainfo.xml
[ -x "$prefix/bin/nimbrel" ] || fail "bin/nimbrel not installed"
for size in 32 48 128 256; do
    [ -f "$prefix/share/icons/hicolor/${size}x${size}/apps/nimbrel.png" ] ||
        fail "icon ${size}x${size} not installed"
done
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate $metainfo"
[ "$(sed -n 's/^Icon=//p' "$desktop")" = nimbrel ] || fail "desktop entry names another icon"
[ "$(sed -n 's/^Exec=//p' "$desktop")" = nimbrel ] || fail "desktop entry runs another command"
autostart=$prefix/share/nimbrel/nimbrel-autostart.desktop
desktop-file-validate "$autostart" || fail "desktop-file-validate $autostart"
[ "$(sed -n 's/^Exec=//p' "$autostart")" = "nimbrel --show-weather" ] ||
    fail "autostart entry does not open the display"
manpage=$prefix/share/man/man1/nimbrel.1.gz
if [ -f "$manpage" ]; then
    # Warnings from groff (bad requests, unknown escapes) count as faults of the page.
    rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l --warnings=all "$manpage" 2>"$work/man.err")
    [ -s "$work/man.err" ] && { cat "$work/man.err"; fail "man -l warns about the manual page"; }
    for option in --show-weather --service-url --screen --list-screens --help --version; do
        grep -q -- "$option" <<<"$rendered" || fail "man page lacks $option"
    done
else
    fail "man/man1/nimbrel.1.gz not installed"
fi

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" ||
    { cat "$work/cpack.log"; echo "FAIL: cpack -G DEB"; exit 1; }
deb=$(find "$work/package" -maxdepth 1 -name "nimbrel_7.0.0_*.deb" | head -n 1)
if [ -z "$deb" ]; then
    ls "$work/package"
    echo "FAIL: no nimbrel_7.0.0_<arch>.deb"
    exit 1
fi
dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/contents"
for path in ./usr/bin/nimbrel \
    ./usr/share/man/man1/nimbrel.1.gz \
    ./usr/share/nimbrel/nimbrel-autostart.desktop \
    ./usr/share/applications/org.nimbrel.Nimbrel.desktop \
    ./usr/share/metainfo/org.nimbrel.Nimbrel.metainfo.xml \
    ./usr/share/icons/hicolor/32x32/apps/nimbrel.png \
    ./usr/share/icons/hicolor/48x48/apps/nimbrel.png \
    ./usr/share/icons/hicolor/128x128/apps/nimbrel.png \
    ./usr/share/icons/hicolor/256x256/apps/nimbrel.png; do
    grep -qxF "$path" "$work/contents" || fail "$(basename "$deb") lacks $path"
done
depends=$(dpkg-deb -f "$deb" Depends)
for package in fonts-liberation libqt6widgets6 libqt6network6; do
    case ", $depends," in
    *", $package"[\ ,]*) ;;
    *) fail "Depends lacks $package: $depends" ;;
    esac
done
[ "$(dpkg-deb -f "$deb" Section)" = utils ] || fail "section is not utils"
[ $status -eq 0 ] && echo "install and package: ok ($(basename "$deb"))"
exit $status
