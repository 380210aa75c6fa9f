"""flowmir --describe against the project files themselves: counts, names and path ends of
every test project, read here from the files' own lines, and the node and link numbers
against the ids of a results file."""
import glob
import json
import os
import shutil
import subprocess

import pytest

from conftest import EXAMPLES, TEST_PROJECTS

# The projects by folder and name: each is described in a copy of its folder, where the log goes.
PROJECTS = [("projects", os.path.basename(p)) for p in sorted(glob.glob(os.path.join(TEST_PROJECTS, "*.prj")))] + \
    [("examples", os.path.basename(p)) for p in sorted(glob.glob(os.path.join(EXAMPLES, "*.prj")))]


@pytest.fixture(scope="module")
def folders(tmp_path_factory):
    root = tmp_path_factory.mktemp("describe")
    for name, src in (("projects", TEST_PROJECTS), ("examples", EXAMPLES)):
        shutil.copytree(src, root / name, ignore=shutil.ignore_patterns("*.sim", "*.xlog", "*.sqlite3"))
    return root

# Sections by their place among the -999 terminators.
SPECIES, LEVELS, ELEMENTS, DUCT_ELEMENTS, CONTROLS, ZONES, PATHS, JUNCTIONS, DUCTS = 1, 2, 10, 11, 13, 15, 17, 18, 20


def sections(path):
    chunks, current = [], []
    with open(path, errors="replace") as f:
        for line in f:
            words = line.split("!")[0].split()
            if words and words[0] == "-999":
                chunks.append(current)
                current = []
            elif words:
                current.append(words)
    return chunks


def records(chunk, width):
    """Record lines: the ones that begin with the next record number and are wide enough."""
    out, want = [], 1
    for words in chunk[1:]:
        if len(words) >= width and words[0] == str(want):
            out.append(words)
            want += 1
    return out


def describe(host, project):
    r = subprocess.run([host, "-q", "--describe", os.path.basename(project)], cwd=os.path.dirname(project),
                       capture_output=True, text=True)
    return r


@pytest.mark.parametrize("folder,name", PROJECTS, ids=[n for _, n in PROJECTS])
def test_describe_matches_the_project_file(programs, folders, folder, name):
    project = str(folders / folder / name)
    r = describe(programs["host"], project)
    assert r.returncode == 0, r.stderr
    net = json.loads(r.stdout)
    s = sections(project)
    count = lambda k: int(s[k][0][0])  # noqa: E731

    assert net["counts"]["zones"] == count(ZONES) == len(net["zones"])
    assert net["counts"]["paths"] == count(PATHS) == len(net["paths"])
    assert net["counts"]["junctions"] == count(JUNCTIONS) == len(net["junctions"])
    assert net["counts"]["ducts"] == count(DUCTS) == len(net["ducts"])
    assert net["counts"]["levels"] == count(LEVELS) == len(net["levels"])
    assert net["counts"]["controls"] == count(CONTROLS) == len(net["controls"])
    assert net["counts"]["species"] == count(SPECIES) == len(net["species"])
    assert len(net["elements"]) == count(ELEMENTS) and len(net["ductElements"]) == count(DUCT_ELEMENTS)

    zones = records(s[ZONES], 11)
    names = {-1: "ambient"}
    for z, words in zip(net["zones"], zones):
        assert (z["nr"], z["name"], z["level"]) == (int(words[0]), words[10], int(words[5]))
        assert z["volume"] == pytest.approx(float(words[7]), rel=1e-6)
        names[z["nr"]] = z["name"]
    levels = {lv["nr"]: lv["name"] for lv in net["levels"]}
    for z in net["zones"]:
        assert z["levelName"] == levels[z["level"]]

    elements = {e["nr"]: e["name"] for e in net["elements"]}
    for words in records(s[ELEMENTS], 4):
        e = net["elements"][int(words[0]) - 1]
        assert (e["type"], e["name"]) == (words[2], words[3])
    for p, words in zip(net["paths"], records(s[PATHS], 15)):
        assert (p["nr"], p["from"], p["to"]) == (int(words[0]), int(words[2]), int(words[3]))
        assert (p["fromName"], p["toName"]) == (names[p["from"]], names[p["to"]])
        assert p["level"] == int(words[10])
        assert p["multiplier"] == pytest.approx(float(words[14]), rel=1e-6)
        if int(words[4]) > 0 and not int(words[1]) & 0x78:  # system paths take the system's element
            assert p["element"] == elements[int(words[4])]

    for d in net["ducts"]:
        assert 1 <= d["from"] <= len(net["junctions"]) and 1 <= d["to"] <= len(net["junctions"])
    terminals = [j["nr"] for j in net["junctions"] if j["terminal"]]
    assert [t["junction"] for t in net["terminals"]] == terminals
    # Every link appears once: paths, ducts, terminals and leaks number them all.
    links = [p["link"] for p in net["paths"]] + [d["link"] for d in net["ducts"]] + \
        [t["link"] for t in net["terminals"]] + [k["link"] for k in net["leaks"]]
    assert sorted(links) == list(range(1, net["counts"]["links"] + 1))


def test_node_and_link_numbers_are_the_results_ids(programs, examples):
    project = str(examples / "office.prj")
    subprocess.run([programs["host"], "-q", "office.prj"], cwd=examples, check=True)
    net = json.loads(describe(programs["host"], project).stdout)
    ids = subprocess.run([programs["sim"], "--table", "ids", str(examples / "office.sim")], capture_output=True,
                         text=True, check=True).stdout.splitlines()[1:]
    nodes = {int(nr): int(s_nr) for kind, nr, styp, s_nr in (i.split(",") for i in ids) if kind == "node"}
    paths = {int(nr): int(s_nr) for kind, nr, styp, s_nr in (i.split(",") for i in ids) if kind == "path"}
    assert all(nodes[z["node"]] == z["nr"] for z in net["zones"])
    assert all(paths[p["link"]] == p["nr"] for p in net["paths"])


def test_a_project_with_errors_is_not_described(programs, tmp_path):
    bad = tmp_path / "bad.prj"
    bad.write_text("not a project\n")
    r = describe(programs["host"], str(bad))
    assert r.returncode == 2 and r.stdout == ""


def test_changes_reach_the_described_network(programs, examples):
    r = subprocess.run([programs["host"], "-q", "--describe", "--set", "zone:UpperOpen.T=300.5", "--set",
                        "path:7.mult=0.25", "--set", "weather=other.wth", "office.prj"], cwd=examples,
                       capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    net = json.loads(r.stdout)
    assert net["zones"][3]["temperature"] == pytest.approx(300.5)
    assert net["paths"][6]["multiplier"] == 0.25
    assert net["run"]["weather"] == "other.wth"
    r = subprocess.run([programs["host"], "-q", "--describe", "--set", "element:nothing.scale=2", "office.prj"],
                       cwd=examples, capture_output=True, text=True)
    assert r.returncode == 2 and r.stdout == ""
    assert "Project change not applied: element:nothing.scale=2" in r.stderr
