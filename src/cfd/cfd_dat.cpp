// The field output for Tecplot (".dat", ASCII point format): a header once per run, then one
// zone per output with a record per grid point, z outermost and x innermost.
#include "cfd/cfd.h"
#include "support/timeconv.h"

static void header(FILE* fp, const CfdRun* r)
{
    fprintf(fp, "TITLE=\"%s\"\n", r->title);
    fprintf(fp, "VARIABLES = \"X\",\"Y\",\"Z\",\"BLANK\",\"OBJECTS\",\"T\",\"P\",\"VIS\",\n");
    fprintf(fp, "\"U\",\"V\",\"W\",\"VTT\"");
    for (int m = 1; m <= r->nc; m++)
        fprintf(fp, ",\"C%d\"", m);
    fprintf(fp, "\n");
    // Object numbers in the field index these labels: inlets, outlets, then blocks.
    fprintf(fp, "CUSTOMLABELS ");
    for (int n = 1; n <= r->nin; n++)
        fprintf(fp, "\"%s\",", r->in[n].name);
    for (int n = 1; n <= r->nout; n++)
        fprintf(fp, "\"%s\",", r->out[n].name);
    for (int b = 1; b <= r->nbl; b++)
        fprintf(fp, "\"%s\",", r->bl[b].name);
    fprintf(fp, "\n");
}

static FILE* begin(FlowmirState* fms, CfdRun* r)
{
    FILE* fp = cfd_open(fms, &r->dat, ".dat");
    if (!r->datHeader) header(fp, r);
    r->datHeader = 1;
    return fp;
}

void cfd_dat_write(FlowmirState* fms, int seconds)
{
    CfdRun* r = fms->cfdRun;
    FILE* fp = begin(fms, r);
    cfd_bal(fms, "Writing Tecplot file(DAT) at iteration %d...\n", r->iter);
    char when[16];
    timestr(fms, seconds, when);
    fprintf(fp, "ZONE T=\"Time %s\", I=%3d, J=%3d, K=%3d, F=POINT\n", when, r->ni + 2, r->nj + 2, r->nk + 2);
    for (int k = 1; k <= r->nk + 2; k++)
        for (int j = 1; j <= r->nj + 2; j++)
            for (int i = 1; i <= r->ni + 2; i++) {
                fprintf(fp, "%15.6le %15.6le %15.6le\n", r->X[i], r->Y[j], r->Z[k]);
                // The ground layer stays visible: the floor is shown.
                if (k == r->nk + 2 || i == 1 || i == r->ni + 2 || j == 1 || j == r->nj + 2)
                    fprintf(fp, "0 ");
                else
                    fprintf(fp, "%15ld\n", (long)r->ICELL[i][j][k]);
                fprintf(fp, "%15d\n", r->OBJECTNM[i][j][k]);
                fprintf(fp, "%15.6le %15.6le %15.6le %15.6le\n", r->T[i][j][k] - 273.0, r->P[i][j][k],
                        r->VIS[i][j][k], r->UP[i][j][k]);
                fprintf(fp, "%15.6le %15.6le %15.6le\n", r->VP[i][j][k], r->WP[i][j][k], r->VTT[i][j][k]);
                for (int m = 1; m <= r->nc; m++)
                    fprintf(fp, " %15.6le", r->C[m][i][j][k]);
                if (r->nc > 0) fprintf(fp, "\n");
            }
    cfd_flushed(fms, &r->dat);
}

// The contaminant fields of a transient contaminant run: the other variables are shared with
// the first zone.
void cfd_dat_ctm(FlowmirState* fms, int seconds)
{
    CfdRun* r = fms->cfdRun;
    FILE* fp = begin(fms, r);
    char when[16];
    timestr(fms, seconds, when);
    fprintf(fp, "ZONE T=\"Time %s\", I=%3d, J=%3d, K=%3d, F=POINT, VARSHARELIST = ([1-12]=1)\n", when,
            r->ni + 2, r->nj + 2, r->nk + 2);
    for (int k = 1; k <= r->nk + 2; k++)
        for (int j = 1; j <= r->nj + 2; j++)
            for (int i = 1; i <= r->ni + 2; i++) {
                for (int m = 1; m <= r->nc; m++)
                    fprintf(fp, " %15.6le", r->C[m][i][j][k]);
                fprintf(fp, "\n");
            }
    cfd_flushed(fms, &r->dat);
}
