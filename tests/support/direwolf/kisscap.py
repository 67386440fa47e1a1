#!/usr/bin/env python3
"""Records the raw AX.25 frames a KISS TCP port delivers (what the modem heard).

Library:

    with Capture(pair.b.kiss_port) as cap:
        ...                      # traffic from A
    cap.frames                   # list of bytes: address, control, PID, info (no FCS)
    describe(cap.frames[0])      # {'dst': 'N0BBS', 'src': 'N0ABC', 'kind': 'SABM', ...}

Command line (writes one frame a line as hex, with the decoded form as a comment,
the format kept in tests/data for the AX.25 tests):

    kisscap.py --port 8001 [--port 8011] --duration 30 --out frames.txt
"""

import argparse
import socket
import sys
import threading
import time

FEND, FESC, TFEND, TFESC = 0xC0, 0xDB, 0xDC, 0xDD


class Deframer:
    """KISS stream to frames; keeps only data frames (command 0) and strips the port nibble."""

    def __init__(self, max_len=4096):
        self.buf = bytearray()
        self.in_frame = False
        self.esc = False
        self.max_len = max_len
        self.dropped = 0

    def feed(self, data):
        out = []
        for b in data:
            if b == FEND:
                if self.buf:
                    if (self.buf[0] & 0x0F) == 0 and len(self.buf) > 1:
                        out.append((self.buf[0] >> 4, bytes(self.buf[1:])))
                    else:
                        self.dropped += 1
                self.buf = bytearray()
                self.esc = False
                continue
            if self.esc:
                b = {TFEND: FEND, TFESC: FESC}.get(b, b)
                self.esc = False
            elif b == FESC:
                self.esc = True
                continue
            if len(self.buf) < self.max_len:
                self.buf.append(b)
        return out


def kiss_encode(frame, port=0):
    body = bytearray([port << 4])
    for b in frame:
        if b == FEND:
            body += bytes([FESC, TFEND])
        elif b == FESC:
            body += bytes([FESC, TFESC])
        else:
            body.append(b)
    return bytes([FEND]) + bytes(body) + bytes([FEND])


def _addr(b):
    call = "".join(chr(c >> 1) for c in b[:6]).strip()
    ssid = (b[6] >> 1) & 0x0F
    return call + (f"-{ssid}" if ssid else "")


def describe(frame):
    """Decodes the address and control fields (modulo 8) of an AX.25 frame."""
    d = {"dst": "", "src": "", "via": [], "kind": "?", "pf": 0, "cmd": None, "info": b""}
    n = 0
    addrs = []
    while n + 7 <= len(frame):
        addrs.append(frame[n : n + 7])
        n += 7
        if frame[n - 1] & 1:
            break
    if len(addrs) < 2 or n >= len(frame):
        return d
    d["dst"], d["src"] = _addr(addrs[0]), _addr(addrs[1])
    d["via"] = [_addr(a) + ("*" if a[6] & 0x80 else "") for a in addrs[2:]]
    c_dst, c_src = addrs[0][6] & 0x80, addrs[1][6] & 0x80
    d["cmd"] = bool(c_dst and not c_src)
    ctl = frame[n]
    d["pf"] = (ctl >> 4) & 1
    rest = frame[n + 1 :]
    if ctl & 1 == 0:
        d.update(kind="I", ns=(ctl >> 1) & 7, nr=(ctl >> 5) & 7, pid=rest[:1].hex(), info=rest[1:])
    elif ctl & 3 == 1:
        d.update(kind={0: "RR", 1: "RNR", 2: "REJ", 3: "SREJ"}[(ctl >> 2) & 3], nr=(ctl >> 5) & 7)
    else:
        u = ctl & ~0x10
        kind = {0x2F: "SABM", 0x6F: "SABME", 0x43: "DISC", 0x0F: "DM", 0x63: "UA", 0x87: "FRMR", 0x03: "UI", 0xAF: "XID", 0xE3: "TEST"}
        d["kind"] = kind.get(u, f"U{u:02x}")
        if d["kind"] == "UI":
            d.update(pid=rest[:1].hex(), info=rest[1:])
    return d


def summary(frame):
    d = describe(frame)
    path = ",".join(d["via"])
    s = f"{d['src']}>{d['dst']}{',' + path if path else ''} {d['kind']}"
    if "ns" in d:
        s += f" ns={d['ns']}"
    if "nr" in d:
        s += f" nr={d['nr']}"
    s += f" {'C' if d['cmd'] else 'R'}{' P/F' if d['pf'] else ''}"
    if d["info"]:
        s += f" len={len(d['info'])}"
    return s


class Capture:
    """A thread that records every frame from one KISS TCP port."""

    def __init__(self, port, host="127.0.0.1", timeout=5.0):
        self.sock = socket.create_connection((host, port), timeout=timeout)
        self.sock.settimeout(0.2)
        self.port = port
        self.frames = []
        self.times = []
        self.deframer = Deframer()
        self._stop = threading.Event()
        self._t = threading.Thread(target=self._loop, name=f"kiss capture {port}", daemon=True)
        self._t.start()

    def _loop(self):
        while not self._stop.is_set():
            try:
                data = self.sock.recv(4096)
            except socket.timeout:
                continue
            except OSError:
                break
            if not data:
                break
            now = time.monotonic()
            for _, frame in self.deframer.feed(data):
                self.frames.append(frame)
                self.times.append(now)

    def send(self, frame, channel=0):
        """Transmits a raw AX.25 frame through this KISS port."""
        self.sock.sendall(kiss_encode(frame, channel))

    def close(self):
        self._stop.set()
        self._t.join(timeout=2)
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--port", type=int, action="append", required=True, help="KISS TCP port (repeatable)")
    ap.add_argument("--duration", type=float, default=30.0)
    ap.add_argument("--out", help="file to write (default stdout)")
    a = ap.parse_args(argv)
    caps = [Capture(p, a.host) for p in a.port]
    try:
        time.sleep(a.duration)
    except KeyboardInterrupt:
        pass
    for c in caps:
        c.close()
    rows = sorted((t, c.port, f) for c in caps for t, f in zip(c.times, c.frames))
    out = open(a.out, "w") if a.out else sys.stdout
    for _, port, f in rows:
        out.write(f"# heard on KISS port {port}: {summary(f)}\n{f.hex()}\n")
    if a.out:
        out.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
