// The transient run with the variable-step integrator: set-up of CVODE over the combined
// system, the segments from the start to the end of the period with the day change at
// midnight, and the release of everything at the end.
#include <cvode/cvode.h>
#include <nvector/nvector_serial.h>

#include <cstring>

#include "controls/ctrl.h"
#include "engine/run.h"
#include "engine/signals.h"
#include "engine/simloop.h"
#include "network/airnet.h"
#include "results/simfile.h"
#include "results/sqlite_out.h"
#include "results/srf_file.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "transport/cvode_impl.h"
#include "transport/mfsystem.h"

enum { DAY = 86400 };

// Neither of the two steps divides the other.
static bool incommensurate(int step, int start)
{
    if (step <= 0) return true;
    return start % step != 0 && step % start != 0;
}

static bool needsListTimes(FlowmirState* fms)
{
    return haveCtrlNode_usesListTime(fms) || fms->achStepOut || fms->achSumOut || fms->ageStepOut ||
           fms->ageSumOut || fms->expStepOut || fms->expSumOut;
}

// The equations whose values are given: every species of a node whose concentrations are not
// solved.
static void markFixed(FlowmirState* fms, MfSystem* sys, unsigned char* fixedEq)
{
    for (int i = 1; i <= sys->neq; i++) fixedEq[i] = 0;
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (!(n->flags & NF_MASSFRAC))
            for (int j = sys->first; j < sys->end; j++) fixedEq[n->mfEqn[j]] = 1;
}

void cvode_restart(CvodeRun* run, double t)
{
    run->t = t;
    if (!run->mem) return;
    if (CVodeReInit(run->mem, t, run->y) != CV_SUCCESS)
        error(run->fms, FATAL, __FILE__, __LINE__, "Failed to set problem", "");
}

static void createIntegrator(CvodeRun* run)
{
    FlowmirState* fms = run->fms;
    MfSystem* sys = run->sys;
    int neq = sys->neq;
    if (SUNContext_Create(nullptr, &run->ctx) != 0)
        error(fms, FATAL, __FILE__, __LINE__, "Failed to get a cvodeMem", "");
    fms->mfConcsChanged = 0;  // the state is taken from the nodes here
    run->qCur = alc_vt<double>(fms, 0, neq - 1, "qCur");
    getNodeSpeciesMasses(fms, run->qCur - 1, sys->bls, sys->dvr, sys->first, sys->end);
    run->y = N_VMake_Serial(neq, run->qCur, run->ctx);
    run->dkyData = alc_vt<double>(fms, 0, neq - 1, "fmcv-dky");
    run->dky = N_VMake_Serial(neq, run->dkyData, run->ctx);
    if (!run->y || !run->dky) error(fms, FATAL, __FILE__, __LINE__, "Failed to wrap vector", "");
    if (!run->y->ops->nvgetarraypointer || !run->y->ops->nvsetarraypointer)
        error(fms, FATAL, __FILE__, __LINE__, "A required vector operation is not implemented.", "");

    run->fixedEq = alc_vt<unsigned char>(fms, 1, neq, "fmcv-fixed");
    markFixed(fms, sys, run->fixedEq);
    FmcvJacIntfc* intfc = &run->intfc;
    fmcv_jacIntfc_configure(fms, intfc, neq, sys->nvar, sys->nnz, sys->ija, sys->K, sys->A, &sys->solver, sys->b);
    intfc->ctx = run->ctx;
    intfc->fixedEq = run->fixedEq;
    fmcv_jacIntfc_setJacFcn(intfc, fmcv_jac);

    // Any nonzero method is Adams-Moulton, as the run's log line names it.
    run->mem = CVodeCreate(fms->cvmethod != 0 ? CV_ADAMS : CV_BDF, run->ctx);
    if (!run->mem) error(fms, FATAL, __FILE__, __LINE__, "Failed to get a cvodeMem", "");
    // From here on CVODE's own messages reach the log.
    CVodeSetErrHandlerFn(run->mem, fmcv_errHandler, fms);
    run->t = fms->stepStartTime;
    if (CVodeInit(run->mem, fmcv_rhs, run->t, run->y) != CV_SUCCESS ||
        CVodeSetUserData(run->mem, intfc) != CV_SUCCESS)
        error(fms, FATAL, __FILE__, __LINE__, "Failed to set problem", "");
    if (CVodeSStolerances(run->mem, fms->cvrtol, fms->cvatol) != CV_SUCCESS)
        error(fms, FATAL, __FILE__, __LINE__, "Failed to set tol", "");
    if (fmcv_jacIntfc_pushToCvode(fms, run->mem, intfc) != 0)
        error(fms, FATAL, __FILE__, __LINE__, "Failed to attach solver", "");
}

static void releaseIntegrator(CvodeRun* run)
{
    FlowmirState* fms = run->fms;
    if (run->mem) CVodeFree(&run->mem);
    fmcv_jacIntfc_free(&run->intfc);
    if (run->y) N_VDestroy_Serial(run->y);
    if (run->dky) N_VDestroy_Serial(run->dky);
    run->y = run->dky = nullptr;
    if (run->sys) {
        int neq = run->sys->neq;
        fre_vt(fms, run->qCur, 0, neq - 1);
        fre_vt(fms, run->dkyData, 0, neq - 1);
        fre_vt(fms, run->fixedEq, 1, neq);
    }
    if (run->ctx) SUNContext_Free(&run->ctx);
}

static void writeInitialResults(FlowmirState* fms)
{
    writeSim_stepTime(fms, fms->stepStartTime);
    writeSql_stepTime(fms);
    if (fms->mfsim > 1) writeSrf_stepTime(fms, fms->stepEndTime);
}

static bool periodOver(const FlowmirState* fms)
{
    return fms->dayofy == fms->endDate && fms->stepEndTime >= fms->endTime;
}

int sim_loop_cvode(FlowmirState* fms, int writeResults)
{
    CvodeRun run;
    memset(&run, 0, sizeof run);
    run.fms = fms;
    run.writeResults = writeResults;
    run.needListTimes = needsListTimes(fms);

    if (cvodeIsExcluded(fms)) error(fms, FATAL, __FILE__, __LINE__, "Please try another transport solver", "");
    if (fms->stepStartTime != 0 && incommensurate(fms->listStep, fms->stepStartTime))
        error(fms, ERROR, __FILE__, __LINE__, "Start time should be a multiple of the listing time step", "");

    fms->dayCount = 1;
    writeSim_daySummary_init(fms);
    run.sys = fms->nctm > 0 ? fms->mfn : nullptr;
    if (run.sys) {
        cvodeCheckStorage(fms, run.sys);
        createIntegrator(&run);
    } else {
        run.t = fms->stepStartTime;
    }

    if (writeResults) writeInitialResults(fms);
    if (fms->cvmaxstep > 0.0f) {
        errorf(fms, NOTE, __FILE__, __LINE__, "CVODE max step [s] = %6g", (double)fms->cvmaxstep);
        if (run.mem && CVodeSetMaxStep(run.mem, fms->cvmaxstep) != CV_SUCCESS)
            error(fms, FATAL, __FILE__, __LINE__, "Can't set max step", "");
    }
    simInterrupt_writeInstructions(fms);

    run.listAt = fms->stepStartTime + fms->listStep;
    run.screenAt = fms->stepStartTime + fms->screenStep;
    fms->interrupt = 0;
    while (!periodOver(fms)) {
        signals_check(fms);
        fms->interrupt = simInterrupt_checkInterrupt(fms);
        if (fms->interrupt == 2) break;
        if (fms->stepEndTime > DAY - 1) {
            rolloverNewSimDate(fms, writeResults);
            fms->dayCount++;
            run.listAt = fms->listStep;
            run.screenAt = fms->screenStep;
            cvode_restart(&run, 0.0);
        }
        int T = cvode_segmentEnd(&run);
        cvode_segment(&run, T);
        // Boundary values change at segment ends: the next segment starts a fresh integration.
        cvode_restart(&run, T);
    }

    sim_loop_done(fms, writeResults);
    releaseIntegrator(&run);
    if (fms->interrupt == 2) finish(fms, 1);
    return 0;
}
