"""Results as DataFrames: the two questions of the guide on the office example, checked
against the air's mass balance and the engine's own database; failures with their message."""
import os
import re
import sqlite3

import numpy as np
import pandas as pd
import pytest

import flowmir
from conftest import SOURCE

GUIDE = os.path.join(SOURCE, "docs", "working-with-results.md")


def guide_code(n):
    blocks = re.findall(r"```python\n(.*?)```", open(GUIDE).read(), re.S)
    return blocks[n]


def test_the_guides_two_questions(examples, monkeypatch):
    monkeypatch.chdir(examples.parent)
    names = {}
    exec(guide_code(0), names)
    result, ach, outdoor, stair = names["result"], names["ach"], names["outdoor"], names["stair"]

    # Two days of hourly listings and the steady start; every room has a rate.
    assert list(ach.columns) == ["OfficeWest", "Corridor", "OfficeEast", "UpperOpen"]
    assert len(ach) == 50 and ach.notna().all().all() and (ach > 0).all().all()
    assert (outdoor <= ach + 1e-12).all().all()

    # What flows in flows out: the rooms' inflows against their outflows, summed here from
    # the long path table with its ends.
    paths = result.table("paths")
    net = paths["F0_kg/s"] + paths["F1_kg/s"]
    out = {}
    for zone in ach.columns:
        leaving = paths["F0_kg/s"].where(paths["from"] == zone, 0).clip(lower=0) + \
            paths["F1_kg/s"].where(paths["from"] == zone, 0).clip(lower=0) + \
            (-paths["F0_kg/s"].where(paths["to"] == zone, 0)).clip(lower=0) + \
            (-paths["F1_kg/s"].where(paths["to"] == zone, 0)).clip(lower=0)
        out[zone] = leaving.groupby([paths["day"], paths["seconds"]], sort=False).sum().values
    inflow = result.zone_inflows()
    for zone in ach.columns:
        np.testing.assert_allclose(inflow[zone].values, out[zone], rtol=2e-5, atol=1e-9)
    assert len(net) == 10 * len(ach)

    # The rate at one time by hand: inflow over volume times density.
    t = pd.Timestamp("2001-01-01 03:00")
    upper = result.zone_info().loc["UpperOpen"]
    assert upper["volume"] == 150
    rho = result.densities().loc[t, "UpperOpen"]
    assert ach.loc[t, "UpperOpen"] == pytest.approx(inflow.loc[t, "UpperOpen"] / (150 * rho) * 3600)

    # The stair at 3 am on both days, against the database the run wrote.
    assert list(stair.index) == [pd.Timestamp("2001-01-01 03:00"), pd.Timestamp("2001-01-02 03:00")]
    con = sqlite3.connect(result.db_path)
    rows = con.execute("SELECT T.dayofyear, P.Flow0 + P.Flow1 FROM LINKPATHDATA P JOIN TIME T "
                       "ON P.TimeID = T.TimeID WHERE P.PathNumber = 7 AND T.Time = 10800 ORDER BY T.TimeID").fetchall()
    con.close()
    assert [d for d, _ in rows] == [1, 2]
    np.testing.assert_allclose(stair.values, [f for _, f in rows], rtol=1e-6)
    assert (stair < 0).all()  # down the stair, from the upper floor to the corridor


def test_the_database_gives_the_same_tables(office_result):
    db = flowmir.load(office_result.project, source="database")
    for table in ("nodes", "paths"):
        a, b = office_result.wide(table), db.wide(table)
        assert sorted(a.columns) == sorted(b.columns)
        assert (a.index == b.index).all()
        np.testing.assert_allclose(a[b.columns].values, b.values, rtol=1e-6, atol=1e-12)


def test_names_and_time_index(office_result):
    p = office_result.pressures()
    assert p.index.name == "time" and p.index[0] == pd.Timestamp("2001-01-01")
    assert p.index[-1] == pd.Timestamp("2001-01-03")  # Jan02 24:00
    f = office_result.flows()
    assert f.columns[6] == "P7 Corridor>UpperOpen" and f.columns[7] == "P8 Corridor>ambient"
    np.testing.assert_allclose(f["P8 Corridor>ambient"], 0.06, rtol=1e-6)  # the constant exhaust fan
    assert (office_result.path_info().loc[7, ["fromName", "toName", "element"]] ==
            ["Corridor", "UpperOpen", "stair"]).all()


def test_time_index_rolls_over_the_year():
    idx = flowmir.time_index([365, 365, 1], [0, 86400, 3600])
    assert list(idx) == [pd.Timestamp("2001-12-31"), pd.Timestamp("2002-01-01"), pd.Timestamp("2002-01-01 01:00")]


def test_concentrations_by_species(examples):
    r = flowmir.run(examples / "co2_office.prj")
    c = r.concentrations("CO2")
    assert list(c.columns) == ["OfficeWest", "OfficeEast", "Meeting", "Corridor"]
    assert c["Meeting"].iloc[-1] > c["Corridor"].iloc[-1] > 0


def test_a_failed_run_raises_the_logs_message(examples):
    with pytest.raises(flowmir.FlowmirError, match=r"office.prj: ERROR Project change not applied: zone:Attic.T=290$"):
        flowmir.run(examples / "office.prj", changes={"zone:Attic.T": 290})
    with pytest.raises(flowmir.FlowmirError, match=r"FATAL Could not open WTH file missing.wth") as e:
        flowmir.run(examples / "office.prj", changes={"weather": "missing.wth"})
    assert e.value.returncode == 2 and "Flowmir finish(2)" in e.value.log


def test_a_run_in_a_workdir_leaves_the_original_folder(examples, tmp_path):
    r = flowmir.run(examples / "office", workdir=tmp_path / "copy")
    assert os.path.exists(r.sim_path) and r.sim_path.startswith(str(tmp_path / "copy"))
    assert not os.path.exists(examples / "office.sim") and not os.path.exists(examples / "office.xlog")
    # Describing the network later leaves the run's log as the run wrote it.
    assert r.network["counts"]["zones"] == 4
    assert "Simulation completed successfully" in open(r.log_path).read()


def test_outdoor_air_changes_add_up_to_the_engines_ach_file(examples):
    # The run control's summary switches (file line 29): air-change rates at every listing time.
    lines = (examples / "office.prj").read_text().split("\n")
    assert lines[28] == "0 0 0 0 0 0 0 0"
    lines[28] = "0 1 0 0 0 0 0 0"
    (examples / "office.prj").write_text("\n".join(lines))
    r = flowmir.run(examples / "office.prj")
    ach = pd.read_csv(os.path.splitext(r.project)[0] + ".ach", sep="\t", skiprows=1)
    # The whole building: the outdoor air entering any room, over the rooms' volume at the
    # reference density 1.2041 kg/m3.
    outdoor = r.zone_inflows(outdoor=True).sum(axis=1) * 3600 / (315.0 * 1.2041)
    day = ach["day"].map({"Jan01": 1, "Jan02": 2})
    seconds = ach["time"].map(lambda t: sum(int(x) * m for x, m in zip(t.split(":"), (3600, 60, 1))))
    want = pd.Series(ach["path"].values, index=flowmir.time_index(day, seconds))
    got = outdoor[~outdoor.index.duplicated(keep="first")].reindex(want.index)
    np.testing.assert_allclose(got.values, want.values, rtol=2e-5)
