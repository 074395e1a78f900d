#!/usr/bin/env python3
"""A test HLS station (RFC 8216) on 127.0.0.1 only: real AAC frames (ffmpeg's
encoder, 48 kHz stereo, 96 kbit/s, from a sox sweep) in segments of about 2 s,
looping as a live station that went on air at EPOCH: live segment n is media
segment n % LOOP, and which segments are live follows the wall clock, LAG
seconds behind it (a segment is listed once it ended LAG s ago). 2 s is 93.75
frames of 1024 samples, so segments hold 94, 94, 94, 93 (#EXTINF 2.005333 or
1.984000) and every fourth starts on an even second. Timestamps count frames
since EPOCH (on disc/, since the last discontinuity): the PTS of TS and of the
ID3 transportStreamTimestamp is frames * 1920 (90 kHz) mod 2^33; fMP4's tfdt is
frames * 1024 (48 kHz) and its mfhd sequence N + 1.

  hls_station.py --cache DIR --log FILE --port-file FILE

Paths (FORM is ts: MPEG-TS, aac: packed ADTS with an ID3 PRIV timestamp,
mp4: fMP4, EXT is ts, aac, m4s):
  /master.m3u8[?form=FORM]       three variants: AAC 60 kbit/s (low/), a video
                                 one that cannot be recorded (video/, all 404),
                                 AAC 130 kbit/s (live/)
  /VARIANT/master.m3u8[?form=]   the same, its AAC 130 kbit/s entry is VARIANT's
  /VARIANT/FORM.m3u8             live media playlist: 6 segments, a date-time
                                 on each (what went on air then, UTC, ms)
  /VARIANT/FORM/N.EXT            segment with media sequence N (kept 60 back)
  /VARIANT/mp4/init.mp4          the fMP4 initialization section
VARIANT is one of:
  live, low   plain (low lists the same frames under its own path)
  long        a window of 60 segments, for a late start
  nopdt       no #EXT-X-PROGRAM-DATE-TIME
  retry       segments with N % 10 == 5 answer their first two requests
              (since the station started) with 404, then are served
  expire      N % 10 == 5 always 404s, is listed only while it is the last
              segment, and the next playlist starts after it; segments out of
              the playlist 404
  disc        #EXT-X-DISCONTINUITY before N % 10 == 0: timestamps restart there
  token       FORM.m3u8 needs ?token= from token/master.m3u8, a new one every
              60 s (--token-seconds) of wall clock; an old one gets 403 (segments need none)
  key         #EXT-X-KEY METHOD=AES-128 (key.bin), segments and init encrypted

Log, one line per response (PDT: program date-time, '-' if none):
  CONN KIND TARGET STATUS SEQ PDT BYTES WALL
    KIND: master, playlist (SEQ: its media sequence, PDT its first segment's),
    segment, init, key, other; WALL: time served, Unix seconds
and for every AAC frame of a segment served, after its segment's line:
  CONN frame TARGET SEQ INDEX PDT BYTES FNV WALL
    PDT: the segment's date-time + INDEX * 1024 / 48000 s (to the ms; the
    log has it even where the playlist has none); FNV: FNV-1a 64 of the frame
    as written: ADTS as it is in ts and aac segments; for mp4 the sample with a
    7-byte ADTS header built from the AudioSpecificConfig (see adts_header).
"""
import argparse, os, re, socketserver, subprocess, time

from station import LoggingServer, fnv  # the Icecast test station's server and frame hash, beside this file

EPOCH = 1767225600  # 2026-01-01T00:00:00Z: media sequence 0 went on air
LAG = 30
RATE, FRAME, TICKS = 48000, 1024, 1920  # samples a second, samples a frame, 90 kHz ticks a frame
LOOP, WINDOW, LONG, KEEP = 12, 6, 60, 60
EXT = {'ts': 'ts', 'aac': 'aac', 'mp4': 'm4s'}
TYPES = {'ts': 'video/mp2t', 'aac': 'audio/aac', 'mp4': 'video/iso.segment'}
VARIANTS = ('live', 'low', 'long', 'nopdt', 'retry', 'expire', 'disc', 'token', 'key')
KEY, IV = bytes(range(16)), bytes(range(16, 32))
WRAP = 1 << 33


def first_frame(n):
    """2 s is 93.75 frames: segments hold 94, 94, 94, 93, so every fourth starts on an even second."""
    return (n * 375 + 3) // 4


def on_air(n, index=0):
    return EPOCH + (first_frame(n) + index) * FRAME / RATE


def live_edge(now):
    """The last segment that ended LAG s before now."""
    return 4 * int((now - LAG - EPOCH) * RATE // FRAME) // 375 - 1


def iso(t):
    ms = int(round(t * 1000))
    return time.strftime('%Y-%m-%dT%H:%M:%S', time.gmtime(ms // 1000)) + '.%03dZ' % (ms % 1000)


TOKEN_SECONDS = 60  # how long a token lasts (--token-seconds)


def token(now):
    return fnv(b'%d' % (now // TOKEN_SECONDS))[:12]


def adts_split(data):
    frames, at = [], 0
    while at + 7 <= len(data) and data[at] == 0xFF and data[at + 1] & 0xF6 == 0xF0:
        n = ((data[at + 3] & 3) << 11) | (data[at + 4] << 3) | (data[at + 5] >> 5)
        if n < 7:
            break
        frames.append(data[at:at + n])
        at += n
    return frames


def adts_header(asc, size):
    """ADTS for a raw frame: syncword FFF, MPEG-4, layer 0, no CRC; profile = object type - 1, then the
    sampling frequency index and channel configuration as in the AudioSpecificConfig; private, original,
    home and both copyright bits 0; frame length = size + 7; buffer fullness 7FF (variable rate); one raw
    data block. ffmpeg's ADTS muxer writes the same, so all three forms hash alike."""
    aot, sfi, ch, n = asc[0] >> 3, (asc[0] & 7) << 1 | asc[1] >> 7, asc[1] >> 3 & 15, size + 7
    return bytes([0xFF, 0xF1, (aot - 1) << 6 | sfi << 2 | ch >> 2, (ch & 3) << 6 | n >> 11, n >> 3 & 0xFF,
                  (n & 7) << 5 | 0x1F, 0xFC])


def get_pts(b):
    return (b[0] >> 1 & 7) << 30 | b[1] << 22 | (b[2] >> 1) << 15 | b[3] << 7 | b[4] >> 1


def put_pts(first, v):
    return bytes([first & 0xF0 | (v >> 29) & 0xE | 1, v >> 22 & 0xFF, v >> 14 & 0xFE | 1, v >> 7 & 0xFF, v << 1 & 0xFE | 1])


def ts_walk(data, shift=None):
    """The ADTS bytes and first PTS of a segment's audio; with shift, the segment with every PCR, PTS and
    DTS moved by shift ticks instead."""
    out, audio, pid, pts = bytearray(data), bytearray(), None, None
    for at in range(0, len(data) - 187, 188):
        if data[at] != 0x47:
            break
        start, this = at + 4, (data[at + 1] & 0x1F) << 8 | data[at + 2]
        if data[at + 3] & 0x20:
            if data[at + 4] and data[at + 5] & 0x10 and shift is not None:
                v = int.from_bytes(data[at + 6:at + 12], 'big')
                out[at + 6:at + 12] = (((v >> 15) + shift) % WRAP << 15 | v & 0x7FFF).to_bytes(6, 'big')
            start += 1 + data[at + 4]
        if data[at + 1] & 0x40 and data[start:start + 3] == b'\0\0\1' and 0xC0 <= data[start + 3] <= 0xDF:
            pid, flags = this, data[start + 7] >> 6
            for p in [start + 9, start + 14][:max(flags - 1, 0) if shift is not None else 0]:
                out[p:p + 5] = put_pts(data[p], (get_pts(data[p:p + 5]) + shift) % WRAP)
            if pts is None and flags & 2:
                pts = get_pts(data[start + 9:start + 14])
            start += 9 + data[start + 8]
        if this == pid and data[at + 3] & 0x10:
            audio += data[start:at + 188]
    return bytes(out) if shift is not None else (bytes(audio), pts)


def box(data, path, at=0, end=None):
    """Where the first box along path is, e.g. (b'moof', b'traf', b'tfdt'); None if there is none."""
    end = len(data) if end is None else end
    while at + 8 <= end:
        n = int.from_bytes(data[at:at + 4], 'big')
        if n < 8 or at + n > end:
            return None
        if data[at + 4:at + 8] == path[0]:
            return at if len(path) == 1 else box(data, path[1:], at + 8, at + n)
        at += n
    return None


def asc_of(init):
    """The AudioSpecificConfig in esds: descriptors 03 (ES), 04 (decoder config), 05 (it)."""
    at = init.find(b'esds') + 8
    while 0 < at < len(init):
        tag, n, at = init[at], 0, at + 1
        while True:
            n, at = n << 7 | init[at] & 0x7F, at + 1
            if not init[at - 1] & 0x80:
                break
        if tag == 5:
            return init[at:at + n]
        at += {3: 3, 4: 13}.get(tag, n)
    return b''


def m4s_samples(m4s):
    moof, tfhd, trun = box(m4s, [b'moof']), box(m4s, [b'moof', b'traf', b'tfhd']), box(m4s, [b'moof', b'traf', b'trun'])
    f, at = int.from_bytes(m4s[tfhd + 9:tfhd + 12], 'big'), tfhd + 16
    at += (8 if f & 1 else 0) + (4 if f & 2 else 0) + (4 if f & 8 else 0)
    default = int.from_bytes(m4s[at:at + 4], 'big') if f & 0x10 else 0
    f, count = int.from_bytes(m4s[trun + 9:trun + 12], 'big'), int.from_bytes(m4s[trun + 12:trun + 16], 'big')
    pos, at = moof + int.from_bytes(m4s[trun + 16:trun + 20], 'big', signed=True), trun + 16 + (4 if f & 1 else 0)
    at += 4 if f & 4 else 0
    samples = []
    for _ in range(count):
        at += 4 if f & 0x100 else 0
        size = int.from_bytes(m4s[at:at + 4], 'big') if f & 0x200 else default
        at += (4 if f & 0x200 else 0) + (4 if f & 0x400 else 0) + (4 if f & 0x800 else 0)
        samples.append(m4s[pos:pos + size])
        pos += size
    return samples


def tfdt(m4s, value=None, seq=None):
    """A fragment's decode time; with value and seq, the fragment with them as its tfdt and mfhd."""
    s = box(m4s, [b'moof', b'traf', b'tfdt'])
    wide = m4s[s + 8] == 1
    if value is None:
        return int.from_bytes(m4s[s + 12:s + (20 if wide else 16)], 'big')
    out, m = bytearray(m4s), box(m4s, [b'moof', b'mfhd'])
    out[s + 12:s + (20 if wide else 16)] = (value % (1 << (64 if wide else 32))).to_bytes(8 if wide else 4, 'big')
    out[m + 12:m + 16] = (seq & 0xFFFFFFFF).to_bytes(4, 'big')
    return bytes(out)


def id3_timestamp(pts):
    priv = b'com.apple.streaming.transportStreamTimestamp\0' + pts.to_bytes(8, 'big')
    frame = b'PRIV' + len(priv).to_bytes(4, 'big') + b'\0\0' + priv  # both sizes < 128: syncsafe as is
    return b'ID3\4\0\0' + len(frame).to_bytes(4, 'big') + frame


def aes(data):
    return subprocess.run(['openssl', 'enc', '-aes-128-cbc', '-K', KEY.hex(), '-iv', IV.hex()], input=data,
                          stdout=subprocess.PIPE, check=True).stdout


class Media:
    """The LOOP segments in three forms, made once under the cache, and their frames as logged."""

    def __init__(self, cache):
        os.makedirs(cache, exist_ok=True)
        name = lambda what: os.path.join(cache, 'hls-' + what)

        def made(what, cmd):
            """The cached file; made whole under another name first, as two stations may start at once."""
            if not os.path.exists(name(what)):
                tmp = name(what) + '.%d.tmp' % os.getpid()
                if cmd:
                    subprocess.check_call(cmd + [tmp])
                else:  # a segment's ADTS, the input of its TS and fMP4
                    open(tmp, 'wb').write(self.adts[-1])
                os.replace(tmp, name(what))
            return open(name(what), 'rb').read()
        # A sweep in each channel, so no two frames of the loop are alike.
        made('sweep.wav', ['sh', '-c', 'sox -R -n -r 48000 -c 2 -b 16 -t wav "$0" synth 26 sine 200-2000 sine 2000-200 gain -3'])
        ff = ['ffmpeg', '-v', 'error', '-y', '-i']
        every = adts_split(made('all.aac', ff + [name('sweep.wav'), '-c:a', 'aac', '-b:a', '96k', '-f', 'adts']))
        self.adts, self.ts, self.pts, self.m4s, self.frames = [], [], [], [], {'ts': [], 'aac': [], 'mp4': []}
        for m in range(LOOP):
            self.adts.append(b''.join(every[first_frame(m):first_frame(m + 1)]))
            made('%d.aac' % m, None)
            self.ts.append(made('%d.ts' % m, ff + [name('%d.aac' % m), '-c', 'copy', '-f', 'mpegts']))
            mp4 = made('%d.mp4' % m, ff + [name('%d.aac' % m), '-c', 'copy', '-bsf:a', 'aac_adtstoasc', '-f', 'mp4',
                                          '-movflags', '+empty_moov+delay_moov+default_base_moof', '-frag_duration', '100000000'])
            if m == 0:  # the others' differ only in the bit rates esds and btrt give
                self.init = mp4[:box(mp4, [b'moof'])]
                self.asc = asc_of(self.init)
            self.m4s.append(mp4[box(mp4, [b'moof']):box(mp4, [b'mfra']) or len(mp4)])
            audio, pts = ts_walk(self.ts[m])
            self.pts.append(pts)
            for form, frames in (('ts', adts_split(audio)), ('aac', adts_split(self.adts[m])),
                                 ('mp4', [adts_header(self.asc, len(s)) + s for s in m4s_samples(self.m4s[m])])):
                assert len(frames) == first_frame(m + 1) - first_frame(m), '%s %d: %d frames' % (form, m, len(frames))
                self.frames[form].append([(len(f), fnv(f)) for f in frames])

    def segment(self, form, n, origin):
        """Media sequence n with its timestamps counted from the start of segment origin."""
        m, frames = n % LOOP, first_frame(n) - first_frame(origin)
        if form == 'ts':
            return ts_walk(self.ts[m], frames * TICKS - self.pts[m])
        if form == 'aac':
            return id3_timestamp(frames * TICKS % WRAP) + self.adts[m]
        return tfdt(self.m4s[m], frames * FRAME, n + 1)


class Station(LoggingServer):
    def __init__(self, media, log):
        super().__init__(Handler, log)
        self.media = media


def window(variant, edge):
    first = edge - (LONG if variant == 'long' else WINDOW) + 1
    return max(first, edge - (edge - 6) % 10) if variant == 'expire' else first


def media_playlist(variant, form, edge):
    first = window(variant, edge)
    lines = ['#EXTM3U', '#EXT-X-VERSION:%d' % (6 if form == 'mp4' else 3), '#EXT-X-TARGETDURATION:2',
             '#EXT-X-MEDIA-SEQUENCE:%d' % first]
    if variant == 'disc':
        lines.append('#EXT-X-DISCONTINUITY-SEQUENCE:%d' % (first // 10))
    if variant == 'key':
        lines.append('#EXT-X-KEY:METHOD=AES-128,URI="key.bin",IV=0x' + IV.hex())
    if form == 'mp4':
        lines.append('#EXT-X-MAP:URI="mp4/init.mp4"')
    for n in range(first, edge + 1):
        if variant == 'disc' and n % 10 == 0 and n != first:
            lines.append('#EXT-X-DISCONTINUITY')
        if variant != 'nopdt':
            lines.append('#EXT-X-PROGRAM-DATE-TIME:' + iso(on_air(n)))
        lines += ['#EXTINF:%.6f,' % ((first_frame(n + 1) - first_frame(n)) * FRAME / RATE), '%s/%d.%s' % (form, n, EXT[form])]
    return first, '\n'.join(lines) + '\n'


def master_playlist(variant, form, top, now):
    here, up = (variant + '/', '') if top else ('', '../')
    query = '?token=' + token(now) if variant == 'token' else ''
    return ('#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-STREAM-INF:BANDWIDTH=60000,CODECS="mp4a.40.2"\n%slow/%s.m3u8\n'
            '#EXT-X-STREAM-INF:BANDWIDTH=2500000,CODECS="avc1.4d401f,mp4a.40.2",RESOLUTION=1280x720\n%svideo/%s.m3u8\n'
            '#EXT-X-STREAM-INF:BANDWIDTH=130000,CODECS="mp4a.40.2"\n%s%s.m3u8%s\n' % (up, form, up, form, here, form, query))


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        self.request.settimeout(10)
        head = b''
        while b'\r\n\r\n' not in head and len(head) < 16384:
            try:
                piece = self.request.recv(4096)
            except OSError:
                return
            if not piece:
                return
            head += piece
        words = head.split(b'\r\n')[0].decode('latin-1').split(' ')
        target = words[1] if len(words) == 3 and re.fullmatch(r'/[!-~]*', words[1]) else '/'  # one word in the log
        path, _, q = target.partition('?')
        query = dict(p.split('=', 1) for p in q.split('&') if '=' in p)
        st, now = self.server, time.time()
        with st.lock:
            st.connections += 1
            st.counts[path] = st.counts.get(path, 0) + 1
            self.conn, count = st.connections, st.counts[path]
        self.target, self.form, edge, parts = target, None, live_edge(now), path.strip('/').split('/')
        form = query.get('form', 'ts') if query.get('form') in EXT else 'ts'
        if path == '/master.m3u8' or len(parts) == 2 and parts[0] in VARIANTS and parts[1] == 'master.m3u8':
            variant = parts[0] if len(parts) == 2 else 'live'
            return self.reply('master', 200, master_playlist(variant, form, len(parts) == 1, now).encode())
        if len(parts) < 2 or parts[0] not in VARIANTS:
            return self.reply('other' if parts[0] != 'video' else 'playlist', 404)
        variant, name = parts[0], parts[-1]
        if len(parts) == 2 and name == 'key.bin' and variant == 'key':
            return self.reply('key', 200, KEY)
        if len(parts) == 2 and name.endswith('.m3u8') and name[:-5] in EXT:
            if variant == 'token' and query.get('token') != token(now):
                return self.reply('playlist', 403)
            first, text = media_playlist(variant, name[:-5], edge)
            return self.reply('playlist', 200, text.encode(), first, on_air(first) if variant != 'nopdt' else None)
        if len(parts) != 3 or parts[1] not in EXT:
            return self.reply('other', 404)
        form = self.form = parts[1]
        if form == 'mp4' and name == 'init.mp4':
            return self.reply('init', 200, aes(st.media.init) if variant == 'key' else st.media.init)
        n = name[:-len(EXT[form]) - 1]
        if not re.fullmatch(r'[0-9]{1,12}', n) or name != '%s.%s' % (n, EXT[form]):
            return self.reply('segment', 404)
        n = int(n)
        served = edge - KEEP < n <= edge
        if variant == 'expire':
            served = n % 10 != 5 and window(variant, edge) <= n <= edge
        if variant == 'retry' and n % 10 == 5 and count <= 2:
            served = False
        if not served:
            return self.reply('segment', 404, b'', n)
        data = st.media.segment(form, n, n - n % 10 if variant == 'disc' else 0)
        self.reply('segment', 200, aes(data) if variant == 'key' else data, n, on_air(n), st.media.frames[form][n % LOOP])

    def reply(self, kind, status, body=b'', seq=None, pdt=None, frames=()):
        wall = time.time()
        lines = ['%d %s %s %d %s %s %d %.6f' % (self.conn, kind, self.target, status, '-' if seq is None else seq,
                                               '-' if pdt is None else iso(pdt), len(body), wall)]
        lines += ['%d frame %s %d %d %s %d %s %.6f' % (self.conn, self.target, seq, i, iso(on_air(seq, i)), size, h, wall)
                  for i, (size, h) in enumerate(frames)]
        self.server.write(*lines)
        kind = {'master': 'application/vnd.apple.mpegurl', 'playlist': 'application/vnd.apple.mpegurl', 'key':
                'application/octet-stream', 'init': 'video/mp4', 'segment': TYPES.get(self.form)}.get(kind)
        kind = kind if status == 200 else 'text/plain'
        reason = {200: 'OK', 403: 'Forbidden', 404: 'Not Found'}[status]
        try:
            self.request.sendall(b'HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %d\r\nCache-Control: no-cache\r\n'
                                 b'Connection: close\r\n\r\n%s' % (status, reason.encode(), kind.encode(), len(body), body))
        except OSError:
            pass


def main():
    a = argparse.ArgumentParser()
    a.add_argument('--cache', required=True)
    a.add_argument('--log')
    a.add_argument('--port-file')
    a.add_argument('--token-seconds', type=int, default=60)
    args = a.parse_args()
    global TOKEN_SECONDS
    TOKEN_SECONDS = args.token_seconds
    if not args.log or not args.port_file:
        a.error('--log and --port-file are needed to serve')
    Station(Media(args.cache), args.log).serve(args.port_file)


if __name__ == '__main__':
    main()
