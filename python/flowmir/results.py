"""A run's results as pandas DataFrames indexed by time.

Tables come from the ".sim" file through flowmir-sim (which labels them from the project) or,
with source="database", from the run's ".sqlite3" database. The index is a DatetimeIndex in
a nominal non-leap year (2001, like the engine's 365-day year); a run across the year's end
goes on into 2002.
"""
import io
import os
import sqlite3
import subprocess

import numpy as np
import pandas as pd

from . import tools
from .project import describe, project_path

YEAR = 2001


def time_index(days, seconds):
    """Timestamps of (day of year, seconds after midnight) pairs in order, rolling into the
    next year when the day of year falls back."""
    days = np.asarray(days, dtype=np.int64)
    seconds = np.asarray(seconds, dtype=np.int64)
    year_offset = np.concatenate([[0], np.cumsum(np.diff(days) < 0)]) if len(days) else days
    total = (year_offset * 365 + days - 1) * 86400 + seconds
    return pd.DatetimeIndex(pd.Timestamp(YEAR, 1, 1) + pd.to_timedelta(total, unit="s"), name="time")


def _split_columns(frame):
    """NAME:QUANTITY columns as a (name, quantity) MultiIndex."""
    pairs = [tuple(c.rsplit(":", 1)) for c in frame.columns]
    frame.columns = pd.MultiIndex.from_tuples(pairs, names=["name", "quantity"])
    return frame


class Result:
    """The results of one run of a project: network, tables and quantities over time."""

    def __init__(self, project, source="sim"):
        self.project = project_path(project)
        base = os.path.splitext(self.project)[0]
        self.sim_path = base + ".sim"
        self.db_path = base + ".sqlite3"
        self.log_path = base + ".xlog"
        self.source = source
        self._network = None
        self._tables = {}

    def __repr__(self):
        return "Result(%r)" % self.project

    @property
    def network(self):
        """The assembled network as flowmir --describe gives it."""
        if self._network is None:
            self._network = describe(self.project)
        return self._network

    def zone_info(self):
        """The zones as a DataFrame indexed by name."""
        return pd.DataFrame(self.network["zones"]).set_index("name")

    def path_info(self):
        """The paths as a DataFrame indexed by number, with their ends' names."""
        return pd.DataFrame(self.network["paths"]).set_index("nr")

    # --- tables of the .sim file ---

    def _sim(self, table, wide):
        args = [tools.find("sim"), "--table", table, "--project", self.project]
        if wide:
            args.append("--wide")
        proc = subprocess.run(args + [self.sim_path], capture_output=True, text=True, errors="replace")
        if proc.returncode != 0:
            raise tools.FlowmirError(proc.stderr.strip() or "flowmir-sim failed", project=self.project)
        return pd.read_csv(io.StringIO(proc.stdout))

    def table(self, name):
        """A flowmir-sim table in long form (one row per time and node or path), time-indexed."""
        key = ("long", name)
        if key not in self._tables:
            t = self._sim(name, wide=False)
            if "day" in t and "time" in t:
                t.index = time_index(t["day"], t["time"])
                t = t.rename(columns={"time": "seconds"})
            self._tables[key] = t
        return self._tables[key]

    def wide(self, name):
        """nodes, paths or concs with one row per listing time and (name, quantity) columns."""
        key = ("wide", name)
        if key not in self._tables:
            if self.source == "database":
                t = self._database_wide(name)
            else:
                t = self._sim(name, wide=True)
                t.index = time_index(t["day"], t["time"])
                t = _split_columns(t.drop(columns=["day", "time", "date", "clock"]))
            self._tables[key] = t
        return self._tables[key]

    def ambient(self):
        t = self.table("ambient")
        return t.drop(columns=["day", "daytype", "seconds", "date", "clock"], errors="ignore")

    # --- quantities ---

    def temperatures(self):
        """Zone and junction temperatures, K; one column per name."""
        return self.wide("nodes").xs("T_K", axis=1, level="quantity")

    def pressures(self):
        """Zone and junction gage pressures, Pa."""
        return self.wide("nodes").xs("Pg_Pa", axis=1, level="quantity")

    def densities(self):
        return self.wide("nodes").xs("D_kg/m3", axis=1, level="quantity")

    def path_pressure_differences(self):
        return self.wide("paths").xs("dP_Pa", axis=1, level="quantity")

    def flows(self, which="net"):
        """Path mass flows, kg/s, positive from the first end to the second (the column's
        "P7 Corridor>UpperOpen" reads from Corridor to UpperOpen). which: "net" (both
        directions together), "F0" or "F1" (the two directions of a two-way opening)."""
        w = self.wide("paths")
        f0 = w.xs("F0_kg/s", axis=1, level="quantity")
        f1 = w.xs("F1_kg/s", axis=1, level="quantity")
        return {"net": f0 + f1, "F0": f0, "F1": f1}[which]

    def concentrations(self, species=None):
        """Node mass fractions, kg/kg: one column per (node, species), or per node for one species."""
        w = self.wide("concs")
        return w if species is None else w.xs(species, axis=1, level="quantity")

    def air_changes(self, outdoor=False):
        """Each zone's air change rate, 1/h: the air flowing in through every path, terminal and
        leak (with outdoor=True only the air coming straight from the ambient), over the
        zone's air mass (volume times density)."""
        inflow = self.zone_inflows(outdoor)
        rho = self.densities()
        vol = self.zone_info()["volume"]
        zones = [z for z in inflow.columns if z in rho.columns]
        return inflow[zones] / (rho[zones] * vol[zones]) * 3600.0

    def zone_inflows(self, outdoor=False):
        """Mass flow into each zone, kg/s, summed over both directions of every link (with
        outdoor=True only over the links to the ambient)."""
        w = self.wide("paths")
        net = self.network
        ends = {"P%d" % p["nr"]: (p["fromName"], p["toName"]) for p in net["paths"]}
        for kind, letter in (("terminals", "T"), ("leaks", "L")):
            ends.update({"%s%d" % (letter, t["junction"]): ("J%d" % t["junction"], t["zoneName"]) for t in net[kind]})
        names = [z["name"] for z in self.network["zones"]]
        inflow = pd.DataFrame(0.0, index=w.index, columns=names)
        for head in w.columns.get_level_values("name").unique():
            a, b = ends.get(head.split(" ", 1)[0], ("", ""))
            if outdoor and "ambient" not in (a, b):
                continue
            for q in ("F0_kg/s", "F1_kg/s"):
                f = w[(head, q)]
                if b in inflow:
                    inflow[b] += f.clip(lower=0.0)
                if a in inflow:
                    inflow[a] += (-f).clip(lower=0.0)
        return inflow

    # --- the database ---

    def _database_wide(self, name):
        if not os.path.exists(self.db_path):
            raise tools.FlowmirError("%s: no results database" % self.db_path, project=self.project)
        con = sqlite3.connect("file:%s?mode=ro" % self.db_path, uri=True)
        try:
            times = pd.read_sql_query("SELECT TimeID, dayofyear, Time FROM TIME ORDER BY TimeID", con)
            zones = {z["nr"]: z["name"] for z in self.network["zones"]}
            if name == "nodes":
                t = pd.read_sql_query("SELECT * FROM NODEZONEFLOWDATA", con)
                t["name"] = t["ZoneNumber"].map(zones)
                t = t.rename(columns={"Temperature": "T_K", "Pressure": "Pg_Pa", "Density": "D_kg/m3"})
                values = ["T_K", "Pg_Pa", "D_kg/m3"]
            elif name == "paths":
                t = pd.read_sql_query("SELECT * FROM LINKPATHDATA", con)
                heads = {p["nr"]: "P%d %s>%s" % (p["nr"], p["fromName"], p["toName"]) for p in self.network["paths"]}
                t["name"] = t["PathNumber"].map(heads)
                t = t.rename(columns={"dP": "dP_Pa", "Flow0": "F0_kg/s", "Flow1": "F1_kg/s"})
                values = ["dP_Pa", "F0_kg/s", "F1_kg/s"]
            elif name == "concs":
                t = pd.read_sql_query("SELECT * FROM NODEZONECCDATA", con)
                t["name"] = t["ZoneNumber"].map(zones)
                values = [c for c in t.columns if c not in ("TimeID", "ZoneNumber", "name")]
            else:
                raise ValueError("no database table for %r" % name)
        finally:
            con.close()
        t = t.pivot(index="TimeID", columns="name", values=values)
        t.columns = t.columns.swaplevel(0, 1)
        t.columns.names = ["name", "quantity"]
        t = t.reindex(times["TimeID"])
        t.index = time_index(times["dayofyear"], times["Time"])
        return t.sort_index(axis=1)


def load(project, source="sim"):
    """The results a run of the project left beside it."""
    return Result(project, source=source)
