#!/usr/bin/env python3
"""Feeds the virtual microphone: writes a counting ramp (stereo, frame n
carries the low and high 16 bits of n), or with "tone" a 440 Hz sine, into a
FIFO at the real-time pace of the given rate, forever ("silence": zeros;
"scrambled": n's low 16 bits left and a hash of them right, a ramp no
encoder can pack; "raw:FILE": that file's 16-bit PCM over and over).
FIFO.clock holds "n wall": the wall time (Unix seconds) at which frame n was written, the
feeder's clock for the start and stop error of the benchmarks."""
import math, struct, sys, time

def main():
    fifo, rate, channels = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    kind = sys.argv[4] if len(sys.argv) > 4 else "ramp"
    tone = kind == "tone"
    chunk = rate // 100  # 10 ms
    # A table the feed cycles through, made once.
    table = None
    if kind == "scrambled":
        table = b"".join(struct.pack("<HH", i, scramble(i)) for i in range(65536))
    elif kind.startswith("raw:"):
        table = open(kind[4:], "rb").read()
        table = table[:len(table) - len(table) % (2 * channels)]
    out = open(fifo, "wb", buffering=0)
    n = 0
    start = time.monotonic()

    anchor = lambda: open(fifo + ".clock", "w").write("%d %.6f\n" % (n, time.time() + start + n / rate - time.monotonic()))
    anchor()
    while True:
        if kind == "silence":
            data = bytes(chunk * 2 * channels)
        elif table:
            at, size = n * 2 * channels % len(table), chunk * 2 * channels
            data = table[at:at + size]
            data += table[:size - len(data)]
        elif tone:
            v = [int(8000 * math.sin(2 * math.pi * 440 * i / rate)) for i in range(n, n + chunk)]
            data = b"".join(struct.pack("<h", x) * channels for x in v)
        else:
            data = b"".join(struct.pack("<HH", (i & 0xFFFF), (i >> 16) & 0xFFFF) for i in range(n, n + chunk))
        try:
            out.write(data)
        except BrokenPipeError:
            return
        n += chunk
        delay = start + n / rate - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        elif delay < -0.1:
            # Blocked (nobody read the FIFO): go on at real-time pace from
            # here instead of bursting, which a real microphone never does.
            sys.stderr.write("feeder blocked %.3f s at frame %d\n" % (-delay, n))
            sys.stderr.flush()
            start = time.monotonic() - n / rate
            anchor()

def scramble(i):
    """The right channel of "scrambled" (tests/support/WavChecks.cpp has its twin)."""
    x = i * 0x9E3779B1 & 0xFFFFFFFF
    x ^= x >> 15
    x = x * 0x85EBCA6B & 0xFFFFFFFF
    x ^= x >> 13
    return x >> 16

if __name__ == "__main__":
    main()
