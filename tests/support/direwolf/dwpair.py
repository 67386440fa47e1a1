#!/usr/bin/env python3
"""Two Dire Wolf soft TNCs joined by a relayed 1200-baud AFSK audio channel.

No sound card is needed. Each instance runs with a HOME of its own whose
.asoundrc defines an ALSA PCM of type "file" on a null slave: everything the
modem transmits is written into a FIFO. The relay reads A's FIFO and plays the
samples into B's stdin (Dire Wolf's "stdin" audio input) at the real sample
rate, writing silence whenever A is not transmitting so B's carrier detect
drops between transmissions; the same from B to A. With half duplex on (the
default), a station does not hear the channel while its own audio is playing,
as with a real transceiver, so overlapping transmissions are lost.

Each instance listens for AGW and KISS clients on its own free TCP ports
(Dire Wolf 1.6 binds them to all interfaces; clients here use 127.0.0.1).

From Python:

    from dwpair import DirewolfPair
    with DirewolfPair() as pair:
        pair.a.agw_port, pair.b.kiss_port, pair.a.pid ...

From a shell or a C++ test:

    dwpair.py run --print-ports [--ports-file FILE]

prints KEY=VALUE lines (A_AGW, A_KISS, A_PID, B_AGW, B_KISS, B_PID, RELAY_PID)
followed by READY, and runs until SIGTERM or SIGINT, then stops everything.
Exit status 2 when a program is missing, 1 when the pair does not come up.
"""

import argparse
import array
import dataclasses
import os
import random
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

START_TIMEOUT = 10.0  # seconds for an instance to open its TCP ports
STOP_TIMEOUT = 5.0  # seconds for an instance to exit after SIGTERM
TICK = 0.01  # relay period in seconds


class RigError(RuntimeError):
    """The pair could not be started (missing program, ports, early exit)."""


class MissingProgram(RigError):
    pass


@dataclasses.dataclass
class Instance:
    name: str  # "A" or "B"
    mycall: str
    agw_port: int = 0
    kiss_port: int = 0
    pid: int = 0
    home: str = ""
    log_path: str = ""
    fifo_path: str = ""
    proc: subprocess.Popen = None
    fifo_fd: int = None  # read side of the transmit FIFO

    def protocol_errors(self):
        """Lines where Dire Wolf's data link reported a protocol error."""
        return [ln for ln in self.log_text().splitlines() if "Protocol Error" in ln]

    def log_text(self):
        try:
            with open(self.log_path, "r", encoding="latin-1") as f:
                return f.read()
        except OSError:
            return ""


def free_port(taken=()):
    """A TCP port that is free right now.

    Dire Wolf 1.6 accepts ports up to 49151 only and binds them on every
    interface, so the kernel's own pick (from the ephemeral range, usually
    above 32767) is not used: a random port below that range is checked by
    binding it the way Dire Wolf will. Parallel rigs that still collide are
    caught when Dire Wolf reports the port in use, and started again.
    """
    rng = random.SystemRandom()
    for _ in range(200):
        port = rng.randrange(20000, 32768)
        if port in taken:
            continue
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
            try:
                s.bind(("0.0.0.0", port))
            except OSError:
                continue
            return port
    raise RigError("no free TCP port found between 20000 and 32767")


try:
    import ctypes

    _prctl = ctypes.CDLL(None, use_errno=True).prctl
except (ImportError, OSError, AttributeError):
    _prctl = None


def _die_with_parent():
    """Child side of Popen: get SIGTERM when the thread that started it ends.

    Only a plain call here: the child runs it between fork and exec. Without
    it, end of file on stdin still ends Dire Wolf when the relay goes away.
    """
    if _prctl is not None:
        _prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class _Direction(threading.Thread):
    """Plays one station's transmitted audio into the other's input in real time."""

    def __init__(self, pair, src, dst):
        super().__init__(name=f"relay {src.name}>{dst.name}", daemon=True)
        self.pair = pair
        self.src = src
        self.dst = dst
        self.fifo_fd = src.fifo_fd
        self.pending = bytearray()
        self.transmitting = False  # src's audio is being played out now
        self.bytes_relayed = 0
        self.error = None

    def run(self):
        try:
            self._loop()
        except (BrokenPipeError, ValueError, OSError) as e:
            if not self.pair._stopping.is_set():
                self.error = e

    def _loop(self):
        bps = self.pair.sample_rate * 2  # 16-bit mono
        out = self.dst.proc.stdin
        start = time.monotonic()
        written = 0
        other = None
        silence = bytes(bps)  # one second of silence, sliced as needed
        while not self.pair._stopping.is_set():
            if other is None:
                other = self.pair._direction_from(self.dst)
            r, _, _ = select.select([self.fifo_fd], [], [], TICK)
            if r:
                try:
                    while True:
                        chunk = os.read(self.fifo_fd, 65536)
                        if not chunk:
                            break
                        self.pending += chunk
                except BlockingIOError:
                    pass
            due = int((time.monotonic() - start) * bps) & ~1
            n = due - written
            if n <= 0:
                continue
            if n > bps:  # starved of CPU for over a second: skip ahead
                start += (n - bps // 10) / bps
                n = bps // 10 & ~1
            take = min(n, len(self.pending) & ~1)  # whole 16-bit samples
            block = bytes(self.pending[:take])
            del self.pending[:take]
            if take and self.pair.level_shift:
                # Dire Wolf transmits near full scale; its receiver wants about a quarter.
                samples = array.array("h", block)
                block = array.array("h", [v >> self.pair.level_shift for v in samples]).tobytes()
            self.transmitting = take > 0 or len(self.pending) >= 2
            # Half duplex: a station hears nothing while it transmits.
            if self.pair.half_duplex and other is not None and other.transmitting:
                block = bytes(len(block))
            if take < n:
                block += silence[: n - take]
            out.write(block)
            out.flush()
            written += n
            self.bytes_relayed += take


class DirewolfPair:
    """Starts and stops the two instances and the relay between them."""

    def __init__(
        self,
        sample_rate=22050,
        txdelay=30,
        txtail=10,
        persist=63,
        slottime=10,
        dwait=0,
        paclen=None,
        maxframe=None,
        frack=None,
        retry=None,
        half_duplex=True,
        level_shift=2,
        calls=("N0DWA", "N0DWB"),
        v20=(),
        extra_config=(),
        log_dir=None,
        direwolf="direwolf",
    ):
        self.sample_rate = sample_rate
        self.txdelay = txdelay
        self.txtail = txtail
        self.persist = persist
        self.slottime = slottime
        self.dwait = dwait
        self.paclen = paclen
        self.maxframe = maxframe
        self.frack = frack
        self.retry = retry
        self.half_duplex = half_duplex
        self.level_shift = level_shift
        # Remote calls both instances connect to with AX.25 v2.0 (SABM, modulo 8)
        # instead of trying v2.2 first; the same window rules as a v2.0 peer.
        self.extra_config = ([f"V20 {' '.join(v20)}"] if v20 else []) + list(extra_config)
        self.log_dir = log_dir
        self.direwolf = direwolf
        self.a = Instance("A", calls[0])
        self.b = Instance("B", calls[1])
        self.tmp = None
        self._relays = []
        self._stopping = threading.Event()

    # -- lifecycle -----------------------------------------------------

    def start(self):
        """Start both instances and the relay; returns info() once both serve."""
        exe = shutil.which(self.direwolf)
        if exe is None:
            raise MissingProgram(
                f"program '{self.direwolf}' not found in PATH "
                "(Debian package 'direwolf'; scripts/setup installs it)"
            )
        self.direwolf = exe
        self._stopping.clear()
        self.tmp = tempfile.mkdtemp(prefix="dwpair-")
        try:
            for attempt in range(3):
                try:
                    self._start_instances()
                    break
                except _PortTaken:
                    self._kill_instances()
                    if attempt == 2:
                        raise RigError("Dire Wolf could not bind its TCP ports (3 attempts)")
            self._relays = [_Direction(self, self.a, self.b), _Direction(self, self.b, self.a)]
            for r in self._relays:
                r.start()
        except BaseException:
            self.stop()
            raise
        return self.info()

    def _start_instances(self):
        for inst in (self.a, self.b):
            taken = {self.a.agw_port, self.a.kiss_port} if inst is self.b else set()
            inst.agw_port = free_port(taken)
            inst.kiss_port = free_port(taken | {inst.agw_port})
            self._spawn(inst)
        deadline = time.monotonic() + START_TIMEOUT
        for inst in (self.a, self.b):
            self._wait_ready(inst, deadline)

    def _spawn(self, inst):
        inst.home = os.path.join(self.tmp, inst.name)
        os.makedirs(inst.home, exist_ok=True)
        inst.fifo_path = os.path.join(inst.home, "tx.fifo")
        if not os.path.exists(inst.fifo_path):
            os.mkfifo(inst.fifo_path)
        with open(os.path.join(inst.home, ".asoundrc"), "w") as f:
            f.write(
                "pcm.dwpair_tx {\n"
                "  type file\n"
                "  slave { pcm { type null } }\n"
                f'  file "{inst.fifo_path}"\n'
                '  format "raw"\n'
                "}\n"
            )
        conf = [
            "ADEVICE stdin dwpair_tx",
            f"ARATE {self.sample_rate}",
            "ACHANNELS 1",
            "CHANNEL 0",
            f"MYCALL {inst.mycall}",
            "MODEM 1200",
            f"TXDELAY {self.txdelay}",
            f"TXTAIL {self.txtail}",
            f"PERSIST {self.persist}",
            f"SLOTTIME {self.slottime}",
            f"DWAIT {self.dwait}",
            f"AGWPORT {inst.agw_port}",
            f"KISSPORT {inst.kiss_port}",
        ]
        for key in ("paclen", "maxframe", "frack", "retry"):
            value = getattr(self, key)
            if value is not None:
                conf.append(f"{key.upper()} {value}")
        conf += self.extra_config
        conf_path = os.path.join(inst.home, "direwolf.conf")
        with open(conf_path, "w") as f:
            f.write("\n".join(conf) + "\n")
        if self.log_dir:
            os.makedirs(self.log_dir, exist_ok=True)
            inst.log_path = os.path.join(self.log_dir, f"direwolf-{inst.name}.log")
        else:
            inst.log_path = os.path.join(inst.home, "direwolf.log")
        env = {k: v for k, v in os.environ.items() if not k.startswith("ALSA_")}
        env.update(HOME=inst.home, XDG_CONFIG_HOME=os.path.join(inst.home, ".config"))
        # Opened read-write so Dire Wolf's open for writing never blocks and
        # the relay's reads never see end of file.
        if inst.fifo_fd is None:
            inst.fifo_fd = os.open(inst.fifo_path, os.O_RDWR | os.O_NONBLOCK)
        with open(inst.log_path, "wb") as log:  # a new log per attempt: old port errors must not count
            inst.proc = subprocess.Popen(
                [self.direwolf, "-c", conf_path, "-t", "0", "-q", "d"],
                stdin=subprocess.PIPE,
                stdout=log,
                stderr=subprocess.STDOUT,
                cwd=inst.home,
                env=env,
                preexec_fn=_die_with_parent,
            )
        inst.pid = inst.proc.pid

    def _wait_ready(self, inst, deadline):
        want = (
            f"Ready to accept AGW client application 0 on port {inst.agw_port}",
            f"Ready to accept KISS TCP client application 0 on port {inst.kiss_port}",
        )
        while True:
            text = inst.log_text()
            if "already using port" in text or "Bind failed" in text or "Invalid port number" in text:
                raise _PortTaken()
            if all(w in text for w in want):
                return
            if inst.proc.poll() is not None:
                raise RigError(
                    f"direwolf {inst.name} exited with status {inst.proc.returncode} "
                    f"during start; its log ({inst.log_path}):\n{text[-2000:]}"
                )
            if time.monotonic() > deadline:
                raise RigError(
                    f"direwolf {inst.name} did not open AGW port {inst.agw_port} and "
                    f"KISS port {inst.kiss_port} within {START_TIMEOUT:.0f} s; "
                    f"its log ({inst.log_path}):\n{text[-2000:]}"
                )
            time.sleep(0.05)

    def _direction_from(self, inst):
        for r in self._relays:
            if r.src is inst:
                return r
        return None

    def _kill_instances(self):
        for inst in (self.a, self.b):
            p = inst.proc
            if p is None:
                continue
            if p.poll() is None:
                p.terminate()
            try:
                p.wait(timeout=STOP_TIMEOUT)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait(timeout=STOP_TIMEOUT)
            if p.stdin:
                try:
                    p.stdin.close()
                except OSError:
                    pass
            inst.proc = None
            if inst.fifo_fd is not None:
                os.close(inst.fifo_fd)
                inst.fifo_fd = None

    def stop(self):
        """Stop the relay and both instances and remove the temporary folders."""
        self._stopping.set()
        for r in self._relays:
            r.join(timeout=STOP_TIMEOUT)
        self._relays = []
        self._kill_instances()
        if self.tmp:
            shutil.rmtree(self.tmp, ignore_errors=True)
            self.tmp = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    # -- state -------------------------------------------------------------

    def info(self):
        return {
            "A_AGW": self.a.agw_port,
            "A_KISS": self.a.kiss_port,
            "A_PID": self.a.pid,
            "B_AGW": self.b.agw_port,
            "B_KISS": self.b.kiss_port,
            "B_PID": self.b.pid,
            "RELAY_PID": os.getpid(),
        }

    def check(self):
        """Raises RigError when an instance or the relay has died."""
        for inst in (self.a, self.b):
            if inst.proc is None or inst.proc.poll() is not None:
                raise RigError(f"direwolf {inst.name} is not running; log:\n{inst.log_text()[-2000:]}")
        for r in self._relays:
            if r.error is not None or not r.is_alive():
                raise RigError(f"{r.name} stopped: {r.error}")


class _PortTaken(Exception):
    pass


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = ap.add_subparsers(dest="cmd", required=True)
    run = sub.add_parser("run", help="start the pair and keep it running until SIGTERM/SIGINT")
    run.add_argument("--print-ports", action="store_true", help="print KEY=VALUE lines and READY")
    run.add_argument("--ports-file", help="also write the KEY=VALUE lines to this file (atomically)")
    run.add_argument("--log-dir", help="keep the Dire Wolf logs in this folder")
    run.add_argument("--sample-rate", type=int, default=22050)
    for key, default in (("txdelay", 30), ("txtail", 10), ("persist", 63), ("slottime", 10), ("dwait", 0)):
        run.add_argument(f"--{key}", type=int, default=default)
    for key in ("paclen", "maxframe", "frack", "retry"):
        run.add_argument(f"--{key}", type=int)
    run.add_argument("--full-duplex", action="store_true", help="stations hear while they transmit")
    run.add_argument("--v20", action="append", default=[], metavar="CALL", help="connect to CALL with AX.25 v2.0")
    run.add_argument("--config-line", action="append", default=[], metavar="LINE", help="extra direwolf.conf line")
    run.add_argument("--stop-on-stdin-eof", action="store_true", help="stop when stdin closes (the caller died)")
    run.add_argument("--duration", type=float, help="stop by itself after this many seconds")
    args = ap.parse_args(argv)

    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, lambda *_: stop.set())
    pair = DirewolfPair(
        sample_rate=args.sample_rate,
        txdelay=args.txdelay,
        txtail=args.txtail,
        persist=args.persist,
        slottime=args.slottime,
        dwait=args.dwait,
        paclen=args.paclen,
        maxframe=args.maxframe,
        frack=args.frack,
        retry=args.retry,
        half_duplex=not args.full_duplex,
        v20=args.v20,
        extra_config=args.config_line,
        log_dir=args.log_dir,
    )
    try:
        info = pair.start()
    except MissingProgram as e:
        print(f"dwpair: {e}", file=sys.stderr)
        return 2
    except RigError as e:
        print(f"dwpair: {e}", file=sys.stderr)
        return 1
    try:
        lines = "".join(f"{k}={v}\n" for k, v in info.items())
        if args.ports_file:
            tmp = args.ports_file + ".tmp"
            with open(tmp, "w") as f:
                f.write(lines + "READY\n")
            os.replace(tmp, args.ports_file)
        if args.print_ports:
            sys.stdout.write(lines + "READY\n")
            sys.stdout.flush()
        if args.stop_on_stdin_eof:
            threading.Thread(target=lambda: (sys.stdin.buffer.read(), stop.set()), daemon=True).start()
        deadline = time.monotonic() + args.duration if args.duration else None
        while not stop.wait(0.5):
            pair.check()
            if deadline and time.monotonic() > deadline:
                break
        return 0
    except RigError as e:
        print(f"dwpair: {e}", file=sys.stderr)
        return 1
    finally:
        pair.stop()


if __name__ == "__main__":
    sys.exit(main())
