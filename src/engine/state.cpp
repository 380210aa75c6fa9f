// Creating and initialising the state record.
#include <cstdlib>
#include <cstring>

#include "engine/run.h"

extern "C" int initCommonState(FlowmirState* fms)
{
    fms->logFile = nullptr;
    fms->errorFcn = nullptr;
    fms->logFcn = nullptr;
    fms->finishFcn = nullptr;
    fms->errorCount = 0;
    fms->dirChar = '/';  // this platform's separator
    fms->bytesAllocated = 0;
    fms->bytesFreed = 0;
    fms->_UNXT = nullptr;
    fms->echo = 0;
    fms->lastError[0] = '\0';
    return 0;
}

extern "C" int initCFDState(FlowmirState* fms)
{
    for (int i = 0; i < 12; i++) {
        fms->cfd.upper[i] = 1e10f;
        fms->cfd.lower[i] = 1e-10f;
    }
    fms->cfd.tol[0] = fms->cfd.tol[1] = 0.001f;
    for (int i = 0; i < 6; i++) fms->cfd.sw[i] = 1;
    return 0;
}

extern "C" int initFlowmirState(FlowmirState* fms)
{
    memset(fms, 0, sizeof *fms);
    initCommonState(fms);
    fms->_wPBridge = 1;
    fms->stsMinDt = 100000.0f;
    fms->stsSetting = 3;
    fms->wpcSetting = 1;
    fms->fltSumIndex = -1;
    fms->iH2O = -1;
    fms->afResolve = 1;
    initCFDState(fms);
    return 0;
}

extern "C" FlowmirState* flowmirNewState(void)
{
    FlowmirState* fms = static_cast<FlowmirState*>(malloc(sizeof(FlowmirState)));
    if (fms) initFlowmirState(fms);
    return fms;
}

extern "C" void flowmirFreeState(FlowmirState* fms)
{
    free(fms);
}

extern "C" void flowmirSetGuiMode(FlowmirState* fms, int on) { fms->guiMode = on; }
extern "C" void flowmirSetPauseAtStart(FlowmirState* fms, int on) { fms->pauseAtStart = on; }
extern "C" void flowmirSetInputTest(FlowmirState* fms, int on) { fms->inputTest = on; }
extern "C" void flowmirSetQuiet(FlowmirState* fms, int on) { fms->quiet = on; }

extern "C" void flowmirSetCheck(FlowmirState* fms, int on)
{
    fms->check = on;
    if (on) fms->inputTest = 1;
}

extern "C" int flowmirSetFactorisation(FlowmirState* fms, int choice)
{
    if (choice < FLOWMIR_FACTOR_AUTO || choice > FLOWMIR_FACTOR_LDLT) return 1;
    fms->afFactorChoice = choice;
    return 0;
}
