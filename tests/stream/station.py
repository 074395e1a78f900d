#!/usr/bin/env python3
"""A test station on 127.0.0.1 only: real MP3, AAC (ADTS) and Ogg Opus
frames made by lame, ffmpeg and opusenc from a sox signal, sent in real time
with ICY metadata and a burst on connect, and the ways real stations fail.
Every frame sent is logged: connection, path, index, byte offset, length,
FNV-1a hash, wall time.

  station.py --cache DIR --log FILE --port-file FILE
"""
import argparse, os, socket, socketserver, subprocess, threading, time

METAINT = 8192
BURST = 65536
TITLES = {0: 'Test Title'.encode(), 2: 'ニュース・天気'.encode('shift_jis'), 4: 'Météo – 天気予報'.encode('utf-8')}
CYCLE = [TITLES[0], TITLES[2], TITLES[4]]  # ?every=N: one of them every N blocks, in turn
NAME = 'Test Station'


def fnv(data):
    h = 0xcbf29ce484222325
    for b in data:
        h = ((h ^ b) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return '%016x' % h


def make(cache):
    os.makedirs(cache, exist_ok=True)
    wav = os.path.join(cache, 'signal.wav')
    jobs = {
        'mp3': ['lame', '-t', '--quiet', '-b', '128', wav],
        'aac': ['ffmpeg', '-v', 'error', '-y', '-i', wav, '-ar', '48000', '-c:a', 'aac', '-b:a', '96k', '-f', 'adts'],
        'opus': ['opusenc', '--quiet', wav],
    }
    # Two stations started at once each make their own and the last one's stays (-R: the same signal).
    tmp = '.%d.tmp' % os.getpid()
    if not os.path.exists(wav):
        subprocess.check_call(['sox', '-R', '-n', '-r', '44100', '-c', '2', '-b', '16', wav + tmp + '.wav', 'synth', '60',
                               'sine', '300-900'])
        os.replace(wav + tmp + '.wav', wav)
    out = {}
    for kind, cmd in jobs.items():
        path = os.path.join(cache, 'station.' + kind)
        if not os.path.exists(path):
            subprocess.check_call(cmd + [path + tmp])
            os.replace(path + tmp, path)
        out[kind] = open(path, 'rb').read()
    return out


def mp3_frames(data):
    rates = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
    srs = [44100, 48000, 32000]
    frames, at = [], 0
    while at + 4 <= len(data):
        h = data[at:at + 4]
        if h[0] != 0xFF or (h[1] & 0xFE) != 0xFA:  # MPEG-1 Layer III
            at += 1
            continue
        sr = srs[(h[2] >> 2) & 3]
        n = 144000 * rates[h[2] >> 4] // sr + ((h[2] >> 1) & 1)
        frames.append((data[at:at + n], 1152 / sr))
        at += n
    return [], frames


def adts_frames(data):
    srs = [96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350]
    frames, at = [], 0
    while at + 7 <= len(data):
        if data[at] != 0xFF or (data[at + 1] & 0xF6) != 0xF0:
            at += 1
            continue
        n = ((data[at + 3] & 3) << 11) | (data[at + 4] << 3) | (data[at + 5] >> 5)
        frames.append((data[at:at + n], 1024 / srs[(data[at + 2] >> 2) & 15]))
        at += n
    return [], frames


def ogg_pages(data):
    headers, frames, at, last = [], [], 0, 0
    while at + 27 <= len(data) and data[at:at + 4] == b'OggS':
        segs = data[at + 26]
        n = 27 + segs + sum(data[at + 27:at + 27 + segs])
        granule = int.from_bytes(data[at + 6:at + 14], 'little')
        page = data[at:at + n]
        if len(headers) < 2:
            headers.append(page)
        else:
            frames.append((page, max(granule - last, 0) / 48000))
        if len(headers) >= 2 and granule != 0xFFFFFFFFFFFFFFFF:
            last = granule
        at += n
    return headers, frames


class Channel:
    """One kind's stream, live since the station started, looping its file."""

    def __init__(self, headers, frames):
        self.headers, self.frames, self.start = headers, frames, time.time()
        self.loop = sum(d for _, d in frames)
        self.offsets, total = [], 0
        for data, _ in frames:
            self.offsets.append(total)
            total += len(data)
        self.bytes = total
        self.times, t = [], 0.0
        for _, d in frames:
            self.times.append(t)
            t += d

    def frame(self, index):
        n = len(self.frames)
        loops, i = divmod(index, n)
        return self.frames[i][0], loops * self.bytes + self.offsets[i], self.start + loops * self.loop + self.times[i]

    def live(self, now):
        """The index of the last frame gone live by now."""
        loops, into = divmod(now - self.start, self.loop)
        lo, hi = 0, len(self.times) - 1
        while lo < hi:
            mid = (lo + hi + 1) // 2
            if self.times[mid] <= into:
                lo = mid
            else:
                hi = mid - 1
        return int(loops) * len(self.frames) + lo


class LoggingServer(socketserver.ThreadingTCPServer):
    """A test station's server on 127.0.0.1, a port of the system's choosing;
    its handlers log whole lines under one lock."""
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, handler, log):
        super().__init__(('127.0.0.1', 0), handler)
        self.log, self.lock = open(log, 'a', buffering=1), threading.Lock()
        self.counts, self.connections = {}, 0

    def write(self, *lines):
        with self.lock:
            self.log.write(''.join(line + '\n' for line in lines))

    def serve(self, port_file):
        """Tells its port in port_file, the file whole at once, and serves until killed."""
        with open(port_file + '.tmp', 'w') as f:
            f.write(str(self.server_address[1]))
        os.replace(port_file + '.tmp', port_file)
        self.serve_forever()


class Station(LoggingServer):
    def __init__(self, channels, log):
        super().__init__(Handler, log)
        self.channels, self.refuse_until = channels, {}


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        s = self.request
        s.settimeout(20)
        head = b''
        while b'\r\n\r\n' not in head and len(head) < 16384:
            piece = s.recv(4096)
            if not piece:
                return
            head += piece
        lines = head.decode('latin-1').split('\r\n')
        target = lines[0].split(' ')[1] if len(lines[0].split(' ')) > 1 else '/'
        wants_meta = any(l.lower().replace(' ', '') == 'icy-metadata:1' for l in lines[1:])
        host = next((l.split(':', 1)[1].strip() for l in lines[1:] if l.lower().startswith('host:')), '')
        path = target.split('?')[0]
        query = dict(p.split('=', 1) for p in target.split('?', 1)[1].split('&') if '=' in p) if '?' in target else {}
        st = self.server
        with st.lock:
            st.connections += 1
            conn = st.connections
            st.counts[target] = st.counts.get(target, 0) + 1
            count = st.counts[target]
            refused = st.refuse_until.get(target, 0) > time.time()
        if refused:
            return self.simple(503, 'text/plain', b'Server full')
        if path in ('/mp3', '/icy', '/drop', '/stall'):
            return self.stream(conn, target, 'mp3', wants_meta, icy=path == '/icy', every=int(query.get('every', 0)),
                               drop=float(query.get('after', 2)) if path == '/drop' else None, stall=path == '/stall')
        if path in ('/aac', '/opus'):
            return self.stream(conn, target, path[1:], wants_meta)
        if path == '/refuse403':
            if count <= 2:
                return self.simple(403, 'text/plain', b'Forbidden')
            return self.stream(conn, target, 'mp3', wants_meta)
        if path == '/redirect':
            return self.send(b'HTTP/1.0 302 Found\r\nLocation: /mp3?from=redirect\r\nContent-Length: 0\r\n\r\n')
        if path == '/html':
            return self.simple(200, 'text/html', b'<!DOCTYPE html>\n<html><head><title>Player</title></head>'
                                                 b'<body><audio src="/mp3"></audio></body></html>\n')
        if path == '/hls.m3u8':
            return self.simple(200, 'application/vnd.apple.mpegurl',
                               b'#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:6\n#EXTINF:6.0,\nseg0.aac\n')
        if path == '/list.pls':
            return self.simple(200, 'audio/x-scpls', b'[playlist]\nNumberOfEntries=2\nFile2=/html\nFile1=icy\n'
                                                     b'Title1=Test Station\nLength1=-1\nVersion=2\n')
        if path == '/list.m3u':
            return self.simple(200, 'audio/x-mpegurl',
                               b'#EXTM3U\n#EXTINF:-1,Test Station\nhttp://%s/aac\n' % host.encode())
        return self.simple(404, 'text/plain', b'Not found')

    def send(self, data):
        try:
            self.request.sendall(data)
            return True
        except OSError:
            return False

    def simple(self, status, kind, body):
        reason = {200: 'OK', 403: 'Forbidden', 404: 'Not Found', 503: 'Service Unavailable'}[status]
        self.send(b'HTTP/1.0 %d %s\r\nContent-Type: %s\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s'
                  % (status, reason.encode(), kind.encode(), len(body), body))

    def stream(self, conn, target, kind, wants_meta, icy=False, drop=None, stall=False, every=0):
        st = self.server
        ch = st.channels[kind]
        content = {'mp3': 'audio/mpeg', 'aac': 'audio/aac', 'opus': 'audio/ogg'}[kind]
        bitrate = {'mp3': '128', 'aac': '96', 'opus': ''}[kind]
        head = b'ICY 200 OK\r\n' if icy else b'HTTP/1.0 200 OK\r\n'
        head += b'Content-Type: %s\r\nicy-name: %s\r\n' % (content.encode(), NAME.encode())
        if bitrate:
            head += b'icy-br: %s\r\n' % bitrate.encode()
        if wants_meta:
            head += b'icy-metaint: %d\r\n' % METAINT
        if not self.send(head + b'\r\n'):
            return
        meta = {'left': METAINT, 'block': 0}

        def out(data):
            if not wants_meta:
                return self.send(data)
            pieces = b''
            while data:
                n = min(len(data), meta['left'])
                pieces += data[:n]
                data = data[n:]
                meta['left'] -= n
                if meta['left'] == 0:
                    b = meta['block']
                    title = TITLES.get(b) if not every else CYCLE[b // every % 3] if b % every == 0 else None
                    text = b"StreamTitle='%s';" % title if title is not None else b''
                    blocks = (len(text) + 15) // 16
                    pieces += bytes([blocks]) + text + b'\0' * (blocks * 16 - len(text))
                    meta['left'], meta['block'] = METAINT, meta['block'] + 1
            return self.send(pieces)

        for page in ch.headers:
            st.write('%d %s header 0 %d %s %.6f' % (conn, target, len(page), fnv(page), time.time()))
            if not out(page):
                return
        # The burst: about 64 KB that went live before the connection.
        now = time.time()
        index, size = ch.live(now), 0
        while index > 0 and size < BURST:
            size += len(ch.frame(index)[0])
            index -= 1
        started = time.time()
        while True:
            data, offset, live = ch.frame(index)
            wait = live - time.time()
            if wait > 0:
                if stall:
                    time.sleep(60)
                    return
                time.sleep(wait)
            if drop is not None and time.time() - started > drop:
                with st.lock:
                    st.refuse_until[target] = time.time() + 5
                self.request.close()
                return
            st.write('%d %s %d %d %d %s %.6f' % (conn, target, index, offset, len(data), fnv(data), time.time()))
            if not out(data):
                return
            index += 1


def main():
    a = argparse.ArgumentParser()
    a.add_argument('--cache', required=True)
    a.add_argument('--log', required=True)
    a.add_argument('--port-file', required=True)
    args = a.parse_args()
    media = make(args.cache)
    channels = {'mp3': Channel(*mp3_frames(media['mp3'])), 'aac': Channel(*adts_frames(media['aac'])),
                'opus': Channel(*ogg_pages(media['opus']))}
    Station(channels, args.log).serve(args.port_file)


if __name__ == '__main__':
    main()
