// Doors: the large opening with two-way flow about a neutral plane, and the door seen as two
// power-law openings one above the other. Neither gives a derivative; their links are
// differentiated numerically.
#include <cmath>

#include "airflow/afe_models.h"

int afe_dor(FlowmirState* fms, AirLink* link)
{
    const AfeDor* p = static_cast<const AfeDor*>(link->elem->data);
    const AirNode* N = link->nodeN;
    const AirNode* M = link->nodeM;
    double dP = link->dP;
    double drho = N->rho - M->rho;

    // With no neutral plane inside the opening worth the name, it is a plain power law.
    if (std::fabs(dP) * 1e-4 >= std::fabs(drho))
        return plr_link(fms, link, p->lam, p->turb, p->expt, PLR_SQRHO, afe_ctrl(link) * link->mult);

    // The model's own g, not the run's.
    double a = 9.8 * drho;
    double c = std::sqrt(2.0 * std::fabs(a)) * (afe_ctrl(link) * link->mult * 0.666667 * p->wd * p->cd);
    double Z = dP / a; // neutral plane above mid-height
    double H2 = 0.5 * p->ht;
    double m = std::pow(std::fabs(H2 - Z), 1.5);
    double t = std::pow(std::fabs(H2 + Z), 1.5);

    if (Z < -H2 || Z > H2) {
        double S;
        if (Z < -H2)
            S = a > 0.0 ? -M->sqrho : N->sqrho;
        else
            S = a > 0.0 ? N->sqrho : -M->sqrho;
        link->Flow[0] = S * c * std::fabs(m - t);
        link->Flow[1] = 0.0;
        return 1;
    }
    if (a > 0.0) {
        link->Flow[0] = -M->sqrho * c * m;
        link->Flow[1] = N->sqrho * c * t;
    } else {
        link->Flow[0] = N->sqrho * c * m;
        link->Flow[1] = -M->sqrho * c * t;
    }
    return 2;
}

int afe_pl2(FlowmirState* fms, AirLink* link)
{
    const AfePl2* p = static_cast<const AfePl2*>(link->elem->data);
    float h = fms->gravity * p->dHopen;
    double drho = link->nodeN->rho - link->nodeM->rho;
    double dP1 = link->dP - drho * h; // upper opening
    double dP2 = link->dP + drho * h; // lower opening
    double factor = afe_ctrl(link) * link->mult;
    double dF;
    double F1 = plr_kernel(fms, afe_upstream(link, dP1), dP1, p->lam, p->turb, p->expt, PLR_SQRHO, 1, &dF);
    double F2 = plr_kernel(fms, afe_upstream(link, dP2), dP2, p->lam, p->turb, p->expt, PLR_SQRHO, 1, &dF);
    link->Flow[0] = F1 * factor;
    link->Flow[1] = F2 * factor;
    return 2;
}

void setNmDrv(FlowmirState* fms)
{
    for (AirLink* l = fms->linkList; l; l = l->next)
        if (l->elem && (l->elem->type == AFE_DOR_DOOR || l->elem->type == AFE_DOR_PL2)) l->flags |= LF_NUMDRV;
}
