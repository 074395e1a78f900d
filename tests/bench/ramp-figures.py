#!/usr/bin/env python3
"""Completeness of a recording of the counting-ramp microphone (stereo 16-bit:
frame n carries the low 16 bits of n left and the high 16 bits right).

  ramp-figures.py NAME wav DIR PREFIX SECONDS   the program's split WAV files
  ramp-figures.py NAME raw FILE                 the peer's raw capture

Prints frames, frames the microphone offered meanwhile (the ramp span between
the first and the last frame), the ratio and the discontinuities (a frame that
does not follow its predecessor), the first ten with where they fall."""
import glob
import os
import struct
import sys

RATE = 48000


def main():
    name, kind = sys.argv[1], sys.argv[2]
    if kind == 'wav':
        paths = sorted(glob.glob(os.path.join(sys.argv[3], sys.argv[4] + '_*.wav')))
        datas = [open(p, 'rb').read() for p in paths]
        parts = [d[56:56 + struct.unpack_from('<I', d, 52)[0]] for d in datas]
    else:
        parts = [open(sys.argv[3], 'rb').read()]
    pcm = b''.join(parts)
    n = len(pcm) // 4
    if not n:
        print('%s: no frames' % name)
        return 1
    values = struct.unpack('<%dH' % (2 * n), pcm[:4 * n])
    frames = [values[2 * i] | values[2 * i + 1] << 16 for i in range(n)]
    where = [i + 1 for i, (a, b) in enumerate(zip(frames, frames[1:])) if (a + 1) & 0xFFFFFFFF != b]
    for i in where[:10]:
        print('%s: frame %d is followed by %d (%+d frames), %.3f s in'
              % (name, frames[i - 1], frames[i], frames[i] - frames[i - 1] - 1, i / RATE))
    offered = ((frames[-1] - frames[0]) & 0xFFFFFFFF) + 1
    label = '%d files; %.3f s recorded of %s s scheduled' % (len(parts), n / RATE, sys.argv[5]) \
        if kind == 'wav' else 'raw capture'
    print('%s: %d frames of %d offered, ratio %.6f, %d discontinuities (%s)'
          % (name, n, offered, n / offered, len(where), label))
    return 0


sys.exit(main())
