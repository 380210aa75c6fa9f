// A run driven by a co-simulation host: the record, its set-up, one step per call, the end.
#include <cstdlib>
#include <cstring>

#include "controls/ctrl_sig.h"
#include "controls/valfile.h"
#include "cosim/cosim.h"
#include "engine/run.h"
#include "engine/simloop.h"
#include "flowmir/fmi.h"
#include "network/airnet.h"
#include "results/envelope_mass.h"
#include "results/results_step.h"
#include "results/simfile.h"
#include "results/sqlite_out.h"
#include "results/srf_file.h"
#include "results/sts_files.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "transport/sts.h"

enum { DAY = 86400 };

bool cosim_steppable(FlowmirState* fms)
{
    if (fms->mfsim == 3) {
        error(fms, ERROR, __FILE__, __LINE__, "A cyclic contaminant simulation cannot be stepped by a host", "");
        return false;
    }
    if (fms->mfsim > 0 && fms->nctm > 0 && fms->mfsolver >= 2) {
        error(fms, ERROR, __FILE__, __LINE__, "Variable-step transport integration cannot be stepped by a host",
              "");
        return false;
    }
    return true;
}

void cosim_projectDataReady(FlowmirState* fms)
{
    if (fms->prjDataReadyFcnP) {
        LOG(fms, "flowmir-lib => calling fms->prjDataReadyFcnP()\n");
        logFlush(fms);
        fms->prjDataReadyFcnP();
    } else {
        LOG(fms, "flowmir-lib => fms->prjDataReadyFcnP = NULL\n");
        logFlush(fms);
    }
}

extern "C" FlowmirState* fmiGetNimbalState(void)
{
    return flowmirNewState();
}

extern "C" void fmiSetErrorFunction(FlowmirState* fms, FmiErrorFcn fcn)
{
    fms->errorFcn = fcn;
}

extern "C" void fmiSetWindPressureMode(FlowmirState* fms, int mode)
{
    fms->_wPBridge = mode != 0;
    if (fms->echo > 0) LOG(fms, "fmiSetWindPressureMode(useWP %d), _wPBridge %d\n", mode, fms->_wPBridge);
}

extern "C" int fmiGetVersion(FlowmirState* fms, char* buffer)
{
    if (!buffer) return 1;
    static const char version[] = FLOWMIR_VERSION "-64bit";
    memcpy(buffer, version, sizeof version);
    if (fms && fms->echo > 0) LOG(fms, "fmiGetVersion(%s)\n", buffer);
    return 0;
}

extern "C" void fmiSetProjectDataReadyCallbackFunction(FlowmirState* fms, void (*callback)(void))
{
    fms->prjDataReadyFcnP = callback;
    if (fms->echo > 0) {
        fprintf(stderr, "fmiSetProjectDataReadyCallbackFunction()\n");
        fflush(stderr);
    }
}

extern "C" void fmiSetUseVolumeFlows(FlowmirState* fms)
{
    fms->useVolumeFlows = 1;
}

extern "C" int fmiSetupSimulation(FlowmirState* fms, const char* projectPath)
{
    fms->cosimReady = 0;
    int rc = SetupSimulation(fms, projectPath, 1, "", nullptr);
    fms->cosimReady = rc == 0;
    if (rc == 0) cosim_snapshot_save(fms);
    return rc;
}

static bool shortTimeSteps(const FlowmirState* fms)
{
    return fms->mfsolver == 1 && fms->mfsim > 0 && fms->nctm > 0;
}

static bool transient(const FlowmirState* fms)
{
    return fms->afsim == 1 || fms->mfsim == 2 || fms->mfsim == 3;
}

// Before the first step the clock stands at the start with no step taken.
static bool atStart(const FlowmirState* fms)
{
    return fms->dayofy == fms->date0 && fms->stepEndTime == fms->time0 && fms->stepStartTime == fms->stepEndTime;
}

// The results the batch loop writes inside a step, for the step solved by the previous call
// (before the first step: the starting state).
static void writeSolvedStep(FlowmirState* fms)
{
    if (atStart(fms)) {
        writeSim_stepTime(fms, fms->stepStartTime);
        writeSql_stepTime(fms);
        writeSTS_ResultFiles(fms, fms->stepStartTime);
        if (fms->mfsim > 1) writeSrf_stepTime(fms, fms->stepEndTime);
        return;
    }
    if (ctrl_isListTime(fms)) set_ulogc_write(fms);
    // The short-time-step method sums its sources and sinks while it solves.
    if (shortTimeSteps(fms))
        sts_step_results(fms);
    else
        process_mf_results(fms);
    writeResults_stepEnd(fms, fms->stepEndTime);
}

extern "C" int fmiDoCoSimStep(FlowmirState* fms, int advance)
{
    if (!fms || !fms->cosimReady) return 1;
    if (fms->echo > 1) LOG(fms, "fmiDoCoSimStep(%d)\n", advance);
    if (!transient(fms)) return 0;
    // Duct cells and one-dimensional zones move on as they are solved: a step is not solved twice.
    if (!advance && shortTimeSteps(fms)) return 2;
    fms->advance = advance != 0;
    if (fms->advance) {
        bool first = atStart(fms);
        cosim_snapshot_swap(fms);
        writeSolvedStep(fms);
        // Past the end date the day rolls over in the loop, without a summary.
        if (!first && fms->stepEndTime >= DAY && fms->dayofy != fms->endDate) {
            rolloverNewSimDate(fms, 1);
            fms->dayCount++;
        }
        cosim_snapshot_swap(fms);
    }
    sim_loop_start(fms, 0);
    cosim_snapshot_save(fms);
    return 0;
}

extern "C" int fmiEndSimulation(FlowmirState* fms)
{
    if (!fms) return 1;
    if (fms->cosimReady) {
        // A steady-only run wrote its day summary with its one state.
        if (transient(fms)) {
            // Ended before its first step, the run has its starting state and nothing to
            // summarise.
            bool stepped = !atStart(fms);
            cosim_snapshot_swap(fms);
            writeSolvedStep(fms);
            sim_loop_done(fms, stepped);
        }
        SimEnd(fms, fms->steadyOnly);
    }
    flowmirFreeState(fms);
    return 0;
}
