"""Parameter studies: eight variants of the office on a two-worker Dask cluster give what eight
runs one after the other give, the changes reach the results, and failed variants are
reported without stopping the others."""
import os

import numpy as np
import pandas as pd
import pytest

import flowmir
from flowmir.sweep import run_variant

AXES = {"element:wallcrack.scale": [0.5, 2.0], "zone:UpperOpen.T": [291.15, 297.15], "element:exhaust.flow": [0.03, 0.09]}


def test_eight_variants_on_a_local_cluster_are_eight_runs(examples, tmp_path, capsys):
    distributed = pytest.importorskip("distributed")
    variants = flowmir.grid(AXES)
    assert len(variants) == 8
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        frame = flowmir.sweep(examples / "office.prj", variants, tmp_path / "cluster", client=client)
    assert "sweep: 8 of 8 done" in capsys.readouterr().err

    project = str(examples / "office.prj")
    for number, changes in enumerate(variants, start=1):
        alone, error = run_variant(project, str(tmp_path / "alone" / str(number)), changes)
        assert error is None
        got = frame[frame["variant"] == number]
        assert got["error"].isna().all()
        for name, value in changes.items():
            assert (got[name] == value).all()
        pd.testing.assert_frame_equal(got[alone.columns], alone)
        # The changes as the results show them: the fan's constant flow, the room's temperature.
        np.testing.assert_allclose(got["P8 Corridor>ambient:F0_kg/s"], changes["element:exhaust.flow"], rtol=1e-6)
        np.testing.assert_allclose(got["UpperOpen:T_K"], changes["zone:UpperOpen.T"], rtol=1e-6)
        assert os.path.exists(tmp_path / "cluster" / ("v%03d" % number) / "office.sim")
    # Tighter walls let in less outdoor air.
    inflow = frame.groupby(["variant"])["P1 ambient>OfficeWest:F0_kg/s"].mean()
    assert inflow[1] < inflow[5]


def test_failed_variants_are_reported_and_the_others_run(examples, tmp_path, capsys):
    cold = tmp_path / "cold.wth"
    text = (examples / "office.wth").read_text().split("\n")
    cold.write_text("\n".join(text[:5] + [_colder(line) for line in text[5:]]))
    variants = [{"zone:UpperOpen.T": 290.0}, {"zone:Attic.T": 290.0}, {"weather": "missing.wth"},
                {"weather": str(cold)}]
    frame = flowmir.sweep(examples / "office.prj", variants, tmp_path / "study", workers=2)
    by = frame.groupby("variant")
    errors = by["error"].first()
    assert errors[1] is None and errors[4] is None
    assert errors[2] == "office.prj: ERROR Project change not applied: zone:Attic.T=290.0"
    assert errors[3] == "office.prj: FATAL Could not open WTH file missing.wth: No such file or directory"
    assert by.size()[1] == 50 and by.size()[2] == 1
    err = capsys.readouterr().err
    assert "variant 2 failed: office.prj: ERROR Project change not applied" in err
    assert "sweep: 4 of 4 done" in err
    # The cold weather file went into the variant's folder and reached the run.
    assert (tmp_path / "study" / "v004" / "cold.wth").exists()
    r = flowmir.load(tmp_path / "study" / "v004" / "office.prj")
    base = flowmir.load(tmp_path / "study" / "v001" / "office.prj")
    np.testing.assert_allclose(r.ambient()["Ta_K"], base.ambient()["Ta_K"] - 10.0, rtol=1e-6)


def _colder(line):
    """A weather record 10 K colder."""
    words = line.split()
    if len(words) > 3:
        words[2] = "%.2f" % (float(words[2]) - 10.0)
    return " ".join(words)
