"""Plots are PNG files of the promised size that show lines in the colours of their legend."""
import matplotlib.image as mpimg
import numpy as np
import pytest

import flowmir


def drawn(path):
    img = mpimg.imread(str(path))
    assert img.shape[:2] == (480, 900)  # 9 x 4.8 inches at 100 dpi
    rgb = img[:, :, :3]
    return rgb


def has_colour(rgb, colour, least=200):
    """Pixels close to a matplotlib cycle colour (a drawn line), at least `least` of them."""
    target = np.array([int(colour[i:i + 2], 16) / 255 for i in (1, 3, 5)])
    return (np.abs(rgb - target).max(axis=2) < 0.05).sum() >= least


CYCLE = ["#1f77b4", "#ff7f0e", "#2ca02c", "#d62728"]


@pytest.mark.parametrize("kind,quantity", [("pressures", "pressures"), ("flows", "flows"), ("ach", "air_changes")])
def test_office_plots(office_result, tmp_path, kind, quantity):
    frame = getattr(office_result, quantity)()
    fig = flowmir.plot.KINDS[kind](office_result, None)
    lines = fig.axes[0].get_lines()
    assert [ln.get_label() for ln in lines] == list(frame.columns)
    for ln, name in zip(lines, frame.columns):
        np.testing.assert_array_equal(ln.get_ydata(), frame[name].values)
    out = tmp_path / (kind + ".png")
    fig.savefig(out)
    assert out.stat().st_size > 20000
    rgb = drawn(out)
    assert (rgb.min(axis=2) < 0.9).mean() > 0.01  # far from blank
    # The two offices' lines may lie on each other; the others show.
    assert sum(has_colour(rgb, c) for c in CYCLE) >= 3


def test_chosen_paths_only(office_result, tmp_path):
    out = tmp_path / "three.png"
    fig = flowmir.plot.flows(office_result, None, paths=["P5", "P7", "P8"])
    assert [t.get_text() for t in fig.axes[0].get_legend().get_texts()] == \
        ["P5 OfficeWest>Corridor", "P7 Corridor>UpperOpen", "P8 Corridor>ambient"]
    fig.savefig(out)
    rgb = drawn(out)
    assert has_colour(rgb, CYCLE[2]) and not has_colour(rgb, CYCLE[3], least=1)


def test_concentrations(examples, tmp_path):
    r = flowmir.run(examples / "co2_office.prj")
    out = tmp_path / "co2.png"
    flowmir.plot.concentrations(r, str(out))
    rgb = drawn(out)
    assert all(has_colour(rgb, c) for c in CYCLE)
    with pytest.raises(ValueError, match="simulates no species"):
        flowmir.plot.concentrations(flowmir.run(examples / "office.prj"), str(tmp_path / "none.png"))
