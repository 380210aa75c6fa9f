// Power-law elements: the common kernel, the three forms of the simple law and the backdraft
// dampers with their own coefficients in each direction.
#include <cmath>

#include "airflow/afe_models.h"

// The correction factor of exponent n and form at node U: formed once per density update.
static double corrFactor(const AirNode* U, float expt, int form)
{
    for (auto& c : U->corr)
        if (c.form == form && c.expt == expt) return c.k;
    double n = expt;
    double m = form == PLR_SQRHO ? n - 0.5 : form == PLR_MASS ? n - 1.0 : n;
    double k = std::exp((2.0 * n - 1.0) * U->lnRhoMu + m * U->lnRhoRatio);
    auto& slot = U->corr[U->corrNext];
    U->corrNext ^= 1;
    slot.expt = expt;
    slot.form = form;
    slot.k = k;
    return k;
}

double plr_kernel(FlowmirState* fms, const AirNode* U, double dP, float lam, float turb, float expt, int form,
                  int halfTest, double* dFdP)
{
    float FLc = lam * U->rhomu;
    double FL = FLc * dP;

    double n = expt;
    double k = fms->rhoMuCorr && !(halfTest && expt == 0.5f) ? corrFactor(U, expt, form) : 1.0;
    double R = form == PLR_SQRHO ? U->sqrho : form == PLR_MASS ? 1.0 : U->rho;
    double adP = std::fabs(dP);
    double FT = turb * k * R * (expt == 0.5f ? std::sqrt(adP) : std::pow(adP, n));
    if (dP < 0.0) FT = -FT;

    // The smaller magnitude wins: laminar near zero, turbulent beyond the crossing.
    if (std::fabs(FT) >= std::fabs(FL)) {
        *dFdP = FLc;
        return FL;
    }
    *dFdP = n * FT / dP;
    return FT;
}

int plr_link(FlowmirState* fms, AirLink* link, float lam, float turb, float expt, int form, double factor)
{
    double dP = link->dP;
    double dF;
    double F = plr_kernel(fms, afe_upstream(link, dP), dP, lam, turb, expt, form, 1, &dF);
    link->Flow[0] = F * factor;
    link->dFdP = dF * factor;
    link->Flow[1] = 0.0;
    return 1;
}

// Every power-law record (and the duct ones) begins with lam, turb, expt.
static int plrForm(FlowmirState* fms, AirLink* link, int form)
{
    const AfePlr* p = static_cast<const AfePlr*>(link->elem->data);
    return plr_link(fms, link, p->lam, p->turb, p->expt, form, afe_ctrl(link) * link->mult);
}

int afe_plr(FlowmirState* fms, AirLink* link)
{
    return plrForm(fms, link, PLR_SQRHO);
}

int afe_fcn(FlowmirState* fms, AirLink* link)
{
    return plrForm(fms, link, PLR_MASS);
}

int afe_qcn(FlowmirState* fms, AirLink* link)
{
    return plrForm(fms, link, PLR_VOLUME);
}

// Backdraft damper: corrected at every exponent; at dP = 0 only the laminar slope remains.
static int bidForm(FlowmirState* fms, AirLink* link, int form)
{
    const AfeBid* p = static_cast<const AfeBid*>(link->elem->data);
    double dP = link->dP;
    double F, dF;
    if (dP > 0.0) {
        F = plr_kernel(fms, link->nodeN, dP, p->lam, p->turbp, p->exptp, form, 0, &dF);
    } else if (dP < 0.0) {
        F = plr_kernel(fms, link->nodeM, dP, p->lam, p->turbn, p->exptn, form, 0, &dF);
    } else {
        F = 0.0;
        if (form == PLR_MASS)
            dF = p->lam * link->nodeN->rhomu;
        else
            dF = p->lam * 0.5 * (link->nodeN->rhomu + link->nodeM->rhomu);
    }
    double factor = afe_ctrl(link) * link->mult;
    link->Flow[0] = F * factor;
    link->dFdP = dF * factor;
    link->Flow[1] = 0.0;
    return 1;
}

int afe_bdq(FlowmirState* fms, AirLink* link)
{
    return bidForm(fms, link, PLR_VOLUME);
}

int afe_bdf(FlowmirState* fms, AirLink* link)
{
    return bidForm(fms, link, PLR_MASS);
}
