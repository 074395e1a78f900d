#!/usr/bin/env python3
"""Completeness of a recording of the counting-ramp microphone (stereo 16-bit:
frame n carries the low 16 bits of n left and the high 16 bits right).

  ramp-figures.py NAME wav DIR PREFIX SECONDS   the program's split WAV files
  ramp-figures.py NAME raw FILE                 the peer's raw capture

Prints frames, frames the microphone offered meanwhile, the ratio and the
discontinuities (a frame that does not follow its predecessor)."""
import glob
import os
import struct
import sys

RATE = 48000


def frames_of(pcm):
    n = len(pcm) // 4
    values = struct.unpack('<%dH' % (2 * n), pcm[:4 * n])
    return [values[2 * i] | values[2 * i + 1] << 16 for i in range(n)]


def wav_data(path):
    with open(path, 'rb') as f:
        data = f.read()
    size = struct.unpack_from('<I', data, 52)[0]
    return data[56:56 + size]


def wav_parts(folder, prefix):
    """The data chunks of one recording's split files, in file order."""
    files = sorted(glob.glob(os.path.join(folder, prefix + '_*.wav')))
    return [wav_data(f) for f in files]


def raw_pcm(path):
    with open(path, 'rb') as f:
        return f.read()


def main():
    name, kind = sys.argv[1], sys.argv[2]
    if kind == 'wav':
        folder, prefix, seconds = sys.argv[3], sys.argv[4], int(sys.argv[5])
        parts = wav_parts(folder, prefix)
        pcm = b''.join(parts)
        starts, at = [], 0
        for part in parts:
            starts.append(at)
            at += len(part) // 4
        label = '%d files; offered = the ramp span between its first and last frame' % len(parts)
    else:
        pcm = raw_pcm(sys.argv[3])
        label = 'raw capture; offered = the ramp span between its first and last frame'
        seconds = None
        starts = []
    frames = frames_of(pcm)
    if not frames:
        print('%s: no frames' % name)
        return 1
    where = [i + 1 for i, (a, b) in enumerate(zip(frames, frames[1:])) if (a + 1) & 0xFFFFFFFF != b]
    breaks = len(where)
    for i in where[:10]:
        f = max([k for k, s in enumerate(starts) if s <= i], default=0)
        print('%s: frame %d is followed by %d (%+d frames), %.3f s in, file %d at frame %d'
              % (name, frames[i - 1], frames[i], frames[i] - frames[i - 1] - 1, i / RATE, f,
                 i - (starts[f] if starts else 0)))
    offered = ((frames[-1] - frames[0]) & 0xFFFFFFFF) + 1
    if seconds:
        label += '; %.3f s recorded of %d s scheduled' % (len(frames) / RATE, seconds)
    print('%s: %d frames of %d offered, ratio %.6f, %d discontinuities (%s)'
          % (name, len(frames), offered, len(frames) / offered, breaks, label))
    return 0


sys.exit(main())
