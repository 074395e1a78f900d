#!/usr/bin/env bash
# Reads WAV files the audio controller recorded (under Wine, from the split
# test) with sox and Python's wave module: rate, channels and length must agree.
set -eu
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
winedir=$("$(dirname "$0")/../../scripts/winpath" "$dir")
out=$(MARIVANE_SAMPLE_DIR="$winedir" "$(dirname "$0")/../../scripts/wine-exec" "$exe" --gtest_filter='AudioCtrl.Splits*' 2>&1) ||
  { echo "$out" | tail -30; exit 1; }
fail=0
check() {  # file rate channels frames
  f="$dir/$1"
  got="$(soxi -r "$f") $(soxi -c "$f") $(soxi -s "$f") $(soxi -b "$f")"
  [ "$got" = "$2 $3 $4 16" ] || { echo "soxi $1: rate, channels, samples, bits $got (want $2 $3 $4 16)"; fail=1; }
  python3 - "$f" "$2" "$3" "$4" <<'PY' || fail=1
import sys, wave
f, rate, ch, frames = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
w = wave.open(f, 'rb')
got = (w.getframerate(), w.getnchannels(), w.getnframes(), w.getsampwidth())
if got != (rate, ch, frames, 2):
    print("wave", f, got, "want", (rate, ch, frames, 2)); sys.exit(1)
data = w.readframes(frames)
step = 2 * ch
for i in range(0, len(data) // step, 997):
    n = data[i*step] | data[i*step+1] << 8
    if n != (i & 0xFFFF):
        print("wave", f, "frame", i, "carries", n); sys.exit(1)
PY
  # sox decodes the whole file without complaint
  sox -q "$f" -n stat 2>/dev/null || { echo "sox cannot read $1"; fail=1; }
}
check case0.wav 48000 2 262400
check case1.wav 8000 1 79800
check case4.wav 96000 2 96000
check case5.wav 44100 2 44100
# A recording stopped before its first buffer left no file to read.
[ ! -e "$dir/case6.wav" ] || { echo "case6.wav exists: a recording without a frame made a file"; fail=1; }
[ $fail = 0 ] && echo "wav readers: 4 files agree"
exit $fail
