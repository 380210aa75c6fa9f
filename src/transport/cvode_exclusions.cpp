// What the variable-step solver refuses: features it does not support, and storage it cannot
// divide by.
#include "network/airnet.h"
#include "support/error.h"
#include "transport/cse.h"
#include "transport/cvode.h"
#include "transport/mfsystem.h"

static bool hasBurstSource(FlowmirState* fms)
{
    for (CseInstance* head : fms->css)
        for (CseInstance* c = head; c; c = c->next)
            if (c->element->type == CSE_BRS) return true;
    return false;
}

bool cvodeIsExcluded(FlowmirState* fms)
{
    bool excluded = false;
    auto refuse = [&](const char* why) {
        error(fms, ERROR, __FILE__, __LINE__, why, "");
        excluded = true;
    };
    // A cyclic day would run once, without its repetition.
    if (fms->mfsim != 2) refuse("CVODE requires transient calculations");
    if (fms->bridge.state != 0 || fms->bridge.address[0]) refuse("CVODE does not support bridge functionality");
    if (fms->nExposures > 0) refuse("CVODE does not support exposures");
    if (hasBurstSource(fms)) refuse("CVODE does not support burst sources");
    if (fms->mfCombined.method == 1) refuse("CVODE cannot use BCG matrix method");
    return excluded;
}

// The Jacobian divides by every variable's storage, the state by the sinks' capacities.
void cvodeCheckStorage(FlowmirState* fms, MfSystem* sys)
{
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if ((n->flags & NF_MASSFRAC) && (!(n->flags & NF_VOLUME) || !(n->M > 0.0)))
            error(fms, FATAL, __FILE__, __LINE__, "Massless node unsupported", "");
    for (BlsSink* s = sys->bls; s; s = s->next)
        if (!(s->capacity > 0.0f))
            errorf(fms, FATAL, __FILE__, __LINE__, "Boundary layer sink %d has no capacity: %g", s->nr,
                   (double)s->capacity);
}
