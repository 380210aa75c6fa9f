// The CFD case file of a zone, read on every call: boundary values may change from call to
// call while the grid, and so the arrays, stay those of the first reading.
#include <cmath>
#include <cstring>

#include "cfd/cfd.h"
#include "support/error.h"
#include "support/log.h"

static const double KELVIN = 273.0; // the case file's own offset

void cfd_positive(FlowmirState* fms, double value, const char* what)
{
    if (!(value > 0.0))
        errorf(fms, FATAL, __FILE__, __LINE__, "CFD input file error: %s must be positive: %g", what, value);
}

void cfd_not_negative(FlowmirState* fms, int count, const char* what)
{
    if (count < 0)
        errorf(fms, FATAL, __FILE__, __LINE__, "CFD input file error: negative number of %s: %d", what,
               count);
}

static void values(FlowmirState* fms, double* v, int n, const char* what)
{
    for (int i = 0; i < n; i++) {
        if (i > 0) cfd_opt_comma(fms);
        v[i] = cfd_real(fms, what);
    }
}

static void grid(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    cfd_skip(fms, 8);
    double L[3];
    values(fms, L, 3, "domain lengths");
    cfd_skip(fms, 4);
    int n[3];
    for (int d = 0; d < 3; d++) {
        if (d > 0) cfd_comma(fms, "number of cells");
        n[d] = cfd_int(fms, "number of cells");
    }
    if (n[0] < 1 || n[1] < 1 || n[2] < 1)
        errorf(fms, FATAL, __FILE__, __LINE__, "CFD input file error: grid of %d x %d x %d cells", n[0], n[1],
               n[2]);
    if (r->allocated && (n[0] != r->ni || n[1] != r->nj || n[2] != r->nk))
        errorf(fms, FATAL, __FILE__, __LINE__,
               "CFD input file error: grid of %d x %d x %d cells, first read %d x %d x %d", n[0], n[1], n[2],
               r->ni, r->nj, r->nk);
    r->ni = n[0];
    r->nj = n[1];
    r->nk = n[2];
    cfd_alloc(fms);
    static const char AXIS[] = "xyz";
    double* del[3] = {r->DELX, r->DELY, r->DELZ};
    for (int d = 0; d < 3; d++) {
        cfd_skip(fms, d == 0 ? 4 : 2);
        double sum = 0.0;
        for (int i = 2; i <= n[d] + 1; i++) {
            del[d][i] = cfd_real(fms, "cell width");
            if (n[d] > 1 && !(del[d][i] > 0.0))
                errorf(fms, FATAL, __FILE__, __LINE__, "CFD input file error: cell width %c %d: %g", AXIS[d],
                       i - 1, del[d][i]);
            sum += del[d][i];
        }
        if (n[d] == 1) continue;
        cfd_positive(fms, L[d], "domain length");
        // The editor writes widths rounded: allow for it, not for a missing cell.
        if (fabs(sum - L[d]) > 1e-4 * L[d])
            errorf(fms, FATAL, __FILE__, __LINE__,
                   "CFD input file error: cell widths in %c sum to %g, domain length %g", AXIS[d], sum, L[d]);
    }
    r->Lx = L[0];
    r->Ly = L[1];
    r->Lz = L[2];
    cfd_grid(fms);
}

static void numerics(FlowmirState* fms, int coupled)
{
    CfdRun* r = fms->cfdRun;
    cfd_skip(fms, 7);
    if (!cfd_try_int(fms, &r->scheme[0]))
        error(fms, FATAL, __FILE__, __LINE__, "CFD input file error convective differential schemes needed",
              "");
    for (int s = 1; s < 5; s++) {
        cfd_comma(fms, "convection scheme");
        r->scheme[s] = cfd_int(fms, "convection scheme");
    }

    cfd_skip(fms, 3);
    if (!coupled) {
        r->T0 = cfd_real(fms, "initial temperature") + KELVIN;
        cfd_comma(fms, "reference temperature");
        r->Tref = cfd_real(fms, "reference temperature") + KELVIN;
    } else {
        // Coupled: the zone's temperature is the start and the buoyancy reference.
        r->T0 = r->Tref = r->zoneT;
    }
    cfd_positive(fms, r->Tref, "reference temperature (K)");
    cfd_skip(fms, 3);
    cfd_int(fms, "value");

    cfd_skip(fms, 3);
    values(fms, r->bound, 8, "bounds");
    r->bound[6] += KELVIN;
    r->bound[7] += KELVIN;

    static const char* const RELAX[] = {"under relaxation of U", "under relaxation of V",
                                        "under relaxation of W", "under relaxation of P",
                                        "under relaxation of T"};
    cfd_skip(fms, 3);
    values(fms, r->relax, 8, "under relaxation");
    r->relax[5] = r->relax[6] = 1.0;
    for (int i = 0; i < 5; i++)
        cfd_positive(fms, r->relax[i], RELAX[i]);
    if (!(r->relax[7] > 0.0))
        error(fms, FATAL, __FILE__, __LINE__, "CFD input file error under relaxation for contaminant needed",
              "");

    static const char* const FTS[] = {"false time step of U", "false time step of V", "false time step of W",
                                      "false time step of T"};
    cfd_skip(fms, 3);
    if (r->calls == 0) {
        values(fms, r->fts, 7, "false time steps");
        r->fts[4] = r->fts[5] = 1e30;
        for (int i = 0; i < 4; i++)
            cfd_positive(fms, r->fts[i], FTS[i]);
        if (!(r->fts[6] > 0.0))
            error(fms, FATAL, __FILE__, __LINE__,
                  "CFD input file error false time step for contaminant needed", "");
    }

    cfd_skip(fms, 3);
    int c = cfd_char(fms, "Tt12Ff0", "variable false time step mode");
    r->ftsMode = (c == '2') ? 2 : strchr("Tt1", c) ? 1 : 0;
    if (r->ftsMode != 0) {
        cfd_skip(fms, 3);
        r->ftsSwitch = cfd_int(fms, "switch iteration");
        for (int i = 0; i < 7; i++) {
            cfd_comma(fms, "false time step");
            r->fts2[i] = cfd_real(fms, "false time step");
        }
        r->fts2[4] = r->fts2[5] = 1e30;
        for (int i = 0; i < 4; i++)
            cfd_positive(fms, r->fts2[i], FTS[i]);
        if (!(r->fts2[6] > 0.0))
            error(fms, FATAL, __FILE__, __LINE__,
                  "CFD input file error variable false time step for contaminant needed", "");
    }

    cfd_skip(fms, 3);
    double print = cfd_real(fms, "residual print interval");
    // Residuals are printed every so many iterations: never every 0th.
    r->printInterval = print >= 1.0 ? (int)print : 1;
}

static void triple(FlowmirState* fms, int* v, const char* what)
{
    for (int d = 0; d < 3; d++) {
        if (d > 0) cfd_comma(fms, what);
        v[d] = cfd_int(fms, what);
    }
}

static void reports(FlowmirState* fms, int coupled)
{
    CfdRun* r = fms->cfdRun;
    cfd_skip(fms, 3);
    triple(fms, r->mon, "monitor cell");
    cfd_skip(fms, 3);
    triple(fms, r->pref, "pressure reference cell");
    cfd_skip(fms, 3);
    for (int a = 0; a < 2; a++) {
        if (a > 0) cfd_opt_comma(fms);
        triple(fms, r->rep[a], "result report range");
        r->rep[a][0] += 1;
        r->rep[a][1] += 1;
    }
    static const char* const SLICES[] = {"x slices", "y slices", "z slices"};
    for (int d = 0; d < 3; d++) {
        cfd_skip(fms, 3);
        int n = cfd_int(fms, SLICES[d]);
        cfd_not_negative(fms, n, SLICES[d]);
        cfd_reserve(fms, r->sl[d], r->capSl[d], n, "cfd-slices");
        r->nsl[d] = n;
        for (int s = 1; s <= n; s++) {
            cfd_comma(fms, "slice position");
            r->sl[d][s] = cfd_int(fms, "slice position") + 1;
        }
    }
    cfd_skip(fms, 3);
    int flags[3];
    triple(fms, flags, "restart and pressure file flags");
    r->restart = flags[0] == 1;
    r->ewc = flags[1] == 1;
    cfd_skip(fms, 7);
    r->ewcRef = cfd_real(fms, "reference value");

    cfd_skip(fms, 2);
    if (!coupled) cfd_real(fms, "value");
    cfd_skip(fms, 2);
    r->rho = coupled ? r->zoneRho : cfd_real(fms, "air density");
    cfd_positive(fms, r->rho, "air density");
    cfd_skip(fms, 2);
    r->nu = cfd_real(fms, "kinematic viscosity");
    cfd_positive(fms, r->nu, "kinematic viscosity");
    cfd_skip(fms, 2);
    cfd_real(fms, "value");
    cfd_skip(fms, 2);
    r->cp = cfd_real(fms, "specific heat");
    cfd_positive(fms, r->cp, "specific heat");
    cfd_skip(fms, 2);
    r->Pr = cfd_real(fms, "Prandtl number");
    cfd_positive(fms, r->Pr, "Prandtl number");
}

static void title(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    cfd_title(fms, r->title, sizeof r->title);
    // Quotes would end the field output's title string.
    char* w = r->title;
    for (const char* p = r->title; *p; p++)
        if (*p != '\'' && *p != '"') *w++ = *p;
    *w = '\0';
}

static void runValues(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    cfd_skip(fms, 10);
    cfd_real(fms, "time step");
    cfd_comma(fms, "end time");
    cfd_real(fms, "end time");
    cfd_comma(fms, "contaminant convergence factor");
    r->ctmCnvg = cfd_real(fms, "contaminant convergence factor");
    cfd_comma(fms, "contaminant iteration limit");
    r->ctmItmax = cfd_int(fms, "contaminant iteration limit");
    cfd_comma(fms, "output interval");
    cfd_int(fms, "output interval");
    for (int i = 0; i < 2 && cfd_opt_comma(fms); i++)
        cfd_int(fms, "value");
    // The run's steps replace the case's. A steady run has no time step, and a listing step
    // below the time step still lists every step.
    r->dt = fms->time_step;
    r->tend = fms->endTime;
    r->outInterval = fms->time_step > 0 ? fms->listStep / fms->time_step : 1;
    if (r->outInterval < 1) r->outInterval = 1;

    cfd_skip(fms, 3);
    r->energy = cfd_int(fms, "energy equation flag") == 1;
    cfd_skip(fms, 6);
    r->tol = cfd_real(fms, "convergence tolerance");
    cfd_comma(fms, "iteration limit");
    r->itmax = cfd_int(fms, "iteration limit");
    cfd_skip(fms, 3);
    int c = cfd_char(fms, "TtFf", "laminar flow flag (T or F)");
    r->laminar = (c == 'T' || c == 't');
    if (!r->laminar) {
        cfd_skip(fms, 3);
        r->turbModel = cfd_int(fms, "turbulence model");
    }
}

int input(FlowmirState* fms, int coupled)
{
    CfdRun* r = fms->cfdRun;
    LOG(fms, "===== input() =====\n");
    cfd_bal(fms, "\nReading CFD INPUT file...\n");
    // Opened afresh on every call: a rewound stream may serve the old text from its buffer,
    // and the case may have been edited between calls.
    char path[RESFILE_PATH];
    cfd_path(r, ".CFD", path, sizeof path);
    r->caseFp = r->caseFp ? freopen(path, "r", r->caseFp) : fopen(path, "r");
    if (!r->caseFp) error(fms, FATAL, __FILE__, __LINE__, "Unable to locate input file ", path, "");
    r->line = 1;
    r->coupled = coupled;
    if (r->calls == 0) r->nc = fms->nctm < CFD_MAXC ? fms->nctm : CFD_MAXC;
    title(fms);
    runValues(fms);
    grid(fms);
    cfd_read_openings(fms);
    cfd_read_objects(fms);
    numerics(fms, coupled);
    reports(fms, coupled);
    r->g = 9.8055;
    r->beta = 1.0 / r->Tref;
    cfd_check(fms);
    cfd_mark_cells(fms);
    r->calls++;
    return 1;
}
