# Shared pieces of the measuring scripts (scripts/measure-*): building,
# starting nami-tncsim and nami, reading CPU time from /proc and reading the
# simulator's time-stamped logs.
import os
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("NAMI_BUILD_DIR", os.path.join(ROOT, "build"))
CLK_TCK = os.sysconf("SC_CLK_TCK")

# The profile section of a new document ("無題") and the simulator's BBS.
UNTITLED = "無題"
CALL = "QZ1ABC"
PROMPT = "QZ1ABC BBS>"


def build(targets):
    """Configures and builds the given targets (skipped with NAMI_NO_BUILD=1)."""
    if os.environ.get("NAMI_NO_BUILD") == "1":
        return
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "--target", *targets, "-j2"], check=True,
                   stdout=subprocess.DEVNULL)


def machine_note():
    """One line on the machine's load, to print beside the figures."""
    load = os.getloadavg()
    return "machine: %d cores, load average %.2f %.2f %.2f (other builds may share the cores)" % (
        os.cpu_count(), *load)


def cpu_seconds(pid):
    """utime + stime of a process (all its threads), in seconds."""
    with open("/proc/%d/stat" % pid) as f:
        stat = f.read()
    fields = stat[stat.rindex(")") + 2:].split()
    # Fields 14 and 15 of the whole line; the list starts at field 3.
    return (int(fields[11]) + int(fields[12])) / CLK_TCK


def write_ini(path, com_path, **profile):
    """A NAMI.INI whose COM2 is `com_path` and whose profile for a new
    document holds `profile` (keys as in the file), written in CP932."""
    lines = ["[Devices]", "COM2=" + com_path, "[" + UNTITLED + "]"]
    lines += ["%s=%s" % (k, v) for k, v in profile.items()]
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp932"))


class TncSim:
    """nami-tncsim on a pseudo-terminal behind a symbolic link in `workdir`."""

    def __init__(self, workdir, *options):
        self.link = os.path.join(workdir, "tnc")
        self.log = os.path.join(workdir, "from-terminal.log")
        self.sent_log = os.path.join(workdir, "to-terminal.log")
        self.proc = subprocess.Popen(
            [os.path.join(BUILD, "nami-tncsim"), "--link", self.link, "--log", self.log,
             "--log-sent", self.sent_log, *options],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.banner = self.proc.stdout.readline().strip()
        if not os.path.islink(self.link):
            raise SystemExit("nami-tncsim did not start: " + self.banner)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def read_log(path):
    """The simulator's log as (time, bytes) pairs; events are left out."""
    entries = []
    with open(path, encoding="latin-1") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            stamp, _, text = line.partition(" ")
            entries.append((float(stamp), unescape(text)))
    return entries


def unescape(text):
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and text.startswith("\\\\", i):
            out.append(0x5C)
            i += 2
        elif c == "\\" and text.startswith("\\x", i):
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
        else:
            out.append(ord(c))
            i += 1
    return bytes(out)


def byte_times(entries):
    """Every byte of a log with the time it was logged: (bytes, [time per byte])."""
    data = bytearray()
    times = []
    for t, chunk in entries:
        data += chunk
        times += [t] * len(chunk)
    return bytes(data), times


def median(values):
    v = sorted(values)
    n = len(v)
    if n == 0:
        return float("nan")
    return v[n // 2] if n % 2 else (v[n // 2 - 1] + v[n // 2]) / 2


def verdict(ok):
    return "meets the goal" if ok else "MISSES the goal"


def wait_for(predicate, timeout, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def temp_root():
    """A folder for this run's helper programs (removed at exit)."""
    global _TEMP_ROOT
    if _TEMP_ROOT is None:
        import atexit
        import shutil
        import tempfile
        _TEMP_ROOT = tempfile.mkdtemp(prefix="nami-measure-")
        atexit.register(shutil.rmtree, _TEMP_ROOT, True)
    return _TEMP_ROOT


_TEMP_ROOT = None


def temp_dir(prefix):
    return tempfile.TemporaryDirectory(prefix=prefix)


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def read_latency(path, since=None, until=None):
    """nami's NAMI_LATENCY_REPORT lines (one per second) whose second ends
    within [since, since + 1 s ... until + 1 s]: (largest lateness in ms,
    samples over 100 ms, samples)."""
    worst, over, samples = 0.0, 0, 0
    with open(path) as f:
        for line in f:
            t, n, late, o, _ = line.split()
            t = float(t)
            if since is not None and t < since:
                continue
            if until is not None and t > until + 1.0:
                continue
            worst = max(worst, float(late))
            over += int(o)
            samples += int(n)
    return worst, over, samples


# Peers: other serial terminals run on the same kind of pseudo-terminal, so
# that every figure of nami's is printed beside a known program's.
PEERS = {
    "picocom": lambda dev: ["picocom", "-q", "-b", "9600", "--noinit", "--noreset", "--nolock", dev],
    "minicom": lambda dev: ["minicom", "-o", "-b", "9600", "-D", dev],
}


class Peer:
    """A terminal program (`name` in PEERS) on the serial device `dev`. Its
    own terminal is a pseudo-terminal whose output a thread here throws away,
    so the peer draws as it would in a window."""

    def __init__(self, name, dev, workdir, capture=None):
        import pty
        import shutil
        import threading
        if shutil.which(name) is None:
            fail("%s is not installed: run scripts/setup" % name)
        self.name = name
        self.master, slave = pty.openpty()
        env = dict(os.environ, TERM="xterm", HOME=workdir, MINICOM="")
        cmd = PEERS[name](dev)
        if capture:  # what the peer receives, written to a file as well
            cmd = cmd[:-1] + ["--logfile", capture, dev] if name == "picocom" else cmd + ["-C", capture]
        self.proc = subprocess.Popen(cmd, stdin=slave, stdout=slave, stderr=slave, cwd=workdir,
                                     env=env, start_new_session=True)
        os.close(slave)
        self.output = 0
        self._reader = threading.Thread(target=self._drain, daemon=True)
        self._reader.start()
        self.pid = self.proc.pid

    def _drain(self):
        while True:
            try:
                data = os.read(self.master, 65536)
            except OSError:
                return
            if not data:
                return
            self.output += len(data)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait(10)
        try:
            os.close(self.master)
        except OSError:
            pass


def wakeups(pid):
    """Context switches of all threads of a process so far: each is a wake-up
    (voluntary: it slept and woke; involuntary: it was preempted)."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/status" % (pid, task)) as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches") or line.startswith("nonvoluntary_ctxt_switches"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def ratio(ours, theirs):
    """nami's figure over the peer's, as text."""
    if theirs == 0:
        return "n/a (peer 0)"
    return "%.2fx" % (ours / theirs)


def wait_gone(pid, timeout=10):
    """Waits until a process (not a child of ours) has ended."""
    return wait_for(lambda: not os.path.exists("/proc/%d" % pid) or
                    open("/proc/%d/stat" % pid).read().split(") ")[1].startswith("Z"), timeout)


def cpu_ns_seconds(pid):
    """CPU time of all live threads of a process in seconds, from the
    scheduler's nanosecond counters (finer than /proc/<pid>/stat's ticks)."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
                total += int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return total / 1e9


def interleaved(count, subjects, show=None):
    """Interleaved rounds: each of `count` rounds runs every subject once, the
    order turning round by round (nami first, then a peer first...), so that
    a change in the machine's load falls on all of them alike. `subjects` is
    a list of (name, callable(round) -> figures). `show(round, name, figures)`
    prints a result as it comes. Returns {name: [figures of each round]}."""
    results = {name: [] for name, _ in subjects}
    for r in range(count):
        turn = r % len(subjects)
        for name, run in subjects[turn:] + subjects[:turn]:
            figures = run(r + 1)
            results[name].append(figures)
            if show:
                show(r + 1, name, figures)
    return results


def spread(values):
    """(min, median, max) of the rounds' values."""
    return min(values), median(values), max(values)


def spread_text(values, fmt="%.2f", unit=""):
    """"min X, median Y, max Z" with `unit` after each."""
    lo, mid, hi = spread(values)
    f = fmt + unit.replace("%", "%%")
    return ("min " + f + ", median " + f + ", max " + f) % (lo, mid, hi)


def column(rows, key):
    """One figure of every round: rows are dicts or tuples (key an index)."""
    return [row[key] for row in rows]
