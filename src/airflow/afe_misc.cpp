// The self-regulating vent and the quadratic law.
#include <cmath>

#include "airflow/afe_models.h"
#include "support/error.h"

// Flow rises towards vmax with dP (reverse flow towards rrev vmax), exponentially.
int afe_jwa(FlowmirState*, AirLink* link)
{
    const AfeJwa* p = static_cast<const AfeJwa*>(link->elem->data);
    float s = afe_ctrl(link) * (float)link->mult;
    double dP = link->dP;
    if (dP >= 0.0) {
        double e = std::exp(-dP / p->pref);
        double rv = s * link->nodeN->rho * p->vmax;
        link->Flow[0] = rv * (1.0 - e);
        link->dFdP = rv / p->pref * e;
    } else {
        double e = std::exp(dP / (p->pref * p->rrev));
        double rv = s * link->nodeM->rho * p->vmax;
        link->Flow[0] = -rv * p->rrev * (1.0 - e);
        link->dFdP = rv / p->pref * e;
    }
    link->Flow[1] = 0.0;
    return 1;
}

// dP = a Q + b Q^2 in the flow direction, solved for Q.
int afe_qfr(FlowmirState* fms, AirLink* link)
{
    const AfeQfr* p = static_cast<const AfeQfr*>(link->elem->data);
    double dP = link->dP;
    const AirNode* U = afe_upstream(link, dP);
    double a = p->a, b = p->b;
    if (fms->rhoMuCorr) {
        a /= U->rhomu * NU0;
        b *= U->T / 293.15;
    }
    double adP = std::fabs(dP);
    double D = 4.0 * b * adP + a * a;
    if (D < 0.0) error(fms, FATAL, __FILE__, __LINE__, "sqrt( -x )", "");
    double rD = std::sqrt(D);
    // For a > 0 the root is taken as 2|dP|/(a + sqrt(D)), equal to (sqrt(D) - a)/(2b) but free
    // of cancellation and valid for b = 0 (the linear law).
    double Q;
    if (a > 0.0)
        Q = 2.0 * adP / (a + rD);
    else if (b != 0.0)
        Q = (rD - a) / (2.0 * b);
    else
        Q = 0.0;
    double dQ = 2.0 * b * Q + a;
    double dF = dQ != 0.0 ? 1.0 / dQ : 0.0;
    if (dP < 0.0) Q = -Q;

    double factor = afe_ctrl(link) * link->mult;
    if (link->elem->type == AFE_QFR_QAB || link->elem->type == AFE_QFR_CRACK) factor *= U->rho;
    link->Flow[0] = Q * factor;
    link->dFdP = dF * factor;
    link->Flow[1] = 0.0;
    return 1;
}
