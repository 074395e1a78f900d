#!/usr/bin/env bash
# Starts the test station on 127.0.0.1, runs stream_tests.exe against it
# (port and frame log by environment) and stops the station after.
set -u
exe=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
root=$here/../..
dir=$(mktemp -d)
python3 "$here/station.py" --cache "$root/build/station" --log "$dir/frames.log" --port-file "$dir/port" &
station=$!
trap 'kill $station 2>/dev/null; wait $station 2>/dev/null; rm -rf "$dir"' EXIT
# The first run encodes the signal (cached under build/station).
for _ in $(seq 600); do
  [ -s "$dir/port" ] && break
  kill -0 $station 2>/dev/null || { echo "the test station did not start"; exit 1; }
  sleep 0.2
done
[ -s "$dir/port" ] || { echo "the test station did not start"; exit 1; }
# MARIVANE_WINE_LOCALE: the locale Wine (and so the program) runs in; the shell keeps its own.
locale=()
[ -n "${MARIVANE_WINE_LOCALE:-}" ] && locale=(LANG="$MARIVANE_WINE_LOCALE" LC_ALL="$MARIVANE_WINE_LOCALE")
env "${locale[@]}" MARIVANE_STATION_PORT=$(cat "$dir/port") MARIVANE_STATION_LOG=$("$root/scripts/winpath" "$dir/frames.log") \
  "$root/scripts/wine-exec" "$exe" "$@"
