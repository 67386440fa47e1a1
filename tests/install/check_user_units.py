#!/usr/bin/env python3
"""The systemd user units start the autopilot as systemd would, and stop it.

Each unit's ExecStart (with the program's folder, the instance path and the
home folder filled in as systemd fills them) is run as the service runs it:
in WorkingDirectory, with HOME set, no display and no session bus, output
piped like the journal. The user's NAMI.INI is found through HOME; the port
of the station profile is a nami-tncsim pseudo-terminal. The unit must open
that port (the template through a .nmi path in a Japanese folder, whose
profile names a port the untitled profile does not), and on its KillSignal
end with status 0 within TimeoutStopSec, closing the port.
A Type=notify unit gets a notification socket as systemd gives one (a unix
datagram socket here, with a short watchdog interval): nami must say
READY=1, ping WATCHDOG=1 from its running loop, give a STATUS= and say
STOPPING=1 at the stop.
With systemd-analyze at hand, `systemd-analyze verify` finds no fault in them.

The unit's sandboxing is honoured as far as it can be without a service
manager: with NoNewPrivileges the program runs under `setpriv --no-new-privs`,
and with strace at hand every system call and socket family the run used is
checked against the unit's SystemCallFilter and RestrictAddressFamilies, so a
filter never refuses what nami needs.

usage: check_user_units.py SOURCE_DIR BIN_DIR
"""
import os
import re
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

problems = []


def read_unit(path, bindir):
    """{key: value} of the unit template with the program folder filled in."""
    unit = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith(("#", "[")) and "=" in line:
                key, value = line.split("=", 1)
                unit[key] = value.replace("@NAMI_BINDIR@", bindir)
    return unit


def escape_path(path):
    out = subprocess.run(["systemd-escape", "--path", path], capture_output=True, check=True)
    return out.stdout.decode().strip()


def unescape_path(instance):
    out = subprocess.run(["systemd-escape", "--unescape", "--path", instance], capture_output=True, check=True)
    return out.stdout.rstrip(b"\n")


def placeholders(text, home, instance):
    # %f: the unescaped instance as a path; %h: the home folder; %i: as given.
    text = text.replace("%h", home)
    if instance is not None:
        text = text.replace("%f", unescape_path(instance).decode()).replace("%i", instance)
    return text


def wait_for(predicate, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace")
    except OSError:
        return ""


def syscall_set(groups):
    """Every system call the filter's names allow (groups expanded)."""
    allowed, todo, seen = set(), list(groups), set()
    while todo:
        name = todo.pop()
        if name in seen:
            continue
        seen.add(name)
        if not name.startswith("@"):
            allowed.add(name)
            continue
        out = subprocess.run(["systemd-analyze", "syscall-filter", name], capture_output=True, text=True, check=True)
        for line in out.stdout.splitlines()[1:]:
            word = line.strip()
            if word and not word.startswith("#"):
                todo.append(word)
    return allowed


def sandboxed(name, unit, argv, trace):
    """argv run as the unit's sandbox allows; a trace file when strace watches it."""
    if unit.get("NoNewPrivileges") == "yes" and shutil.which("setpriv"):
        argv = ["setpriv", "--no-new-privs", *argv]
    if ("SystemCallFilter" in unit or "RestrictAddressFamilies" in unit) and shutil.which("strace") and \
            shutil.which("systemd-analyze"):
        if subprocess.run(["strace", "-qq", "-o", os.devnull, "true"], capture_output=True).returncode == 0:
            return ["strace", "-f", "-qq", "-o", trace, "--", *argv], True
        print(f"{name}: strace cannot trace here: system calls not checked")
    return argv, False


def check_trace(name, unit, trace):
    calls, families = set(), set()
    call = re.compile(r"^\d+\s+([a-z_0-9]+)\(")
    family = re.compile(r"^\d+\s+socket\((AF_[A-Z0-9]+)")
    with open(trace, encoding="utf-8", errors="replace") as f:
        for line in f:
            if m := call.match(line):
                calls.add(m.group(1))
            if m := family.match(line):
                families.add(m.group(1))
    if not calls:
        problems.append(f"{name}: strace recorded no system call")
        return
    if "SystemCallFilter" in unit:
        refused = calls - syscall_set(unit["SystemCallFilter"].split())
        if refused:
            problems.append(f"{name}: SystemCallFilter would refuse {sorted(refused)}")
    if "RestrictAddressFamilies" in unit:
        refused = families - set(unit["RestrictAddressFamilies"].split())
        if refused:
            problems.append(f"{name}: RestrictAddressFamilies would refuse {sorted(refused)}")


def traced_pid(proc, traced):
    """The program's process: strace's child when strace runs it."""
    if not traced:
        return proc.pid
    def child():
        try:
            with open(f"/proc/{proc.pid}/task/{proc.pid}/children") as f:
                return int(f.read().split()[0])
        except (OSError, IndexError, ValueError):
            return None
    wait_for(lambda: child() is not None, 5)
    return child() or proc.pid


# The interval the test's manager asks pings for (the unit's WatchdogSec is
# longer than a test should wait).
WATCHDOG_TEST_USEC = 1500000


class NotifySocket:
    """The service manager's notification socket: what the service said."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.sock.bind(path)
        self.sock.setblocking(False)
        self.said = []

    def collect(self):
        while True:
            try:
                data = self.sock.recv(4096)
            except BlockingIOError:
                return self.said
            self.said.extend(data.decode("utf-8", "replace").splitlines())

    def count(self, prefix):
        return sum(1 for line in self.collect() if line.startswith(prefix))

    def close(self):
        self.sock.close()


def run_unit(name, unit, home, instance, sim_log, rundir):
    # Words first, then placeholders: systemd keeps a path with blanks one word.
    argv = [placeholders(word, home, instance) for word in shlex.split(unit["ExecStart"])]
    trace = os.path.join(rundir, "trace")
    argv, traced = sandboxed(name, unit, argv, trace)
    cwd = home if unit.get("WorkingDirectory") == "~" else placeholders(unit["WorkingDirectory"], home, instance)
    env = {"HOME": home, "PATH": os.environ.get("PATH", "/usr/bin:/bin"), "XDG_RUNTIME_DIR": rundir,
           "LANG": "C.UTF-8"}
    notify = None
    if unit.get("Type") == "notify":
        if not unit.get("WatchdogSec"):
            problems.append(f"{name}: Type=notify without WatchdogSec")
        path = os.path.join(rundir, "notify-" + str(len(problems)) + "-" + str(os.getpid()))
        if os.path.exists(path):
            os.unlink(path)
        notify = NotifySocket(path)
        env["NOTIFY_SOCKET"] = path
        env["WATCHDOG_USEC"] = str(WATCHDOG_TEST_USEC)
    opened_before = read(sim_log).count("terminal opened the port")
    closed_before = read(sim_log).count("terminal closed the port")
    proc = subprocess.Popen(argv, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        opened = wait_for(lambda: read(sim_log).count("terminal opened the port") > opened_before, 15)
        if proc.poll() is not None:
            problems.append(f"{name}: ended by itself with status {proc.returncode}")
        if notify:
            if not wait_for(lambda: notify.count("READY=1") >= 1, float(unit.get("TimeoutStartSec", "15"))):
                problems.append(f"{name}: no READY=1 on the notification socket: {notify.collect()}")
            # An idle station pings from its loop, more often than asked.
            if not wait_for(lambda: notify.count("WATCHDOG=1") >= 2, 3 * WATCHDOG_TEST_USEC / 1e6):
                problems.append(f"{name}: fewer than 2 WATCHDOG=1 in {3 * WATCHDOG_TEST_USEC / 1e6:.1f} s: "
                                f"{notify.collect()}")
            if notify.count("STATUS=") == 0:
                problems.append(f"{name}: no STATUS= on the notification socket")
        os.kill(traced_pid(proc, traced), getattr(signal, unit.get("KillSignal", "SIGTERM")))
        limit = float(unit.get("TimeoutStopSec", "90"))
        try:
            out, err = proc.communicate(timeout=limit)
        except subprocess.TimeoutExpired:
            proc.kill()
            out, err = proc.communicate()
            problems.append(f"{name}: still running {limit:.0f} s after SIGTERM")
        messages = err.decode(errors="replace").strip()
        if not opened:
            problems.append(f"{name}: {' '.join(argv)} did not open the profile's port; stderr: {messages}")
        if proc.returncode != 0:
            problems.append(f"{name}: status {proc.returncode} after the stop signal; stderr: {messages}")
        if not wait_for(lambda: read(sim_log).count("terminal closed the port") > closed_before, 5):
            problems.append(f"{name}: the port was not closed at the stop")
        if traced:
            check_trace(name, unit, trace)
        if notify and notify.count("STOPPING=1") != 1:
            problems.append(f"{name}: STOPPING=1 not said once at the stop: {notify.collect()}")
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        if notify:
            notify.close()


def verify(paths, rundir):
    if not shutil.which("systemd-analyze"):
        print("systemd-analyze not found: syntax check skipped")
        return
    env = dict(os.environ, XDG_RUNTIME_DIR=rundir)
    out = subprocess.run(["systemd-analyze", "--user", "verify", "--man=no", *paths], capture_output=True, text=True,
                         env=env)
    # verify says "ignoring" of a line it cannot parse and still ends with 0:
    # every word about one of our files is a fault.
    lines = [l for l in (out.stdout + out.stderr).splitlines() if any(p in l for p in paths)]
    if lines:
        problems.append("systemd-analyze verify: " + "\n".join(lines))


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    source_dir, bindir = (os.path.abspath(a) for a in sys.argv[1:])
    if not shutil.which("systemd-escape"):
        print("systemd-escape not found (package systemd): cannot expand the unit's placeholders")
        return 1
    with tempfile.TemporaryDirectory() as tmp:
        home = os.path.join(tmp, "home")
        station = os.path.join(home, "無線局")
        config = os.path.join(home, ".config", "nami")
        rundir = os.path.join(tmp, "run")
        for d in (station, config, rundir):
            os.makedirs(d)
        os.chmod(rundir, 0o700)
        link, sim_log = os.path.join(tmp, "tnc"), os.path.join(tmp, "sim.log")
        sim = subprocess.Popen([os.path.join(bindir, "nami-tncsim"), "--link", link, "--log", sim_log],
                               stdout=subprocess.DEVNULL)
        try:
            if not wait_for(lambda: os.path.islink(link), 10):
                print("nami-tncsim did not make its link")
                return 1
            # The untitled profile uses COM2, the document's profile COM3; only
            # COM2 of the one and COM3 of the other reach the simulator.
            with open(os.path.join(config, "NAMI.INI"), "wb") as f:
                f.write(("[Devices]\r\nCOM2=%s\r\nCOM3=%s\r\n[ja1xyz]\r\ncomstatus=COM3:9600,n,8,1,n\r\n" %
                         (link, link)).encode("ascii"))
            document = os.path.join(station, "ja1xyz.nmi")
            shutil.copy(os.path.join(source_dir, "tests", "data", "cfb-document.nmi"), document)

            plain = os.path.join(source_dir, "data", "nami-autopilot.service.in")
            template = os.path.join(source_dir, "data", "nami-autopilot@.service.in")
            run_unit("nami-autopilot.service", read_unit(plain, bindir), home, None, sim_log, rundir)
            instance = escape_path(document)
            if unescape_path(instance) != document.encode():
                problems.append(f"systemd-escape does not give {document} back from {instance}")
            # COM2 now leads nowhere, so only the document's profile can open the port.
            with open(os.path.join(config, "NAMI.INI"), "wb") as f:
                f.write(("[Devices]\r\nCOM2=%s\r\nCOM3=%s\r\n[ja1xyz]\r\ncomstatus=COM3:9600,n,8,1,n\r\n" %
                         (os.path.join(tmp, "nothing-here"), link)).encode("ascii"))
            run_unit(f"nami-autopilot@{instance}.service", read_unit(template, bindir), home, instance, sim_log,
                     rundir)

            configured = []
            for src, name in ((plain, "nami-autopilot.service"), (template, "nami-autopilot@.service")):
                path = os.path.join(tmp, name)
                with open(src, encoding="utf-8") as f, open(path, "w", encoding="utf-8") as out:
                    out.write(f.read().replace("@NAMI_BINDIR@", bindir))
                configured.append(path)
            verify(configured, rundir)
        finally:
            sim.send_signal(signal.SIGTERM)
            sim.wait(timeout=10)
    for p in problems:
        print(p)
    print(f"{len(problems)} problem(s)" if problems else "the user units start and stop the autopilot")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
