// The coupling report (".cmo") and the coupling restart (".cpr": the opening values of the
// converged pass, to start a later run's CFD from).
#include <cmath>
#include <cstring>

#include "cfd/cpl.h"
#include "results/resfile.h"
#include "support/error.h"
#include "support/paths.h"

enum { CPR_LINE = 1024 };

static FILE* cmo(FlowmirState* fms)
{
    return cfd_open(fms, &fms->cpl->zone[1].cmo, ".cmo");
}

// The table of the current pass: the network's values before the CFD runs, the CFD's of its
// last run.
void cpl_report_pass(FlowmirState* fms)
{
    CplState* c = fms->cpl;
    FILE* fp = cmo(fms);
    int k = c->it + 1;
    fprintf(
        fp,
        "\n\nCPL   EDDYS_NITER   Path       Coe_NIMBAL    Exp_NIMBAL      PressureB_NIMBAL  PressureB_EDDYS  "
        "Mass1_NIMBAL    Mass_EDDYS       Mass2_NIMBAL    PressureL_EDDYS  Pressure_ext_EDDYS\n");
    for (CplPath* p = c->zone[1].paths; p; p = p->next)
        fprintf(fp, "%-9d %-9ld %-9d %-13le %-15le %-17le %-15le %-15le %-15le %-15le %-15le %-15le\n", c->it,
                c->cfdniter[c->it], p->nr, p->coe, p->expn, p->Pbc, c->it > 0 ? p->pused[c->it] : 0.0, p->m,
                p->mCfd, p->mPrev, p->PL, p->Plocal1[k > 1 ? k - 1 : 1]);
    cfd_flushed(fms, &c->zone[1].cmo);
}

void cpl_report_converged(FlowmirState* fms)
{
    CplState* c = fms->cpl;
    FILE* fp = cmo(fms);
    int last = c->k;
    int every = fms->cfdReportInterval > 0 ? fms->cfdReportInterval : 1;
    for (CplPath* p = c->zone[1].paths; p; p = p->next) {
        fprintf(fp, "\nPath  NIMBAL_Run  EDDYS_NITER  Coe_NIMBAL    Exp_NIMBAL      PressureB_NIMBAL  "
                    "PressureB_EDDYS  "
                    "Mass_NIMBAL     Mass_EDDYS       PressureL_EDDYS  Pressure_ext_EDDYS\n");
        for (int k = 1; k <= last; k++) {
            if (k != 1 && k != last && k % every != 0) continue;
            fprintf(fp, "%-9d %-9d %-9ld %-13le %-15le %-17le %-15le %-15le %-15le %-15le %-15le\n", p->nr, k,
                    c->cfdniter[k], p->ctmcoe[k], p->ctmexp[k], p->pcomputed[k], p->pused[k], p->mbefore[k],
                    p->mafter[k], p->Plocal[k], p->Plocal1[k]);
        }
    }
    cfd_flushed(fms, &c->zone[1].cmo);
}

// One line per solution: the time, then per path off the ambient and contaminant the air
// flow, the contaminant flow and the concentration, negative for air leaving the CFD zone.
void cpl_report_ctm(FlowmirState* fms)
{
    CplState* c = fms->cpl;
    FILE* fp = cmo(fms);
    fprintf(fp, "%d ", fms->stepEndTime);
    for (CplPath* p = c->zone[1].paths; p; p = p->next) {
        if (p->other == fms->ambt) continue;
        double sign = p->cfdOut ? -1.0 : 1.0;
        double air = fabs(p->mCfd);
        for (int m = 1; m <= c->nc; m++)
            fprintf(fp, "  %le [kg/s]  %le [kg/s]  %le [kg/kg]", sign * air, sign * air * p->Crate2[m],
                    sign * p->Crate2[m]);
    }
    fprintf(fp, "\n");
    cfd_flushed(fms, &c->zone[1].cmo);
}

static void cprPath(FlowmirState* fms, char* out, size_t size)
{
    pathmerge(fms, out, size, fms->_pdrive, fms->_pdir, fms->_prjname, ".cpr");
}

void cpl_restart_open(FlowmirState* fms)
{
    CplState* c = fms->cpl;
    char path[RESFILE_PATH];
    cprPath(fms, path, sizeof path);
    c->cpr.res = resfile_open(fms, path);
    if (!c->cpr.res || !c->cpr.res->fp)
        errorf(fms, FATAL, __FILE__, __LINE__,
               "Unable to create CFD coupling restart file %s; is it already open?", path);
    c->cpr.fp = c->cpr.res->fp;
}

void cpl_restart_write(FlowmirState* fms)
{
    CplState* c = fms->cpl;
    FILE* fp = c->cpr.fp;
    int k = c->k;
    for (CplPath* p = c->zone[1].paths; p; p = p->next)
        fprintf(fp, "%s\n %d %-17le %-13le %-15le %-9d %-9ld %-15le %-15le %-15le %-15le %-15le %-15le\n",
                p->name, p->outlet, p->Pbc, p->coe, p->expn, k, c->cfdniter[k], p->pused[k], p->mbefore[k],
                p->mafter[k], p->m, p->PL, p->Plocal1[k]);
    cfd_flushed(fms, &c->cpr);
    // Written once: the run commits it with its other results.
    c->cpr.fp = nullptr;
}

// A line of the file without its end; FATAL when it does not fit.
static bool cprLine(FlowmirState* fms, FILE* fp, char* line)
{
    if (!fgets(line, CPR_LINE, fp)) return false;
    size_t n = strlen(line);
    if (n == CPR_LINE - 1 && line[n - 1] != '\n' && !feof(fp))
        error(fms, FATAL, __FILE__, __LINE__, "Buffer overflow: ", line, "");
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r'))
        line[--n] = '\0';
    return true;
}

void cpl_restart_read(FlowmirState* fms)
{
    CplState* c = fms->cpl;
    char path[RESFILE_PATH], line[CPR_LINE];
    cprPath(fms, path, sizeof path);
    FILE* fp = fopen(path, "r");
    if (!fp) error(fms, FATAL, __FILE__, __LINE__, "Unable to open restart file (cpr)", "");
    while (cprLine(fms, fp, line)) {
        if (line[0] == '\0') continue;
        CplPath* p = c->zone[1].paths;
        while (p && strcmp(p->name, line) != 0)
            p = p->next;
        if (!p) {
            fclose(fp);
            error(fms, FATAL, __FILE__, __LINE__,
                  "The path in restart file (cpr) mismatches that in couple definition file (cpl0)", "");
            return;
        }
        if (!cprLine(fms, fp, line) ||
            sscanf(line, "%d %le %le %le", &p->rstOutlet, &p->rstPbc, &p->rstCoe, &p->rstExp) != 4) {
            fclose(fp);
            errorf(fms, FATAL, __FILE__, __LINE__, "CFD coupling restart file: no values for path %s",
                   p->name);
            return;
        }
    }
    fclose(fp);
    c->restartRead = c->restartPending = 1;
}
