#!/usr/bin/env python3
"""A native PulseAudio recorder with the same 100 ms buffer that Wine's waveIn
gives its stream, for a number of seconds, into memory, then to FILE.

  small-buffer-peer.py FILE SECONDS

If it loses frames where the recorders under Wine do, the source delivered
late; if it does not, the stall was inside Wine."""
import ctypes
import sys

RATE, CHANNELS, FRAME = 48000, 2, 4


class SampleSpec(ctypes.Structure):
    _fields_ = [('format', ctypes.c_int), ('rate', ctypes.c_uint32), ('channels', ctypes.c_uint8)]


class BufferAttr(ctypes.Structure):
    _fields_ = [(name, ctypes.c_uint32) for name in ('maxlength', 'tlength', 'prebuf', 'minreq', 'fragsize')]


def main():
    path, seconds = sys.argv[1], int(sys.argv[2])
    pulse = ctypes.CDLL('libpulse-simple.so.0')
    pulse.pa_simple_new.restype = ctypes.c_void_p
    pulse.pa_simple_read.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t, ctypes.c_void_p]
    spec = SampleSpec(3, RATE, CHANNELS)  # PA_SAMPLE_S16LE
    period = RATE // 100 * FRAME
    attr = BufferAttr(10 * period, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, period)
    error = ctypes.c_int()
    stream = pulse.pa_simple_new(None, b'small-buffer-peer', 2, None, b'record',  # PA_STREAM_RECORD
                                 ctypes.byref(spec), None, ctypes.byref(attr), ctypes.byref(error))
    if not stream:
        print('small-buffer-peer: cannot connect (%d)' % error.value, file=sys.stderr)
        return 1
    total = seconds * RATE * FRAME
    data = ctypes.create_string_buffer(total)
    for at in range(0, total, period):
        if pulse.pa_simple_read(ctypes.c_void_p(stream), ctypes.byref(data, at), period, ctypes.byref(error)) < 0:
            print('small-buffer-peer: read failed (%d)' % error.value, file=sys.stderr)
            return 1
    pulse.pa_simple_free(ctypes.c_void_p(stream))
    with open(path, 'wb') as f:
        f.write(data.raw)
    return 0


sys.exit(main())
