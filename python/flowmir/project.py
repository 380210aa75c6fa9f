"""A project file, the network the engine assembles from it, and the host's failures."""
import json
import os
import shutil
import subprocess
import tempfile

from . import tools


def project_path(project):
    """The project file's path, with ".prj" added when it was left out."""
    project = os.fspath(project)
    if not project.endswith(".prj") and not os.path.exists(project) and os.path.exists(project + ".prj"):
        project += ".prj"
    return os.path.abspath(project)


def change_args(changes):
    """--set arguments for changes given as {"zone:Office.T": 295.15, "weather": "cold.wth"}."""
    args = []
    for name, value in (changes or {}).items():
        args += ["--set", "%s=%s" % (name, value)]
    return args


def first_problem(log_text):
    """The first ERROR or FATAL message of a log (or of the host's standard error), on one line."""
    lines = log_text.splitlines()
    for i, line in enumerate(lines):
        if not line.startswith(("ERROR", "FATAL")):
            continue
        word, _, rest = line.partition(" ")
        if rest.strip() and "(file " not in rest:
            return line.strip()
        # The log gives the severity and the reporting place, then the message's indented lines.
        message = []
        for follow in lines[i + 1:]:
            if not follow.startswith((" ", "\t")) or not follow.strip():
                break
            message.append(follow.strip())
        return "%s %s" % (word, " ".join(message)) if message else line.strip()
    return None


def _log_of(prj):
    log = os.path.splitext(prj)[0] + ".xlog"
    try:
        with open(log, errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def fail(prj, proc, what, log_from=None):
    """Raises FlowmirError for a failed host process, with the first problem of the log it
    left beside log_from (the project by default)."""
    log = _log_of(log_from or prj)
    problem = first_problem(log) or first_problem(proc.stderr or "")
    if not problem:
        problem = "%s failed with status %d" % (what, proc.returncode)
    raise tools.FlowmirError("%s: %s" % (os.path.basename(prj), problem), project=prj, log=log,
                             returncode=proc.returncode)


def describe(project, changes=None):
    """The assembled network of a project as a dict (flowmir --describe).

    The engine writes a log beside every project it reads: it reads this one from a scratch
    folder that links to the project's folder, so the log of the project's last run stays.
    """
    prj = project_path(project)
    src = os.path.dirname(prj)
    with tempfile.TemporaryDirectory(prefix="flowmir-describe-") as scratch:
        for entry in os.listdir(src):
            if not entry.endswith(".xlog"):
                os.symlink(os.path.join(src, entry), os.path.join(scratch, entry))
        cmd = [tools.find("host"), "-q", "--describe"] + change_args(changes) + [os.path.basename(prj)]
        proc = subprocess.run(cmd, cwd=scratch, capture_output=True, text=True, errors="replace")
        if proc.returncode != 0:
            fail(prj, proc, "describing the network", log_from=os.path.join(scratch, os.path.basename(prj)))
    return json.loads(proc.stdout)


def input_files(prj):
    """The input files a project names beside it (weather, contaminants, value files, wind pressures)."""
    names = []
    try:
        run_info = describe(prj)["run"]
    except tools.FlowmirError:
        return names
    for key in ("weather", "contaminants", "cvf", "dvf", "wpc"):
        name = run_info.get(key, "")
        if name and name != "null":
            names.append(name)
    return names


def copy_project(prj, workdir):
    """Copies a project and the input files it names into workdir; returns the copy's path."""
    os.makedirs(workdir, exist_ok=True)
    src_dir = os.path.dirname(prj)
    target = os.path.join(workdir, os.path.basename(prj))
    shutil.copyfile(prj, target)
    for name in input_files(prj):
        src = os.path.join(src_dir, name)
        if os.path.isfile(src) and not os.path.isabs(name):
            dst = os.path.join(workdir, name)
            os.makedirs(os.path.dirname(dst) or workdir, exist_ok=True)
            shutil.copyfile(src, dst)
    return target
