"""Parameter studies: many variants of one project, each in its own folder.

A variant is a set of named changes, applied by the engine to the project as it reads it
(flowmir --set), so no edited copies of the project are made by hand:

    variants = flowmir.grid({"element:wallcrack.scale": [0.5, 1, 2],
                             "zone:UpperOpen.T": [293.15, 297.15]})
    frame = flowmir.sweep("office.prj", variants, "study")

Each variant runs in study/v001, study/v002, ... on all cores of this machine, or on a Dask
cluster when a dask.distributed Client is given (client=Client(...)). The results come back
as one DataFrame: the variant's number and parameters, then what collect(result) returned
for it (by default every zone's pressure and every path's flows, a row per listing time). A
variant that fails is reported with its message in the "error" column and on the progress
stream; the others go on.
"""
import concurrent.futures
import itertools
import os
import shutil
import sys
import time

import pandas as pd

from . import tools
from .project import copy_project, project_path
from .runner import run


def grid(axes):
    """Every combination of the values of each change: {"name": [v1, v2], ...} -> [dict, ...]."""
    names = list(axes)
    return [dict(zip(names, values)) for values in itertools.product(*(axes[n] for n in names))]


def default_collect(result):
    """Zone pressures and temperatures and path flows, one row per listing time, with columns
    "NAME:QUANTITY" as flowmir-sim --wide heads them."""
    parts = [result.wide("nodes"), result.wide("paths")]
    frame = pd.concat(parts, axis=1)
    frame.columns = ["%s:%s" % c for c in frame.columns]
    return frame


def _prepare(prj, folder, changes):
    """The variant's folder with the project and its inputs, and its changes with any
    replacement input file copied in beside it."""
    if os.path.isdir(folder):
        shutil.rmtree(folder)
    target = copy_project(prj, folder)
    args = {}
    for name, value in changes.items():
        if name in ("weather", "contaminants") and os.path.isfile(str(value)):
            shutil.copyfile(str(value), os.path.join(folder, os.path.basename(str(value))))
            value = os.path.basename(str(value))
        args[name] = value
    return target, args


def run_variant(prj, folder, changes, collect=None):
    """One variant: (frame, None) when it ran, (None, message) when it did not."""
    try:
        target, args = _prepare(prj, folder, changes)
        result = run(target, changes=args)
        frame = (collect or default_collect)(result)
        if not isinstance(frame, pd.DataFrame):
            frame = pd.DataFrame([frame]) if isinstance(frame, dict) else pd.DataFrame({"value": [frame]})
        return frame, None
    except tools.FlowmirError as e:
        return None, str(e)
    except Exception as e:  # a variant's failure is reported, not raised
        return None, "%s: %s" % (type(e).__name__, e)


class Progress:
    """Variants done of total, time elapsed and expected remaining, on one line."""

    def __init__(self, total, stream=None, enabled=True):
        self.total, self.done, self.stream, self.enabled = total, 0, stream or sys.stderr, enabled
        self.start = time.monotonic()

    def update(self, number, error=None):
        self.done += 1
        if not self.enabled:
            return
        elapsed = time.monotonic() - self.start
        left = elapsed / self.done * (self.total - self.done)
        line = "sweep: %d of %d done, %.1f s elapsed, about %.1f s left" % (self.done, self.total, elapsed, left)
        if error:
            line += "; variant %d failed: %s" % (number, error)
        print(line, file=self.stream, flush=True)


def _assemble(variants, outcomes):
    frames = []
    for number, (changes, (frame, error)) in enumerate(zip(variants, outcomes), start=1):
        if frame is None:
            frame = pd.DataFrame(index=pd.DatetimeIndex([pd.NaT], name="time"))
        frame = frame.copy()
        head = {"variant": number}
        head.update(changes)
        head["error"] = error
        for i, (name, value) in enumerate(head.items()):
            frame.insert(i, name, [value] * len(frame))
        frames.append(frame)
    return pd.concat(frames) if frames else pd.DataFrame()


def sweep(project, variants, root, client=None, workers=None, collect=None, progress=True):
    """Runs each variant (a dict of changes) of the project in root/vNNN and returns the
    collected results with the variants' parameters as columns. client: a dask.distributed
    Client to run them on its cluster; otherwise a pool of workers (all cores by default)."""
    prj = project_path(project)
    variants = [dict(v) for v in variants]
    root = os.path.abspath(root)
    os.makedirs(root, exist_ok=True)
    folders = [os.path.join(root, "v%03d" % n) for n in range(1, len(variants) + 1)]
    bar = Progress(len(variants), enabled=progress)
    outcomes = [None] * len(variants)
    if client is not None:
        from distributed import as_completed
        futures = client.map(run_variant, [prj] * len(variants), folders, variants, [collect] * len(variants),
                             pure=False)
        where = {f.key: i for i, f in enumerate(futures)}
        for future in as_completed(futures):
            i = where[future.key]
            outcomes[i] = future.result()
            bar.update(i + 1, outcomes[i][1])
    else:
        with concurrent.futures.ThreadPoolExecutor(max_workers=workers or os.cpu_count() or 1) as pool:
            futures = {pool.submit(run_variant, prj, folders[i], variants[i], collect): i for i in range(len(variants))}
            for future in concurrent.futures.as_completed(futures):
                i = futures[future]
                outcomes[i] = future.result()
                bar.update(i + 1, outcomes[i][1])
    return _assemble(variants, outcomes)
