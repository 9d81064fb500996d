#!/usr/bin/env bash
# Runs a Windows test program under Wine, as ctest's emulator for the Windows build:
#   wine-run.sh WINE_DIR QT_PREFIX PROGRAM.exe [ARGUMENT...]
#   wine-run.sh WINE_DIR QT_PREFIX --start | --stop
# WINE_DIR holds the Wine prefix and the home of the session; --start makes the prefix (Wine's
# first start takes a while, so once per test run), --stop ends its Wine server and waits until
# the prefix is saved. The program finds the Qt and gcc DLLs through WINEPATH and the Qt plugins
# through QT_PLUGIN_PATH, on the offscreen platform; with QT_PREFIX "-" it brings its own, as the
# release does, and shows its windows on DISPLAY.
#
# Under root, the session runs as nobody: root's Wine ignores read-only attributes.
set -euo pipefail
wine_dir=$1 qt_prefix=$2
shift 2
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

export HOME=$wine_dir/home WINEPREFIX=$wine_dir/prefix WINEDEBUG=-all
if [ "$qt_prefix" != - ]; then
    # Wine drops every QT_* variable from the Windows environment; WINEQT_* arrives as QT_*.
    # Without a console Qt would log through OutputDebugString, which Wine drops.
    export WINEQT_QPA_PLATFORM=offscreen WINEQT_FORCE_STDERR_LOGGING=1
    export WINEQT_PLUGIN_PATH="Z:$qt_prefix/plugins"
    export WINEPATH="Z:$qt_prefix/bin"
    # The offscreen platform finds no fonts in the Qt folder; Linux's serve where there are some.
    fonts=/usr/share/fonts/truetype/dejavu
    [ ! -d "$fonts" ] || export WINEQT_QPA_FONTDIR="Z:$fonts"
fi
# Under LC_ALL=C Wine cannot make non-ASCII file names.
export LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml,winedbg.exe="
# Wine takes its time zone from TZ, but also copies TZ into the Windows environment, where the
# C runtime misreads a name such as Europe/Berlin: a test that needs a zone asks for it with
# WINE_TZ and takes the zone from Windows.
if [ -n "${WINE_TZ:-}" ]; then export TZ=$WINE_TZ; else unset TZ; fi
unset WINE_TZ

as_session() {
    if [ "$(id -u)" = 0 ]; then
        setpriv --reuid=65534 --regid=65534 --clear-groups -- "$@"
    else
        "$@"
    fi
}

case "${1:-}" in
--start)
    mkdir -p "$HOME"
    [ "$(id -u)" != 0 ] || chown 65534:65534 "$wine_dir" "$HOME"
    as_session "$wine" wineboot --init >/dev/null 2>&1 || true
    as_session "$wineserver" -w
    [ -f "$WINEPREFIX/system.reg" ]
    ;;
--stop)
    as_session "$wineserver" -k 2>/dev/null || true
    as_session "$wineserver" -w 2>/dev/null || true
    ;;
*)
    program=$1
    shift
    as_session "$wine" "$program" "$@"
    ;;
esac
