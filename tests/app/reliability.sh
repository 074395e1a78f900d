#!/usr/bin/env bash
# The reliability tests that need the Linux side: recordings killed at random
# moments are read back with sox (FLAC and Opus ones by flac and opusdec, in
# the test), and the full-disk test gets a 3 MB tmpfs of its own (needs
# root; without it that test is reported as skipped).
set -u
exe=$1
keep=$(mktemp -d)
small=$(mktemp -d)
mounted=0
if mount -t tmpfs -o size=3m marivane-small "$small" 2>/dev/null; then
  mounted=1
else
  echo "reliability: cannot mount a small tmpfs here (not root?); the full-disk test is skipped"
fi
cleanup() {
  [ $mounted = 1 ] && umount "$small"
  rm -rf "$keep" "$small"
}
trap cleanup EXIT
winpath() { "$(dirname "$0")/../../scripts/winpath" "$1"; }
env_small=""
[ $mounted = 1 ] && env_small=$(winpath "$small")
MARIVANE_KEEP_DIR=$(winpath "$keep") MARIVANE_SMALL_DISK="$env_small" \
  "$(dirname "$0")/../../scripts/wine-exec" "$exe" \
  --gtest_filter='Reliability.KilledDuringRecording*:Reliability.FullDisk*'
rc=$?
n=0
for f in "$keep"/*.wav; do
  [ -e "$f" ] || continue
  n=$((n + 1))
  sox -q "$f" -n stat 2>/dev/null || { echo "sox cannot read $(basename "$f")"; rc=1; }
done
echo "reliability: sox read $n files left by killed recordings"
[ $n -gt 0 ] || rc=1
exit $rc
