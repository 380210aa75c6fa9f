// SetupSimulation: the front door of a run. Opens the log beside the project, writes its
// header and hands over to the run sequence.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cosim/bridge.h"
#include "engine/run.h"
#include "engine/signals.h"
#include "project/check.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/platform.h"

#ifndef FLOWMIR_COMPILER_NAME
#define FLOWMIR_COMPILER_NAME "GNU g++"
#endif
#define FLOWMIR_COMPILER_VERSION (__GNUC__ * 10000 + __GNUC_MINOR__ * 100 + __GNUC_PATCHLEVEL__)

static void resetStatistics(FlowmirState* fms)
{
    fms->stepCount = fms->stepIters = 0;
    fms->afTime = 0.0;
    fms->nSolveAf = fms->nFillAf = fms->nLufSkyS = fms->nLusSkyS = 0;
    fms->nSaPcg = fms->nSaPcgIt = fms->nSolveMfn = fms->nSolveMft = 0;
    fms->nSolveSTS = fms->stsRan = 0;
    fms->stsMinDt = 100000.0f;
    fms->nLufSkyN = fms->nLusSkyN = fms->nSaBcg = fms->nSaBcgIt = 0;
    fms->nSaSor = fms->nSaSorIt = fms->nLufGe = fms->nLusGe = 0;
    fms->nCubicA = fms->nCubicN = fms->nCDZsim = fms->nDuctLag = fms->nDuctEul = 0;
    fms->nDwcLam = fms->nDwcTrns = fms->nDwcTurb = 0;
    if (fms->JfacBins)
        for (int i = 0; i < fms->nJfacBins; i++) fms->JfacBins[i] = 0;
}

static void writeLogHeader(FlowmirState* fms, const char* module, const char* pathArg, const char* extra)
{
    char created[64], updated[64], cwd[4096];
    FILE* log = fms->logFile;
    printToLog(log, "Program:  %s\n", module);
    printToLog(log, "  Version:  %s %s %s\n", FLOWMIR_VERSION, "release", "64bit");
    printToLog(log, "  Compiler: %s %d\n", FLOWMIR_COMPILER_NAME, FLOWMIR_COMPILER_VERSION);
    platformFileTime(module, created, sizeof created);
    printToLog(log, "  Created:  %s", created);
    printToLogAndFlush(log, "Project (_file_name):  %s\n", fms->projectPath);
    if (!getcwd(cwd, sizeof cwd)) cwd[0] = '\0';
    printToLog(log, "cwd: %s\n", cwd);
    printToLog(log, "prj arg = %s\n", pathArg);
    printToLogAndFlush(log, "_pdrive %s, _pdir %s, _prjname %s, _pext %s\n", fms->_pdrive, fms->_pdir,
                       fms->_prjname, fms->_pext);
    if (platformFileTime(fms->projectPath, updated, sizeof updated) == 0)
        printToLogAndFlush(log, "  Updated:  %s", updated);
    else
        printToLogAndFlush(log, "\n");
    if (extra && *extra) printToLog(log, "%s", extra);
}

// Longest project path: the log's numbered name ("-19.xlog") and the temporary names of the
// results files (".part") must still fit the 260-character path buffers.
enum { PROJECT_PATH_MAX = 240 };

extern "C" int SetupSimulation(FlowmirState* fms, const char* projectPath, int cosim, const char* extraLogText,
                               const char* bridgeAddress)
{
    resetStatistics(fms);
    fms->cosim = cosim;
    if (cosim) fms->quiet = 1;
    fms->setupCalls++;

    const char* module = platformModulePath();
    const char* pathArg = projectPath ? projectPath : "";
    // Every name the run derives from the project path must fit its buffers, or a cut name
    // would open an unrelated file; refuse before anything is opened.
    size_t length = strlen(pathArg);
    if (length > PROJECT_PATH_MAX) {
        fprintf(stderr, "FATAL Project path is %d characters long, at most %d are allowed: %s\n", (int)length,
                PROJECT_PATH_MAX, pathArg);
        exit(2);
    }

    pathsplit(fms, pathArg, fms->_pdrive, sizeof fms->_pdrive, fms->_pdir, sizeof fms->_pdir, fms->_prjname,
              sizeof fms->_prjname, fms->_pext, sizeof fms->_pext);
    if (fms->_pext[0] == '\0') strcpy(fms->_pext, ".prj");
    pathmerge(fms, fms->projectPath, sizeof fms->projectPath, fms->_pdrive, fms->_pdir, fms->_prjname,
              fms->_pext);

    char logName[260];
    getXLogFileName(fms, fms->_pdrive, fms->_pdir, fms->_prjname, logName, sizeof logName);
    if (!openLogFile(fms, logName)) {
        fprintf(stderr, "FATAL Could not open log file %s: %s\n", logName,
                errno == EWOULDBLOCK ? "held by other runs of the project" : strerror(errno));
        exit(2);
    }

    fms->logFcn = printToLog;
    fms->finishFcn = finish;
    setErrorTraps();
    check_install(fms);

    writeLogHeader(fms, module, pathArg, extraLogText);

    snprintf(fms->bridge.address, sizeof fms->bridge.address, "%s", bridgeAddress ? bridgeAddress : "");
    if (bridgeAddress && *bridgeAddress) bridge_ConnectToServer(fms, bridgeAddress);

    if (fms->guiMode) {
        fms->errorFcn = errorToGui;
        error(fms, FATAL, __FILE__, __LINE__, "No dialog calls allowed", "");
    }

    char running[600];
    snprintf(running, sizeof running, "Running Flowmir %s on %s", FLOWMIR_VERSION, fms->projectPath);
    if (!fms->quiet) {
        fprintf(stderr, "%s\n", running);
        fflush(stderr);
    }
    printToLogAndFlush(fms->logFile, "%s\n", running);
    printToLogAndFlush(fms->logFile, "  Calls to SetupSimulation = %d\n", fms->setupCalls);
    // A batch run stops cleanly on a termination signal; a co-simulation host keeps its own.
    if (cosim) return flowmir(fms);
    signals_install(fms);
    int rc = flowmir(fms);
    signals_restore();
    return rc;
}
