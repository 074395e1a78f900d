#!/bin/sh
# The HLS segments the demuxer's tests open, made by Debian's ffmpeg from 6 s
# of a sox tone, in segments of 2 s, cached in build/segments (made once):
# AAC in MPEG-TS (ts0.ts...), packed ADTS behind an ID3 tag with the TS
# segment's timestamp (aac0.aac...), fragmented MP4 (init.mp4, mp40.m4s...),
# MP3 in MPEG-TS (mp3ts0.ts...), packed MP3 (mp30.mp3...), an MP3 file with
# its Info frame (tone.mp3); and what no station's audio is: AC-3 in TS,
# video alone in TS, Opus in MP4.
set -eu
out=$(cd "$(dirname "$0")/../.." && pwd)/build/segments
# Made again when this script changes.
stamp=$(sha1sum "$0" | cut -c1-12)
mkdir -p "$out"
cd "$out"
# Two test runs at once make them once: the second waits for the first.
exec 9>"$out/.lock"
flock 9
[ "$(cat done 2>/dev/null)" = "$stamp" ] && { echo "$out"; exit 0; }
ff() { ffmpeg -v error -y -nostdin "$@"; }
# -R: the same dither every time, so the segments (and what a test finds in them) are the same on every machine.
sox -R -n -r 44100 -c 2 -b 16 tone.wav synth 6 sine 300-900
hls() { # name, segment type, codec options...
  name=$1 type=$2; shift 2
  ff -i tone.wav "$@" -f hls -hls_time 2 -hls_list_size 0 -hls_segment_type "$type" \
    -hls_fmp4_init_filename init.mp4 -hls_segment_filename "$name%d.$( [ "$type" = fmp4 ] && echo m4s || echo ts)" "$name.m3u8"
}
hls ts mpegts -c:a aac -b:a 96k
hls mp4 fmp4 -c:a aac -b:a 96k
hls mp3ts mpegts -c:a libmp3lame -b:a 128k
# Packed audio: the TS segment's frames behind an ID3 tag whose PRIV frame
# holds its first timestamp, eight bytes big-endian, written as \xNN.
packed() { # TS segment, muxer, output, muxer options...
  in=$1 format=$2 to=$3; shift 3
  pts=$(ffprobe -v error -select_streams a:0 -show_entries packet=pts -of default=nw=1:nk=1 "$in" | head -n 1)
  stamp=$(printf '%016x' "$pts" | sed 's/../\\x&/g')
  ff -i "$in" -c copy -map_metadata -1 -metadata "id3v2_priv.com.apple.streaming.transportStreamTimestamp=$stamp" \
    "$@" -f "$format" "$to"
  echo "$pts" > "$to.pts"
}
for n in 0 1 2; do
  packed ts$n.ts adts aac$n.aac -write_id3v2 1
  packed mp3ts$n.ts mp3 mp3$n.mp3 -write_xing 0
done
lame -t --quiet -b 128 tone.wav tone.mp3
ff -i tone.wav -t 1 -c:a ac3 -f mpegts ac3.ts
ff -f lavfi -i testsrc=size=64x48:rate=10 -t 1 -c:v mpeg2video -f mpegts video.ts
ff -i tone.wav -t 1 -c:a libopus -movflags +frag_keyframe+empty_moov -f mp4 opus.mp4
echo "$stamp" > done
echo "$out"
