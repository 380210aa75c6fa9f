"""Shared fixtures: the package on the path (also for Dask workers), the engine's programs
(FLOWMIR_HOST, FLOWMIR_SIM, FLOWMIR_LIB from CTest, else the build/ folder) and copies of
the bundled examples and test projects."""
import os
import shutil
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
PACKAGE_ROOT = os.path.dirname(HERE)
SOURCE = os.path.dirname(PACKAGE_ROOT)
EXAMPLES = os.path.join(SOURCE, "examples")
TEST_PROJECTS = os.path.join(SOURCE, "tests", "projects")

sys.path.insert(0, PACKAGE_ROOT)
os.environ["PYTHONPATH"] = os.pathsep.join(p for p in (PACKAGE_ROOT, os.environ.get("PYTHONPATH")) if p)

import flowmir  # noqa: E402


@pytest.fixture(scope="session")
def programs():
    return {kind: flowmir.find(kind) for kind in ("host", "sim", "lib")}


@pytest.fixture
def examples(tmp_path):
    """A scratch copy of examples/: runs write their results beside the project."""
    target = tmp_path / "examples"
    shutil.copytree(EXAMPLES, target, ignore=shutil.ignore_patterns("*.sim", "*.xlog", "*.sqlite3", "*.rst", "*.c"))
    return target


@pytest.fixture(scope="module")
def office_result(tmp_path_factory):
    """One run of the office example, shared by the tests that only read it."""
    d = tmp_path_factory.mktemp("office")
    return flowmir.run(os.path.join(EXAMPLES, "office.prj"), workdir=str(d))
