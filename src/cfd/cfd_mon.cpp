// The monitor-point series (".mon"): one line per kept solution, flushed at once.
#include <cmath>

#include "cfd/cfd.h"
#include "support/timeconv.h"

void cfd_mon_header(FlowmirState* fms, int steady)
{
    CfdRun* r = fms->cfdRun;
    FILE* fp = cfd_open(fms, &r->monf, ".mon");
    fprintf(fp, "\t**********%s RESULTS AT MONITORING POINT**********\n\n", steady ? "STEADY" : "TRANSIENT");
    fprintf(fp, "At Monitoring Point: I=%d,J=%d,K=%d,\n", r->mon[0], r->mon[1], r->mon[2]);
    fprintf(fp, "Time\tU(m/s)\tV(m/s)\tW(m/s)\tVel(m/s)\tP(Pa)\t");
    if (r->energy) fprintf(fp, "T(C)\t");
    for (int m = 1; m <= r->nc; m++)
        fprintf(fp, "C%d(PPM)\t", m);
    cfd_flushed(fms, &r->monf);
}

static void line(FlowmirState* fms, int seconds, double u, double v, double w, double speed)
{
    CfdRun* r = fms->cfdRun;
    FILE* fp = cfd_open(fms, &r->monf, ".mon");
    int i = r->mon[0], j = r->mon[1], k = r->mon[2];
    char when[16];
    timestr(fms, seconds, when);
    fprintf(fp, "\n%s\t%lf\t%lf\t%lf\t%lf\t%lf\t", when, u, v, w, speed, r->P[i][j][k]);
    if (r->energy) fprintf(fp, "%lf\t", r->T[i][j][k] - 273.0);
}

// The monitor cell's face velocities, after a flow solution.
void cfd_mon_flow(FlowmirState* fms, int seconds)
{
    CfdRun* r = fms->cfdRun;
    int i = r->mon[0], j = r->mon[1], k = r->mon[2];
    double u = r->U[i][j][k], v = r->V[i][j][k], w = r->W[i][j][k];
    line(fms, seconds, u, v, w, sqrt(u * u + v * v + w * w));
    cfd_flushed(fms, &r->monf);
}

// Cell-centre velocities and the concentrations in ppm, after a contaminant solution.
void cfd_mon_ctm(FlowmirState* fms, int seconds)
{
    CfdRun* r = fms->cfdRun;
    int i = r->mon[0], j = r->mon[1], k = r->mon[2];
    line(fms, seconds, r->UP[i][j][k], r->VP[i][j][k], r->WP[i][j][k], r->VTT[i][j][k]);
    for (int m = 1; m <= r->nc; m++)
        fprintf(r->monf.fp, "%le\t", r->C[m][i][j][k] * 1000000.0);
    cfd_flushed(fms, &r->monf);
}
