#!/usr/bin/env python3
"""A full autopilot run over nami's own AX.25 link against Dire Wolf.

nami --headless with COM2=kiss://127.0.0.1:<A's KISS port>: Dire Wolf A is
only a modem; the audio is relayed to Dire Wolf B, whose own connected mode
answers for the BBS call through AGW, where nami-tncsim --agw-bbs plays the
simulated BBS. Passes when the run completes (exit status 0), the list log
holds the BBS's list, and neither Dire Wolf logs a protocol error.
"""
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("NAMI_BUILD_DIR", os.path.join(ROOT, "build"))
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(ROOT, "tests", "support", "direwolf"))

import dwpair  # noqa: E402

BBS_CALL = "QZ1ABC"
PROMPT = "QZ1ABC BBS>"
UNTITLED = "無題"


def write_ini(path, kiss_port):
    lines = ["[Devices]", "COM2=kiss://127.0.0.1:%d" % kiss_port, "MYCALL=JA1KIS",
             "[" + UNTITLED + "]", "call=" + BBS_CALL, "prompt=" + PROMPT, "readcom=R", "fld1=L",
             "LastMailNo=1220"]
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp932"))


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
            ini = os.path.join(work, "NAMI.INI")
            write_ini(ini, pair.a.kiss_port)
            env = dict(os.environ, NAMI_HEADLESS_TIMEOUT="420")
            env.pop("DISPLAY", None)
            run = subprocess.run([nami, "--headless", "--ini", ini], cwd=work, env=env, capture_output=True,
                                 timeout=480)
            out = run.stdout.decode("utf-8", "replace")
            print(out)
            print(run.stderr.decode("utf-8", "replace"), file=sys.stderr)
            if run.returncode != 0:
                print("FAIL: nami --headless exited with %d" % run.returncode, file=sys.stderr)
                return 1
            if "*** CONNECTED to " + BBS_CALL not in out or out.count(PROMPT) < 3:
                print("FAIL: no BBS session in the run's output", file=sys.stderr)
                return 1
            listlog = os.path.join(work, "templist.dat")
            if not os.path.exists(listlog) or os.path.getsize(listlog) == 0:
                print("FAIL: the list log is empty", file=sys.stderr)
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
    print("PASS: a full autopilot run over nami's AX.25 on KISS, Dire Wolf as modem and as peer")
    return 0


if __name__ == "__main__":
    sys.exit(main())
