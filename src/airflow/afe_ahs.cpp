// Simple air-handling system links: supply and return paths at their design flows, and the
// recirculation, outdoor-air and exhaust links that balance the system. None depends on dP.
#include <algorithm>

#include "airflow/afe_models.h"
#include "support/error.h"

static int fixedFlow(AirLink* link, double F)
{
    link->Flow[0] = F;
    link->Flow[1] = 0.0;
    link->dFdP = 0.0;
    return 1;
}

int afe_ahs(FlowmirState* fms, AirLink* link)
{
    float s = afe_ctrl(link);
    if (s < 0.0f)
        errorf(fms, ERROR, __FILE__, __LINE__, "AHS Path %d: control = %.2f m^3\n", link->s_nr, (double)s);
    float F = s * link->designFlow;
    link->dP = 0.0;
    return fixedFlow(link, F);
}

// Node N is the return node, node M the supply node; the supply and return paths have already
// been assembled, so their flow sums are known.
int afe_ahr(FlowmirState* fms, AirLink* link)
{
    AirNode* ret = link->nodeN;
    AirNode* sup = link->nodeM;
    double Fs = sup->sumF;
    double Fr = ret->sumF;
    double OA = std::max(std::min(Fs, (double)link->designFlow), afe_ctrl(link) * Fs);
    double Frec = std::min(Fr, Fs - OA);
    double Fex = Fr - Frec;
    double Foa = Fs - Frec;
    if (Fex < 0.0) errorf(fms, ERROR, __FILE__, __LINE__, "Invalid exhaust air flow %5g", Fex);
    if (Frec < 0.0) errorf(fms, ERROR, __FILE__, __LINE__, "Invalid recirculation air flow %5g", Frec);
    link->dP = 0.0;
    sup->ahsFlow = (float)Foa;
    ret->ahsFlow = (float)Fex;
    return fixedFlow(link, Frec);
}

int afe_aho(FlowmirState*, AirLink* link)
{
    return fixedFlow(link, link->nodeM->ahsFlow);
}

int afe_ahx(FlowmirState*, AirLink* link)
{
    return fixedFlow(link, link->nodeN->ahsFlow);
}
