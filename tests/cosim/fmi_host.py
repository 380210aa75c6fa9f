#!/usr/bin/python3
"""A co-simulation host in Python: loads the engine library with ctypes and steps a building.

The host plays the part of an energy simulator: before each hourly step it sets the outdoor
conditions and the room temperature, once it adds a dose of tracer to the room, and after each
step it reads path flows, mass fractions and the control output. A batch run of the same building
(the outdoor conditions from a weather file, the dose as a higher starting value) must give the
same results, both as the host read them and as the stepped run wrote them.

    fmi_host.py --lib LIB --host HOST --sim FLOWMIR_SIM --projects DIR --source REPOSITORY

It also checks that the guide's C example is the one that is built and run.
"""
import argparse
import csv
import ctypes
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

ARGS = None

# Outdoor conditions at the end of each hour: temperature (K) and barometric pressure (Pa). The
# first is the project's own, so the steady start is the same in both runs.
WEATHER = [(293.15, 101325.0), (291.15, 101300.0), (288.65, 101280.0), (285.15, 101260.0),
           (283.15, 101240.0), (287.35, 101220.0), (290.95, 101200.0)]
ROOM_T = 293.15  # the room's temperature, which the host holds where the project has it
DOSE_KG = 0.012


def f32(x):
    """The value as the engine's single-precision field holds it."""
    return struct.unpack("f", struct.pack("f", x))[0]


def weather_file():
    lines = ["WeatherFile Flowpad 2.0", "Hourly outdoor conditions of the host test, no wind",
             "1/1 1/1", "1/1 5 5 0 0.0"]
    for h, (t, p) in enumerate(WEATHER):
        lines.append("1/1 %d:00:00 %.2f %.0f 0 0 0 0 0 0 0 0" % (h, t, p))
    lines.append("1/1 24:00:00 290.95 101200 0 0 0 0 0 0 0 0")
    return "\n".join(lines) + "\n"


def load(lib_path):
    lib = ctypes.CDLL(lib_path)
    P = ctypes.c_void_p
    I, F, D = ctypes.c_int, ctypes.c_float, ctypes.c_double
    proto = {
        "fmiGetNimbalState": (P, []),
        "fmiSetupSimulation": (I, [P, ctypes.c_char_p]),
        "fmiSetProjectDataReadyCallbackFunction": (None, [P, ctypes.CFUNCTYPE(None)]),
        "fmiDoCoSimStep": (I, [P, I]),
        "fmiEndSimulation": (I, [P]),
        "fmiGetNumZones": (I, [P]),
        "fmiGetNumPaths": (I, [P]),
        "fmiGetNumCtms": (I, [P]),
        "fmiGetNumOutputCtrlNodes": (I, [P]),
        "fmiGetCurrentDate": (I, [P]),
        "fmiGetCurrentTime": (I, [P]),
        "fmiSetAmbtTemperature": (I, [P, F]),
        "fmiSetAmbtPressure": (I, [P, F]),
        "fmiSetAmbtWndSpd": (I, [P, F]),
        "fmiSetAmbtWndDir": (I, [P, F]),
        "fmiSetAmbtHumRatio": (I, [P, F]),
        "fmiSetZoneTemperature": (I, [P, I, D]),
        "fmiSetZoneAddMass": (I, [P, I, I, D]),
        "fmiGetZoneMF": (I, [P, I, I, ctypes.POINTER(D)]),
        "fmiGetPathFlows": (I, [P, I, ctypes.POINTER(D), ctypes.POINTER(D)]),
        "fmiGetOutputControlValue": (I, [P, I, ctypes.POINTER(F)]),
    }
    for name, (res, args) in proto.items():
        fn = getattr(lib, name)
        fn.restype = res
        fn.argtypes = args
    return lib


def sim_table(sim_path, table):
    """Rows of one table of a results file, keyed by (time, number)."""
    out = subprocess.run([ARGS.sim, "--table", table, sim_path], check=True, capture_output=True,
                         text=True).stdout
    rows = {}
    key = {"paths": "path", "concs": "node", "ambient": None}[table]
    for r in csv.DictReader(io.StringIO(out)):
        rows[(int(r["time"]), int(r[key]) if key else 0)] = r
    return rows


def close(a, b, rel=2e-6, floor=1e-12):
    return abs(a - b) <= rel * max(abs(a), abs(b)) + floor


class SteppedAgainstBatch(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="fmi_host_")
        self.project = open(os.path.join(ARGS.projects, "fmi_ahs.prj")).read()

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def batch(self, room_mf0):
        """The batch twin: the outdoor conditions from a weather file, the dose in the room's
        starting value."""
        d = os.path.join(self.dir, "batch")
        os.mkdir(d)
        with open(os.path.join(d, "host.wth"), "w") as f:
            f.write(weather_file())
        text = self.project.replace("\nnull\n", "\nhost.wth\n", 1)
        text = text.replace("\n1 1e-3\n2 0\n3 0\n", "\n1 %.17g\n2 0\n3 0\n" % room_mf0, 1)
        with open(os.path.join(d, "p.prj"), "w") as f:
            f.write(text)
        r = subprocess.run([ARGS.host, "-q", "p"], cwd=d, capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        return os.path.join(d, "p.sim")

    def test_host_inputs_and_readings_match_the_batch_run(self):
        lib = load(ARGS.lib)
        d = os.path.join(self.dir, "stepped")
        os.mkdir(d)
        with open(os.path.join(d, "p.prj"), "w") as f:
            f.write(self.project)
        ready = []
        callback = ctypes.CFUNCTYPE(None)(lambda: ready.append(1))
        fms = lib.fmiGetNimbalState()
        self.assertTrue(fms)
        lib.fmiSetProjectDataReadyCallbackFunction(fms, callback)
        self.assertEqual(lib.fmiSetupSimulation(fms, os.path.join(d, "p.prj").encode()), 0)
        self.assertEqual(ready, [1])
        self.assertEqual((lib.fmiGetNumZones(fms), lib.fmiGetNumPaths(fms), lib.fmiGetNumCtms(fms)), (3, 6, 1))
        self.assertEqual(lib.fmiGetNumOutputCtrlNodes(fms), 1)

        # The dose before the first step: the room's air mass is 100 m3 at the density of 20 C.
        mf0 = ctypes.c_double()
        self.assertEqual(lib.fmiGetZoneMF(fms, 1, 0, ctypes.byref(mf0)), 0)
        self.assertEqual(lib.fmiSetZoneAddMass(fms, 1, 0, DOSE_KG), 0)
        dosed = ctypes.c_double()
        lib.fmiGetZoneMF(fms, 1, 0, ctypes.byref(dosed))
        mass = DOSE_KG / (dosed.value - mf0.value)
        self.assertAlmostEqual(mass, 100 * 101325 / (287.055 * f32(293.15)), delta=1e-6)

        readings = {}
        for k in range(1, 7):
            t, p = WEATHER[k]
            for rc in (lib.fmiSetAmbtTemperature(fms, t), lib.fmiSetAmbtPressure(fms, p),
                       lib.fmiSetAmbtWndSpd(fms, 0.0), lib.fmiSetAmbtWndDir(fms, 0.0),
                       lib.fmiSetAmbtHumRatio(fms, 0.0), lib.fmiSetZoneTemperature(fms, 1, f32(ROOM_T))):
                self.assertEqual(rc, 0)
            self.assertEqual(lib.fmiDoCoSimStep(fms, 1), 0)
            self.assertEqual((lib.fmiGetCurrentDate(fms), lib.fmiGetCurrentTime(fms)), (1, 3600 * k))
            F0, F1, x, out = ctypes.c_double(), ctypes.c_double(), ctypes.c_double(), ctypes.c_float()
            flows = {}
            for path in range(1, 7):
                self.assertEqual(lib.fmiGetPathFlows(fms, path, ctypes.byref(F0), ctypes.byref(F1)), 0)
                flows[path] = F0.value
            self.assertEqual(lib.fmiGetZoneMF(fms, 1, 0, ctypes.byref(x)), 0)
            self.assertEqual(lib.fmiGetOutputControlValue(fms, 1, ctypes.byref(out)), 0)
            readings[3600 * k] = (flows, x.value, out.value)
        self.assertEqual(lib.fmiEndSimulation(fms), 0)

        batch = self.batch(dosed.value)
        b_paths, b_concs = sim_table(batch, "paths"), sim_table(batch, "concs")
        s_paths, s_concs = sim_table(os.path.join(d, "p.sim"), "paths"), sim_table(os.path.join(d, "p.sim"), "concs")
        s_amb, b_amb = sim_table(os.path.join(d, "p.sim"), "ambient"), sim_table(batch, "ambient")
        conc_col = "tracer"
        for time, (flows, x, out) in readings.items():
            for path, f in flows.items():
                bf = float(b_paths[(time, path)]["F0_kg/s"])
                self.assertTrue(close(f, bf), "path %d at %d s: host read %r, batch %r" % (path, time, f, bf))
                self.assertEqual(s_paths[(time, path)]["F0_kg/s"], b_paths[(time, path)]["F0_kg/s"])
            bx = float(b_concs[(time, 1)][conc_col])
            self.assertTrue(close(x, bx, rel=5e-7), "room at %d s: host read %r, batch %r" % (time, x, bx))
            # The batch project holds its starting value in single precision, the dose does not.
            sx = float(s_concs[(time, 1)][conc_col])
            self.assertTrue(close(sx, bx, rel=5e-7), "room at %d s: stepped %r, batch %r" % (time, sx, bx))
            self.assertTrue(close(x, sx, rel=1e-7), "room at %d s: read %r, written %r" % (time, x, sx))
            # The window's multiplier comes through the pass-through node unchanged.
            self.assertEqual(out, 1.0)
            # The stepped record shows the outdoor conditions the host set for that step.
            for col in ("Ta_K", "Pb_Pa"):
                self.assertEqual(s_amb[(time, 0)][col], b_amb[(time, 0)][col], "%s at %d s" % (col, time))
            self.assertTrue(close(float(s_amb[(time, 0)]["Ta_K"]), f32(WEATHER[time // 3600][0]), rel=1e-8))
        # The tracer is carried away: the room ends below its dosed start.
        self.assertLess(readings[21600][1], dosed.value)


class GuideExample(unittest.TestCase):
    def test_the_guide_shows_the_built_example(self):
        guide = open(os.path.join(ARGS.source, "docs", "cosim.md")).read()
        example = open(os.path.join(ARGS.source, "examples", "cosim_host.c")).read()
        start = guide.index("```c\n") + len("```c\n")
        self.assertEqual(guide[start:guide.index("```\n", start)], example)


def main():
    global ARGS
    ap = argparse.ArgumentParser()
    ap.add_argument("--lib", required=True)
    ap.add_argument("--host", required=True)
    ap.add_argument("--sim", required=True)
    ap.add_argument("--projects", required=True)
    ap.add_argument("--source", required=True)
    ARGS, rest = ap.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
