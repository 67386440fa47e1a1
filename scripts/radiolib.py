# Shared pieces of the measuring scripts that run over the Dire Wolf pair
# (tests/support/direwolf): a BBS on B whose every received chunk is
# time-stamped, one mail sent by nami itself (a headless auto-mode run) and
# the same mail sent by a plain AGW client, both measured at B the same way.
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RIG = os.path.join(ROOT, "tests", "support", "direwolf")
sys.path.insert(0, RIG)
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import perflib as P  # noqa: E402
from agwclient import AgwClient, BbsSide  # noqa: E402


def mail_file(size):
    """A mail as the user writes it (CR LF line ends, the send command and
    the subject first), about `size` bytes."""
    out = bytearray(b"SP QZ2KLM\r\nLoad test\r\n")
    n = 0
    while len(out) < size:
        n += 1
        out += b"%04d The quick brown fox jumps over the lazy dog, 1200 baud AFSK.\r\n" % n
    return bytes(out)


def on_link(mail):
    """The mail as it goes on the link: CR line ends, then Ctrl-Z and CR."""
    return mail.replace(b"\r\n", b"\r") + b"\x1a\r"


class _LoginBridge(BbsSide):
    """B's connected mode joined to nami-tncsim's telnet BBS, which first
    asks for the caller's call: it is given at once."""

    def _open_bridge(self):
        super()._open_bridge()
        if self.tcp is not None:
            self.tcp.sendall(self.c.remote.encode() + b"\r\n")


class RadioBbs:
    """nami-tncsim's BBS (call `call`) reached through B's connected mode;
    `stamps` holds (time, bytes received so far) for every chunk."""

    def __init__(self, pair, call):
        self.call = call
        self.prompt = (call + " BBS>").encode()
        self.sim = subprocess.Popen([os.path.join(P.BUILD, "nami-tncsim"), "--telnet", "0", "--call", call],
                                    stdout=subprocess.PIPE, text=True)
        port = int(self.sim.stdout.readline().rsplit(":", 1)[1])
        self.client = AgwClient(port=pair.b.agw_port)
        self.side = _LoginBridge(self.client, call, bridge="127.0.0.1:%d" % port, cr=True)
        self.stamps = []
        self.client.on_data = self._stamp

    def _stamp(self, data):
        self.stamps.append((time.monotonic(), len(self.client.received)))
        self.side._on_data(data)

    def clear(self):
        self.client.received.clear()
        self.stamps = []

    def seen(self, text):
        return text in self.client.received

    def transfer(self, mail):
        """(seconds from the mail's first byte to its Ctrl-Z at B, bytes, the
        mail arrived intact)."""
        data = bytes(self.client.received)
        body = on_link(mail)
        first = data.find(body[:9])
        end = data.find(b"\x1a", first) if first >= 0 else -1
        if first < 0 or end < 0:
            return None, 0, False
        t_first = next(t for t, n in self.stamps if n > first)
        t_end = next(t for t, n in self.stamps if n > end)
        return t_end - t_first, end + 1 - first, data[first:end + 1] == body[:-1]

    def stop(self):
        self.client.close()
        self.sim.terminate()
        self.sim.wait(10)


def nami_send(bbs, device, mycall, mail, timeout=900):
    """nami itself sends `mail`: one headless auto-mode run on `device` whose
    only step is the queued mail file, then log-off. Returns (transfer s,
    bytes, intact, nami's CPU % of one core over the transfer)."""
    bbs.clear()
    with tempfile.TemporaryDirectory(prefix="nami-radio-") as d:
        path = os.path.join(d, "load.UPL")
        with open(path, "wb") as f:
            f.write(mail)
        ini = os.path.join(d, "NAMI.INI")
        with open(ini, "wb") as f:
            f.write(b"[Devices]\r\nCOM2=%s\r\nMYCALL=%s\r\n" % (device.encode(), mycall.encode()))
            f.write(b"[" + P.UNTITLED.encode("cp932") + b"]\r\ncomstatus=COM2:9600,n,8,1,n\r\ncall=%s\r\n"
                    b"prompt=%s\r\nsend1=%s\r\n" % (bbs.call.encode(), bbs.prompt, path.encode()))
        env = dict(os.environ, NAMI_NO_KEYRING="1", NAMI_HEADLESS_TIMEOUT=str(timeout))
        nami = subprocess.Popen([os.path.join(P.BUILD, "nami"), "--headless", "--ini", ini], cwd=d, env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        cpu = []
        try:
            # nami's CPU from the mail's first byte at B to its Ctrl-Z.
            for marker in (mail[:9], b"\x1a"):
                P.wait_for(lambda: bbs.seen(marker) or nami.poll() is not None, timeout, step=0.02)
                if nami.poll() is None:
                    cpu.append((P.cpu_ns_seconds(nami.pid), time.monotonic()))
            code = nami.wait(timeout)
        finally:
            if nami.poll() is None:
                nami.kill()
                nami.wait()
        if code != 0:
            P.fail("nami's run failed (%d): %s" % (code, nami.stderr.read().decode(errors="replace")))
    bbs.client.wait_disconnected(timeout=60)
    seconds, nbytes, intact = bbs.transfer(mail)
    if seconds is None:
        P.fail("the mail did not reach the BBS")
    share = 100.0 * (cpu[1][0] - cpu[0][0]) / (cpu[1][1] - cpu[0][1]) if len(cpu) == 2 else float("nan")
    return seconds, nbytes, intact, share


def client_send(bbs, agw_port, mycall, mail, paclen, max_outstanding=8, timeout=900):
    """A plain AGW client sends `mail` the way nami's run does: connect, wait
    for the prompt, the mail in PACLEN pieces as fast as the server's
    outstanding-frame count allows, the prompt, "B". Returns (transfer s,
    bytes, intact)."""
    bbs.clear()
    with AgwClient(port=agw_port, timeout=timeout) as c:
        c.register(mycall)
        c.connect(mycall, bbs.call, timeout=120)
        P.wait_for(lambda: bbs.prompt in c.received, 120, step=0.02)
        c.send_paced(on_link(mail), paclen, max_outstanding)
        P.wait_for(lambda: c.received.count(bbs.prompt) >= 2, timeout, step=0.02)
        c.send(b"B\r", paclen)
        c.wait_disconnected(timeout=120)
    bbs.client.wait_disconnected(timeout=60)
    seconds, nbytes, intact = bbs.transfer(mail)
    if seconds is None:
        P.fail("the peer's mail did not reach the BBS")
    return seconds, nbytes, intact


def idle_cpu(device, mycall, seconds):
    """CPU share and wake-ups/s of `nami --headless --stay` with its port
    open on `device`, doing nothing."""
    with tempfile.TemporaryDirectory(prefix="nami-radio-") as d:
        ini = os.path.join(d, "NAMI.INI")
        with open(ini, "wb") as f:
            f.write(b"[Devices]\r\nCOM2=%s\r\nMYCALL=%s\r\n" % (device.encode(), mycall.encode()))
            f.write(b"[" + P.UNTITLED.encode("cp932") + b"]\r\ncomstatus=COM2:9600,n,8,1,n\r\n")
        p = subprocess.Popen([os.path.join(P.BUILD, "nami"), "--headless", "--stay", "--ini", ini], cwd=d,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             env=dict(os.environ, NAMI_NO_KEYRING="1"))
        try:
            time.sleep(3)
            c0, w0, t0 = P.cpu_ns_seconds(p.pid), P.wakeups(p.pid), time.monotonic()
            time.sleep(seconds)
            c1, w1, t1 = P.cpu_ns_seconds(p.pid), P.wakeups(p.pid), time.monotonic()
            return (c1 - c0) / (t1 - t0) * 100, (w1 - w0) / (t1 - t0)
        finally:
            p.terminate()
            p.wait(timeout=30)
