#!/usr/bin/env bash
# Starts the test stations on 127.0.0.1 (station.py, and the HLS one,
# hls_station.py), runs a test executable against them (ports and frame
# logs by environment) and stops the stations after.
set -u
exe=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
root=$here/../..
dir=$(mktemp -d)
python3 "$here/station.py" --cache "$root/build/station" --log "$dir/frames.log" --port-file "$dir/port" &
station=$!
python3 "$here/hls_station.py" --cache "$root/build/station" --log "$dir/hls.log" --port-file "$dir/hls-port" \
  --token-seconds 8 &
hls=$!
trap 'kill $station $hls 2>/dev/null; wait $station $hls 2>/dev/null; rm -rf "$dir"' EXIT
# The first run encodes the signal (cached under build/station).
for _ in $(seq 600); do
  [ -s "$dir/port" ] && [ -s "$dir/hls-port" ] && break
  kill -0 $station 2>/dev/null && kill -0 $hls 2>/dev/null || { echo "a test station did not start"; exit 1; }
  sleep 0.2
done
[ -s "$dir/port" ] && [ -s "$dir/hls-port" ] || { echo "a test station did not start"; exit 1; }
# MARIVANE_WINE_LOCALE: the locale Wine (and so the program) runs in; the shell keeps its own.
locale=()
[ -n "${MARIVANE_WINE_LOCALE:-}" ] && locale=(LANG="$MARIVANE_WINE_LOCALE" LC_ALL="$MARIVANE_WINE_LOCALE")
winpath() { "$root/scripts/winpath" "$1"; }
env "${locale[@]}" MARIVANE_STATION_PORT=$(cat "$dir/port") MARIVANE_STATION_LOG=$(winpath "$dir/frames.log") \
  MARIVANE_HLS_PORT=$(cat "$dir/hls-port") MARIVANE_HLS_LOG=$(winpath "$dir/hls.log") \
  "$root/scripts/wine-exec" "$exe" "$@"
