"""flowmir.CoSim steps a building as a batch run would, takes inputs, and a FATAL in a child
process comes back as an exception."""
import pytest

import flowmir
from flowmir.cosim import CoSim, in_child


def test_stepped_without_changes_is_the_batch_run(examples, tmp_path):
    batch = flowmir.run(examples / "co2_office.prj", workdir=tmp_path / "batch")
    readings = {}
    with CoSim(examples / "co2_office.prj") as sim:
        assert sim.clock == (1, 28800) and not sim.done
        while not sim.done:
            sim.step()
            readings[sim.clock] = (sim.path_flows(1), sim.zone_mf("Meeting", "CO2"))
    assert sorted(readings) == [(1, 3600 * h) for h in range(9, 19)]
    stepped = flowmir.load(examples / "co2_office.prj")
    for table in ("paths", "concs"):
        assert stepped.wide(table).equals(batch.wide(table))
    c = batch.concentrations("CO2")["Meeting"]
    for (day, t), (flows, mf) in readings.items():
        assert mf == pytest.approx(c.loc["2001-01-01 %02d:00" % (t // 3600)], rel=1e-6)
        assert flows == pytest.approx((0.03, 0.0), rel=1e-6)


def test_inputs_reach_the_step(examples):
    with CoSim(examples / "co2_office.prj") as sim:
        sim.step()
        before = sim.zone_mf("Meeting", "CO2")
        sim.add_mass("Meeting", "CO2", 0.01)
        # The dose over the room's air mass: 45 m3 at its temperature and the ambient pressure.
        meeting = next(z for z in sim.network["zones"] if z["name"] == "Meeting")
        mass = meeting["volume"] * 101325.0 / (287.055 * meeting["temperature"])
        assert sim.zone_mf("Meeting", "CO2") - before == pytest.approx(0.01 / mass, rel=0.01)
        sim.step()
        assert sim.zone_mf("Meeting", "CO2") > before
        with pytest.raises(ValueError, match="ambient temperature refused"):
            sim.set_ambient(T=-5.0)
        with pytest.raises(KeyError):
            sim.zone("Attic")


def fatal_project(examples):
    """The CO2 office asking for steady contaminants with the short-time-step method: FATAL."""
    lines = (examples / "co2_office.prj").read_text().split("\n")
    for n in (18, 22):  # the contaminant simulation and transport method lines of the run control
        words = lines[n].split()
        words[0] = "1"
        lines[n] = " ".join(words)
    path = examples / "fatal.prj"
    path.write_text("\n".join(lines))
    return path


def steps(project):
    with CoSim(project) as sim:
        n = 0
        while not sim.done:
            sim.step()
            n += 1
        return n


def test_a_fatal_in_a_child_is_raised_here(examples):
    assert in_child(steps, str(examples / "co2_office.prj")) == 10
    with pytest.raises(flowmir.FlowmirError,
                       match="fatal.prj: FATAL Steady contaminant simulation requires the implicit transport solver$"):
        in_child(steps, str(fatal_project(examples)))
