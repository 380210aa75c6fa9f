"""Running the host on a project in a child process."""
import os
import subprocess

from . import tools
from .project import change_args, copy_project, fail, project_path
from .results import Result


def run(project, changes=None, workdir=None, timeout=None, quiet=True):
    """Runs the host on a project and returns its Result.

    changes: named changes applied to the project as read ({"zone:Office.T": 295.15,
    "element:wallcrack.scale": 2, "path:7.mult": 0.5, "weather": "cold.wth"}; see
    flowmir --help). workdir: run a copy of the project and its input files there, leaving
    the original folder untouched. Raises FlowmirError with the log's first ERROR or FATAL
    message when the run fails.
    """
    prj = project_path(project)
    if workdir is not None:
        prj = copy_project(prj, workdir)
    cmd = [tools.find("host")] + (["-q"] if quiet else []) + change_args(changes) + [os.path.basename(prj)]
    proc = subprocess.run(cmd, cwd=os.path.dirname(prj), capture_output=True, text=True, timeout=timeout)
    if proc.returncode != 0:
        fail(prj, proc, "the run")
    return Result(prj)
