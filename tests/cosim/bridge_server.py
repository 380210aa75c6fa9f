#!/usr/bin/python3
"""A co-simulation server for the bridge: plays the server side of whole runs of the host.

Each test listens on the loopback interface at a port the system chooses, starts the host with
-b 127.0.0.1:PORT on a copy of the two-room project, and checks every byte the engine sends:
the header, the declared length, the type, the version, every field of the payload and the unset
trailing bytes of the updates. It then adjusts the building and checks the effect in the next
updates, the run-until points, and how each kind of end reaches the server, the exit status and
the log.

    bridge_server.py --host FLOWMIR --sim FLOWMIR_SIM --projects DIR
"""
import argparse
import csv
import io
import os
import shutil
import socket
import struct
import subprocess
import tempfile
import unittest

ARGS = None

PATTERN = b"KLEVMSG\0"
VERSION = 10
# Message types.
READY, BLDG, SIMPARM, AGENT, ELEMENT, INPUT_CTRL, OUTPUT_CTRL, AHSP, ZONE, PATH, JCT, TERM, LEAK, DUCT, AHS = (
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14)
ADVANCE, ADJ_CONC, ADJ_TEMP, ADJ_ELEMENT, ADJ_CTRL, ADJ_WTH, ADJ_WPC = 20, 30, 40, 60, 70, 80, 90
ADJ_AHSP_FLOWS, ADJ_AHS_POA = 100, 110
CONC_UPD, PATH_UPD, TERM_UPD, AHSP_UPD, DUCT_UPD, LEAK_UPD, CTRL_UPD = 120, 130, 140, 150, 160, 170, 180
FM_ERROR, ENDSIM = 200, 210

# The two-room project: zones Room, Office and the system's supply and return nodes; ordinary
# paths 6 (window, ambient to Room), 7 (door, Room to Office) and 8 (crack, ambient to Office);
# system paths 1 supply, 2 return, 3 recirculation, 4 outdoor air, 5 exhaust.
ZONES = 4
ORDINARY = [6, 7, 8]
SYSTEM = [1, 2, 3, 4, 5]


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def msg(mtype, fields=b"", length=None, version=VERSION, pattern=PATTERN):
    """A message as the server sends it; length and version may be spoilt on purpose."""
    n = 20 + len(fields) if length is None else length
    return pattern + struct.pack(">iii", n, mtype, version) + fields


def ints(*v):
    return struct.pack(">%di" % len(v), *v)


def floats(*v):
    # Floats travel little-endian, as the engine's machine holds them.
    return struct.pack("<%df" % len(v), *v)


def advance(options, until):
    return msg(ADVANCE, ints(options, until))


class Payload:
    """Reads the fields of one received payload in order; every byte must be taken."""

    def __init__(self, test, data):
        self.t, self.d, self.i = test, data, 0

    def take(self, n):
        self.t.assertLessEqual(self.i + n, len(self.d), "payload shorter than its fields")
        b = self.d[self.i:self.i + n]
        self.i += n
        return b

    def ints(self, n):
        return list(struct.unpack(">%di" % n, self.take(4 * n)))

    def int(self):
        return self.ints(1)[0]

    def floats(self, n):
        return list(struct.unpack("<%df" % n, self.take(4 * n)))

    def strings(self, n):
        out = []
        for _ in range(n):
            end = self.d.index(b"\0", self.i)
            out.append(self.take(end - self.i + 1)[:-1].decode())
        return out

    def padding(self):
        self.t.assertEqual(self.take(4), b"\0\0\0\0", "trailing bytes of an update")

    def done(self):
        self.t.assertEqual(self.i, len(self.d), "bytes left over in the payload")


class Run:
    """One run of the host against this server."""

    def __init__(self, test, address=None, project="br_rooms.prj", port=0):
        self.t = test
        self.dir = tempfile.mkdtemp(prefix="bridge_")
        shutil.copy(os.path.join(ARGS.projects, project), os.path.join(self.dir, "p.prj"))
        self.lsock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.lsock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.lsock.bind(("127.0.0.1", port))
        self.lsock.listen(1)
        # A safety net against a hung engine, not a measurement.
        self.lsock.settimeout(60)
        port = self.lsock.getsockname()[1]
        self.proc = subprocess.Popen([ARGS.host, "-q", "-b", address or "127.0.0.1:%d" % port, "p"],
                                     cwd=self.dir, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)
        self.conn = None

    def accept(self):
        self.conn, _ = self.lsock.accept()
        self.conn.settimeout(60)

    def recv_exact(self, n):
        data = b""
        while len(data) < n:
            chunk = self.conn.recv(n - len(data))
            self.t.assertTrue(chunk, "the engine closed the connection")
            data += chunk
        return data

    def recv(self, mtype=None, length=None):
        """The next message: every header byte checked; the payload as a reader."""
        h = self.recv_exact(20)
        self.t.assertEqual(h[:8], PATTERN)
        n, got, version = struct.unpack(">iii", h[8:])
        self.t.assertEqual(version, VERSION)
        self.t.assertGreaterEqual(n, 20)
        if mtype is not None:
            self.t.assertEqual(got, mtype, "message type")
        if length is not None:
            self.t.assertEqual(n, length, "length of message %d" % got)
        return got, Payload(self.t, self.recv_exact(n - 20))

    def send(self, *messages):
        for m in messages:
            self.conn.sendall(m)

    def eof(self):
        self.t.assertEqual(self.conn.recv(1), b"", "the engine sent more after its last message")

    def finish(self):
        out, err = self.proc.communicate(timeout=120)
        if self.conn:
            self.conn.close()
        self.lsock.close()
        log = ""
        if os.path.exists(os.path.join(self.dir, "p.xlog")):
            with open(os.path.join(self.dir, "p.xlog")) as f:
                log = f.read()
        return self.proc.returncode, err.decode(), log

    def cleanup(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.communicate()
        for s in (self.conn, self.lsock):
            if s:
                s.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    # --- what the engine sends at the start ---

    def info(self):
        """The information messages in their order, each field checked; returns the READY time."""
        t = self.t
        _, p = self.recv(BLDG, 20 + 2)
        t.assertEqual(p.strings(1), ["p"])
        p.done()
        _, p = self.recv(SIMPARM, 40)
        t.assertEqual(p.ints(5), [1, 2, 0, 7200, 3600])
        p.done()
        _, p = self.recv(AGENT, 24 + 4 + 7)
        t.assertEqual(p.int(), 1)
        t.assertEqual(p.ints(1), [1])
        t.assertEqual(p.strings(1), ["tracer"])
        p.done()
        _, p = self.recv(ELEMENT, 24 + 7)
        t.assertEqual((p.int(), p.strings(1)), (1, ["window"]))
        p.done()
        # The output node is evaluated only later, with the first step's controls.
        for mtype, nr, value, name in ((INPUT_CTRL, 1, 1.0, "win_set"), (OUTPUT_CTRL, 2, 0.0, "win_out")):
            _, p = self.recv(mtype, 24 + 8 + len(name) + 1)
            t.assertEqual((p.int(), p.ints(1), p.floats(1), p.strings(1)), (1, [nr], [value], [name]))
            p.done()
        _, p = self.recv(PATH, 24 + 32 * 3)
        t.assertEqual(p.int(), 3)
        t.assertEqual(p.ints(3), ORDINARY)
        t.assertEqual(p.ints(3), [2, 0, 3], "envelope indices")
        t.assertEqual(p.ints(3), [1, 1, 1], "elements")
        t.assertEqual(p.ints(3), [0, 1, 0], "from zones")
        t.assertEqual(p.ints(3), [1, 2, 2], "to zones")
        t.assertEqual(p.floats(3), [4.0, 2.0, 8.0])
        t.assertEqual(p.floats(3), [7.5, 2.0, 0.0])
        t.assertEqual(p.floats(3), [1.25, 1.0, 0.5])
        p.done()
        _, p = self.recv(AHSP, 24 + 32 * 5)
        t.assertEqual(p.int(), 5)
        t.assertEqual(p.ints(5), SYSTEM)
        t.assertEqual(p.ints(5), [0, 0, 0, 1, 0], "envelope indices")
        t.assertEqual(p.ints(5), [1, 0, 2, 3, 4], "kinds: supply, return, recirculation, outdoor, exhaust")
        t.assertEqual(p.ints(5), [1, 1, 0, 0, 0], "zones served")
        t.assertEqual(p.ints(5), [1] * 5, "systems")
        p.floats(15)
        p.done()
        _, p = self.recv(AHS, 24 + 4 + 4)
        t.assertEqual((p.int(), p.ints(1), p.strings(1)), (1, [1], ["ahu"]))
        p.done()
        names = ["Room", "Office", "ahu(Sup)", "ahu(Ret)"]
        _, p = self.recv(ZONE, 24 + 12 * 4 + sum(len(s) + 1 for s in names))
        t.assertEqual(p.int(), 4)
        t.assertEqual(p.ints(4), [1] * 4, "levels")
        t.assertEqual(p.ints(4), [0, 0, 1, 1], "system nodes")
        t.assertEqual(p.floats(4), [100.0, 50.0, 0.5, 0.5])
        t.assertEqual(p.strings(4), names)
        p.done()
        for mtype in (JCT, TERM, LEAK, DUCT):
            _, p = self.recv(mtype, 24)
            t.assertEqual(p.int(), 0)
            p.done()
        return self.ready()

    def any_info(self):
        """The information messages of any building, each parsed by its layout to its last
        byte; returns the counts by message type and the envelope indices in entry order."""
        layout = {  # per entry: ints, floats, strings
            AGENT: (1, 0, 1), ELEMENT: (0, 0, 1), INPUT_CTRL: (1, 1, 1), OUTPUT_CTRL: (1, 1, 1),
            PATH: (5, 3, 0), AHSP: (5, 3, 0), AHS: (1, 0, 1), ZONE: (2, 1, 1), JCT: (2, 0, 0),
            TERM: (2, 3, 0), LEAK: (1, 0, 0), DUCT: (1, 0, 0)}
        self.recv(BLDG)[1].strings(1)
        self.recv(SIMPARM, 40)[1].ints(5)
        counts, fields, envelope = {}, {}, []
        for mtype in (AGENT, ELEMENT, INPUT_CTRL, OUTPUT_CTRL, PATH, AHSP, AHS, ZONE, JCT, TERM, LEAK, DUCT):
            _, p = self.recv(mtype)
            n = p.int()
            ni, nf, ns = layout[mtype]
            cols = [p.ints(n) for _ in range(ni)] + [p.floats(n) for _ in range(nf)] + [p.strings(n) for _ in range(ns)]
            p.done()
            counts[mtype], fields[mtype] = n, cols
            if mtype in (PATH, AHSP, TERM):
                envelope += [e for e in cols[1] if e]
        return counts, fields, envelope, self.ready()

    def ready(self):
        _, p = self.recv(READY, 24)
        time = p.int()
        p.done()
        return time

    # --- the updates ---

    def conc(self, agent=1):
        _, p = self.recv(CONC_UPD, 32 + 4 * ZONES if agent else 32)
        time = p.int()
        self.t.assertEqual(p.int(), agent)
        values = p.floats(ZONES) if agent else []
        p.padding()
        p.done()
        return time, values

    def flows(self, mtype, n, columns=1):
        _, p = self.recv(mtype, 28 + 4 * n * columns)
        time = p.int()
        cols = [p.floats(n) for _ in range(columns)]
        p.padding()
        p.done()
        return time, cols

    def all_updates(self):
        """The updates of the option word 255, in bit order."""
        t0, c = self.conc()
        t1, (F0, F1) = self.flows(PATH_UPD, 3, 2)
        t2, (S,) = self.flows(AHSP_UPD, 5)
        t3, (D,) = self.flows(DUCT_UPD, 0)
        t4, (T,) = self.flows(TERM_UPD, 0)
        t5, (L,) = self.flows(LEAK_UPD, 0)
        t6, (ctrl,) = self.flows(CTRL_UPD, 1)
        self.t.assertEqual(len({t0, t1, t2, t3, t4, t5, t6}), 1, "one time in all updates")
        return t0, c, F0, F1, S, ctrl


class BridgeRuns(unittest.TestCase):
    def run_host(self, address=None):
        r = Run(self, address)
        self.addCleanup(r.cleanup)
        return r

    def start(self):
        r = self.run_host()
        r.accept()
        self.assertEqual(r.info(), 0)
        return r

    def test_whole_run_with_adjustments(self):
        r = self.start()
        # Before the first step: every update, then the second READY.
        t, c, F0, F1, S, ctrl = r.all_updates()
        self.assertEqual(t, 0)
        self.assertEqual(c, [f32(1e-3), 0.0, 0.0, 0.0])
        self.assertEqual(F1, [0.0, 0.0, 0.0])
        self.assertAlmostEqual(S[0], 0.1, places=6)
        self.assertAlmostEqual(S[1], 0.09, places=6)
        self.assertEqual(ctrl, [1.0])
        self.assertEqual(r.ready(), 0)

        # A warmer office, and tracer moved from the room to the office: all four zones in one
        # message, larger than any message the engine sends in this building.
        r.send(msg(ADJ_TEMP, ints(1, 2) + floats(303.15)),
               msg(ADJ_CONC, ints(1, 4, 1, 1, 2, 3, 4) + floats(0.0, 2e-3, 0.0, 0.0)),
               advance(0x02 | 0x04, 3600))
        t, c1 = r.conc()
        t1, (G0, G1) = r.flows(PATH_UPD, 3, 2)
        self.assertEqual((t, t1, r.ready()), (3600, 3600, 3600))
        # Without the adjustment the office would hold less tracer than the room.
        self.assertGreater(c1[1], 5e-4, "the office keeps much of what it was given")
        self.assertLess(c1[0], c1[1] / 4)
        self.assertGreater(abs(G0[2] - F0[2]), 1e-5, "the warm office draws through its crack")

        # A message of a type that does not exist and one of another version: reported, their
        # payloads consumed, the run goes on. Then the system's flows, its outdoor-air
        # fraction, the weather and the window's control input.
        r.send(msg(99, ints(7)), msg(ADJ_CTRL, ints(1) + floats(9.0), version=9),
               msg(ADJ_AHSP_FLOWS, ints(1, 1) + floats(0.2)),
               msg(ADJ_AHS_POA, ints(2, 1, 1) + floats(0.5, 0.75)),
               msg(ADJ_WTH, floats(283.15, 101000.0, 0.0, 0.0, 0.0)),
               msg(ADJ_CTRL, ints(1) + floats(0.5)),
               advance(0x04 | 0x08 | 0x80, 7200))
        t, (H0, H1) = r.flows(PATH_UPD, 3, 2)
        t1, (S2,) = r.flows(AHSP_UPD, 5)
        t2, (ctrl,) = r.flows(CTRL_UPD, 1)
        self.assertEqual((t, t1, t2, r.ready()), (7200, 7200, 7200, 7200))
        self.assertEqual(S2[0], f32(0.2), "the supply carries the flow set")
        # The fraction is kept by system, not by its place in the message (the second entry of
        # the one system): three quarters of the supply from outdoors, the rest recirculated.
        self.assertAlmostEqual(S2[3], 0.15, places=6)
        self.assertAlmostEqual(S2[2], 0.05, places=6)
        self.assertEqual(ctrl, [0.5])

        # A wind pressure on envelope entry 2, the office's crack, pushes air in; tracer in the
        # outdoor air of entry 3, the system's intake, reaches the room it supplies.
        r.send(msg(ADJ_WPC, ints(7200, 0, 3) + floats(0.0, 20.0, 0.0)),
               msg(ADJ_WPC, ints(7200, 1, 3, 1) + floats(0.0, 0.0, 5e-3)), advance(0x02 | 0x04, 10800))
        t, c3 = r.conc()
        t1, (K0, K1) = r.flows(PATH_UPD, 3, 2)
        self.assertEqual((t, t1, r.ready()), (10800, 10800, 10800))
        self.assertGreater(K0[2], H0[2] + 1e-3)
        self.assertGreater(c3[0], 1e-3)
        self.assertGreater(c3[2], 3e-3, "the supply node mixes outdoor and return air")

        # The run-until points: 86400 s is the end of day 1, 90000 s one hour into day 2. With
        # no option bits an empty concentration update goes before each READY.
        r.send(advance(0, 86400))
        self.assertEqual(r.conc(agent=0)[0], 86400)
        self.assertEqual(r.ready(), 86400)
        r.send(advance(0, 90000))
        self.assertEqual(r.conc(agent=0)[0], 3600)
        self.assertEqual(r.ready(), 3600)
        # An advance to a point already reached lets nothing step: the next one does.
        r.send(advance(0, 3600), advance(0, 93600))
        self.assertEqual(r.conc(agent=0)[0], 7200)
        self.assertEqual(r.ready(), 7200)
        r.send(advance(0, 100800))
        r.recv(ENDSIM, 20)[1].done()
        r.eof()
        rc, err, log = r.finish()
        self.assertEqual(rc, 0, err)
        self.assertIn("Bridge: Invalid message type: 99", log)
        self.assertIn("Bridge: Invalid packet version: 9", log)
        self.assertNotIn("Setting control node 1 to 9", log)
        self.assertIn("Simulation completed successfully.", log)
        self.assertIn("      26 time steps", log)
        self.assertRegex(log, r"Final: \d+ bytes allocated, \d+ freed, 0 net")
        # The records keep the inputs each step was solved with: the office's temperature came
        # before the first step, the weather after it.
        def table(name):
            out = subprocess.run([ARGS.sim, "--table", name, os.path.join(r.dir, "p.sim")], check=True,
                                 capture_output=True, text=True).stdout
            return [row for row in csv.DictReader(io.StringIO(out)) if row["day"] == "1"]
        office = {int(row["time"]): round(float(row["T_K"]), 3) for row in table("nodes") if row["node"] == "2"}
        self.assertEqual((office[0], office[3600]), (293.15, 303.15))
        ambient = {int(row["time"]): round(float(row["Ta_K"]), 3) for row in table("ambient")}
        self.assertEqual((ambient[3600], ambient[7200]), (293.15, 283.15))

    def test_end_next_day_finishes_the_day(self):
        r = self.start()
        r.all_updates()
        r.ready()
        r.send(advance(0, 3600))
        r.conc(agent=0)
        self.assertEqual(r.ready(), 3600)
        r.send(msg(FM_ERROR, ints(1)))
        # No further exchange: the day is stepped to its end, then the run ends normally.
        r.recv(ENDSIM, 20)[1].done()
        r.eof()
        rc, err, log = r.finish()
        self.assertEqual(rc, 0, err)
        self.assertIn("FM_ERROR_MSGTYPE code 1:end_next_day", log)
        self.assertIn("      24 time steps", log)
        self.assertTrue(os.path.exists(os.path.join(r.dir, "p.sim")))

    def test_terminate_sim_ends_the_run(self):
        r = self.start()
        r.all_updates()
        r.ready()
        r.send(msg(FM_ERROR, ints(0)))
        _, p = r.recv(FM_ERROR, 24)
        self.assertEqual(p.int(), 0)
        p.done()
        r.eof()
        rc, err, log = r.finish()
        self.assertEqual(rc, 2)
        self.assertIn("FM_ERROR_MSGTYPE code 0:terminate_sim", log)
        self.assertFalse(os.path.exists(os.path.join(r.dir, "p.sim")), "partial results are removed")

    def test_server_that_closes(self):
        r = self.start()
        r.all_updates()
        r.ready()
        r.conn.close()
        rc, err, log = r.finish()
        self.assertEqual(rc, 2)
        self.assertIn("Socket recv() returned 0 bytes, closed by client.", log)
        self.assertIn("  Bridge lost", log)

    def test_refused_messages(self):
        """Messages whose numbers cannot be used end the run with their report, before anything
        is indexed by them."""
        cases = [
            (msg(ADJ_CTRL, b"", length=12), "Bridge: Invalid packet length: 12"),
            (msg(ADJ_CONC, ints(1, 1, 2, 1) + floats(1e-3)), "Invalid agent index: 2"),
            (msg(ADJ_CONC, ints(1, 1, 1, 5) + floats(1e-3)), "Invalid zone index: 5, 1"),
            (msg(ADJ_CONC, ints(1, 3, 1, 1) + floats(1e-3)), "Bridge: ADJ_ZONE_CONC_MSG of 40 bytes is too short"),
            (msg(ADJ_TEMP, ints(1, 1) + floats(-5.0)), "Bridge: invalid temperature -5, zone 1"),
            (msg(ADJ_ELEMENT, ints(9, 1)), "Invalid path id: 9"),
            (msg(ADJ_ELEMENT, ints(3, 1)), "Invalid path id: 3"),
            (msg(ADJ_ELEMENT, ints(6, 2)), "Invalid element id: 2"),
            (msg(ADJ_WPC, ints(0, 2, 1, 1, 1) + floats(0.0, 0.0)), "Bridge: invalid number of agents: 2"),
            (msg(ADJ_WPC, ints(0, 0, 4) + floats(0, 0, 0, 0)), "Bridge: invalid number of envelope paths: 4"),
            (msg(ADJ_WPC, ints(0, 1, 1, 3) + floats(0.0)), "Invalid agent index: 3"),
            (msg(ADJ_AHSP_FLOWS, ints(1, 6) + floats(0.1)), "Bridge: invalid AHS path index: 6, 1"),
            (msg(ADJ_AHS_POA, ints(1, 2) + floats(0.5)), "Bridge: invalid AHS index: 2, 1"),
            (msg(FM_ERROR, ints(7)), "FM_ERROR_MSGTYPE code Unknown"),
            (advance(0, -1), "Bridge: invalid run-until time: -1"),
        ]
        for message, report in cases:
            with self.subTest(report=report):
                r = self.start()
                r.all_updates()
                r.ready()
                r.send(message)
                _, p = r.recv(FM_ERROR, 24)
                self.assertEqual(p.int(), 0)
                rc, err, log = r.finish()
                self.assertEqual(rc, 2)
                self.assertIn(report, log)

    def test_bad_pattern_payload_is_consumed(self):
        r = self.start()
        r.all_updates()
        r.ready()
        # The payload of the spoilt header looks like a header itself: it must not be read as one.
        inner = msg(FM_ERROR, ints(0))
        # So must the payload of a message longer than any the engine takes.
        big = msg(ADJ_CTRL, inner + bytes(5000))
        r.send(msg(ADJ_CTRL, inner, pattern=b"KLEVXXX\0"), big, msg(FM_ERROR, ints(1)))
        r.recv(ENDSIM, 20)
        rc, err, log = r.finish()
        self.assertEqual(rc, 0, err)
        self.assertIn("Bridge: Invalid header pattern: KLEVXXX", log)
        self.assertIn("Bridge: Invalid packet length: %d" % (20 + 24 + 5000), log)

    def test_duct_system(self):
        """Junctions, terminals, leaks and ducts in the information messages and the updates."""
        r = Run(self, project="sql_ducts.prj")
        self.addCleanup(r.cleanup)
        r.accept()
        counts, fields, envelope, time = r.any_info()
        self.assertEqual(time, 0)
        self.assertEqual((counts[ZONE], counts[PATH], counts[JCT], counts[DUCT]), (2, 4, 3, 2))
        self.assertEqual(fields[JCT][0], [1, 0, 1], "junctions with a terminal")
        self.assertEqual(fields[TERM][0], [1, 3], "terminals by junction")
        self.assertEqual(fields[DUCT][0], [1, 2])
        # The terminal to outdoors is an envelope entry after the paths', each index once.
        self.assertEqual(fields[TERM][1][0], 0)
        self.assertNotEqual(fields[TERM][1][1], 0)
        self.assertEqual(sorted(envelope), list(range(1, len(envelope) + 1)))
        self.assertEqual(envelope[-1], fields[TERM][1][1])
        r.recv(CONC_UPD, 32 + 4 * 2)
        r.recv(PATH_UPD, 28 + 8 * counts[PATH])
        r.recv(AHSP_UPD, 28)
        _, p = r.recv(DUCT_UPD, 28 + 4 * 2)
        p.int()
        ducts = p.floats(2)
        _, p = r.recv(TERM_UPD, 28 + 4 * 2)
        p.int()
        terms = p.floats(2)
        r.recv(LEAK_UPD, 28 + 4 * counts[LEAK])
        r.recv(CTRL_UPD, 28)
        self.assertEqual(r.ready(), 0)
        # Air runs through both segments and both terminals.
        self.assertTrue(all(abs(F) > 1e-4 for F in ducts + terms), (ducts, terms))
        r.send(msg(FM_ERROR, ints(1)))
        r.recv(ENDSIM, 20)
        r.eof()
        rc, err, log = r.finish()
        self.assertEqual(rc, 0, err)
        self.assertIn("      24 time steps", log)

    def test_runs_without_steps(self):
        """A steady run describes the building and ends; duct balancing does not co-simulate. The
        wind-pressure file a project names is not read (it is not even there): the server gives
        the envelope conditions."""
        for project, describes in (("cf_series.prj", True), ("wpc_rooms.prj", True), ("bal_two.prj", False)):
            with self.subTest(project=project):
                r = Run(self, project=project)
                self.addCleanup(r.cleanup)
                r.accept()
                if describes:
                    r.any_info()
                r.recv(ENDSIM, 20)[1].done()
                r.eof()
                rc, err, log = r.finish()
                self.assertEqual(rc, 0, err)
                self.assertEqual("wind pressure and contaminant file is not used" in log, project == "wpc_rooms.prj")

    def test_default_port(self):
        probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            probe.bind(("127.0.0.1", 8200))
        except OSError:
            probe.close()
            self.skipTest("port 8200 is taken")
        probe.close()
        r = Run(self, address="127.0.0.1", port=8200)
        self.addCleanup(r.cleanup)
        r.accept()
        r.recv(BLDG, 22)
        r.conn.close()
        self.assertEqual(r.finish()[0], 2)

    def test_addresses(self):
        for address, report in (("127.0.0.1:70000", "  Invalid port: 127.0.0.1:70000"),
                                ("127.0.0.1:0", "  Invalid port: 127.0.0.1:0"),
                                ("127.0.0.1:http", "  Invalid port: 127.0.0.1:http")):
            with self.subTest(address=address):
                r = self.run_host(address)
                rc, err, log = r.finish()
                self.assertEqual(rc, 2)
                self.assertIn(report, log)
        r = subprocess.run([ARGS.host, "-q", "--bridge=", "p"], capture_output=True, text=True)
        self.assertEqual(r.returncode, 2)
        self.assertIn("--bridge needs HOST:PORT", r.stderr)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--projects", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[__file__] + rest, verbosity=2)


if __name__ == "__main__":
    main()
