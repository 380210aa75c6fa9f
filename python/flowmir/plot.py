"""Plots of a run's results over time, saved as PNG files."""
import matplotlib

matplotlib.use("Agg")
import matplotlib.dates as mdates  # noqa: E402
import matplotlib.pyplot as plt  # noqa: E402


def _select(frame, names):
    if names is None:
        return frame
    keep = [c for c in frame.columns if c in names or str(c).split(" ", 1)[0] in names]
    return frame[keep]


def _figure(frame, title, ylabel, path):
    fig, ax = plt.subplots(figsize=(9, 4.8), dpi=100)
    for name in frame.columns:
        ax.plot(frame.index, frame[name], label=" ".join(name) if isinstance(name, tuple) else str(name))
    ax.set_title(title)
    ax.set_ylabel(ylabel)
    ax.set_xlabel("time")
    ax.grid(True, alpha=0.3)
    ax.xaxis.set_major_formatter(mdates.DateFormatter("%b %d %H:%M"))
    fig.autofmt_xdate()
    if len(frame.columns) <= 12:
        ax.legend(fontsize="small", loc="upper left", bbox_to_anchor=(1.01, 1.0), borderaxespad=0.0)
    fig.tight_layout()
    if path:
        fig.savefig(path)
        plt.close(fig)
    return fig


def pressures(result, path=None, zones=None):
    """Zone gage pressures, Pa, over time."""
    return _figure(_select(result.pressures(), zones), "Zone pressures: %s" % result.network["project"],
                   "gage pressure, Pa", path)


def flows(result, path=None, paths=None, which="net"):
    """Path mass flows, kg/s, positive from the path's first end to its second. paths: labels
    such as "P7" (or whole column names) to draw; every path by default."""
    return _figure(_select(result.flows(which), paths), "Path flows: %s" % result.network["project"],
                   "mass flow, kg/s (+ from first end to second)", path)


def concentrations(result, path=None, species=None, zones=None):
    """Zone mass fractions, kg/kg, of one species (the first by default)."""
    if species is None:
        names = [s["name"] for s in result.network["species"]]
        if not names:
            raise ValueError("%s simulates no species" % result.network["project"])
        species = names[0]
    frame = _select(result.concentrations(species), zones)
    return _figure(frame, "%s: %s" % (species, result.network["project"]), "mass fraction, kg/kg", path)


def air_changes(result, path=None, zones=None):
    """Zone air change rates, 1/h."""
    return _figure(_select(result.air_changes(), zones), "Air change rates: %s" % result.network["project"],
                   "air changes per hour, 1/h", path)


KINDS = {"pressures": pressures, "flows": flows, "concentrations": concentrations, "ach": air_changes}
