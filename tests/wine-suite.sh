#!/bin/sh
# Runs the black-box suite against the Windows build under Wine, with one Wine server kept
# up for the whole suite. Usage: wine-suite.sh BLACKBOX_TESTS LINETILT_EXE PREFIX_DIR [ARGS...];
# the suite gets --tool LINETILT_EXE --runner WINE and the ARGS.
set -eu
suite=$1 exe=$2 prefix=$3
shift 3
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" WINELOADER=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing a Wine prefix in $WINEPREFIX (once)"
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    wineserver -w
fi
wineserver -p
status=0
"$suite" --tool "$exe" --runner /usr/lib/wine/wine64 "$@" || status=$?
wineserver -k || true
exit $status
