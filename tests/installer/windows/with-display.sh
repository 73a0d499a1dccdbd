#!/bin/sh
# Runs a Windows test program that shows windows: on a virtual X display of
# its own (Xvfb), in a fresh Wine prefix (fresh-prefix.sh), and turns the
# screenshots it leaves as BMP files in "screenshots" beside it into PNG files
# where ImageMagick is installed. Exits 77 (a skip for CTest) without Xvfb.
program=$1
here=$(dirname "$0")
if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "SKIPPED: xvfb-run is not installed; the windows are not tested here"
    exit 77
fi
rm -f "$(dirname "$program")"/screenshots/*.bmp "$(dirname "$program")"/screenshots/*.png
TARVANO_KEEP_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24" /bin/sh "$here/fresh-prefix.sh" "$@"
status=$?
if command -v convert >/dev/null 2>&1; then
    for bmp in "$(dirname "$program")"/screenshots/*.bmp; do
        [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png"
    done
fi
exit $status
