"""python3 -m flowmir run|plot|describe|sweep ...: the package's command line."""
import argparse
import json
import sys

from .results import load
from .project import describe
from .runner import run
from .sweep import grid, sweep
from .tools import FlowmirError


def _changes(items):
    changes = {}
    for item in items or []:
        name, sep, value = item.partition("=")
        if not sep:
            raise SystemExit("flowmir: a change is NAME=VALUE, not %r" % item)
        changes[name] = value
    return changes


def _values(text):
    out = []
    for v in text.split(","):
        try:
            out.append(float(v) if any(c in v for c in ".eE") else int(v))
        except ValueError:
            out.append(v)
    return out


def cmd_run(args):
    result = run(args.project, changes=_changes(args.set), workdir=args.workdir)
    print("results: %s" % result.sim_path)
    if args.csv:
        for table in ("nodes", "paths"):
            frame = result.wide(table).copy()
            frame.columns = ["%s:%s" % c for c in frame.columns]
            frame.to_csv("%s-%s.csv" % (args.csv, table))
            print("wrote %s-%s.csv" % (args.csv, table))
    if args.ach:
        print(result.air_changes().describe().loc[["mean", "min", "max"]].round(3).to_string())
    return 0


def cmd_plot(args):
    from . import plot as plots  # matplotlib only when plotting
    result = run(args.project, changes=_changes(args.set)) if args.run else load(args.project)
    kind = plots.KINDS[args.kind]
    options = {}
    if args.names:
        options["paths" if args.kind == "flows" else "zones"] = args.names
    if args.species:
        options["species"] = args.species
    kind(result, args.out, **options)
    print("wrote %s" % args.out)
    return 0


def cmd_describe(args):
    json.dump(describe(args.project, changes=_changes(args.set)), sys.stdout, indent=1)
    print()
    return 0


def cmd_sweep(args):
    axes = {}
    for item in args.vary:
        name, sep, values = item.partition("=")
        if not sep:
            raise SystemExit("flowmir: --vary is NAME=V1,V2,..., not %r" % item)
        axes[name] = _values(values)
    client = None
    if args.scheduler:
        from distributed import Client
        client = Client(args.scheduler)
    try:
        frame = sweep(args.project, grid(axes), args.root, client=client, workers=args.workers)
    finally:
        if client is not None:
            client.close()
    frame.to_csv(args.out)
    failed = frame.drop_duplicates("variant")["error"].notna().sum()
    print("wrote %s: %d variants, %d failed" % (args.out, frame["variant"].nunique(), failed))
    return 1 if failed else 0


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m flowmir", description=__doc__)
    sub = parser.add_subparsers(dest="command", required=True)

    p = sub.add_parser("run", help="run a project")
    p.add_argument("project")
    p.add_argument("--set", action="append", metavar="CHANGE", help="a change, e.g. zone:Office.T=295.15")
    p.add_argument("--workdir", help="run a copy of the project and its inputs in this folder")
    p.add_argument("--csv", metavar="PREFIX", help="write PREFIX-nodes.csv and PREFIX-paths.csv (wide)")
    p.add_argument("--ach", action="store_true", help="print each zone's air change rate (1/h)")
    p.set_defaults(func=cmd_run)

    p = sub.add_parser("plot", help="plot a project's results as a PNG")
    p.add_argument("project")
    p.add_argument("--kind", choices=["ach", "concentrations", "flows", "pressures"], default="flows")
    p.add_argument("--out", required=True, metavar="FILE.png")
    p.add_argument("--names", nargs="+", help="zones (or paths, P7 ...) to draw")
    p.add_argument("--species", help="species of a concentrations plot")
    p.add_argument("--run", action="store_true", help="run the project first")
    p.add_argument("--set", action="append", metavar="CHANGE")
    p.set_defaults(func=cmd_plot)

    p = sub.add_parser("describe", help="print the assembled network as JSON")
    p.add_argument("project")
    p.add_argument("--set", action="append", metavar="CHANGE")
    p.set_defaults(func=cmd_describe)

    p = sub.add_parser("sweep", help="run every combination of changes")
    p.add_argument("project")
    p.add_argument("--vary", action="append", required=True, metavar="NAME=V1,V2",
                   help="a change and its values, e.g. element:wallcrack.scale=0.5,1,2")
    p.add_argument("--root", required=True, help="folder of the variants' folders")
    p.add_argument("--out", required=True, metavar="FILE.csv")
    p.add_argument("--workers", type=int, help="variants at a time on this machine (all cores)")
    p.add_argument("--scheduler", metavar="ADDRESS", help="a dask.distributed scheduler to run them on")
    p.set_defaults(func=cmd_sweep)

    args = parser.parse_args(argv)
    try:
        return args.func(args)
    except FlowmirError as e:
        print("flowmir: %s" % e, file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
