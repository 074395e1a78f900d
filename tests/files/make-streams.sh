#!/bin/sh
# The stream files the writer's tests record from: 6 s of a tone made by
# Debian's encoders (Ogg in pages of 0.2 s, as stations send them),
# cached in build/streams (made once).
set -eu
out=$(cd "$(dirname "$0")/../.." && pwd)/build/streams
mkdir -p "$out"
cd "$out"
[ -s tone.wav ] || sox -n -r 44100 -c 2 -b 16 tone.wav synth 6 sine 300-900
[ -s tone.mp3 ] || lame -t --quiet -b 128 tone.wav tone.mp3
[ -s tone.aac ] || ffmpeg -v error -y -i tone.wav -c:a aac -b:a 96k -f adts tone.aac
[ -s tone.opus ] || opusenc --quiet --max-delay 200 tone.wav tone.opus
[ -s tone.ogg ] || ffmpeg -v error -y -i tone.wav -c:a libvorbis -b:a 128k -page_duration 200000 tone.ogg
echo "$out"
