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
    parts = []
    if kind == 'wav':
        for path in sorted(glob.glob(os.path.join(sys.argv[3], sys.argv[4] + '_*.wav'))):
            with open(path, 'rb') as f:
                data = f.read()
            parts.append(data[56:56 + struct.unpack_from('<I', data, 52)[0]])
        label = '%d files' % len(parts)
    else:
        with open(sys.argv[3], 'rb') as f:
            parts.append(f.read())
        label = 'raw capture'
    starts, at = [], 0
    for part in parts:
        starts.append(at)
        at += len(part) // 4
    pcm = b''.join(parts)
    n = len(pcm) // 4
    values = struct.unpack('<%dH' % (2 * n), pcm[:4 * n])
    frames = [values[2 * i] | values[2 * i + 1] << 16 for i in range(n)]
    if not frames:
        print('%s: no frames' % name)
        return 1
    where = [i + 1 for i, (a, b) in enumerate(zip(frames, frames[1:])) if (a + 1) & 0xFFFFFFFF != b]
    for i in where[:10]:
        f = max(k for k, s in enumerate(starts) if s <= i)
        print('%s: frame %d is followed by %d (%+d frames), %.3f s in, file %d at frame %d'
              % (name, frames[i - 1], frames[i], frames[i] - frames[i - 1] - 1, i / RATE, f, i - starts[f]))
    offered = ((frames[-1] - frames[0]) & 0xFFFFFFFF) + 1
    if kind == 'wav':
        label += '; %.3f s recorded of %s s scheduled' % (n / RATE, sys.argv[5])
    print('%s: %d frames of %d offered, ratio %.6f, %d discontinuities (%s)'
          % (name, n, offered, n / offered, len(where), label))
    return 0


sys.exit(main())
