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
# A 32-bit program needs a 32-bit loader that runs (some kernels refuse
# 32-bit programs: 126); without one, Debian's wrapper runs nothing and
# reports success.
if [ -z "${TARVANO_WINE:-}" ]; then
    status=127
    [ -x /usr/lib/wine/wine ] && { /usr/lib/wine/wine --version >/dev/null 2>&1; status=$?; }
    if [ $status -ne 0 ]; then
        echo "SKIPPED: no 32-bit Wine loader runs here (status $status); the Win32 layer is not tested here"
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
if [ -n "${TARVANO_KEEP_DISPLAY:-}" ]; then
    # No window manager runs on the virtual display: Wine draws the frames.
    "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi
"$loader" "$program" "$@"
status=$?
wineserver -w
exit $status
