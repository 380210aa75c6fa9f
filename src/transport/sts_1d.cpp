// One-dimensional convection-diffusion zones: the zone's air and species are balanced as a
// whole, the axial flows between cells follow from the cells' inflows and outflows, and every
// species is solved implicitly over the cells with the hybrid upwind scheme.
#include <algorithm>
#include <cmath>

#include "network/airnet.h"
#include "support/error.h"
#include "support/timeconv.h"
#include "transport/species.h"
#include "transport/sts.h"

bool sts_tridiag(int n, const double* a, double* b, const double* c, double* d, double* x)
{
    for (int i = 1; i < n; i++) {
        if (b[i - 1] == 0.0) return false;
        double m = a[i] / b[i - 1];
        b[i] -= m * c[i - 1];
        d[i] -= m * d[i - 1];
    }
    if (n <= 0) return true;
    if (b[n - 1] == 0.0) return false;
    x[n - 1] = d[n - 1] / b[n - 1];
    for (int i = n - 2; i >= 0; i--)
        x[i] = (d[i] - c[i] * x[i + 1]) / b[i];
    return true;
}

static void zeroPivot(FlowmirState* fms, const CdZone* z)
{
    char time[16];
    if (!timestr(fms, fms->stepEndTime, time)) time[0] = '\0';
    errorf(fms, FATAL, __FILE__, __LINE__, "Zero on diagonal of 1-D zone %d at time %s", z->nr, time);
}

void CDZsim(FlowmirState* fms, CdZone* z)
{
    StsRun* s = fms->sts;
    AirNode* n = z->node;
    int nc = fms->nctm, N = z->ncells;
    double dt = fms->dt;
    fms->nCDZsim++;

    double inflow = 0.0, outflow = 0.0, inNonTrace = 0.0;
    for (int i = 0; i < N; i++) {
        const StsAcc& a = z->cells[i].acc;
        inflow += a.inflow;
        outflow += a.outflow;
        for (int j = 0; j < fms->nNonTrace; j++)
            inNonTrace += a.massIn[j];
    }
    double M = n->M;
    if (fms->nNonTrace > 0) {
        M = n->M0 + dt * (inNonTrace - outflow);
        n->M = M;
    }
    double rhoA = M / z->l; // rho A with A = V / l
    double net = inflow - outflow;
    double D = z->cond, S = z->dx / dt;
    double *a = s->ta, *b = s->tb, *c = s->tc, *d = s->td, *x = s->tx;
    for (int j = 0; j < nc; j++) {
        double Fcum = 0.0, fw = 0.0;
        for (int i = 0; i < N; i++) {
            const CdCell& cell = z->cells[i];
            Fcum += cell.acc.inflow - cell.acc.outflow;
            // the uniform share of the zone's mass change stays in every cell
            double fe = i < N - 1 ? (Fcum - (i + 1) * z->rncells * net) / rhoA : 0.0;
            double aW = i > 0 ? std::max({0.0, fw, D + fw / 2}) : 0.0;
            double aE = i < N - 1 ? std::max({0.0, -fe, D - fe / 2}) : 0.0;
            a[i] = -aW;
            c[i] = -aE;
            b[i] = aW + aE + S + (fe - fw) + cell.acc.outflow / rhoA;
            d[i] = cell.acc.massIn[j] / rhoA + S * cell.Mfi[j];
            fw = fe;
        }
        if (!sts_tridiag(N, a, b, c, d, x)) zeroPivot(fms, z);
        for (int i = 0; i < N; i++)
            z->cells[i].Mf[j] = x[i];
    }
    int nn = fms->nNonTrace;
    for (int i = 0; i < N && nn > 0; i++) {
        double* mf = z->cells[i].Mf;
        double sum = 0.0;
        for (int j = 0; j < nn; j++)
            sum += mf[j];
        if (sum > 0.0)
            for (int j = 0; j < nn; j++)
                mf[j] /= sum;
    }
    for (int j = 0; j < nc; j++) {
        double sum = 0.0;
        for (int i = 0; i < N; i++)
            sum += z->cells[i].Mf[j];
        n->Mf[j] = sum * z->rncells;
    }
}
