#!/usr/bin/env python3
"""The lid-driven cavity in OpenFOAM (Debian's openfoam package, simpleFoam, laminar), for the
side-by-side comparison with bench_cfd: the same mesh of n x n cells, one core, the error of the
centreline profiles against the tables of Ghia, Ghia & Shin (1982) after every `every`
iterations, and the processor time to reach it.

    python3 bench/openfoam/cavity.py --re 100 --n 128 [--dir /tmp/ofcav] [--every 100] [--iters 6000]
"""
import argparse
import os
import re
import subprocess
import sys

YS = [0, 0.0547, 0.0625, 0.0703, 0.1016, 0.1719, 0.2813, 0.4531, 0.5, 0.6172, 0.7344, 0.8516, 0.9531,
      0.9609, 0.9688, 0.9766, 1]
XS = [0, 0.0625, 0.0703, 0.0781, 0.0938, 0.1563, 0.2266, 0.2344, 0.5, 0.8047, 0.8594, 0.9063, 0.9453,
      0.9531, 0.9609, 0.9688, 1]
U = {100: [0, -0.03717, -0.04192, -0.04775, -0.06434, -0.10150, -0.15662, -0.21090, -0.20581, -0.13641,
           0.00332, 0.23151, 0.68717, 0.73722, 0.78871, 0.84123, 1],
     400: [0, -0.08186, -0.09266, -0.10338, -0.14612, -0.24299, -0.32726, -0.17119, -0.11477, 0.02135,
           0.16256, 0.29093, 0.55892, 0.61756, 0.68439, 0.75837, 1]}
V = {100: [0, 0.09233, 0.10091, 0.10890, 0.12317, 0.16077, 0.17507, 0.17527, 0.05454, -0.24533, -0.22445,
           -0.16914, -0.10313, -0.08864, -0.07391, -0.05906, 0]}

HEAD = """FoamFile
{
    version 2.0;
    format ascii;
    class %s;
    object %s;
}
"""


def write(path, cls, obj, body):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(HEAD % (cls, obj) + body)


def make_case(d, re_, n, iters, every):
    write(f"{d}/system/blockMeshDict", "dictionary", "blockMeshDict", f"""
convertToMeters 1;
vertices ((0 0 0) (1 0 0) (1 1 0) (0 1 0) (0 0 0.1) (1 0 0.1) (1 1 0.1) (0 1 0.1));
blocks (hex (0 1 2 3 4 5 6 7) ({n} {n} 1) simpleGrading (1 1 1));
boundary
(
    lid {{ type wall; faces ((3 7 6 2)); }}
    walls {{ type wall; faces ((0 4 7 3) (2 6 5 1) (1 5 4 0)); }}
    sides {{ type empty; faces ((0 3 2 1) (4 5 6 7)); }}
);
""")
    write(f"{d}/system/controlDict", "dictionary", "controlDict", f"""
application simpleFoam;
startFrom startTime;
startTime 0;
stopAt endTime;
endTime {iters};
deltaT 1;
writeControl timeStep;
writeInterval {every};
purgeWrite 0;
writeFormat ascii;
writePrecision 8;
writeCompression off;
timeFormat general;
timePrecision 8;
runTimeModifiable false;
""")
    write(f"{d}/system/fvSchemes", "dictionary", "fvSchemes", """
ddtSchemes { default steadyState; }
gradSchemes { default Gauss linear; }
divSchemes { default none; div(phi,U) bounded Gauss linearUpwind grad(U); div((nuEff*dev2(T(grad(U))))) Gauss linear; }
laplacianSchemes { default Gauss linear corrected; }
interpolationSchemes { default linear; }
snGradSchemes { default corrected; }
""")
    write(f"{d}/system/fvSolution", "dictionary", "fvSolution", """
solvers
{
    p { solver GAMG; smoother GaussSeidel; tolerance 1e-8; relTol 0.05; }
    U { solver smoothSolver; smoother symGaussSeidel; tolerance 1e-8; relTol 0.1; }
}
SIMPLE { nNonOrthogonalCorrectors 0; pRefCell 0; pRefValue 0; consistent no; }
relaxationFactors { fields { p 0.3; } equations { U 0.7; } }
""")
    write(f"{d}/constant/transportProperties", "dictionary", "transportProperties",
          f"\ntransportModel Newtonian;\nnu {1.0 / re_};\n")
    write(f"{d}/constant/turbulenceProperties", "dictionary", "turbulenceProperties",
          "\nsimulationType laminar;\n")
    write(f"{d}/0/U", "volVectorField", "U", """
dimensions [0 1 -1 0 0 0 0];
internalField uniform (0 0 0);
boundaryField
{
    lid { type fixedValue; value uniform (1 0 0); }
    walls { type noSlip; }
    sides { type empty; }
}
""")
    write(f"{d}/0/p", "volScalarField", "p", """
dimensions [0 2 -2 0 0 0 0];
internalField uniform 0;
boundaryField
{
    lid { type zeroGradient; }
    walls { type zeroGradient; }
    sides { type empty; }
}
""")


def foam(d, *args):
    cmd = ". /usr/share/openfoam/etc/bashrc >/dev/null 2>&1; " + " ".join(args)
    return subprocess.run(["bash", "-c", cmd], cwd=d, capture_output=True, text=True, check=True).stdout


def read_vectors(path, count):
    text = open(path).read()
    m = re.search(r"internalField\s+nonuniform\s+List<vector>\s*\n?(\d+)\s*\(", text)
    start = m.end()
    vals = re.findall(r"\(([^()]+)\)", text[start:])[:count]
    return [tuple(float(x) for x in v.split()) for v in vals]


def interp(xs, ys, x):
    if x <= xs[0]:
        return ys[0]
    for i in range(len(xs) - 1):
        if x <= xs[i + 1]:
            return ys[i] + (ys[i + 1] - ys[i]) * (x - xs[i]) / (xs[i + 1] - xs[i])
    return ys[-1]


def errors(d, t, n, cells, re_):
    u = read_vectors(f"{d}/{t}/U", n * n)
    h = 1.0 / n
    # Cell (i, j) is number j * n + i; the centrelines lie between columns n/2 - 1 and n/2.
    col = [(0.0, 0.0)] + [((j + 0.5) * h, 0.5 * (u[j * n + n // 2 - 1][0] + u[j * n + n // 2][0])) for j in range(n)] + [(1.0, 1.0)]
    row = [(0.0, 0.0)] + [((i + 0.5) * h, 0.5 * (u[(n // 2 - 1) * n + i][1] + u[(n // 2) * n + i][1])) for i in range(n)] + [(1.0, 0.0)]
    eu = max(abs(interp([p[0] for p in col], [p[1] for p in col], y) - r) for y, r in zip(YS, U[re_]))
    ev = max(abs(interp([p[0] for p in row], [p[1] for p in row], x) - r) for x, r in zip(XS, V[re_])) if re_ in V else float("nan")
    return eu, ev


def main():
    a = argparse.ArgumentParser()
    a.add_argument("--re", type=int, default=100)
    a.add_argument("--n", type=int, default=128)
    a.add_argument("--dir", default="/tmp/ofcav")
    a.add_argument("--every", type=int, default=100)
    a.add_argument("--iters", type=int, default=6000)
    o = a.parse_args()
    subprocess.run(["rm", "-rf", o.dir])
    make_case(o.dir, o.re, o.n, o.iters, o.every)
    foam(o.dir, "blockMesh")
    log = foam(o.dir, "simpleFoam")
    # "ExecutionTime = 1.23 s  ClockTime = 2 s" after each iteration "Time = k".
    times = {}
    for m in re.finditer(r"^Time = (\d+)\n(?:.*\n)*?ExecutionTime = ([0-9.e+-]+) s", log, re.M):
        times[int(m.group(1))] = float(m.group(2))
    print(f"OpenFOAM simpleFoam, laminar, Re {o.re}, {o.n} x {o.n} cells, one core")
    print("iteration  cpu_s  err_u  err_v")
    for t in sorted(int(x) for x in os.listdir(o.dir) if x.isdigit() and int(x) > 0):
        eu, ev = errors(o.dir, t, o.n, o.n * o.n, o.re)
        print(f"{t:9d} {times.get(t, float('nan')):6.2f} {eu:.5f} {ev:.5f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
