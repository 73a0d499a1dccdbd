#!/bin/sh
# Runs one Windows test program under Wine in a prefix made fresh for this run,
# so that the registry the test imports starts from a clean machine and is
# thrown away afterwards. Exits 77 (a skip for CTest) where Wine cannot run.
program=$1
shift

# A 64-bit test program names its loader in TARVANO_WINE (wine64).
loader=${TARVANO_WINE:-wine}
if ! command -v "$loader" >/dev/null 2>&1; then
    echo "SKIPPED: Wine is not installed; the Win32 layer is not tested here"
    exit 77
fi
if [ -z "${TARVANO_WINE:-}" ] && [ -x /usr/lib/wine/wine ]; then
    /usr/lib/wine/wine --version >/dev/null 2>&1
    if [ $? -eq 126 ]; then
        echo "SKIPPED: this machine cannot execute 32-bit programs; the Win32 layer is not tested here"
        exit 77
    fi
fi

prefix=$(mktemp -d "${TMPDIR:-/tmp}/installer-wine.XXXXXX") || exit 1
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Tests that show windows run under a virtual display (TARVANO_KEEP_DISPLAY).
[ -n "${TARVANO_KEEP_DISPLAY:-}" ] || unset DISPLAY
# A 64-bit prefix, where Wine has one, gives the test a 64-bit registry view.
if [ -x /usr/lib/wine/wine64 ]; then export WINEARCH=win64; else export WINEARCH=win32; fi
if [ -n "${TARVANO_WINE:-}" ]; then export WINELOADER="$TARVANO_WINE"; fi
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$prefix"' EXIT

"$loader" wineboot -i >/dev/null 2>&1
"$loader" "$program" "$@"
status=$?
wineserver -w
exit $status
