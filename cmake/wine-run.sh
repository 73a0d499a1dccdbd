#!/bin/sh
# Runs a Windows test program under Wine with a prefix of the build's own, so
# that tests never touch the user's Wine setup and need no display.
: "${WINEPREFIX:?the build sets WINEPREFIX}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY
exec wine "$@"
