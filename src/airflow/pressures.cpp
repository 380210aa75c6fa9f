// Node air properties, stack terms, wind pressures and gage pressures.
#include "airflow/pressures.h"

#include <cmath>

#include "airflow/afe_models.h"
#include "airflow/wpf.h"
#include "cfd/cpl.h"
#include "network/airnet.h"
#include "project/components.h"
#include "support/error.h"

static void nodeProperties(FlowmirState* fms)
{
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        double rho = fms->densZP ? (n->P + fms->Pambt) / (n->T * n->R) : fms->Pambt / (n->T * n->R);
        if (!(rho >= 0.01))
            errorf(fms, FATAL, __FILE__, __LINE__, "Node %d - invalid air density: %g kg/m^3\n  pressure = %g Pa",
                   n->nr, rho, fms->Pambt + n->P);
        n->rho = rho;
        n->sqrho = (float)sqrt(rho);
        n->mu = (float)(n->T * 4.9286e-8 + 3.7143e-6);
        n->rhomu = (float)(rho / n->mu);
        afe_node_corr(n);
    }
}

// Stack term of one link: the weight of the air columns between the nodes and the link.
static double stackTerm(FlowmirState* fms, const AirLink* l)
{
    const AirNode* N = l->nodeN;
    const AirNode* M = l->nodeM;
    double g = fms->gravity;
    if (l->styp == LINK_DUCT) {
        if (l->dH == 0.0f) return 0.0;
        double Tm = (N->T + M->T) / 2, Rm = (N->R + M->R) / 2, Pm = (N->P + M->P) / 2;
        float gdH = fms->gravity * l->dH;
        if (fms->stackD) return (exp(-gdH / (Tm * Rm)) - 1.0) * (Pm + fms->Pambt);
        double Ph = fms->densZP ? Pm : 0.0;
        return -g * l->dH * (Ph + fms->Pambt) / (Tm * Rm);
    }
    if (fms->stackD) {
        double e = (exp(-g * l->dHm / (M->T * M->R)) - 1.0) * (fms->Pambt + M->P);
        double a = l->dHn == 0.0f ? 0.0 : (exp(-g * l->dHn / (N->T * N->R)) - 1.0) * (fms->Pambt + N->P);
        return a - e;
    }
    return g * l->dHm * M->rho - g * l->dHn * N->rho;
}

void calc_sP(FlowmirState* fms)
{
    nodeProperties(fms);
    for (AirLink* l = fms->linkList; l; l = l->next) {
        l->dPs = stackTerm(fms, l);
        // A path of a CFD zone: the CFD's pressure at the opening replaces its side's column.
        double n, m;
        if (l->cplp && innimbal_loc(fms, l, &n, &m)) l->dPs = n - m;
        l->dP = (l->nodeN->P - l->nodeM->P) + (*l->windP + l->dPs);
    }
}

// Locates the interval i with x(i) <= theta <= x(i+1), starting from a cached index.
template <class X>
static int locate(FlowmirState* fms, X x, int n, float theta, int start, const char* small, const char* large)
{
    int i = start;
    if (i < 0 || i > n - 2) i = n / 2 > n - 2 ? n - 2 : n / 2;
    if (i < 0) i = 0;
    while (theta < x(i)) {
        if (--i < 0) {
            errorf(fms, FATAL, __FILE__, __LINE__, small, theta);
            return 0;
        }
    }
    while (theta > x(i + 1)) {
        if (++i > n - 2) {
            errorf(fms, FATAL, __FILE__, __LINE__, large, theta);
            return n - 2;
        }
    }
    return i;
}

double wpf_cp(FlowmirState* fms, const Wpf* wpf, float theta)
{
    int n = wpf->npts;
    if (wpf->type == WPF_SPLINE) {
        int start = fms->wpSplLast == wpf ? fms->wpSplIdx : -1;
        int i = locate(
            fms, [wpf](int k) { return wpf->seg[k].x; }, n, theta, start, "input value too small %6g",
            "input value too large %6g");
        fms->wpSplLast = wpf;
        fms->wpSplIdx = i;
        const WpSeg& s = wpf->seg[i];
        double t = (double)theta - s.x;
        return ((s.s3 * t + s.s2) * t + s.s1) * t + s.s0;
    }
    if (wpf->type == WPF_TRIG) {
        double th = theta * 0.0174532925;
        double c = cos(th), s = sin(th);
        double u = sqrt(fabs(c));
        double v = (c < 0 ? -1.0 : 1.0) * pow(fabs(c), 0.75);
        return (float)(0.5 * (wpf->trig[0] * u + wpf->trig[1] * v + wpf->trig[2] * s * s * s * s + wpf->trig[3] * s));
    }
    const float* x = wpf->azm;
    const float* y = wpf->coef;
    int start = fms->wpLinLast == wpf ? fms->wpLinIdx : -1;
    int i = locate(
        fms, [x](int k) { return x[k]; }, n, theta, start, "input value too small: %6g", "input value too large: %6g");
    fms->wpLinLast = wpf;
    fms->wpLinIdx = i;
    // In double precision: near Cp = 0 single-precision products lose most of the digits.
    double th = theta, x0 = x[i], x1 = x[i + 1];
    return ((th - x0) * y[i + 1] + (x1 - th) * y[i]) / (x1 - x0);
}

void calc_wP(FlowmirState* fms)
{
    if (fms->_useWPCwp) return;
    if (fms->_wPBridge && (fms->bridge.state > 0 || fms->cosim)) return;
    AirNode* a = fms->ambt;
    if (!a) return;
    a->rho = fms->Pambt / (a->T * a->R);
    afe_node_corr(a);
    double q = 0.5 * a->rho * fms->Wspd * fms->Wspd;
    for (AirLink* l = fms->linkList; l; l = l->next) {
        if (!(l->flags & LF_WIND) || l->envIdx < 1 || l->envIdx > fms->nenv) continue;
        double Pw;
        if (l->windProf) {
            float theta = fms->Wdir - l->azimuth;
            if (!std::isfinite(theta))
                errorf(fms, FATAL, __FILE__, __LINE__, "Invalid wind angle, path %d: direction %g, azimuth %g",
                       l->s_nr, fms->Wdir, l->azimuth);
            // One reduction whatever the size: exact, and never a loop of turns.
            theta = std::fmod(theta, 360.0f);
            if (theta < 0.0f) theta += 360.0f;
            if (theta >= 360.0f) theta -= 360.0f;
            Pw = wpf_cp(fms, l->windProf, theta) * l->windMod * q;
        } else {
            Pw = l->windConst;
        }
        fms->wPenv[l->envIdx] = (float)(fms->wSign[l->envIdx] * Pw);
    }
}

void findPgage(FlowmirState* fms)
{
    AirNode* a = fms->ambt;
    if (!a) return;
    double c = 1.0 / (a->T * a->R);
    double g = fms->gravity;
    for (Level* L = fms->levels; L; L = L->next) {
        if (fms->stackD) {
            double p = fms->Pambt * exp(-g * L->elevation * c);
            L->Plev = p - fms->Pambt;
            L->rholev = p * c;
        } else {
            L->rholev = a->rho;
            float gz = fms->gravity * L->elevation;
            L->Plev = -a->rho * gz;
        }
    }
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (n == a) {
            n->Pgage = 0.0f;
        } else if (n->inZone && n->inZoneNode) {
            const AirNode* z = n->inZoneNode;
            n->Pgage = (float)((n->hgt - z->hgt) * g * z->rho + (n->P - z->P));
        } else if (n->level) {
            const Level* L = n->level;
            n->Pgage = (float)((n->hgt - L->elevation) * g * L->rholev + (n->P - L->Plev));
        }
    }
}

int airNodeDensitiesHaveConverged(FlowmirState* fms)
{
    float tol = 10.0f * fms->afRelcnvg;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        double rrt = n->rho * n->R * n->T;
        if (fabs(rrt - (n->P + fms->Pambt)) > tol * rrt) return 0;
    }
    return 1;
}

extern "C" float PsyRhoAirFnPbTdbW(double Pb, double Tdb, double W)
{
    double w = W > (double)1e-5f ? W : (double)1e-5f;
    return (float)(Pb / (287.0 * (Tdb + 273.15) * (1.0 + 1.6077687 * w)));
}
