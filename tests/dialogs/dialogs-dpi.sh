#!/usr/bin/env bash
# The dialog tests again at 144 DPI (150 %), Wine's LogPixels set for the
# run and put back after: every check holds, and the screenshots land
# beside the 96 DPI set as NAME-144dpi. A screen of 1920x1200 of its own,
# as such a scale comes with, so the tallest dialog fits.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
wine() { "$root/scripts/wine-exec" "$@"; }
n=130
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1920x1200x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
export DISPLAY=":$n"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
set_scale() {
  wine wineserver -k >/dev/null 2>&1
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$2" /f >/dev/null
  wine wineserver -k >/dev/null 2>&1
}
set_scale 144 1920x1200
wine "$1"
rc=$?
set_scale 96 1024x768
kill $xvfb 2>/dev/null
exit $rc
