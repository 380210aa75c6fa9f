"""flowmir from Python: run projects, read their results as pandas DataFrames, plot them,
step a building through the co-simulation interface, and run parameter studies.

    import flowmir
    result = flowmir.run("examples/office.prj")
    result.air_changes()                  # 1/h, a column per zone, indexed by time
    result.flows().at_time("03:00")       # kg/s, a column per path ("P7 Corridor>UpperOpen")
"""
import importlib

from .cosim import CoSim
from .results import Result, load, time_index
from .project import describe
from .runner import run
from .sweep import grid, sweep
from .tools import FlowmirError, find



def __getattr__(name):
    # matplotlib is slow to import: only programs that plot pay for it (not sweep workers).
    if name == "plot":
        return importlib.import_module(".plot", __name__)
    raise AttributeError("module 'flowmir' has no attribute %r" % name)


__all__ = ["CoSim", "FlowmirError", "Result", "describe", "find", "grid", "load", "plot", "run", "sweep",
           "time_index"]
