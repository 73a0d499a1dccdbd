#!/bin/sh
# Runs a Windows test program under Wine with a prefix of the build's own, so
# that tests never touch the user's Wine setup and need no display. 64-bit
# programs run under wine64 (Debian's wine wrapper always picks the 32-bit
# loader when it is installed). Wine's sound devices are backed by a silent
# ALSA default device, so that wave devices exist without a sound card.
: "${WINEPREFIX:?the build sets WINEPREFIX}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export ALSA_CONFIG_PATH="${ALSA_CONFIG_PATH:-$(dirname "$0")/asound-null.conf}"
unset DISPLAY
if [ -n "${TARVANO_WINE:-}" ]; then
  export WINELOADER="$TARVANO_WINE"
  exec "$TARVANO_WINE" "$@"
fi
# A 32-bit program needs the 32-bit loader: without it Debian's wrapper runs
# nothing and reports success.
if [ ! -x /usr/lib/wine/wine ]; then
  echo "wine-run: no 32-bit Wine loader (/usr/lib/wine/wine) to run $1" >&2
  exit 1
fi
exec wine "$@"
