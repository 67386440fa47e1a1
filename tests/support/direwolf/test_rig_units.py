#!/usr/bin/env python3
"""The rig's own decoders: KISS deframing, AX.25 frame description, AGW headers."""

import os
import sys
import unittest

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import agwclient  # noqa: E402
from kisscap import Deframer, describe, kiss_encode  # noqa: E402


def addr(call, ssid=0, last=False, c=False):
    b = bytes(ord(ch) << 1 for ch in call.ljust(6))
    return b + bytes([0x60 | (ssid << 1) | (0x80 if c else 0) | (1 if last else 0)])


def frame(ctl, info=b"", dst="N0BBS", src="N0ABC", cmd=True, via=()):
    out = addr(dst, c=cmd) + addr(src, c=not cmd, last=not via)
    for i, v in enumerate(via):
        out += addr(v, last=i == len(via) - 1)
    return out + bytes([ctl]) + info


class KissDeframer(unittest.TestCase):
    def test_cases(self):
        cases = [
            ("one frame", b"\xc0\x00abc\xc0", [(0, b"abc")]),
            ("escaped FEND and FESC", b"\xc0\x00a\xdb\xdcb\xdb\xddc\xc0", [(0, b"a\xc0b\xdbc")]),
            ("back to back, shared FEND", b"\xc0\x00a\xc0\x00b\xc0", [(0, b"a"), (0, b"b")]),
            ("port nibble kept", b"\xc0\x10xy\xc0", [(1, b"xy")]),
            ("non-data command dropped", b"\xc0\x01\x20\xc0", []),
            ("empty frames ignored", b"\xc0\xc0\xc0", []),
            ("command byte only dropped", b"\xc0\x00\xc0", []),
        ]
        for name, data, want in cases:
            with self.subTest(name):
                self.assertEqual(Deframer().feed(data), want)

    def test_split_across_reads(self):
        d = Deframer()
        self.assertEqual(d.feed(b"\xc0\x00ab\xdb"), [])
        self.assertEqual(d.feed(b"\xdccd\xc0"), [(0, b"ab\xc0cd")])

    def test_encode_round_trip(self):
        payload = bytes(range(256))
        self.assertEqual(Deframer().feed(kiss_encode(payload, 2)), [(2, payload)])


class Ax25Describe(unittest.TestCase):
    def test_kinds(self):
        cases = [
            (frame(0x3F), {"kind": "SABM", "pf": 1, "cmd": True}),
            (frame(0x73, cmd=False), {"kind": "UA", "pf": 1, "cmd": False}),
            (frame(0x53), {"kind": "DISC", "pf": 1}),
            (frame(0x1F, cmd=False), {"kind": "DM", "pf": 1}),
            (frame(0x7F), {"kind": "SABME"}),
            (frame(0x61, cmd=False), {"kind": "RR", "nr": 3, "pf": 0}),
            (frame(0x71, cmd=True), {"kind": "RR", "nr": 3, "pf": 1, "cmd": True}),
            (frame(0xA5, cmd=False), {"kind": "RNR", "nr": 5}),
            (frame(0x49, cmd=False), {"kind": "REJ", "nr": 2}),
            (frame(0xC4, b"\xf0hi"), {"kind": "I", "ns": 2, "nr": 6, "pf": 0, "info": b"hi"}),
            (frame(0xFE, b"\xf0"), {"kind": "I", "ns": 7, "nr": 7, "pf": 1, "info": b""}),
            (frame(0x03, b"\xf0beacon", dst="BEACON"), {"kind": "UI", "dst": "BEACON", "info": b"beacon"}),
        ]
        for f, want in cases:
            d = describe(f)
            with self.subTest(want["kind"]):
                for k, v in want.items():
                    self.assertEqual(d[k], v, k)

    def test_addresses(self):
        f = addr("N0BBS", 1, c=True) + addr("JA1ABC", 15) + addr("DIGI", 2, last=True)[:-1] + bytes([0xE5]) + b"\x3f"
        d = describe(f)
        self.assertEqual((d["dst"], d["src"], d["via"], d["kind"]), ("N0BBS-1", "JA1ABC-15", ["DIGI-2*"], "SABM"))

    def test_truncated(self):
        for f in (b"", addr("A")[:5], addr("A") + addr("B", last=True)):
            self.assertEqual(describe(f)["kind"], "?")


class CapturedFrames(unittest.TestCase):
    """Frames Dire Wolf sent (tests/data/ax25) match the encoding built here by hand."""

    def frames(self):
        path = os.path.join(os.path.dirname(__file__), "..", "..", "data", "ax25", "dwpair-session.txt")
        with open(path) as f:
            return [bytes.fromhex(ln) for ln in f.read().splitlines() if ln and not ln.startswith("#")]

    def test_known_frames(self):
        captured = self.frames()
        cases = [
            ("SABM", frame(0x3F)),
            ("UA", frame(0x73, dst="N0ABC", src="N0BBS", cmd=False)),
            ("greeting I", frame(0x00, b"\xf0Welcome\r", dst="N0ABC", src="N0BBS")),
            ("DISC", frame(0x53)),
        ]
        for name, want in cases:
            with self.subTest(name):
                self.assertIn(want, captured)

    def test_every_frame_decodes(self):
        for f in self.frames():
            d = describe(f)
            self.assertNotEqual(d["kind"], "?", f.hex())
            self.assertTrue(d["dst"] and d["src"], f.hex())


class BridgeLineEnds(unittest.TestCase):
    def test_cr(self):
        cases = [
            ("CR LF", [b"a\r\nb\r\n"], b"a\rb\r"),
            ("LF", [b"a\nb\n"], b"a\rb\r"),
            ("CR kept", [b"a\rb\r"], b"a\rb\r"),
            ("CR LF split across reads", [b"a\r", b"\nb\r\n"], b"a\rb\r"),
            ("blank line", [b"\r\n\r\n"], b"\r\r"),
        ]
        for name, chunks, want in cases:
            with self.subTest(name):
                side = agwclient.BbsSide.__new__(agwclient.BbsSide)
                side.cr, side._after_cr = True, False
                self.assertEqual(b"".join(side._line_ends(c) for c in chunks), want)


class AgwHeader(unittest.TestCase):
    def test_layout(self):
        h = agwclient.encode("D", 1, "N0ABC", "N0BBS-3", b"xyz", pid=0xF0)
        self.assertEqual(len(h), 36 + 3)
        self.assertEqual((h[0], h[4], h[6]), (1, ord("D"), 0xF0))
        self.assertEqual(h[8:18], b"N0ABC\0\0\0\0\0")
        self.assertEqual(h[18:28], b"N0BBS-3\0\0\0")
        self.assertEqual(h[28:32], b"\x03\0\0\0")
        self.assertEqual(h[36:], b"xyz")


if __name__ == "__main__":
    unittest.main()
