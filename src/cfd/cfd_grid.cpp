// The grid from the cell widths: faces, centres, centre distances, face areas and volumes; and
// the cell types and object numbers of the boundary layers, blocks and openings.
#include "cfd/cfd.h"

// One direction: widths at 2..n+1 are given; a direction of one cell is not resolved.
static void axis(int n, double& length, double* del, double* face, double* centre, double* delc)
{
    if (n == 1) {
        del[2] = 1.0;
        length = 1.0;
    }
    del[1] = del[n + 2] = 0.0;
    face[1] = 0.0;
    for (int i = 2; i <= n + 1; i++)
        face[i] = face[i - 1] + del[i];
    face[n + 2] = length;
    centre[1] = 0.0;
    for (int i = 2; i <= n + 1; i++)
        centre[i] = face[i - 1] + del[i] / 2.0;
    centre[n + 2] = length;
    delc[1] = del[2] / 2.0;
    for (int i = 2; i <= n; i++)
        delc[i] = centre[i + 1] - centre[i];
    delc[n + 1] = del[n + 1] / 2.0;
    delc[n + 2] = 0.0;
    if (n == 1) delc[1] = delc[2] = 1.0;
}

void cfd_grid(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    axis(r->ni, r->Lx, r->DELX, r->XF, r->X, r->DELXC);
    axis(r->nj, r->Ly, r->DELY, r->YF, r->Y, r->DELYC);
    axis(r->nk, r->Lz, r->DELZ, r->ZF, r->Z, r->DELZC);
    for (int j = 1; j <= r->nj + 2; j++)
        for (int k = 1; k <= r->nk + 2; k++)
            r->AREX[j][k] = r->DELY[j] * r->DELZ[k];
    for (int i = 1; i <= r->ni + 2; i++)
        for (int k = 1; k <= r->nk + 2; k++)
            r->AREY[i][k] = r->DELX[i] * r->DELZ[k];
    for (int i = 1; i <= r->ni + 2; i++)
        for (int j = 1; j <= r->nj + 2; j++)
            r->AREZ[i][j] = r->DELX[i] * r->DELY[j];
    for (int i = 1; i <= r->ni + 2; i++)
        for (int j = 1; j <= r->nj + 2; j++)
            for (int k = 1; k <= r->nk + 2; k++)
                r->VOL[i][j][k] = r->DELX[i] * r->DELY[j] * r->DELZ[k];
}

// The boundary-layer cells just outside an opening's face carry its object number.
static void markOpening(CfdRun* r, const CfdOpening& o, int number)
{
    CfdRange q = o.lb;
    int n[3] = {r->ni, r->nj, r->nk};
    int d = o.face / 2;
    q.lo[d] = q.hi[d] = (o.face % 2 == 0) ? 1 : n[d] + 2;
    for (int i = q.lo[0]; i <= q.hi[0]; i++)
        for (int j = q.lo[1]; j <= q.hi[1]; j++)
            for (int k = q.lo[2]; k <= q.hi[2]; k++)
                r->OBJECTNM[i][j][k] = number;
}

// Cell types: 1 for the boundary layers and for cells inside blocks, 0 for fluid. Objects
// are numbered inlets, outlets, then blocks, the order of the field output's labels.
void cfd_mark_cells(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    for (int i = 1; i <= r->ni + 2; i++)
        for (int j = 1; j <= r->nj + 2; j++)
            for (int k = 1; k <= r->nk + 2; k++) {
                bool layer = i == 1 || i == r->ni + 2 || j == 1 || j == r->nj + 2 || k == 1 || k == r->nk + 2;
                r->ICELL[i][j][k] = layer ? 1 : 0;
                r->OBJECTNM[i][j][k] = 0;
            }
    for (int b = 1; b <= r->nbl; b++) {
        const CfdRange& q = r->bl[b].ib;
        for (int i = q.lo[0]; i <= q.hi[0]; i++)
            for (int j = q.lo[1]; j <= q.hi[1]; j++)
                for (int k = q.lo[2]; k <= q.hi[2]; k++) {
                    r->ICELL[i][j][k] = 1;
                    r->OBJECTNM[i][j][k] = r->nin + r->nout + b;
                }
    }
    for (int n = 1; n <= r->nin; n++)
        markOpening(r, r->in[n], n);
    for (int n = 1; n <= r->nout; n++)
        markOpening(r, r->out[n], r->nin + n);
}
