#!/usr/bin/env python3
"""The Dire Wolf pair carries Dire Wolf's own connected mode end to end.

A client on A's AGW port connects to a call registered on B's AGW port over the
relayed audio channel, sends 2 kB holding every byte value, and disconnects; B must
receive every byte once and in order, A must receive B's greeting, and both sides
must see the connect and disconnect notices. A second connection is bridged by B
to a TCP service that hangs up after its last line. The KISS capture on B records the
frames heard on the channel, which must include the SABM, I frames and DISC.
Exit status 0 on success; 1 with the reason (e.g. direwolf not installed) otherwise.
"""

import os
import socket
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
        port_clash()
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
            t_bridge = bridge_session(pair)
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
        print(
            f"connect {t_connect:.2f} s, 2048 bytes in {t_transfer:.2f} s, bridged session {t_bridge:.1f} s, "
            f"whole run {time.monotonic() - t_start:.1f} s"
        )
        return 0
    except Exception:
        print("--- direwolf A log ---\n" + pair.a.log_text()[-3000:], file=sys.stderr)
        print("--- direwolf B log ---\n" + pair.b.log_text()[-3000:], file=sys.stderr)
        raise
    finally:
        pair.stop()


def port_clash():
    """A port taken between the check and Dire Wolf's bind makes the rig retry on others."""
    blocker = socket.create_server(("0.0.0.0", dwpair.free_port()))
    taken = blocker.getsockname()[1]
    real_free_port = dwpair.free_port
    handed_out = []

    def first_one_taken(exclude=()):
        port = taken if not handed_out else real_free_port(exclude)
        handed_out.append(port)
        return port

    dwpair.free_port = first_one_taken
    try:
        with dwpair.DirewolfPair() as pair:
            check(pair.a.agw_port != taken, f"A's AGW port is the taken one, {taken}")
            check(len(handed_out) > 4, f"no new ports after the clash: {handed_out}")
            pair.check()
    finally:
        dwpair.free_port = real_free_port
        blocker.close()


def bridge_session(pair):
    """B bridges a connection to a TCP service that greets, answers "bye" and hangs up.

    The service's CR LF line ends reach A as CR, and its hang-up reaches A as
    a disconnect from the far side, after its last line.
    """
    server = socket.create_server(("127.0.0.1", 0))
    server.settimeout(20)

    def serve():
        try:
            conn, _ = server.accept()
        except OSError:
            return
        with conn:
            conn.sendall(b"Welcome\r\n")
            got = b""
            while b"bye\r" not in got:
                data = conn.recv(100)
                if not data:
                    return
                got += data
            conn.sendall(b"73\r\n")

    threading.Thread(target=serve, daemon=True).start()
    t0 = time.monotonic()
    try:
        with AgwClient(port=pair.b.agw_port) as b, AgwClient(port=pair.a.agw_port) as a:
            BbsSide(b, "N0TCP", bridge=f"127.0.0.1:{server.getsockname()[1]}", cr=True)
            a.register("N0ABC")
            a.connect("N0ABC", "N0TCP", timeout=20)
            a.wait_received(len(b"Welcome\r"), timeout=15)
            check(bytes(a.received) == b"Welcome\r", f"A received {bytes(a.received)!r} from the bridge")
            a.send(b"bye\r")
            a.wait_disconnected(timeout=30)
            check(bytes(a.received) == b"Welcome\r73\r", f"A received {bytes(a.received)!r} from the bridge")
            check("DISCONNECTED" in a.events[-1][2], f"A's notices: {a.events}")
    finally:
        server.close()
    return time.monotonic() - t0


def first_difference(got, want):
    for i, (x, y) in enumerate(zip(got, want)):
        if x != y:
            return f"B's data differs at byte {i}: got {got[i:i+8]!r}, want {want[i:i+8]!r}"
    return f"B received {len(got)} bytes, want {len(want)}"


if __name__ == "__main__":
    sys.exit(main())
