"""Stepping a building from Python through the engine's co-simulation interface (ctypes).

    with flowmir.CoSim("office.prj") as sim:
        while not sim.done:
            sim.set_ambient(T=270.0)
            sim.step()
            print(sim.clock, sim.path_flows(7))

The engine writes the same results files as a batch run of the project; after end() (or the
with block) flowmir.load(project) reads them.

A FATAL error ends the whole process (the engine calls exit(2) after writing the log), so a
Python program that must outlive a failing run steps the building in a child process:

    result = flowmir.cosim.in_child(my_stepping_function, "office.prj")

runs my_stepping_function(project) in a multiprocessing child and returns what it returns, or
raises FlowmirError with the log's first ERROR or FATAL line when the child died. Only one
thread may drive a record; the engine's floating-point traps are process-wide.
"""
import ctypes
import multiprocessing
import os

from . import tools
from .project import describe, first_problem, project_path

_P, _I, _F, _D = ctypes.c_void_p, ctypes.c_int, ctypes.c_float, ctypes.c_double
_ERRFN = ctypes.CFUNCTYPE(_I, _P, ctypes.c_char_p, ctypes.c_char_p, ctypes.POINTER(_I))
_PROTOTYPES = {
    "fmiGetNimbalState": (_P, []),
    "fmiSetErrorFunction": (None, [_P, _ERRFN]),
    "fmiSetWindPressureMode": (None, [_P, _I]),
    "fmiSetUseVolumeFlows": (None, [_P]),
    "fmiSetupSimulation": (_I, [_P, ctypes.c_char_p]),
    "fmiDoCoSimStep": (_I, [_P, _I]),
    "fmiEndSimulation": (_I, [_P]),
    "fmiGetCurrentDate": (_I, [_P]),
    "fmiGetCurrentTime": (_I, [_P]),
    "fmiGetSimulationEndDate": (_I, [_P]),
    "fmiGetSimulationEndTime": (_I, [_P]),
    "fmiGetSimulationTimeStep": (_I, [_P]),
    "fmiSetAmbtTemperature": (_I, [_P, _F]),
    "fmiSetAmbtPressure": (_I, [_P, _F]),
    "fmiSetAmbtWndSpd": (_I, [_P, _F]),
    "fmiSetAmbtWndDir": (_I, [_P, _F]),
    "fmiSetAmbtHumRatio": (_I, [_P, _F]),
    "fmiSetZoneTemperature": (_I, [_P, _I, _D]),
    "fmiSetZoneAddMass": (_I, [_P, _I, _I, _D]),
    "fmiSetInputControlValue": (_I, [_P, _I, _F]),
    "fmiSetEnvelopeWP": (_I, [_P, _I, _F]),
    "fmiGetZoneMF": (_I, [_P, _I, _I, ctypes.POINTER(_D)]),
    "fmiGetPathFlows": (_I, [_P, _I, ctypes.POINTER(_D), ctypes.POINTER(_D)]),
    "fmiGetOutputControlValue": (_I, [_P, _I, ctypes.POINTER(_F)]),
}

_library = None


def library(path=None):
    """The engine library loaded with its co-simulation prototypes (once per process)."""
    global _library
    if _library is None:
        lib = ctypes.CDLL(path or tools.find("lib"))
        for name, (res, args) in _PROTOTYPES.items():
            fn = getattr(lib, name)
            fn.restype = res
            fn.argtypes = args
        _library = lib
    return _library


class CoSim:
    """One building stepped from Python. Zones and paths are given by name or number (as in
    the project), species by name or index from 0."""

    def __init__(self, project, lib=None, host_wind_pressures=False, volume_flows=False):
        self.project = project_path(project)
        self.network = describe(self.project)
        self.messages = []
        self._lib = library(lib)
        self._fms = self._lib.fmiGetNimbalState()
        if not self._fms:
            raise tools.FlowmirError("no state record: out of memory", project=self.project)
        self._errfn = _ERRFN(self._hear)  # kept: the engine calls it until the end
        self._lib.fmiSetErrorFunction(self._fms, self._errfn)
        self._lib.fmiSetWindPressureMode(self._fms, 1 if host_wind_pressures else 0)
        if volume_flows:
            self._lib.fmiSetUseVolumeFlows(self._fms)
        rc = self._lib.fmiSetupSimulation(self._fms, self.project.encode())
        if rc != 0:
            problem = next((m for m in self.messages if m.startswith(("ERROR", "FATAL"))), None)
            self._lib.fmiEndSimulation(self._fms)
            self._fms = None
            raise tools.FlowmirError("%s: %s" % (os.path.basename(self.project), problem or "not set up"),
                                     project=self.project, returncode=rc)

    def _hear(self, fms, word, msg, count):
        self.messages.append("%s %s" % (word.decode(errors="replace").strip(), msg.decode(errors="replace").strip()))
        return 0

    # --- numbering ---

    def zone(self, zone):
        if isinstance(zone, int):
            return zone
        for z in self.network["zones"]:
            if z["name"] == zone:
                return z["nr"]
        raise KeyError("no zone %r" % zone)

    def species(self, species):
        if isinstance(species, int):
            return species
        for s in self.network["species"]:
            if s["name"] == species:
                return s["index"]
        raise KeyError("no species %r" % species)

    @staticmethod
    def _check(rc, what):
        if rc != 0:
            raise ValueError("%s refused (code %d)" % (what, rc))

    # --- the clock ---

    @property
    def date(self):
        return self._lib.fmiGetCurrentDate(self._fms)

    @property
    def time(self):
        return self._lib.fmiGetCurrentTime(self._fms)

    @property
    def clock(self):
        """(day of year, seconds after midnight) at the end of the current step."""
        return self.date, self.time

    @property
    def done(self):
        """The clock has reached the run's end date and time."""
        end = (self._lib.fmiGetSimulationEndDate(self._fms), self._lib.fmiGetSimulationEndTime(self._fms))
        return self.clock == end

    def step(self, advance=True):
        """Solves the next step (or, with advance=False, the current one again with new inputs)."""
        self._check(self._lib.fmiDoCoSimStep(self._fms, 1 if advance else 0), "step")

    # --- inputs ---

    def set_ambient(self, T=None, P=None, wind_speed=None, wind_direction=None, humidity_ratio=None):
        lib, f = self._lib, self._fms
        for value, fn, what in ((T, lib.fmiSetAmbtTemperature, "ambient temperature"),
                                (P, lib.fmiSetAmbtPressure, "ambient pressure"),
                                (wind_speed, lib.fmiSetAmbtWndSpd, "wind speed"),
                                (wind_direction, lib.fmiSetAmbtWndDir, "wind direction"),
                                (humidity_ratio, lib.fmiSetAmbtHumRatio, "humidity ratio")):
            if value is not None:
                self._check(fn(f, value), what)

    def set_zone_temperature(self, zone, T):
        self._check(self._lib.fmiSetZoneTemperature(self._fms, self.zone(zone), T), "zone temperature")

    def add_mass(self, zone, species, kg):
        self._check(self._lib.fmiSetZoneAddMass(self._fms, self.zone(zone), self.species(species), kg), "added mass")

    def set_control(self, index, value):
        self._check(self._lib.fmiSetInputControlValue(self._fms, index, value), "control input")

    def set_envelope_wind_pressure(self, env, pressure):
        self._check(self._lib.fmiSetEnvelopeWP(self._fms, env, pressure), "envelope wind pressure")

    # --- results of the current step ---

    def zone_mf(self, zone, species=0):
        x = _D()
        self._check(self._lib.fmiGetZoneMF(self._fms, self.zone(zone), self.species(species), ctypes.byref(x)),
                    "zone mass fraction")
        return x.value

    def path_flows(self, path):
        """(F0, F1) of a path, kg/s (m3/s with volume_flows), positive from its first end."""
        f0, f1 = _D(), _D()
        self._check(self._lib.fmiGetPathFlows(self._fms, path, ctypes.byref(f0), ctypes.byref(f1)), "path flows")
        return f0.value, f1.value

    def control_output(self, index):
        v = _F()
        self._check(self._lib.fmiGetOutputControlValue(self._fms, index, ctypes.byref(v)), "control output")
        return v.value

    # --- the end ---

    def end(self):
        """Writes the last step, closes the results files and frees the record."""
        if self._fms:
            self._lib.fmiEndSimulation(self._fms)
            self._fms = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.end()
        return False


def _child(conn, function, args):
    try:
        conn.send(("ok", function(*args)))
    except BaseException as e:  # noqa: B902 - the parent re-raises it
        conn.send(("raised", e))
    finally:
        conn.close()


def in_child(function, project, *args):
    """Runs function(project, *args) in a child process and returns its result. A FATAL in the
    engine ends only the child; it is raised here as FlowmirError with the log's message."""
    ctx = multiprocessing.get_context("fork")
    parent, child = ctx.Pipe(duplex=False)
    proc = ctx.Process(target=_child, args=(child, function, (project,) + args))
    proc.start()
    child.close()
    outcome = None
    try:
        outcome = parent.recv()
    except EOFError:
        pass
    proc.join()
    if outcome is None:
        prj = project_path(project)
        log = ""
        try:
            with open(os.path.splitext(prj)[0] + ".xlog", errors="replace") as f:
                log = f.read()
        except OSError:
            pass
        raise tools.FlowmirError("%s: %s" % (os.path.basename(prj), first_problem(log) or
                                             "the child process ended with status %s" % proc.exitcode),
                                 project=prj, log=log, returncode=proc.exitcode)
    kind, value = outcome
    if kind == "raised":
        raise value
    return value
