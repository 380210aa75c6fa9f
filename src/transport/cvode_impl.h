// The variable-step run shared between its source files.
#ifndef FLOWMIR_TRANSPORT_CVODE_IMPL_H
#define FLOWMIR_TRANSPORT_CVODE_IMPL_H

#include "transport/cvode.h"

// One run with the integrator: its memory, state vector and clock of the listings.
struct CvodeRun {
    FlowmirState* fms;
    MfSystem* sys;        // the combined system; none without species
    int writeResults;
    bool needListTimes;   // something reads the results at listing times: segments end there
    SUNContext ctx;
    void* mem;            // CVODE's memory
    double* qCur;         // [0..neq-1] the state vector's values ("qCur")
    N_Vector y;           // qCur wrapped
    double* dkyData;      // [0..neq-1] the interpolated state ("fmcv-dky")
    N_Vector dky;
    unsigned char* fixedEq;  // [1..neq] the equation's value is given
    FmcvJacIntfc intfc;
    double t;             // the integrator's time, seconds of the day
    int listAt;           // next listing time L
    int screenAt;         // next screen time S
};

// One segment from the current time to its stop time T: internal steps, their airflows,
// accounting and listings.
void cvode_segment(CvodeRun* run, int T);
// The stop time of the segment that starts now.
int cvode_segmentEnd(CvodeRun* run);
// A fresh integration from time t with the current state.
void cvode_restart(CvodeRun* run, double t);

#endif
