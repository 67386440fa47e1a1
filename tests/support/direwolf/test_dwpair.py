#!/usr/bin/env python3
"""The Dire Wolf pair carries Dire Wolf's own connected mode end to end.

A client on A's AGW port connects to a call registered on B's AGW port over the
relayed audio channel, sends 2 kB holding every byte value, and disconnects; B must
receive every byte once and in order, A must receive B's greeting, and both sides
must see the connect and disconnect notices. The KISS capture on B records the
frames heard on the channel, which must include the SABM, I frames and DISC.
Exit status 0 on success; 1 with the reason (e.g. direwolf not installed) otherwise.
"""

import os
import sys
import threading
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import dwpair  # noqa: E402
from agwclient import AgwClient, BbsSide  # noqa: E402
from kisscap import Capture, describe  # noqa: E402

PAYLOAD = bytes((i * 7 + i // 256) & 0xFF for i in range(2048))
GREETING = b"[DWPAIR-1.0]\r>\r"


def check(cond, msg):
    if not cond:
        raise AssertionError(msg)


def main():
    pair = dwpair.DirewolfPair(txdelay=20, paclen=128, maxframe=4)
    # Never hang: past the limit, stop the instances and fail.
    watchdog = threading.Timer(100, lambda: (print("FAIL: timed out", file=sys.stderr), pair.stop(), os._exit(3)))
    watchdog.daemon = True
    watchdog.start()
    try:
        pair.start()
    except dwpair.RigError as e:
        print(f"FAIL: {e}", file=sys.stderr)
        return 1
    t_start = time.monotonic()
    try:
        with Capture(pair.b.kiss_port) as heard_by_b, AgwClient(port=pair.b.agw_port) as b, AgwClient(
            port=pair.a.agw_port
        ) as a:
            bbs = BbsSide(b, "N0BBS", greeting=GREETING)
            a.register("N0ABC")
            t_connect = a.connect("N0ABC", "N0BBS", timeout=20)
            b.wait_connected(timeout=10)
            check(b.remote == "N0ABC", f"B sees the connection from {b.remote!r}")
            check(bbs.sessions == 1, f"B counted {bbs.sessions} sessions")
            a.wait_received(len(GREETING), timeout=15)
            check(bytes(a.received) == GREETING, f"A received {bytes(a.received)!r}")

            t0 = time.monotonic()
            a.send_paced(PAYLOAD, paclen=128, max_outstanding=8)
            b.wait_received(len(PAYLOAD), timeout=40)
            t_transfer = time.monotonic() - t0
            a.wait_outstanding_zero(timeout=10)
            check(bytes(b.received) == PAYLOAD, first_difference(bytes(b.received), PAYLOAD))

            a.disconnect(timeout=15)
            b.wait_disconnected(timeout=10)
            check(a.events[-1][1] == "d" and "DISCONNECTED" in a.events[-1][2], f"A's notices: {a.events}")
            check(b.events[-1][1] == "d", f"B's notices: {b.events}")
            pair.check()
            time.sleep(0.3)  # the final UA reaches B's KISS client
        kinds = [describe(f)["kind"] for f in heard_by_b.frames]
        check("SABM" in kinds or "SABME" in kinds, f"B heard no connect request; heard {kinds}")
        for want in ("I", "DISC"):
            check(want in kinds, f"B heard no {want} frame; heard {kinds}")
        check(kinds.count("I") >= len(PAYLOAD) // 128, f"B heard {kinds.count('I')} I frames")
        errors = pair.a.protocol_errors() + pair.b.protocol_errors()
        check(not errors, f"Dire Wolf logged protocol errors: {errors}")
        for inst in (pair.a, pair.b):
            check("level is too high" not in inst.log_text(), f"direwolf {inst.name}: audio level too high")
        print(f"connect {t_connect:.2f} s, 2048 bytes in {t_transfer:.2f} s, whole run {time.monotonic() - t_start:.1f} s")
        return 0
    except Exception:
        print("--- direwolf A log ---\n" + pair.a.log_text()[-3000:], file=sys.stderr)
        print("--- direwolf B log ---\n" + pair.b.log_text()[-3000:], file=sys.stderr)
        raise
    finally:
        pair.stop()


def first_difference(got, want):
    for i, (x, y) in enumerate(zip(got, want)):
        if x != y:
            return f"B's data differs at byte {i}: got {got[i:i+8]!r}, want {want[i:i+8]!r}"
    return f"B received {len(got)} bytes, want {len(want)}"


if __name__ == "__main__":
    sys.exit(main())
