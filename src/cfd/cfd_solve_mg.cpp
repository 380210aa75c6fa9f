// The three-level multigrid cycle of the pressure correction. Each coarse cell merges two
// cells of the level above per resolved direction (the last one up to three); the coarse
// equations are the fine ones summed over the merged cells, so a coarse correction, added to
// every fine cell it covers, removes the summed fine residual (additive correction). Down the
// levels the smoother runs 10 sweeps, up again 2.
#include <cmath>
#include <cstring>

#include "cfd/cfd_solve.h"
#include "support/heap.h"

struct CfdMgLevel {
    CfdSys sys;
    double* x;     // "PHIMGP_l": the level's correction
    double* res;   // "RES_PHIMG_l": its residual
    double* err;   // "ERR_PHIMG_l": the correction passed up
    double* store; // coefficient storage: 8 arrays of the level's points
    long points;
    int* map[3];   // "REST_COAP": coarse cell of each cell of the level above, per direction
    int mapLen[3];
};

struct CfdMg {
    CfdMgLevel lv[3]; // 0 is the grid itself (only res is used)
};

static const char* const COEF_LABEL[2][8] = {
    {"AW_1", "AS_1", "AB_1", "AE_1", "AN_1", "AT_1", "AP_1", "B_1"},
    {"AW_2", "AS_2", "AB_2", "AE_2", "AN_2", "AT_2", "AP_2", "B_2"}};
static const char* const X_LABEL[3] = {"PHIMGP_1", "PHIMGP_2", "PHIMGP_3"};
static const char* const RES_LABEL[3] = {"RES_PHIMG_0", "RES_PHIMG_1", "RES_PHIMG_2"};
static const char* const ERR_LABEL[3] = {"ERR_PHIMG_0", "ERR_PHIMG_1", "ERR_PHIMG_2"};

static void shape(CfdSys& q, const int* n)
{
    for (int d = 0; d < 3; d++)
        q.n[d] = n[d];
    q.s[2] = 1;
    q.s[1] = n[2] + 2;
    q.s[0] = (long)(n[1] + 2) * (n[2] + 2);
}

void cfd_mg_alloc(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    if (r->mg) return;
    CfdMg* mg = static_cast<CfdMg*>(alc_e(fms, sizeof(CfdMg), "cfd-multigrid"));
    memset(static_cast<void*>(mg), 0, sizeof *mg);
    r->mg = mg;
    CfdIdx g = cfd_idx(r);
    shape(mg->lv[0].sys, g.n);
    mg->lv[0].points = g.points;
    mg->lv[0].res = alc_vt<double>(fms, 0, g.points - 1, RES_LABEL[0]);
    for (int l = 1; l <= 2; l++) {
        CfdMgLevel& up = mg->lv[l - 1];
        CfdMgLevel& lv = mg->lv[l];
        int n[3];
        for (int d = 0; d < 3; d++) {
            // (points - 1) / 2 + 1 points with one boundary layer: half the cells.
            n[d] = up.sys.n[d] == 1 ? 1 : ((up.sys.n[d] + 1) - 1) / 2 + 1 - 1;
            if (n[d] < 1) n[d] = 1;
            lv.mapLen[d] = up.sys.n[d] + 3;
            lv.map[d] = alc_vt<int>(fms, 0, lv.mapLen[d] - 1, "REST_COAP");
            for (int f = 2; f <= up.sys.n[d] + 1; f++) {
                int c = 2 + (f - 2) / 2;
                lv.map[d][f] = c > n[d] + 1 ? n[d] + 1 : c;
            }
            lv.map[d][1] = 1;
            lv.map[d][up.sys.n[d] + 2] = n[d] + 2;
        }
        shape(lv.sys, n);
        lv.points = (long)(n[0] + 2) * lv.sys.s[0];
        for (int a = 0; a < 8; a++) {
            double* v = alc_vt<double>(fms, 0, lv.points - 1, COEF_LABEL[l - 1][a]);
            if (a < 3) lv.sys.lo[a] = v;
            else if (a < 6) lv.sys.hi[a - 3] = v;
            else if (a == 6) lv.sys.ap = v;
            else lv.sys.bs = v;
        }
        lv.x = alc_vt<double>(fms, 0, lv.points - 1, X_LABEL[l - 1]);
        lv.res = alc_vt<double>(fms, 0, lv.points - 1, RES_LABEL[l]);
        lv.err = alc_vt<double>(fms, 0, lv.points - 1, ERR_LABEL[l]);
    }
}

void cfd_mg_free(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    CfdMg* mg = r->mg;
    if (!mg) return;
    fre_vt(fms, mg->lv[0].res, 0, mg->lv[0].points - 1);
    for (int l = 1; l <= 2; l++) {
        CfdMgLevel& lv = mg->lv[l];
        for (int d = 0; d < 3; d++)
            fre_vt(fms, lv.map[d], 0, lv.mapLen[d] - 1);
        for (int d = 0; d < 3; d++) {
            fre_vt(fms, lv.sys.lo[d], 0, lv.points - 1);
            fre_vt(fms, lv.sys.hi[d], 0, lv.points - 1);
        }
        fre_vt(fms, lv.sys.ap, 0, lv.points - 1);
        fre_vt(fms, lv.sys.bs, 0, lv.points - 1);
        fre_vt(fms, lv.x, 0, lv.points - 1);
        fre_vt(fms, lv.res, 0, lv.points - 1);
        fre_vt(fms, lv.err, 0, lv.points - 1);
    }
    fre_e(fms, mg, sizeof(CfdMg), "cfd-multigrid");
    r->mg = nullptr;
}

static inline long at(const CfdSys& q, int i, int j, int k)
{
    return (i - 1) * q.s[0] + (j - 1) * q.s[1] + (k - 1);
}

static CfdBox cellsOf(const CfdSys& q)
{
    CfdBox b = {{2, 2, 2}, {q.n[0] + 1, q.n[1] + 1, q.n[2] + 1}};
    return b;
}

// res = b - A x over the cells of a level.
static void residual(const CfdSys& q, const double* x, double* res)
{
    for (int i = 2; i <= q.n[0] + 1; i++)
        for (int j = 2; j <= q.n[1] + 1; j++) {
            long p = at(q, i, j, 2);
            for (int k = 2; k <= q.n[2] + 1; k++, p++) {
                double s = q.bs[p] - q.ap[p] * x[p];
                for (int e = 0; e < 3; e++)
                    s += q.lo[e][p] * x[p - q.s[e]] + q.hi[e][p] * x[p + q.s[e]];
                res[p] = s;
            }
        }
}

// The coarse system of level l from the level above and its residual.
static void restrict(CfdMg* mg, int l, const double* res)
{
    const CfdSys& f = mg->lv[l - 1].sys;
    CfdMgLevel& lv = mg->lv[l];
    CfdSys& c = lv.sys;
    for (int a = 0; a < 3; a++) {
        memset(c.lo[a], 0, sizeof(double) * (size_t)lv.points);
        memset(c.hi[a], 0, sizeof(double) * (size_t)lv.points);
    }
    memset(c.ap, 0, sizeof(double) * (size_t)lv.points);
    memset(c.bs, 0, sizeof(double) * (size_t)lv.points);
    memset(lv.x, 0, sizeof(double) * (size_t)lv.points);
    int q[3];
    for (q[0] = 2; q[0] <= f.n[0] + 1; q[0]++)
        for (q[1] = 2; q[1] <= f.n[1] + 1; q[1]++)
            for (q[2] = 2; q[2] <= f.n[2] + 1; q[2]++) {
                long p = at(f, q[0], q[1], q[2]);
                int cq[3] = {lv.map[0][q[0]], lv.map[1][q[1]], lv.map[2][q[2]]};
                long cp = at(c, cq[0], cq[1], cq[2]);
                c.ap[cp] += f.ap[p];
                c.bs[cp] += res[p];
                for (int e = 0; e < 3; e++) {
                    // A link inside the coarse cell cancels out of its centre coefficient.
                    if (lv.map[e][q[e] - 1] == cq[e])
                        c.ap[cp] -= f.lo[e][p];
                    else
                        c.lo[e][cp] += f.lo[e][p];
                    if (lv.map[e][q[e] + 1] == cq[e])
                        c.ap[cp] -= f.hi[e][p];
                    else
                        c.hi[e][cp] += f.hi[e][p];
                }
            }
}

// Adds level l's correction to every cell of the level above that it covers.
static void prolong(CfdMg* mg, int l, double* x)
{
    const CfdSys& f = mg->lv[l - 1].sys;
    CfdMgLevel& lv = mg->lv[l];
    int q[3];
    for (q[0] = 2; q[0] <= f.n[0] + 1; q[0]++)
        for (q[1] = 2; q[1] <= f.n[1] + 1; q[1]++)
            for (q[2] = 2; q[2] <= f.n[2] + 1; q[2]++) {
                long cp = at(lv.sys, lv.map[0][q[0]], lv.map[1][q[1]], lv.map[2][q[2]]);
                lv.err[cp] = lv.x[cp];
                x[at(f, q[0], q[1], q[2])] += lv.x[cp];
            }
}

static void smooth(FlowmirState* fms, const CfdSys& q, double* x, int sweeps)
{
    if (fms->cfdMgLineSmoother) {
        cfd_sys_sweep(fms, q, x, cellsOf(q), sweeps);
        return;
    }
    for (int s = 0; s < sweeps; s++) {
        // Forward on odd sweeps, backward on even ones.
        bool back = (s + fms->cfdRun->flip) % 2 == 1;
        for (int ti = 0; ti < q.n[0]; ti++) {
            int i = back ? q.n[0] + 1 - ti : 2 + ti;
            for (int tj = 0; tj < q.n[1]; tj++) {
                int j = back ? q.n[1] + 1 - tj : 2 + tj;
                for (int tk = 0; tk < q.n[2]; tk++) {
                    int k = back ? q.n[2] + 1 - tk : 2 + tk;
                    long p = at(q, i, j, k);
                    double s2 = q.bs[p];
                    for (int e = 0; e < 3; e++)
                        s2 += q.lo[e][p] * x[p - q.s[e]] + q.hi[e][p] * x[p + q.s[e]];
                    x[p] = s2 / (q.ap[p] + 1e-10);
                }
            }
        }
    }
    fms->cfdRun->flip = !fms->cfdRun->flip;
}

// Two cycles, each: a sweep of the grid, down through both coarse levels, back up, a sweep.
void cfd_mg_solve(FlowmirState* fms, double* phi, const CfdBox& box)
{
    CfdRun* r = fms->cfdRun;
    CfdMg* mg = r->mg;
    if (!mg) {
        cfd_sweep(fms, phi, box, 5);
        return;
    }
    CfdSys fine = cfd_fine_sys(r);
    mg->lv[0].sys = fine;
    for (int cycle = 0; cycle < 2; cycle++) {
        cfd_sys_sweep(fms, fine, phi, box, 1);
        residual(fine, phi, mg->lv[0].res);
        restrict(mg, 1, mg->lv[0].res);
        smooth(fms, mg->lv[1].sys, mg->lv[1].x, 10);
        residual(mg->lv[1].sys, mg->lv[1].x, mg->lv[1].res);
        restrict(mg, 2, mg->lv[1].res);
        smooth(fms, mg->lv[2].sys, mg->lv[2].x, 10);
        prolong(mg, 2, mg->lv[1].x);
        smooth(fms, mg->lv[1].sys, mg->lv[1].x, 2);
        prolong(mg, 1, phi);
        cfd_sys_sweep(fms, fine, phi, box, 1);
    }
}
