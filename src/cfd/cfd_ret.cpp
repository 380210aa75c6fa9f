// The result report (".ret"): openings and the field values of the report planes.
#include <cmath>

#include "cfd/cfd.h"
#include "support/log.h"

enum { RET_PER_LINE = 5 }; // values of a K column per line

static void opening(FlowmirState* fms, FILE* fp, const CfdOpening& o, long n, const char* head,
                    const char* logHead)
{
    fprintf(fp, head, n, o.name, o.area, o.mass, o.T - 273.0);
    if (o.type == CFD_PRESSURE) fprintf(fp, "  %-16.6lf", o.P);
    fprintf(fp, "\n\n");
    LOG(fms, logHead, o.name, o.area);
}

// One block: per I of the report range, the values along K.
static void block(FILE* fp, const CfdRun* r, const char* label, double*** f, int j)
{
    fputs(label, fp);
    fputs("\n", fp);
    for (int i = r->rep[0][0]; i <= r->rep[0][1]; i += r->rep[0][2]) {
        fprintf(fp, " I=%-3ld\n", (long)(i - 1));
        for (int k = 2; k <= r->nk + 1; k++) {
            if (k > 2 && (k - 2) % RET_PER_LINE == 0) fputs("\n   ", fp);
            fprintf(fp, "%13.5le  ", f[i][j][k]);
        }
        fputs("\n", fp);
    }
}

void cfd_ret_write(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    FILE* fp = cfd_open(fms, &r->ret, ".ret");
    cfd_bal(fms, "Writing Result file(RET) at iteration %d...\n", r->iter);
    fprintf(fp, "\n\n\t\tNUMERICAL VALUES OF FLOW PARAMETERS\n\n");
    double minutes = (double)(clock() - r->clock0) / CLOCKS_PER_SEC / 60.0;
    fprintf(fp, "Iterations:%d, Time:%lf(minutes)\n\n", r->iter, minutes);
    fprintf(fp,
            "\nNames    Area(m**2)  Mass Flow(kg/s)  T(C)       POUT(pa)       Pcoexp(pa)       Pmean(pa)\n");
    for (int n = 1; n <= r->nin; n++)
        opening(fms, fp, r->in[n], n, "Inlet#%-2ld: %s\n         %-12.6lf%-17.6lf%-8.6lf",
                "CFD Inlet %s %g\n");
    for (int n = 1; n <= r->nout; n++)
        opening(fms, fp, r->out[n], n, "Outlet#%-2ld: %s\n         %-12.6lf%-17.6lf%-8.6lf",
                "CFD Outlet %s %g\n");
    static const char* const CLABEL[] = {"", " C1=", " C2=", " C3=", " C4=", " C5="};
    for (int j = r->rep[1][0]; j <= r->rep[1][1]; j += r->rep[1][2]) {
        fprintf(fp, "\t\t\t\tJ=%-2ld\n\n", (long)(j - 1));
        block(fp, r, " U=", r->UP, j);
        block(fp, r, " V=", r->VP, j);
        block(fp, r, " W=", r->WP, j);
        block(fp, r, " T=", r->T, j);
        for (int m = 1; m <= r->nc; m++)
            block(fp, r, CLABEL[m], r->C[m], j);
        block(fp, r, " VTT=", r->VTT, j);
    }
    cfd_flushed(fms, &r->ret);
}
