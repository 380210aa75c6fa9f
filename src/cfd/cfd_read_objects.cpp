// The case's boundary objects: openings, blocks and wall patches, read in file order into
// records reused from call to call.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "cfd/cfd.h"
#include "support/error.h"

static const double KELVIN = 273.0;  // the case file's own offset
static const double FROM_UCD = 1e10; // a wall value that stands for the ".UCD" file

static void pair(FlowmirState* fms, CfdRange& q, int d, const char* what)
{
    // Cell numbers count from 1; the arrays keep a boundary layer at 1.
    q.lo[d] = cfd_int(fms, what) + 1;
    cfd_comma(fms, what);
    q.hi[d] = cfd_int(fms, what) + 1;
}

// Three "%d,%d" pairs, i, j and k, each followed by two label lines.
static void range(FlowmirState* fms, CfdRange& q, const char* what)
{
    for (int d = 0; d < 3; d++) {
        pair(fms, q, d, what);
        cfd_skip(fms, 2);
    }
}

// The optional list of concentrations of an opening or of a wall's contaminant sources.
static int concentrationCount(FlowmirState* fms, const char* where)
{
    int n = 0;
    if (cfd_opt_comma(fms)) n = cfd_int(fms, "number of contaminants");
    int nc = fms->cfdRun->nc;
    const char* lead = !strcmp(where, "inlet") ? "Inlet" : !strcmp(where, "outlet") ? "Outlet" : "Wall";
    if (n < 0)
        errorf(fms, FATAL, __FILE__, __LINE__, "%s contamniant %s must be set", lead,
               strcmp(where, "wall") ? "concentration" : "source");
    if (n >= 6)
        errorf(fms, FATAL, __FILE__, __LINE__, "Total number of contamniants at %s must less than 5", where);
    if (n > nc)
        errorf(fms, FATAL, __FILE__, __LINE__, "Total number of contamniants at %s must be less than %d",
               where, nc);
    return n;
}

static int contaminantNumber(FlowmirState* fms, const char* where, const char* name)
{
    int m = cfd_int(fms, "contaminant number");
    if (m < 1 || m > fms->cfdRun->nc)
        errorf(fms, FATAL, __FILE__, __LINE__,
               "CFD input file error: contaminant number %d at %s %s, expected 1..%d", m, where, name,
               fms->cfdRun->nc);
    return m;
}

static void concentrations(FlowmirState* fms, CfdOpening& o, const char* where)
{
    int n = concentrationCount(fms, where);
    for (int i = 0; i < n; i++) {
        cfd_skip(fms, 1);
        int m = contaminantNumber(fms, where, o.name);
        cfd_comma(fms, "mass fraction");
        o.c[m] = cfd_real(fms, "mass fraction");
    }
}

static void pressureType(FlowmirState* fms, CfdOpening& o)
{
    CfdRun* r = fms->cfdRun;
    cfd_comma(fms, "boundary pressure");
    o.P = cfd_real(fms, "boundary pressure");
    cfd_comma(fms, "power-law coefficient");
    o.coe = cfd_real(fms, "power-law coefficient");
    cfd_comma(fms, "power-law exponent");
    o.expn = cfd_real(fms, "power-law exponent");
    cfd_comma(fms, "temperature");
    o.T = cfd_real(fms, "temperature") + KELVIN;
    if (!r->hasPressure || o.P < r->pbMin) r->pbMin = o.P;
    r->hasPressure = 1;
}

static void openingHead(FlowmirState* fms, CfdOpening& o, const char* where)
{
    char what[32];
    snprintf(what, sizeof what, "%s name", where);
    cfd_skip(fms, 2);
    cfd_line(fms, o.name, sizeof o.name, what);
    cfd_skip(fms, 1);
    snprintf(what, sizeof what, "%s cell range", where);
    range(fms, o.lb, what);
    snprintf(what, sizeof what, "%s kind", where);
    o.kind = cfd_int(fms, what);
}

static void readInlet(FlowmirState* fms, CfdOpening& o)
{
    openingHead(fms, o, "inlet");
    if (o.kind < 0) return;
    cfd_comma(fms, "inlet type");
    o.type = cfd_int(fms, "inlet type");
    switch (o.type) {
    case CFD_FLOW:
        cfd_comma(fms, "u");
        o.u = cfd_real(fms, "u");
        cfd_comma(fms, "v");
        o.v = cfd_real(fms, "v");
        cfd_comma(fms, "w");
        o.w = cfd_real(fms, "w");
        cfd_comma(fms, "mass flow");
        o.mass = fabs(cfd_real(fms, "mass flow"));
        cfd_comma(fms, "temperature");
        o.T = cfd_real(fms, "temperature") + KELVIN;
        break;
    case CFD_PRESSURE:
        pressureType(fms, o);
        break;
    case CFD_CLOSED:
        return;
    default:
        error(fms, FATAL, __FILE__, __LINE__, "CFD input error for inlet", "");
        return;
    }
    concentrations(fms, o, "inlet");
}

static void readOutlet(FlowmirState* fms, CfdOpening& o)
{
    openingHead(fms, o, "outlet");
    if (o.kind < 0) return;
    cfd_comma(fms, "outlet type");
    o.type = cfd_int(fms, "outlet type");
    switch (o.type) {
    case CFD_FLOW:
    case CFD_CLOSED:
        // One velocity: the outlet's normal velocity.
        cfd_comma(fms, "velocity");
        o.u = cfd_real(fms, "velocity");
        cfd_comma(fms, "mass flow");
        o.mass = -fabs(cfd_real(fms, "mass flow"));
        cfd_comma(fms, "temperature");
        o.T = cfd_real(fms, "temperature") + KELVIN;
        break;
    case CFD_PRESSURE:
        pressureType(fms, o);
        break;
    default:
        error(fms, FATAL, __FILE__, __LINE__, "Error setup outlet boundary condition", "");
        return;
    }
    concentrations(fms, o, "outlet");
}

static void readBlock(FlowmirState* fms, CfdBlock& b)
{
    cfd_skip(fms, 2);
    cfd_line(fms, b.name, sizeof b.name, "block name");
    cfd_skip(fms, 1);
    range(fms, b.ib, "block cell range");
    b.flag = cfd_int(fms, "block flag");
    for (int m = 1; m <= CFD_MAXC; m++)
        b.csoucut[m] = 1e10;
    if (b.flag < 0) return;
    cfd_comma(fms, "block heat source");
    b.hsou = cfd_real(fms, "block heat source");
}

static bool fromUcd(double v)
{
    return fabs(v - FROM_UCD) <= 1e-10;
}

static void readTwall(FlowmirState* fms, CfdWall& w)
{
    cfd_skip(fms, 4);
    range(fms, w.lb, "wall cell range");
    double t = cfd_real(fms, "wall temperature");
    w.ucd = fromUcd(t);
    w.tnaw = w.ucd ? 0.0 : t + KELVIN;
    // A moving patch: the temperature followed by the wall's velocity, u, v, w.
    w.moving = cfd_opt_comma(fms);
    if (!w.moving) return;
    static const char* const COMPONENT[] = {"wall velocity u", "wall velocity v", "wall velocity w"};
    for (int e = 0; e < 3; e++) {
        if (e > 0) cfd_comma(fms, COMPONENT[e]);
        w.vel[e] = cfd_real(fms, COMPONENT[e]);
    }
}

static void readQwall(FlowmirState* fms, CfdWall& w)
{
    cfd_skip(fms, 4);
    range(fms, w.lb, "wall cell range");
    double q = cfd_real(fms, "wall heat flux");
    for (int m = 1; m <= CFD_MAXC; m++)
        w.cnawcut[m] = 1e10;
    w.ucd = fromUcd(q);
    if (w.ucd) return;
    w.qnaw = q;
    int n = concentrationCount(fms, "wall");
    for (int i = 0; i < n; i++) {
        cfd_skip(fms, 1);
        int m = contaminantNumber(fms, "wall", "patch");
        cfd_comma(fms, "wall contaminant source");
        w.cnaw[m] = cfd_real(fms, "wall contaminant source");
        cfd_comma(fms, "wall contaminant cut-off");
        w.cnawcut[m] = cfd_real(fms, "wall contaminant cut-off");
    }
}

// n values separated by commas or white space.
void cfd_read_openings(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    cfd_skip(fms, 3);
    int nin = cfd_int(fms, "number of inlets");
    cfd_comma(fms, "number of outlets");
    int nout = cfd_int(fms, "number of outlets");
    cfd_not_negative(fms, nin, "inlets");
    cfd_not_negative(fms, nout, "outlets");
    cfd_reserve(fms, r->in, r->capIn, nin, "cfd-inlets");
    cfd_reserve(fms, r->out, r->capOut, nout, "cfd-outlets");
    r->nin = nin;
    r->nout = nout;
    r->hasPressure = 0;
    r->pbMin = 0.0;
    // Names and ranges are needed coupled too: the coupling finds its openings by name.
    for (int n = 1; n <= nin; n++)
        readInlet(fms, r->in[n]);
    for (int n = 1; n <= nout; n++)
        readOutlet(fms, r->out[n]);
}

// One list of objects: three label lines, its count, then the records.
template <class T>
static int readList(FlowmirState* fms, T*& list, int& cap, const char* what, const char* label,
                    void (*read)(FlowmirState*, T&))
{
    cfd_skip(fms, 3);
    char name[64];
    snprintf(name, sizeof name, "number of %s", what);
    int n = cfd_int(fms, name);
    cfd_not_negative(fms, n, what);
    cfd_reserve(fms, list, cap, n, label);
    for (int i = 1; i <= n; i++)
        read(fms, list[i]);
    return n;
}

void cfd_read_objects(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    r->nbl = readList(fms, r->bl, r->capBl, "blocks", "cfd-blocks", readBlock);
    r->ntw = readList(fms, r->tw, r->capTw, "constant temperature walls", "cfd-twalls", readTwall);
    r->nqw = readList(fms, r->qw, r->capQw, "constant heat flux walls", "cfd-qwalls", readQwall);
}
