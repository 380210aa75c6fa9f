// The integrator's right-hand side dy/dt = K x + e from the transport coefficients of the
// combined system, and its Jacobian: K with every column of a variable divided by that
// variable's storage, since x = y / storage.
#include <nvector/nvector_serial.h>

#include "network/sparse.h"
#include "transport/cvode.h"
#include "transport/mfsystem.h"

int fmcv_rhs(sunrealtype, N_Vector y, N_Vector ydot, void* userData)
{
    FmcvJacIntfc* intfc = static_cast<FmcvJacIntfc*>(userData);
    FlowmirState* fms = intfc->fms;
    MfSystem* sys = fms->mfn;
    // The vectors hold equations 1..neq from index 0.
    const double* yv = N_VGetArrayPointer(y) - 1;
    double* dydt = N_VGetArrayPointer(ydot) - 1;
    setNodeConcs_fromSpeciesMasses(fms, yv, sys->x, sys->bls, sys->dvr, sys->first, fms->nNonTrace, sys->end);
    findPolMassRates(fms, sys);
    sa_mlt_xaab(sys->K, sys->ija, sys->x, dydt, sys->neq);
    for (int i = 1; i <= sys->neq; i++) dydt[i] += sys->e[i];
    adjustNodeSpeciesMassDerivs(fms, dydt, sys->first, sys->end);
    return 0;
}

int fmcv_jac(sunrealtype, N_Vector, N_Vector, SUNMatrix Jm, void* userData, N_Vector, N_Vector, N_Vector)
{
    FmcvJacIntfc* intfc = static_cast<FmcvJacIntfc*>(userData);
    FlowmirState* fms = intfc->fms;
    MfSystem* sys = fms->mfn;
    intfc->jacEvalCt++;
    // The storage of the state the coefficients were evaluated at.
    getNodeConcBases(fms, sys);
    const int* ija = intfc->ija;
    const double* K = intfc->J;
    const double* store = sys->M;
    const unsigned char* fixed = intfc->fixedEq;
    double* J = fmcv_matValues(Jm);
    for (int i = 1; i <= intfc->neq; i++) {
        if (fixed[i]) {
            // A given value does not change: its row is empty, so its correction is zero.
            J[i] = 0.0;
            for (int k = ija[i]; k < ija[i + 1]; k++) J[k] = 0.0;
            continue;
        }
        J[i] = K[i] / store[i];
        for (int k = ija[i]; k < ija[i + 1]; k++) {
            int c = ija[k];
            J[k] = fixed[c] ? K[k] : K[k] / store[c];
        }
    }
    return 0;
}
