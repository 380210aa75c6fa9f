// The contaminant report (in the ".ret" file): what enters and leaves through each object.
#include <cmath>

#include "cfd/cfd.h"

// Mass flow of contaminant m through an opening's faces, positive into the zone: the
// opening's mass fraction for inflow, the adjacent cell's for outflow.
static double faceFluxes(const CfdRun* r, const CfdOpening& o, int m)
{
    int n[3] = {r->ni, r->nj, r->nk};
    int d = o.face / 2;
    bool low = o.face % 2 == 0;
    double*** vel[3] = {r->U, r->V, r->W};
    double sum = 0.0;
    for (int i = o.lb.lo[0]; i <= o.lb.hi[0]; i++)
        for (int j = o.lb.lo[1]; j <= o.lb.hi[1]; j++)
            for (int k = o.lb.lo[2]; k <= o.lb.hi[2]; k++) {
                int f[3] = {i, j, k};
                // The boundary face: the cell's own low face, or the high face of the last cell.
                if (!low) f[d] = n[d] + 2;
                double u = vel[d][f[0]][f[1]][f[2]];
                double area = d == 0 ? r->AREX[j][k] : d == 1 ? r->AREY[i][k] : r->AREZ[i][j];
                double mass = r->rho * (low ? u : -u) * area;
                sum += mass * (mass > 0.0 ? o.c[m] : r->C[m][i][j][k]);
            }
    return sum;
}

static double contaminantMass(const CfdRun* r, const CfdOpening& o, int m, bool inlet, double* mf)
{
    bool given = o.type != CFD_PRESSURE || (inlet && o.mass > 0.0);
    if (given) {
        *mf = o.c[m];
        double cm = o.c[m] * o.mass;
        return cm == 0.0 ? 0.0 : cm; // no "-0" for an outlet that carries nothing
    }
    double cm = faceFluxes(r, o, m);
    *mf = o.mass != 0.0 ? cm / o.mass : 0.0;
    return cm;
}

static void account(double cm, double* in, double* out)
{
    if (cm >= 0.0)
        *in += fabs(cm);
    else
        *out += fabs(cm);
}

void cfd_ret_ctm(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    FILE* fp = cfd_open(fms, &r->ret, ".ret");
    fprintf(fp, "\nAt time step:%f:\n", r->time);
    fprintf(fp, "\nContaminant computation results:\n");
    // The net air flow through the openings and their open area.
    double summ = 0.0, summa = 0.0;
    for (int n = 1; n <= r->nin; n++)
        summ += r->in[n].mass, summa += r->in[n].area;
    for (int n = 1; n <= r->nout; n++)
        summ += r->out[n].mass, summa += r->out[n].area;
    for (int m = 1; m <= r->nc; m++) {
        double tin = 0.0, tout = 0.0, mf = 0.0;
        fprintf(fp, "  *Contaminant#%-2d\n", m);
        for (int n = 1; n <= r->nin; n++) {
            double cm = contaminantMass(r, r->in[n], m, true, &mf);
            fprintf(fp,
                    "\t*Inlet #%-2d:%s          AirMass=%-12.6lf[kg/s]  MassFraction=%le[kg/kg]  "
                    "ContaminantMass=%le[kg/s]\n",
                    n, r->in[n].name, r->in[n].mass, mf, cm);
            account(cm, &tin, &tout);
        }
        for (int n = 1; n <= r->nout; n++) {
            double cm = contaminantMass(r, r->out[n], m, false, &mf);
            fprintf(fp,
                    "\t*Outlet #%-2d:%s          AirMass=%-12.6lf[kg/s]  MassFraction=%le[kg/kg]  "
                    "ContaminantMass=%le[kg/s]\n",
                    n, r->out[n].name, r->out[n].mass, mf, cm);
            account(cm, &tin, &tout);
        }
        for (int b = 1; b <= r->nbl; b++) {
            fprintf(fp, "\t*Blockage #%-2d          ContaminantMass=%le[kg/s]\n", b, r->bl[b].csou[m]);
            account(r->bl[b].csou[m], &tin, &tout);
        }
        for (int w = 1; w <= r->nqw; w++) {
            fprintf(fp, "\t*SurfaceSource #%-2d     ContaminantMass=%le[kg/s]\n", w, r->qw[w].cnaw[m]);
            account(r->qw[w].cnaw[m], &tin, &tout);
        }
        fprintf(fp,
                "  *TotalInput=%le[kg/s]  TotalOutput=%le[kg/s]  fms->cfd.SUMM=%lf[kg/S]  "
                "fms->cfd.SUMMA=%lf[m^2]\n\n",
                tin, tout, summ, summa);
        r->ctmIn[m] = tin;
    }
    cfd_flushed(fms, &r->ret);
}
