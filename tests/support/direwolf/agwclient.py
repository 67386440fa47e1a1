#!/usr/bin/env python3
"""A plain AGWPE client: the baseline that nami's own AGW link is measured against.

Library:

    c = AgwClient(port=pair.a.agw_port)
    c.register("N0ABC")                  # 'X'
    c.connect("N0ABC", "N0BBS")          # 'C' (or 'v' with via=[...]); waits for the notice
    c.send_paced(data)                    # 'D' frames, paced by 'Y' (outstanding frames)
    c.wait_outstanding_zero()
    c.disconnect()                        # 'd'; waits for the notice
    c.received                            # connected data received so far (bytes)

Command line:

    agwclient.py send --port P --mycall N0ABC --to N0BBS FILE   # connect, send FILE, disconnect
    agwclient.py bbs  --port P --mycall N0BBS [--echo | --bridge HOST:PORT [--cr] | --save FILE]

"send" prints timings (connect, transfer, total) as KEY=VALUE lines. "bbs" registers
its call and accepts incoming connections until SIGTERM: it can send a greeting, echo
what it receives, save it, or bridge the link to a TCP service (e.g. a BBS's telnet
port) so the far end of a radio link can be any line-oriented server.
"""

import argparse
import queue
import signal
import socket
import struct
import sys
import threading
import time

HEADER = struct.Struct("<B3xBxBx10s10sI4x")  # port, kind, pid, from, to, length
MAX_DATA = 64 * 1024  # refuse absurd lengths from the server
DEFAULT_TIMEOUT = 30.0


class AgwError(RuntimeError):
    pass


def _call(s):
    b = s.encode("ascii")[:9]
    return b + bytes(10 - len(b))


def _uncall(b):
    return b.split(b"\0", 1)[0].decode("ascii", "replace").strip()


class Frame:
    __slots__ = ("port", "kind", "pid", "call_from", "call_to", "data")

    def __init__(self, port, kind, pid, call_from, call_to, data):
        self.port, self.kind, self.pid = port, kind, pid
        self.call_from, self.call_to, self.data = call_from, call_to, data

    def text(self):
        return self.data.rstrip(b"\0").decode("latin-1")

    def __repr__(self):
        return f"Frame({self.kind!r} {self.call_from}>{self.call_to} {self.data[:40]!r})"


def encode(kind, port=0, call_from="", call_to="", data=b"", pid=0):
    return HEADER.pack(port, ord(kind), pid, _call(call_from), _call(call_to), len(data)) + data


class AgwClient:
    """One TCP connection to an AGWPE server; frames are read by a thread."""

    def __init__(self, host="127.0.0.1", port=8000, radio_port=0, timeout=DEFAULT_TIMEOUT):
        self.radio_port = radio_port
        self.timeout = timeout
        try:
            self.sock = socket.create_connection((host, port), timeout=timeout)
        except OSError as e:
            raise AgwError(f"AGW server {host}:{port}: {e.strerror or e}") from None
        self.sock.settimeout(None)
        self.frames = queue.Queue()  # every frame except connected data
        self.received = bytearray()  # connected data, in order
        self.events = []  # (monotonic time, kind, text) of connect/disconnect notices
        self.mycall = None
        self.remote = None
        self.connected = False
        self._cond = threading.Condition()
        self._closed = False
        self._send_lock = threading.Lock()
        self.on_data = None  # callback(bytes) for connected data
        self.on_event = None  # callback(kind, Frame) for 'C' and 'd'
        self._reader = threading.Thread(target=self._read_loop, name="agw reader", daemon=True)
        self._reader.start()

    # -- wire ---------------------------------------------------------------

    def _recv_exact(self, n):
        buf = bytearray()
        while len(buf) < n:
            chunk = self.sock.recv(n - len(buf))
            if not chunk:
                raise EOFError
            buf += chunk
        return bytes(buf)

    def _read_loop(self):
        try:
            while True:
                port, kind, pid, cf, ct, length = HEADER.unpack(self._recv_exact(HEADER.size))
                if length > MAX_DATA:
                    raise AgwError(f"AGW frame of {length} bytes")
                f = Frame(port, chr(kind), pid, _uncall(cf), _uncall(ct), self._recv_exact(length))
                self._dispatch(f)
        except (EOFError, OSError, AgwError):
            pass
        finally:
            with self._cond:
                self._closed = True
                self.connected = False
                self._cond.notify_all()

    def _dispatch(self, f):
        if f.kind == "D":
            with self._cond:
                self.received += f.data
                self._cond.notify_all()
            if self.on_data:
                self.on_data(f.data)
            return
        if f.kind in ("C", "d"):
            with self._cond:
                self.events.append((time.monotonic(), f.kind, f.text()))
                if f.kind == "C":
                    self.connected = True
                    self.remote = f.call_from
                else:
                    self.connected = False
                self._cond.notify_all()
            if self.on_event:
                self.on_event(f.kind, f)
        self.frames.put(f)

    def send_frame(self, kind, call_from="", call_to="", data=b"", pid=0):
        with self._send_lock:
            self.sock.sendall(encode(kind, self.radio_port, call_from, call_to, data, pid))

    def wait_frame(self, kind, timeout=None):
        """Next non-data frame of this kind (others are dropped)."""
        deadline = time.monotonic() + (timeout or self.timeout)
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AgwError(f"no '{kind}' frame from the AGW server within {timeout or self.timeout:.0f} s")
            try:
                f = self.frames.get(timeout=min(left, 0.5))
            except queue.Empty:
                if self._closed:
                    raise AgwError("AGW server closed the connection") from None
                continue
            if f.kind == kind:
                return f

    def _wait(self, pred, timeout, what):
        deadline = time.monotonic() + (timeout or self.timeout)
        with self._cond:
            while not pred():
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AgwError(f"timed out waiting for {what}")
                if self._closed:
                    raise AgwError(f"AGW server closed the connection while waiting for {what}")
                self._cond.wait(min(left, 0.5))

    # -- commands -------------------------------------------------------

    def register(self, call):
        self.send_frame("X", call_from=call)
        f = self.wait_frame("X")
        if not f.data or f.data[0] != 1:
            raise AgwError(f"AGW server refused to register {call}")
        self.mycall = call

    def connect(self, mycall, remote, via=(), timeout=None):
        """Connect and wait for the notice; returns the seconds it took."""
        self.mycall, self.remote = mycall, remote
        t0 = time.monotonic()
        n_events = len(self.events)
        if via:
            data = bytes([len(via)]) + b"".join(_call(v) for v in via)
            self.send_frame("v", mycall, remote, data)
        else:
            self.send_frame("C", mycall, remote)
        self._wait(lambda: len(self.events) > n_events, timeout, f"the connect notice from {remote}")
        kind, text = self.events[n_events][1:]
        if kind != "C":
            raise AgwError(f"connect to {remote} failed: {text.strip()}")
        return time.monotonic() - t0

    def send(self, data, paclen=128):
        for i in range(0, len(data), paclen):
            self.send_frame("D", self.mycall, self.remote, data[i : i + paclen], pid=0xF0)

    def outstanding(self, timeout=None):
        """Frames queued or not yet acknowledged on this connection ('Y')."""
        self.send_frame("Y", self.mycall, self.remote)
        f = self.wait_frame("Y", timeout)
        return struct.unpack("<I", f.data[:4])[0]

    def send_paced(self, data, paclen=128, max_outstanding=8, poll=0.1):
        """Keep at most max_outstanding frames with the server, as fast as it takes them."""
        i = 0
        while i < len(data):
            if not self.connected:
                raise AgwError(f"link to {self.remote} dropped after {i} of {len(data)} bytes")
            room = max_outstanding - self.outstanding()
            if room <= 0:
                time.sleep(poll)
                continue
            chunk = data[i : i + room * paclen]
            self.send(chunk, paclen)
            i += len(chunk)

    def wait_outstanding_zero(self, timeout=None, poll=0.1):
        deadline = time.monotonic() + (timeout or self.timeout)
        while self.outstanding() > 0:
            if time.monotonic() > deadline:
                raise AgwError("frames still unacknowledged at the timeout")
            if not self.connected:
                raise AgwError(f"link to {self.remote} dropped with frames unacknowledged")
            time.sleep(poll)

    def wait_received(self, n, timeout=None):
        self._wait(lambda: len(self.received) >= n, timeout, f"{n} bytes of connected data")

    def wait_connected(self, timeout=None):
        self._wait(lambda: self.connected, timeout, "an incoming connection")

    def wait_disconnected(self, timeout=None):
        self._wait(lambda: not self.connected, timeout, "the disconnect notice")

    def disconnect(self, timeout=None):
        if not self.connected:
            return
        self.send_frame("d", self.mycall, self.remote)
        self.wait_disconnected(timeout)

    def close(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()
        self._reader.join(timeout=2)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


# -- BBS side -------------------------------------------------------------


class BbsSide:
    """Accepts connections to a registered call: greeting, echo, save or TCP bridge."""

    def __init__(self, client, call, greeting=b"", echo=False, save=None, bridge=None, paclen=128, cr=False):
        self.c = client
        self.call = call
        self.greeting = greeting
        self.echo = echo
        self.save = save
        self.bridge = bridge
        self.paclen = paclen
        self.cr = cr  # bridged service's CR LF / LF line ends go out as CR, as a radio BBS sends them
        self._after_cr = False
        self.tcp = None
        self.sessions = 0
        client.on_data = self._on_data
        client.on_event = self._on_event
        client.register(call)

    def _on_event(self, kind, f):
        if kind == "C":
            self.sessions += 1
            self.c.mycall, self.c.remote = f.call_to, f.call_from
            if self.greeting:
                self.c.send(self.greeting, self.paclen)
            if self.bridge:
                self._open_bridge()
        elif kind == "d" and self.tcp is not None:
            self._close_bridge()

    def _on_data(self, data):
        if self.save:
            with open(self.save, "ab") as f:
                f.write(data)
        if self.echo:
            self.c.send(data, self.paclen)
        if self.tcp is not None:
            try:
                self.tcp.sendall(data)
            except OSError:
                self._close_bridge()

    def _open_bridge(self):
        host, _, port = self.bridge.rpartition(":")
        try:
            self.tcp = socket.create_connection((host or "127.0.0.1", int(port)), timeout=10)
        except OSError as e:
            print(f"agwclient: bridge to {self.bridge}: {e}", file=sys.stderr)
            self.c.send_frame("d", self.c.mycall, self.c.remote)
            return
        self.tcp.settimeout(None)
        threading.Thread(target=self._bridge_loop, args=(self.tcp,), daemon=True).start()

    def _bridge_loop(self, tcp):
        try:
            while True:
                data = tcp.recv(4096)
                if not data:
                    break
                self.c.send(self._line_ends(data), self.paclen)
        except OSError:
            pass
        if self.tcp is tcp and self.c.connected:
            # A disconnect request drops Dire Wolf's unsent frames: let them go first.
            try:
                self.c.wait_outstanding_zero(timeout=60)
            except AgwError:
                pass
            if self.c.connected:
                self.c.send_frame("d", self.c.mycall, self.c.remote)

    def _line_ends(self, data):
        if not self.cr or not data:
            return data
        if self._after_cr and data[:1] == b"\n":
            data = data[1:]  # the LF of a CR LF split across reads
        self._after_cr = data[-1:] == b"\r"
        return data.replace(b"\r\n", b"\r").replace(b"\n", b"\r")

    def _close_bridge(self):
        tcp, self.tcp = self.tcp, None
        if tcp is not None:
            try:
                tcp.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            tcp.close()


def _cmd_send(a):
    data = open(a.file, "rb").read() if a.file != "-" else sys.stdin.buffer.read()
    with AgwClient(a.host, a.port, a.radio_port, timeout=a.timeout) as c:
        c.register(a.mycall)
        t_connect = c.connect(a.mycall, a.to, via=a.via.split(",") if a.via else ())
        t0 = time.monotonic()
        c.send_paced(data, a.paclen, a.max_outstanding)
        c.wait_outstanding_zero(timeout=a.timeout)
        t_transfer = time.monotonic() - t0
        if a.hold:
            try:
                c.wait_disconnected(timeout=a.hold)
            except AgwError:
                pass  # still connected after the hold time: we end the link
        c.disconnect()
        if a.save:
            with open(a.save, "wb") as f:
                f.write(c.received)
    print(f"CONNECT_S={t_connect:.2f}")
    print(f"TRANSFER_S={t_transfer:.2f}")
    print(f"BYTES={len(data)}")
    print(f"BYTES_PER_S={len(data) / t_transfer:.1f}" if t_transfer > 0 else "BYTES_PER_S=0")
    return 0


def _cmd_bbs(a):
    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.set())
    with AgwClient(a.host, a.port, a.radio_port, timeout=a.timeout) as c:
        greeting = a.greeting.encode("latin-1").replace(b"\\r", b"\r") if a.greeting else b""
        BbsSide(c, a.mycall, greeting, a.echo, a.save, a.bridge, a.paclen, a.cr)
        print("READY", flush=True)
        while not stop.wait(0.5):
            if c._closed:
                print("agwclient: AGW server closed the connection", file=sys.stderr)
                return 1
    return 0


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = ap.add_subparsers(dest="cmd", required=True)
    for name in ("send", "bbs"):
        p = sub.add_parser(name)
        p.add_argument("--host", default="127.0.0.1")
        p.add_argument("--port", type=int, default=8000, help="AGW TCP port")
        p.add_argument("--radio-port", type=int, default=0)
        p.add_argument("--mycall", required=True)
        p.add_argument("--paclen", type=int, default=128)
        p.add_argument("--timeout", type=float, default=120.0)
    s = sub.choices["send"]
    s.add_argument("--to", required=True)
    s.add_argument("--via", help="digipeaters, comma separated")
    s.add_argument("--max-outstanding", type=int, default=8)
    s.add_argument("--hold", type=float, default=0.0, help="seconds to stay connected after the transfer")
    s.add_argument("--save", help="write the data received from the far side to this file")
    s.add_argument("file", help="file to send, - for stdin")
    b = sub.choices["bbs"]
    b.add_argument("--greeting", help="text sent on connect (\\r for CR)")
    b.add_argument("--echo", action="store_true")
    b.add_argument("--save", help="append received data to this file")
    b.add_argument("--bridge", help="HOST:PORT to join each connection to")
    b.add_argument("--cr", action="store_true", help="send the bridged service's CR LF and LF line ends as CR")
    a = ap.parse_args(argv)
    try:
        return _cmd_send(a) if a.cmd == "send" else _cmd_bbs(a)
    except (AgwError, OSError) as e:
        print(f"agwclient: {e}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
