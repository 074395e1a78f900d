#!/bin/sh
# The stream files the writer's tests record from: 6 s of a tone made by
# Debian's encoders (Ogg in pages of 0.2 s, as stations send them),
# and 2 s of it as 22.05 kHz mono MP3 (a change of format), cached in
# build/streams (made once).
set -eu
out=$(cd "$(dirname "$0")/../.." && pwd)/build/streams
mkdir -p "$out"
cd "$out"
[ -s tone.wav ] || sox -n -r 44100 -c 2 -b 16 tone.wav synth 6 sine 300-900
[ -s tone.mp3 ] || lame -t --quiet -b 128 tone.wav tone.mp3
[ -s tone.aac ] || ffmpeg -v error -y -i tone.wav -c:a aac -b:a 96k -f adts tone.aac
[ -s tone.opus ] || opusenc --quiet --max-delay 200 tone.wav tone.opus
[ -s tone.ogg ] || ffmpeg -v error -y -i tone.wav -c:a libvorbis -b:a 128k -page_duration 200000 tone.ogg
[ -s tone22.mp3 ] || { sox tone.wav -r 22050 -c 1 tone22.wav trim 0 2 && lame -t --quiet -b 32 tone22.wav tone22.mp3; }
echo "$out"
