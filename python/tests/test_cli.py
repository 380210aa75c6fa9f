"""python3 -m flowmir run|plot|describe|sweep as a user types them."""
import json
import os
import subprocess
import sys

import pandas as pd

from conftest import PACKAGE_ROOT


def cli(*args, cwd):
    env = dict(os.environ, PYTHONPATH=PACKAGE_ROOT)
    return subprocess.run([sys.executable, "-m", "flowmir"] + [str(a) for a in args], cwd=cwd, env=env,
                          capture_output=True, text=True)


def test_describe_run_plot_sweep(examples):
    d = examples.parent
    r = cli("describe", "examples/office.prj", cwd=d)
    assert r.returncode == 0, r.stderr
    assert [z["name"] for z in json.loads(r.stdout)["zones"]] == ["OfficeWest", "Corridor", "OfficeEast", "UpperOpen"]

    r = cli("run", "examples/office.prj", "--csv", "office", "--ach", cwd=d)
    assert r.returncode == 0, r.stderr
    paths = pd.read_csv(d / "office-paths.csv", index_col=0)
    assert "P7 Corridor>UpperOpen:F0_kg/s" in paths.columns and len(paths) == 50
    assert "UpperOpen" in r.stdout and "mean" in r.stdout

    r = cli("plot", "examples/office.prj", "--kind", "pressures", "--out", "p.png", cwd=d)
    assert r.returncode == 0, r.stderr
    assert (d / "p.png").stat().st_size > 20000

    r = cli("sweep", "examples/office.prj", "--vary", "path:7.mult=0.5,2", "--root", "study", "--out", "s.csv",
            "--workers", "2", cwd=d)
    assert r.returncode == 0, r.stderr
    assert "wrote s.csv: 2 variants, 0 failed" in r.stdout and "sweep: 2 of 2 done" in r.stderr
    s = pd.read_csv(d / "s.csv")
    assert sorted(s["path:7.mult"].unique()) == [0.5, 2.0]


def test_a_failed_run_exits_with_status_2(examples):
    r = cli("run", "examples/office.prj", "--set", "zone:Attic.T=290", cwd=examples.parent)
    assert r.returncode == 2
    assert r.stderr == "flowmir: office.prj: ERROR Project change not applied: zone:Attic.T=290\n"
