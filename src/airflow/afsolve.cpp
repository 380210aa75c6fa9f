// Airflow network solution by Newton-Raphson.
#include "airflow/afsolve.h"

#include <cmath>

#include "airflow/afe.h"
#include "airflow/afe_models.h"
#include "airflow/linsolve.h"
#include "engine/run.h"
#include "support/console.h"
#include "support/error.h"
#include "support/log.h"
#include "support/platform.h"
#include "support/timeconv.h"
#include "transport/mfsystem.h"

// Diagonals smaller than this in magnitude leave a node without a usable equation.
static const double DIAG_MIN = 2.220446049250313e-16;
// Trials of one Newton step; the step length rules end far sooner, this only guards
// against residuals that are not numbers.
enum { TRIAL_MAX = 100 };

static char kindLetter(const AirNode* node)
{
    return node->styp == NODE_ZONE ? 'z' : node->styp == NODE_JCT ? 'j' : 't';
}

static double windOf(const AirLink* link)
{
    return link->windP ? *link->windP : 0.0;
}

// Non-trace species change the air masses the residuals use; the transport module refreshes
// them here once it tracks them.
static void refreshConcBases(FlowmirState* fms)
{
    (void)fms;
}

static int nodeSound(FlowmirState* fms, const AirNode* node)
{
    if (node->T > 0.0 && node->R > 0.0) return 1;
    errorf(fms, ERROR, __FILE__, __LINE__,
           "Air node %d (%s %d %s) has temperature %g K and gas constant %g J/(kg K): airflow not solved",
           node->nr, node->styp == NODE_ZONE ? "zone" : "junction", node->s_nr, node->name, node->T, node->R);
    return 0;
}

int af_nodes_sound(FlowmirState* fms)
{
    int sound = 1;
    for (AirNode* node = fms->nodeList; node; node = node->next)
        if (!nodeSound(fms, node)) sound = 0;
    return sound;
}

// --- assembly ---------------------------------------------------------------------

// One pass of the assembly over the current flags; 1 when a storage node is refused.
static int assemble(FlowmirState* fms, AfMat* mat)
{
    double* sa = mat->sa;
    for (int k = 1; k <= mat->nsa; k++) sa[k] = 0.0;
    for (int i = 1; i <= mat->neq; i++) mat->b[i] = 0.0;

    const uint32_t storage = NF_VARP | NF_VOLUME | NF_STORAGE;
    for (AirNode* node = fms->nodeList; node; node = node->next) {
        if ((node->flags & storage) == storage) {
            if (!nodeSound(fms, node)) return 1;
            sa[node->eqn] = (double)(float)(node->V * fms->rdt) / (node->T * node->R);
            node->dMdt = (node->M - node->M0) * fms->rdt;
            node->resid = node->src - node->dMdt;
            node->sumF = fabs(node->src) + fabs(node->dMdt);
        } else if (node->flags & NF_VARP) {
            node->resid = node->src;
            node->sumF = fabs(node->src);
        } else {
            sa[node->eqn] = 1.0;
            node->resid = node->sumF = 0.0;
        }
    }

    for (AirLink* link = fms->linkList; link; link = link->next) {
        AirNode* N = link->nodeN;
        AirNode* M = link->nodeM;
        double dP = windOf(link) + link->dPs + (N->P - M->P);
        link->dP = dP;
        bool numeric = link->flags & LF_NUMDRV;
        double delta = 0.0, shifted[2] = {0.0, 0.0};
        if (numeric) {
            delta = 1e-5 * dP;
            if (fabs(delta) < 1e-16) delta = 1e-16;
            link->dP = dP + delta;
            int k = link->elem->model(fms, link);
            shifted[0] = link->Flow[0];
            shifted[1] = k > 1 ? link->Flow[1] : 0.0;
            link->dP = dP;
        }
        int k = link->elem->model(fms, link);
        bool nVar = N->flags & NF_VARP, mVar = M->flags & NF_VARP;
        for (int f = 0; f < k && f < 2; f++) {
            double F = link->Flow[f];
            N->sumF += fabs(F);
            M->sumF += fabs(F);
            if (numeric) link->dFdP = (shifted[f] - F) / delta;
            double d = link->dFdP;
            if (nVar) {
                N->resid -= F;
                sa[N->eqn] += d;
            }
            if (mVar) {
                M->resid += F;
                sa[M->eqn] += d;
                if (nVar && !(link->flags & LF_NOOFFD) && link->offd > 0) sa[link->offd] -= d;
            }
        }
        link->Ftot = (float)(link->Flow[0] + link->Flow[1]);
    }
    return 0;
}

int FillAf(FlowmirState* fms, AfMat* mat)
{
    fms->nFillAf++;
    // Non-trace species: the air masses follow the pressures of every trial.
    if (fms->trackBases) findAirNodeConcBases(fms);
    if (assemble(fms, mat)) return 1;

    // A variable-pressure node without a usable diagonal is held at its pressure (or the
    // pressure of its air mass) for this assembly.
    int isolated = 0;
    char date[16], time[16];
    for (AirNode* node = fms->nodeList; node; node = node->next) {
        if (!(node->flags & NF_VARP) || fabs(mat->sa[node->eqn]) >= DIAG_MIN) continue;
        if (!isolated) {
            datestr(fms, fms->dayofy, date);
            if (!timestr(fms, fms->stepEndTime, time)) time[0] = '\0';
        }
        isolated++;
        node->flags = ((node->flags | NF_ISOLATED) & ~(uint32_t)NF_VARP) & 0xFFFF;
        errorf(fms, WARNING, __FILE__, __LINE__,
               node->styp == NODE_ZONE ? "Isolated zone: %d %s %s" : "Isolated junction: %d %s %s",
               node->s_nr, date, time);
        if (node->flags & NF_VOLUME) node->P = node->M * node->R * node->T / node->V - fms->Pambt;
    }
    if (!isolated) return 0;
    int rc = assemble(fms, mat);
    for (AirNode* node = fms->nodeList; node; node = node->next)
        if (node->flags & NF_ISOLATED) node->flags = (node->flags | NF_VARP) & ~(uint32_t)NF_ISOLATED;
    return rc;
}

// --- convergence and failure --------------------------------------------------------

int af_converged(FlowmirState* fms, const AfMat* mat)
{
    double relcnvg = mat->relcnvg;
    for (const AirNode* node = fms->nodeList; node; node = node->next) {
        if (!(node->flags & NF_VARP)) continue;
        if (node->sumF <= node->Fmin) continue;
        if (fabs(node->resid) <= relcnvg * node->sumF) continue;
        return 0;
    }
    return 1;
}

void af_fail_report(FlowmirState* fms, const AfMat* mat)
{
    char date[16], time[16], msg[96];
    datestr(fms, fms->dayofy, date);
    if (!timestr(fms, fms->stepEndTime, time)) time[0] = '\0';
    snprintf(msg, sizeof msg, "Airflow iterations failed to converge at %s / %s", time, date);
    if (fms->afIgnoreFail) {
        LOG(fms, "WARNING: %s\n", msg);
        return;
    }
    error(fms, WARNING, __FILE__, __LINE__, msg, "");
    LOG(fms, " node    sum(F)      sum|F|      rel err\n");
    double relcnvg = mat->relcnvg;
    for (const AirNode* node = fms->nodeList; node; node = node->next) {
        if (!(node->flags & NF_VARP) || node->sumF <= node->Fmin) continue;
        if (fabs(node->resid) <= relcnvg * node->sumF) continue;
        LOG(fms, "%4d%c  %11.3e %11.3e", node->s_nr, kindLetter(node), node->resid, node->sumF);
        LOG(fms, " %11.3e\n", node->sumF != 0.0 ? fabs(node->resid) / node->sumF : 0.0);
    }
    logFlush(fms);
    if (fms->guiMode) {
        if (noyes_gui(fms, "Terminate simulation")) finish(fms, 1);
        if (noyes_gui(fms, "Ignore convergence failures")) fms->afIgnoreFail = 1;
    } else {
        fms->afIgnoreFail = 1;
    }
}

// --- solution logs ------------------------------------------------------------------

// Relative residual of a node for the logs: 0 for nodes whose flows are below their scale.
static double relError(const AirNode* node)
{
    return node->sumF > node->Fmin ? fabs(node->resid) / node->sumF : 0.0;
}

static void logIterStr(FlowmirState* fms, int iter, double lambda, int cg)
{
    const AirNode* nmax = fms->nodeList;
    double emax = 0.0, sum = 0.0;
    int ones = 0;
    for (const AirNode* node = fms->nodeList; node; node = node->next) {
        double e = relError(node);
        if (e > emax) {
            emax = e;
            nmax = node;
        }
        if (e > 0.999)
            ones++;
        else
            sum += e * e;
    }
    double erms = fms->nafnd > ones ? sqrt(sum / (fms->nafnd - ones)) : 0.0;
    if (!nmax) return;
    LOG(fms, "    iter %2d, damp %5.3f, Emax %.7f, Nmax %d (%d%c), Erms %.3e (E=1 %d), PCG iter %d\n", iter,
        lambda, emax, nmax->eqn, nmax->s_nr, kindLetter(nmax), erms, ones, cg);
}

static void logIterSur(FlowmirState* fms, int iter, int cg)
{
    const AirNode* nmax = fms->nodeList;
    double emax = 0.0, sum = 0.0;
    for (const AirNode* node = fms->nodeList; node; node = node->next) {
        double e = relError(node);
        if (e > emax) {
            emax = e;
            nmax = node;
        }
        sum += e * e;
    }
    double erms = fms->nafnd > 0 ? sqrt(sum / fms->nafnd) : 0.0;
    if (!nmax) return;
    LOG(fms, "    iter %2d, Emax %.7f, Nmax %d (%d%c), Erms %.3e, PCG iter %d\n", iter, emax, nmax->eqn,
        nmax->s_nr, kindLetter(nmax), erms, cg);
}

// Histogram, processor time and the per-solution line of a Newton solution.
static void endSolution(FlowmirState* fms, const char* name, int iter, int cgTotal, bool timing, double t0)
{
    if (fms->JfacBins && fms->nJfacBins > 0)
        fms->JfacBins[iter < fms->nJfacBins ? iter : fms->nJfacBins - 1]++;
    double seconds = timing ? platformCpuSeconds() - t0 : 0.0;
    if (timing) fms->afTime += seconds;
    if (fms->afLogSolve) {
        char time[16];
        if (!timestr(fms, fms->stepEndTime, time)) time[0] = '\0';
        LOG(fms, "%s %s: %d NR iter, %d CG iter, %.2f s\n", time, name, iter, cgTotal, seconds);
    }
}

static double sumResid2(FlowmirState* fms)
{
    double f = 0.0;
    for (const AirNode* node = fms->nodeList; node; node = node->next) f += node->resid * node->resid;
    return f;
}

static void setRhs(FlowmirState* fms, AfMat* mat)
{
    for (const AirNode* node = fms->nodeList; node; node = node->next) mat->b[node->eqn] = -node->resid;
}

// --- variable trust region ------------------------------------------------------------

int SolveAfstr(FlowmirState* fms, AfMat* mat)
{
    fms->nSolveAf++;
    if (!af_nodes_sound(fms)) return 0;
    bool timing = fms->afLogSolve || fms->nafnd > 1000;
    double t0 = timing ? platformCpuSeconds() : 0.0;
    bool logIter = fms->afLogSolve && fms->afLogIter;

    refreshConcBases(fms);
    if (FillAf(fms, mat)) return 0;
    int iter = 0, cgTotal = 0;
    bool done = af_converged(fms, mat);
    double f = sumResid2(fms);
    double delta = -1.0;  // trust radius: none yet

    while (!done && iter <= mat->itmax) {
        double f0 = f;
        setRhs(fms, mat);
        int cg = solve_slae(fms, mat);
        cgTotal += cg;
        iter++;
        double h = 0.0;
        for (int i = 1; i <= fms->nafnd; i++) h += mat->x[i] * mat->x[i];
        h = sqrt(h);
        // Trials move the pressures only: every assembly forms the links' dP from them.
        for (AirNode* node = fms->nodeList; node; node = node->next) node->P0 = node->P;

        double m = -1.0, c = 0.0;  // length and sum of squares of the previous trial
        double lambda = 1.0, u = f0;
        for (int trial = 0;; trial++) {
            if (delta <= 0.0 || delta >= h) {
                lambda = 1.0;
                delta = h;
            } else {
                lambda = delta / h;
            }
            for (AirNode* node = fms->nodeList; node; node = node->next)
                node->P = node->P0 - lambda * mat->x[node->eqn];
            refreshConcBases(fms);
            if (FillAf(fms, mat)) return iter;
            if (logIter) logIterStr(fms, iter, lambda, trial == 0 ? cg : 0);
            if (af_converged(fms, mat)) {
                done = true;
                break;
            }
            u = sumResid2(fms);
            if (trial + 1 >= TRIAL_MAX) break;

            bool enlarge = false;
            if (m > 0.0 && lambda > m) {
                // This trial enlarged an acceptable one: go back to it unless it did better.
                if (u >= c) {
                    delta = m * h;
                    m = 2.0;
                    continue;
                }
                enlarge = true;
            } else if (u <= (1.0 - 2e-4 * lambda) * f0) {
                if (m > lambda) break;
                enlarge = true;
            } else {
                if (lambda <= 1e-6) break;
                // Shrink the step by a quadratic, then cubic, model of the decrease.
                double w = 2.0 * lambda * f0 + (u - f0);
                double s;
                if (m <= 0.0) {
                    double q = lambda * f0 / w;
                    s = q < 0.1 ? 0.1 : fmin(0.5, q);
                } else {
                    double D = (2.0 * m * f0 + (c - f0)) / (m * m);
                    double W = w / (lambda * lambda);
                    double a = (D - W) / (m - lambda);
                    double bq = (W * m - D * lambda) / (m - lambda);
                    double disc = 6.0 * a * f0 + bq * bq;
                    double lstar = a == 0.0 ? f0 / bq : disc < 0.0 ? 0.0 : (sqrt(disc) - bq) / (3.0 * a);
                    s = lstar < 0.1 * lambda ? 0.1 : lstar > 0.5 * lambda ? 0.5 : lstar / lambda;
                }
                if (!std::isfinite(s)) s = 0.1;
                delta *= s;
                m = lambda;
                c = u;
                continue;
            }
            if (enlarge) {
                double t = 1.0 - lambda;
                if (lambda <= 0.7 && 0.1 * (f0 - u) >= fabs(t * t * f0 - u)) {
                    m = lambda;
                    c = u;
                    delta *= 2.0;
                    continue;
                }
            }
            break;
        }
        if (done) break;

        // Accept the trial; adapt the radius to how well the quadratic model held.
        double t = 1.0 - lambda;
        if (u <= (0.75 * t * t + 0.25) * f0)
            delta *= 2.0;
        else if (u > (0.1 * t * t + 0.9) * f0)
            delta *= 0.5;
        f = u;
    }
    if (!done) af_fail_report(fms, mat);
    endSolution(fms, "SolveAfSTR", iter, cgTotal, timing, t0);
    return iter;
}

// --- simple under-relaxation ------------------------------------------------------------

int SolveAfsur(FlowmirState* fms, AfMat* mat)
{
    fms->nSolveAf++;
    if (!af_nodes_sound(fms)) return 0;
    bool timing = fms->afLogSolve || fms->nafnd > 1000;
    double t0 = timing ? platformCpuSeconds() : 0.0;
    if (mat->itmax < 0) {
        af_fail_report(fms, mat);
        return 0;
    }
    bool logIter = fms->afLogSolve && fms->afLogIter;
    int iter = 0, cgTotal = 0;
    double rho = 0.0, rhoPrev = 0.0;
    for (;;) {
        if (FillAf(fms, mat)) return iter;
        double S = 0.0, E = 0.0;
        for (const AirNode* node = fms->nodeList; node; node = node->next)
            if (node->flags & NF_VARP) {
                S += node->sumF;
                E += fabs(node->resid);
            }
        if (S > 0.0) rho = E / S;
        if (E < DIAG_MIN || af_converged(fms, mat)) break;
        // The last correction has been assembled: the flows stand with the pressures.
        if (iter > mat->itmax) {
            af_fail_report(fms, mat);
            break;
        }
        setRhs(fms, mat);
        int cg = solve_slae(fms, mat);
        cgTotal += cg;
        iter++;
        if (logIter) logIterSur(fms, iter, cg);
        if (rho > 0.3 * rhoPrev)
            for (int i = 1; i <= mat->neq; i++) mat->x[i] *= mat->relax;
        // The next assembly forms the links' dP from the new pressures.
        for (AirNode* node = fms->nodeList; node; node = node->next) node->P -= mat->x[node->eqn];
        rhoPrev = rho;
        refreshConcBases(fms);
    }
    endSolution(fms, "SolveAfSUR", iter, cgTotal, timing, t0);
    return iter;
}

int SolveAfnvn(FlowmirState* fms, AfMat* mat)
{
    if (!af_nodes_sound(fms)) return 0;
    FillAf(fms, mat);
    return 0;
}

// --- linear first estimate --------------------------------------------------------------

// Linear law F = C dP + X of a link for the first estimate.
static void linearLaw(FlowmirState* fms, AirLink* link, double* C, double* X)
{
    const Afe* e = link->elem;
    const AirNode* N = link->nodeN;
    const AirNode* M = link->nodeM;
    double rhomu = 0.5 * ((double)N->rhomu + M->rhomu);
    double rho = 0.5 * (N->rho + M->rho);
    float ctrl = afe_ctrl(link);
    *C = *X = 0.0;
    int code = e ? e->type : -1;
    switch (code) {
    case AFE_PLR_ORFC:
    case AFE_PLR_LEAK1:
    case AFE_PLR_LEAK2:
    case AFE_PLR_LEAK3:
    case AFE_PLR_CONN:
    case AFE_PLR_QCN:
    case AFE_PLR_FCN:
    case AFE_PLR_TEST1:
    case AFE_PLR_TEST2:
    case AFE_PLR_CRACK:
    case AFE_PLR_STAIR:
    case AFE_PLR_SHAFT:
    case AFE_DCT_PLR:
    case AFE_DCT_FCN:
    case AFE_DCT_QCN:
        // The duct records begin with their power-law record.
        *C = rhomu * static_cast<const AfePlr*>(e->data)->lam * ctrl * link->mult;
        break;
    case AFE_PLR_BDQ:
    case AFE_PLR_BDF:
    case AFE_DCT_BDQ:
    case AFE_DCT_BDF:
        *C = rhomu * static_cast<const AfeBid*>(e->data)->lam * ctrl * link->mult;
        break;
    case AFE_DOR_DOOR:
        *C = rhomu * static_cast<const AfeDor*>(e->data)->lam * ctrl * link->mult;
        break;
    case AFE_SRV_JWA: {
        const AfeJwa* d = static_cast<const AfeJwa*>(e->data);
        if (d->pref != 0.0f) *C = rho * d->vmax / d->pref;
        break;
    }
    case AFE_QFR_QAB:
    case AFE_QFR_FAB:
    case AFE_QFR_CRACK:
    case AFE_QFR_TEST2: {
        const AfeQfr* d = static_cast<const AfeQfr*>(e->data);
        // Without a linear term the law has no slope at 0: take the secant through 1 Pa.
        if (d->a != 0.0f)
            *C = 1.0 / d->a;
        else if (d->b > 0.0f)
            *C = 1.0 / sqrt((double)d->b);
        break;
    }
    case AFE_DOR_PL2:
        *C = 2.0 * rhomu * static_cast<const AfePl2*>(e->data)->lam * ctrl * link->mult;
        break;
    case AFE_FAN_CMF:
    case AFE_DCT_CMF:
        *X = (double)(ctrl * static_cast<const AfeCnf*>(e->data)->flowRate) * link->mult;
        break;
    case AFE_FAN_CVF:
    case AFE_DCT_CVF:
        *X = rho * static_cast<const AfeCnf*>(e->data)->flowRate * ctrl * link->mult;
        break;
    case AFE_FAN_FAN:
    case AFE_DCT_FAN: {
        const AfeFan* d = static_cast<const AfeFan*>(e->data);
        link->lastX = 0.5f * d->fdf;
        if (ctrl > d->off) {
            link->dP = 0.5 * d->sop;
            afe_fan(fms, link);
            *X = link->Flow[0];
        } else {
            *C = rhomu * d->lam * link->mult;
        }
        break;
    }
    case AFE_CSF_FSP:
    case AFE_DCT_FSP:
        *C = afe_csf_slope0(e);
        break;
    case AFE_CSF_QSP:
    case AFE_DCT_QSP:
        *C = 1.2 * afe_csf_slope0(e);
        break;
    case AFE_CSF_PSF:
    case AFE_DCT_PSF:
    case AFE_CSF_PSQ:
    case AFE_DCT_PSQ: {
        double k = code == AFE_CSF_PSF || code == AFE_DCT_PSF ? 1.0 : 1.2;
        double s = afe_csf_slope0(e);
        if (s != 0.0) {
            *C = k / s;
        } else {
            // A flat curve at 0: take the secant from the origin to its last point.
            const AfeCsf* csf = afe_csf(e);
            if (csf && csf->npts > 0) {
                const CsfPoint& pt = csf->pts[csf->npts - 1];
                if (pt.y != 0.0) *C = k * pt.x / pt.y;
            }
        }
        break;
    }
    case AFE_DCT_DWC:
        if (link->dd) *C = rhomu * link->dd->Clin;
        break;
    case AFE_D_TERM:
        *C = rhomu * static_cast<const AfeTrm*>(e->data)->lam;
        break;
    case AFE_AHS_SR:
        *X = (double)ctrl * link->designFlow;
        break;
    case AFE_AHS_XOR:
    case AFE_D_LEAK:
        break;
    default:
        errorf(fms, FATAL, __FILE__, __LINE__, "Invalid AFE type: %d; call Orvo", code);
    }
}

int init_Af(FlowmirState* fms, AfMat* mat)
{
    fms->nFillAf++;
    if (!af_nodes_sound(fms)) return 1;
    double* sa = mat->sa;
    double* b = mat->b;
    for (int k = 1; k <= mat->nsa; k++) sa[k] = 0.0;
    for (int i = 1; i <= mat->neq; i++) b[i] = 0.0;
    for (AirNode* node = fms->nodeList; node; node = node->next) {
        if (node->flags & NF_VARP) {
            b[node->eqn] = node->src;
        } else {
            sa[node->eqn] = 1.0;
            b[node->eqn] = node->P;
        }
    }
    for (AirLink* link = fms->linkList; link; link = link->next) {
        double C, X;
        linearLaw(fms, link, &C, &X);
        AirNode* N = link->nodeN;
        AirNode* M = link->nodeM;
        bool nVar = N->flags & NF_VARP, mVar = M->flags & NF_VARP;
        double g = C * (windOf(link) + link->dPs) + X;
        if (nVar) {
            b[N->eqn] -= g;
            sa[N->eqn] += C;
            if (mVar && !(link->flags & LF_NOOFFD) && link->offd > 0) sa[link->offd] -= C;
        } else if (mVar) {
            b[M->eqn] += C * N->P;
        }
        if (mVar) {
            b[M->eqn] += g;
            sa[M->eqn] += C;
        } else if (nVar) {
            b[N->eqn] += C * M->P;
        }
    }
    for (AirNode* node = fms->nodeList; node; node = node->next)
        if ((node->flags & NF_VARP) && fabs(sa[node->eqn]) < DIAG_MIN) {
            sa[node->eqn] = 1.0;
            b[node->eqn] = node->P;
        }
    if (fms->afInit == 0 || mat->method < 0) return 0;

    // The present pressures are the conjugate-gradient start.
    for (AirNode* node = fms->nodeList; node; node = node->next) mat->x[node->eqn] = node->P;
    solve_slae(fms, mat);
    for (AirNode* node = fms->nodeList; node; node = node->next)
        if (node->flags & NF_VARP) node->P = mat->x[node->eqn];
    for (AirLink* link = fms->linkList; link; link = link->next)
        link->dP = mat->x[link->nodeN->eqn] - mat->x[link->nodeM->eqn] + link->dPs + windOf(link);
    // Newton corrections start from none, not from these pressures.
    for (int i = 1; i <= mat->neq; i++) mat->x[i] = 0.0;
    return 0;
}
