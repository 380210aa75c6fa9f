// The slice file (".out"): a head describing the grid and the slices, then per output the
// clock and the cell values on each slice. Binary, native byte order.
#include "cfd/cfd.h"

static void ints(FILE* fp, const int* v, int n)
{
    fwrite(v, sizeof(int), (size_t)n, fp);
}

static void one(FILE* fp, int v)
{
    ints(fp, &v, 1);
}

static void dbl(FILE* fp, double v)
{
    fwrite(&v, sizeof v, 1, fp);
}

static void head(FlowmirState* fms, FILE* fp, const CfdRun* r)
{
    int clock[4] = {fms->dayofy, fms->stepEndTime, fms->endDate, fms->endTime};
    ints(fp, clock, 4);
    dbl(fp, r->Lx);
    dbl(fp, r->Ly);
    dbl(fp, r->Lz);
    int n[3] = {r->ni, r->nj, r->nk};
    ints(fp, n, 3);
    for (int d = 0; d < 3; d++) {
        one(fp, r->nsl[d]);
        for (int s = 1; s <= r->nsl[d]; s++)
            one(fp, r->sl[d][s] - 1);
    }
    int zeros[4] = {0, 0, 0, 0};
    ints(fp, zeros, 4);
    one(fp, r->energy);
    for (int m = 1; m <= CFD_MAXC; m++)
        one(fp, m <= r->nc);
    // Flow regime and the contaminant count, for a reader that needs no case file.
    one(fp, r->laminar);
    one(fp, r->turbModel);
    one(fp, r->nc);
    for (int i = 2; i <= r->ni + 1; i++)
        dbl(fp, r->X[i]);
    for (int j = 2; j <= r->nj + 1; j++)
        dbl(fp, r->Y[j]);
    for (int k = 2; k <= r->nk + 1; k++)
        dbl(fp, r->Z[k]);
}

// Cell-centre U, V, W, P, T and the contaminants of one cell.
static void cell(FILE* fp, const CfdRun* r, int i, int j, int k)
{
    dbl(fp, r->UP[i][j][k]);
    dbl(fp, r->VP[i][j][k]);
    dbl(fp, r->WP[i][j][k]);
    dbl(fp, r->P[i][j][k]);
    dbl(fp, r->T[i][j][k]);
    for (int m = 1; m <= r->nc; m++)
        dbl(fp, r->C[m][i][j][k]);
}

void cfd_out_write(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    FILE* fp = cfd_open(fms, &r->outf, ".out");
    if (!r->outHeader) head(fms, fp, r);
    r->outHeader = 1;
    one(fp, fms->dayofy);
    one(fp, fms->stepEndTime);
    // x slices: planes of fixed i, j outer and k inner; y slices: i, k; z slices: i, j.
    for (int s = 1; s <= r->nsl[0]; s++)
        for (int j = 2; j <= r->nj + 1; j++)
            for (int k = 2; k <= r->nk + 1; k++)
                cell(fp, r, r->sl[0][s], j, k);
    for (int s = 1; s <= r->nsl[1]; s++)
        for (int i = 2; i <= r->ni + 1; i++)
            for (int k = 2; k <= r->nk + 1; k++)
                cell(fp, r, i, r->sl[1][s], k);
    for (int s = 1; s <= r->nsl[2]; s++)
        for (int i = 2; i <= r->ni + 1; i++)
            for (int j = 2; j <= r->nj + 1; j++)
                cell(fp, r, i, j, r->sl[2][s]);
    cfd_flushed(fms, &r->outf);
}
