// Duct elements: the Darcy-Weisbach segment with its friction factor and preparation, the duct
// leak, the duct terminal with its preparation, and the friction and laminar-coefficient
// utilities offered to hosts.
#include <algorithm>
#include <cmath>

#include "airflow/afe_models.h"
#include "support/error.h"
#include "support/log.h"

// Darcy-Weisbach duct.  X = Re^2 (f L/D + sumC) is known from dP; the law is solved for Re in
// three ranges: laminar f = 64/Re, turbulent Colebrook, and between them f linear in Re.
int afe_dwc(FlowmirState* fms, AirLink* link)
{
    const AfeDwc* e = static_cast<const AfeDwc*>(link->elem->data);
    DuctSeg* dd = link->dd;
    double dP = link->dP;
    const AirNode* U = dP > 0.0 ? link->nodeN : link->nodeM;
    double D = e->D, A = e->A, eps = e->rr;
    double sumC = dd->sumC;
    float LD = dd->LD;
    float Dmu = e->D / U->mu;
    double X = (double)Dmu * Dmu * 2.0 * U->rho * std::fabs(dP);
    double Re, h;

    if (X >= dd->Xturb) {
        // One Newton step on (Re, g = 1/sqrt(f)) per call from the last g; the outer
        // iterations finish the convergence.
        double g = dd->g;
        double fl = LD / (g * g);
        Re = std::sqrt(X / (fl + sumC));
        double w = 0.0, t = 0.0, u = 0.0;
        h = 0.0;
        for (int pass = 0; pass < 2; pass++) {
            double y = eps * 0.2702702702702703 + 2.51 * g / Re;
            if (y <= 0.0)
                errorf(fms, ERROR, __FILE__, __LINE__, "dr1dg <= 0, pp->s_nr/nr %d/%d", link->s_nr, link->nr);
            w = 2.180158299154324 / (y * Re);
            h = 2.0 * Re * (fl + sumC);
            t = -2.0 * Re * Re * fl / g;
            u = -w * g / Re;
            if (pass == 1) break; // the slopes at the new point; its residual is not needed
            double v = std::log10(y);
            double R1 = (fl + sumC) * Re * Re - X;
            double R2 = g + 2.0 * v;
            double det = h * (w + 1.0) - t * u;
            Re -= (R1 * (w + 1.0) - t * R2) / det;
            g -= (h * R2 - R1 * u) / det;
            fl = LD / (g * g);
        }
        dd->g = (float)g;
        if (g <= 0.0) error(fms, ERROR, __FILE__, __LINE__, "g <= 0", "");
        h -= t * u / (w + 1.0); // dX/dRe along the Colebrook curve
        fms->nDwcTurb++;
    } else if (X <= dd->Xlam) {
        h = 64.0 * LD;
        if (sumC > 0.0) {
            double d = 32.0 * LD;
            // Root of sumC Re^2 + 64 LD Re = X, in the form that keeps its digits.
            double den = std::sqrt(d * d + X * sumC) + d;
            Re = den > 0.0 ? X / den : 0.0;
            // A segment with no length has an infinite slope at rest; Re >= 1 keeps it finite.
            h += 2.0 * sumC * std::max(Re, 1.0);
        } else {
            Re = X / h;
        }
        fms->nDwcLam++;
    } else {
        Re = solveCubic(fms, -X, 0.0, dd->c2, dd->c3, dd->Re);
        h = (3.0 * dd->c3 * Re + 2.0 * dd->c2) * Re;
        dd->Re = (float)Re;
        fms->nDwcTrns++;
    }

    double F = U->mu * Re * A / D;
    link->Flow[0] = dP < 0.0 ? -F : F;
    link->dFdP = 2.0 * U->rho * A * D / (U->mu * h);
    link->Flow[1] = 0.0;
    return 1;
}

double ffdwc(FlowmirState* fms, double rr, double Re, double f0)
{
    if (Re <= 0.0) errorf(fms, FATAL, __FILE__, __LINE__, "Re <= 0: %6g", Re);
    if (Re >= 3500.0) {
        if (f0 <= 0.0) errorf(fms, FATAL, __FILE__, __LINE__, "f <= 0: %6g", f0);
        // Colebrook: x = 1/sqrt(f) solves x + 0.868589 ln(x 2.51/Re + rr/3.7) = 0.
        double x = 1.0 / std::sqrt(f0);
        double dx;
        int it = 0;
        do {
            double y = x * (2.51 / Re) + rr / 3.7;
            dx = (0.868589 * std::log(y) + x) / (0.868589 * (2.51 / Re) / y + 1.0);
            x -= dx;
        } while (std::fabs(dx / x) > 1e-7 && ++it < 100);
        return 1.0 / (x * x);
    }
    if (Re <= 2300.0) return 64.0 / Re;
    double w = (Re - 2300.0) / 1200.0;
    return w * ffdwc(fms, rr, 3500.0, 0.04) + (1.0 - w) * 0.02782608695652174;
}

double ffdwc_w(double rr, double Re, double f0)
{
    if (Re <= 2300.0) return 64.0 / Re;
    double fc;
    if (rr > 1e-7) {
        double x = f0 > 0.0 ? 1.0 / std::sqrt(f0) : -0.868589 * std::log(rr / 3.7);
        double dx;
        int it = 0;
        do {
            double y = x * (2.51 / Re) + rr / 3.7;
            dx = (0.868589 * std::log(y) + x) / (0.868589 * (2.51 / Re) / y + 1.0);
            x -= dx;
        } while (std::fabs(dx / x) > 1e-5 && ++it < 100);
        fc = 1.0 / (x * x);
    } else if (Re < 100000.0) {
        fc = 0.3164 / std::pow(Re, 0.25); // Blasius
    } else {
        fc = 0.221 / std::pow(Re, 0.237) + 0.0032;
    }
    if (Re < 3500.0) return ((3500.0 - Re) * 64.0 / Re + (Re - 2300.0) * fc) / 1200.0;
    return fc;
}

float setLamCoef(FlowmirState* fms, float Ct, float expt, float area, float dh, float Re, int form,
                 const char* name)
{
    float Ft = Re * (float)MU0 * area / dh;
    double factor = form == 0 ? RHO0 : form == 1 ? 1.097315 : 1.0;
    double dPt = 0.0;
    if (form >= 0 && form <= 2) dPt = std::pow(Ft / (Ct * factor), 1.0 / expt);
    dPt = std::max(dPt, 1e-10);
    float Cl = (float)(Ft * MU0 / (dPt * RHO0));
    LOG(fms, "%s: Cl %g, Ct %g, expt %g\n", name, Cl, Ct, expt);
    LOG(fms, "   Re %g, F %g,", Re, Ft);
    if (form >= 0 && form <= 2) LOG(fms, " Ft %g,", Ct * factor * std::pow(dPt, (double)expt));
    LOG(fms, " Fl %g\n", Cl * RHO0 * dPt / MU0);
    return Cl;
}

void afe_duct_prep(FlowmirState* fms, AirLink* link)
{
    if (!link->elem || link->elem->type != AFE_DCT_DWC || !link->elem->data) {
        link->mult = 1.0;
        return;
    }
    const AfeDwc* e = static_cast<const AfeDwc*>(link->elem->data);
    DuctSeg* dd = link->dd;
    float LD = dd->len / e->D;
    dd->LD = LD;
    double sumC = dd->sumC;
    link->lastX = 0.04f;
    dd->Re = 2900.0f;
    dd->g = 5.0f;
    double f1 = ffdwc(fms, e->rr, 2300.0, 0.04);
    dd->Xlam = (float)((f1 * LD + sumC) * 5290000.0);
    double f2 = ffdwc(fms, e->rr, 3500.0, 0.04);
    dd->Xturb = (float)((f2 * LD + sumC) * 12250000.0);
    double s = (f2 - f1) / 1200.0;
    dd->c3 = (float)(s * LD);
    dd->c2 = (float)((f1 - 2300.0 * s) * LD + sumC);
    link->mult = 0.02f;
}

float afe_dwc_clin(FlowmirState* fms, const AfeDwc* dwc, float len, float sumC)
{
    double D = dwc->D, A = dwc->A;
    double Ft = A * 5.44875e-4 / D; // flow at Re = 30
    double f = ffdwc(fms, dwc->rr, 30.0, 0.04);
    double dPt = (len / D * f + sumC) * Ft * Ft / (2.0 * A * A * RHO0);
    return (float)(Ft * MU0 / (std::max(1e-10, dPt) * RHO0));
}

int afe_jlk(FlowmirState* fms, AirLink* link)
{
    double dP = link->dP;
    const AirNode* U = afe_upstream(link, dP);
    double k = 1.0;
    if (fms->rhoMuCorr) {
        if (U->kLeak == 0.0) U->kLeak = std::exp(0.65 * U->lnRhoRatio + 0.3 * U->lnRhoMu);
        k = U->kLeak;
    }
    double K = link->dd->Cleak * k * U->rho;
    if (std::fabs(dP) <= 0.001) {
        // Linear below 1 mPa, meeting the power law there.
        double slope = K * std::pow(0.001, 0.65) / 0.001;
        link->Flow[0] = slope * dP;
        link->dFdP = slope;
    } else {
        double F = K * std::pow(std::fabs(dP), 0.65);
        if (dP < 0.0) F = -F;
        link->Flow[0] = F;
        link->dFdP = 0.65 * F / dP;
    }
    link->Flow[1] = 0.0;
    return 1;
}

int afe_trm(FlowmirState*, AirLink* link)
{
    const AfeTrm* p = static_cast<const AfeTrm*>(link->elem->data);
    double dP = link->dP;
    const AirNode* U = afe_upstream(link, dP);
    float s = afe_ctrl(link); // balancing damper position, 1 fully open
    float FLc = U->rhomu * p->lam;
    double FL = FLc * dP;
    double FT;
    if (s < 1.0f) {
        double Cb = s < 1e-6f ? 1e6 : (1.0 - s) / s;
        double K = p->loss2 + p->loss1 + Cb;
        FT = p->area * std::sqrt(2.0 * U->rho * std::fabs(dP) / K);
    } else {
        FT = p->turb * std::sqrt(U->rho * std::fabs(dP));
    }
    if (dP < 0.0) FT = -FT;
    if (std::fabs(FT) >= std::fabs(FL)) {
        link->Flow[0] = FL;
        link->dFdP = FLc;
    } else {
        link->Flow[0] = FT;
        link->dFdP = FT / (2.0 * dP);
    }
    link->Flow[1] = 0.0;
    return 1;
}

void afe_trm_prep(FlowmirState* fms, AfeTrm* trm, int jct)
{
    float K = trm->loss2 + trm->loss1;
    if (K <= 0.0f) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid loss coefficient for terminal %d", jct);
        trm->turb = trm->lam = 0.0f;
        return;
    }
    trm->turb = (float)(std::sqrt(2.0 / K) * trm->area);
    double Ft = std::sqrt((double)trm->area) * 5.44875e-4; // flow at Re = 30, Dh = sqrt(area)
    double dPt = Ft * Ft / ((double)trm->turb * trm->turb * RHO0);
    trm->lam = (float)(Ft * MU0 / (std::max(1e-10, dPt) * RHO0));
}
