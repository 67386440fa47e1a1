#!/usr/bin/env python3
"""Full autopilot runs over Dire Wolf: nami's own AX.25 on KISS, then AGWPE.

nami --headless with COM2=kiss://127.0.0.1:<A's KISS port>: Dire Wolf A is
only a modem; the audio is relayed to Dire Wolf B, whose own connected mode
answers for the BBS call through AGW, where nami-tncsim --agw-bbs plays the
simulated BBS. Then the same with COM2=agw://127.0.0.1:<A's AGW port>, Dire
Wolf A's connected mode carrying the link. Each run passes when it completes
(exit status 0), the list log holds the BBS's list, the BBS got the log-off
"B", the link was released before nami ended (Dire Wolf B logged the
disconnect from nami's call, not a time-out), and neither Dire Wolf logs a
protocol error.
"""
import os
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("NAMI_BUILD_DIR", os.path.join(ROOT, "build"))
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(ROOT, "tests", "support", "direwolf"))

import dwpair  # noqa: E402

BBS_CALL = "QZ1ABC"
PROMPT = "QZ1ABC BBS>"
UNTITLED = "無題"


def write_ini(path, device, mycall):
    lines = ["[Devices]", "COM2=" + device, "MYCALL=" + mycall,
             "[" + UNTITLED + "]", "call=" + BBS_CALL, "prompt=" + PROMPT, "readcom=R", "fld1=L",
             "LastMailNo=1220"]
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp932"))


def run_once(nami, work, kind, device, mycall, pair, heard):
    folder = os.path.join(work, kind)
    os.makedirs(folder)
    ini = os.path.join(folder, "NAMI.INI")
    write_ini(ini, device, mycall)
    env = dict(os.environ, NAMI_HEADLESS_TIMEOUT="420")
    env.pop("DISPLAY", None)
    run = subprocess.run([nami, "--headless", "--ini", ini], cwd=folder, env=env, capture_output=True, timeout=480)
    # What Dire Wolf B (the BBS's side) had logged when nami ended.
    released = pair.b.log_text()
    out = run.stdout.decode("utf-8", "replace")
    print("---- %s ----\n%s" % (kind, out))
    print(run.stderr.decode("utf-8", "replace"), file=sys.stderr)
    if run.returncode != 0:
        print("FAIL (%s): nami --headless exited with %d" % (kind, run.returncode), file=sys.stderr)
        return False
    if "*** CONNECTED to " + BBS_CALL not in out or out.count(PROMPT) < 3:
        print("FAIL (%s): no BBS session in the run's output" % kind, file=sys.stderr)
        return False
    listlog = os.path.join(folder, "templist.dat")
    if not os.path.exists(listlog) or os.path.getsize(listlog) == 0:
        print("FAIL (%s): the list log is empty" % kind, file=sys.stderr)
        return False
    end = time.monotonic() + 5
    while not any(mycall + " logged off" in line for line in heard) and time.monotonic() < end:
        time.sleep(0.1)
    if not any(mycall + " logged off" in line for line in heard):
        print("FAIL (%s): the BBS never got the log-off B; it said: %r" % (kind, heard), file=sys.stderr)
        return False
    if "Disconnected from %s." % mycall not in released or "Disconnected from %s due" % mycall in released:
        print("FAIL (%s): the link was not released before nami ended; Dire Wolf B's log:\n%s"
              % (kind, released[-2000:]), file=sys.stderr)
        return False
    return True


def main():
    nami = os.path.join(BUILD, "nami")
    sim = os.path.join(BUILD, "nami-tncsim")
    for exe in (nami, sim):
        if not os.access(exe, os.X_OK):
            print("not built: " + exe, file=sys.stderr)
            return 1
    with tempfile.TemporaryDirectory(prefix="nami-kiss-autopilot-") as work:
        pair = dwpair.DirewolfPair(txdelay=30, paclen=128, maxframe=4, log_dir=os.path.join(work, "logs"))
        try:
            pair.start()
        except dwpair.RigError as e:
            print("Dire Wolf pair: %s" % e, file=sys.stderr)
            return 1
        bbs = None
        try:
            bbs = subprocess.Popen([sim, "--agw-bbs", "127.0.0.1:%d" % pair.b.agw_port, "--call", BBS_CALL],
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            print("BBS: " + bbs.stdout.readline().strip(), flush=True)
            heard = []  # the BBS's further lines ("... logged off")
            def read_bbs():
                for line in bbs.stdout:
                    heard.append(line)

            reader = threading.Thread(target=read_bbs, daemon=True)
            reader.start()
            runs = (("kiss", "kiss://127.0.0.1:%d" % pair.a.kiss_port, "JA1KIS"),
                    ("agw", "agw://127.0.0.1:%d" % pair.a.agw_port, "JA1AGW"))
            for kind, device, mycall in runs:
                if not run_once(nami, work, kind, device, mycall, pair, heard):
                    return 1
            errors = pair.a.protocol_errors() + pair.b.protocol_errors()
            if errors:
                print("FAIL: Dire Wolf logged protocol errors:\n  " + "\n  ".join(errors), file=sys.stderr)
                return 1
            pair.check()
        finally:
            if bbs is not None:
                bbs.terminate()
                bbs.wait(10)
            pair.stop()
    print("PASS: full autopilot runs over nami's AX.25 on KISS and over AGWPE, each logged off and released")
    return 0


if __name__ == "__main__":
    sys.exit(main())
