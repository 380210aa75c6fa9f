// The building pressure field (".ewc"): pressures and cell types around the blocks, binary in
// native byte order.
#include <cstring>

#include "cfd/cfd.h"
#include "support/error.h"

static void ints(FILE* fp, const int* v, int n)
{
    fwrite(v, sizeof(int), (size_t)n, fp);
}

static void dbl(FILE* fp, double v)
{
    fwrite(&v, sizeof v, 1, fp);
}

static void seven(FILE* fp, const CfdRange& q)
{
    int v[7] = {0, q.lo[0], q.hi[0], q.lo[1], q.hi[1], q.lo[2], q.hi[2]};
    ints(fp, v, 7);
}

// Face positions from two faces before the box to its last face. A box at the west or south
// boundary starts at the boundary face itself: index 0 would lie before the grid.
static void faces(FILE* fp, const double* f, int from, int to)
{
    for (int i = from; i <= to; i++)
        dbl(fp, f[i < 1 ? 1 : i]);
}

int makeewc(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    bool ref = false;
    for (int b = 1; b <= r->nbl; b++)
        if (!strncmp(r->bl[b].name, "REFBLOCK", 8)) ref = true;
    if (!ref)
        error(fms, ERROR, __FILE__, __LINE__, "Error makeewc: a reference building block needs to be set",
              "");
    // Without blocks there is no building to describe.
    if (r->nbl == 0) return 0;
    CfdRange box = r->bl[1].ib;
    for (int b = 2; b <= r->nbl; b++)
        for (int d = 0; d < 3; d++) {
            if (r->bl[b].ib.lo[d] < box.lo[d]) box.lo[d] = r->bl[b].ib.lo[d];
            if (r->bl[b].ib.hi[d] > box.hi[d]) box.hi[d] = r->bl[b].ib.hi[d];
        }
    if (box.lo[2] != 2)
        error(fms, ERROR, __FILE__, __LINE__,
              "Error makeewc: at least one building block should be on ground", "");

    FILE* fp = cfd_open(fms, &r->ewcf, ".ewc");
    dbl(fp, r->ewcRef);
    dbl(fp, r->rho);
    int size[3] = {box.hi[0] - box.lo[0] + 1, box.hi[1] - box.lo[1] + 1, box.hi[2] - box.lo[2] + 1};
    ints(fp, size, 3);
    seven(fp, box);
    ints(fp, &r->nbl, 1);
    for (int b = 1; b <= r->nbl; b++)
        seven(fp, r->bl[b].ib);
    faces(fp, r->XF, box.lo[0] - 2, box.hi[0] + 1);
    faces(fp, r->YF, box.lo[1] - 2, box.hi[1] + 1);
    faces(fp, r->ZF, 1, box.hi[2] + 1);
    for (int i = box.lo[0] - 1; i <= box.hi[0] + 1; i++)
        for (int j = box.lo[1] - 1; j <= box.hi[1] + 1; j++)
            for (int k = 2; k <= box.hi[2] + 1; k++) {
                dbl(fp, r->P[i][j][k]);
                ints(fp, &r->ICELL[i][j][k], 1);
            }
    cfd_flushed(fms, &r->ewcf);
    if (!fms->quiet) fprintf(stderr, "End of generate wdb file for wind pressure coefficients\n");
    return 1;
}
