// The end of a run: SimEnd after a normal run, finish after a fatal error or a quit.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "boundary/ctm_file.h"
#include "boundary/weather.h"
#include "boundary/wpc_file.h"
#include "controls/valfile.h"
#include "cosim/bridge.h"
#include "engine/driver.h"
#include "engine/restart.h"
#include "engine/simloop.h"
#include "results/cex_file.h"
#include "results/exposure_file.h"
#include "results/resfile.h"
#include "results/simfile.h"
#include "results/sqlite_out.h"
#include "results/srf_file.h"
#include "results/sts_files.h"
#include "results/summary_files.h"
#include "support/console.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "support/platform.h"
#include "support/timeconv.h"
#include "transport/cse.h"

extern "C" void logRunStatistics(FlowmirState* fms)
{
    if (fms->afTime > 0.0) LOG(fms, "\nTime to compute airflows: %.2f s\n", fms->afTime);
    LOG(fms, "\n%8d time steps\n", fms->stepCount);
    const struct {
        int value;
        const char* text;
    } first[] = {
        {fms->stepIters, "time step iterations"}, {fms->nSolveAf, "calls to SolveAf()"},
        {fms->nFillAf, "calls to FillAf()"},      {fms->nLufSkyS, "calls to luf_sky_s()"},
        {fms->nLusSkyS, "calls to lus_sky_s()"},  {fms->nSaPcg, "calls to sa_pcg()"},
        {fms->nSaPcgIt, "sa_pcg() iterations"},   {fms->nSolveMfn, "calls to solve_Mfn()"},
        {fms->nSolveMft, "calls to solve_Mft()"},
    };
    for (const auto& c : first) LOG(fms, "%8d %s\n", c.value, c.text);
    if (fms->stsRan) {
        LOG(fms, "%8d calls to solve_STS()\n", fms->nSolveSTS);
        LOG(fms, "%8.1f s - maximum stable time step\n", fms->stsMinDt);
    }
    const struct {
        int value;
        const char* text;
    } second[] = {
        {fms->nLufSkyN, "calls to luf_sky_n()"}, {fms->nLusSkyN, "calls to lus_sky_n()"},
        {fms->nSaBcg, "calls to sa_bcg()"},      {fms->nSaBcgIt, "sa_bcg() iterations"},
        {fms->nSaSor, "calls to sa_sor()"},      {fms->nSaSorIt, "sa_sor() iterations"},
        {fms->nLufGe, "calls to luf_ge()"},      {fms->nLusGe, "calls to lus_ge()"},
        {fms->nCubicA, "calls to cubic(A)"},     {fms->nCubicN, "calls to cubic(N)"},
        {fms->nCDZsim, "calls to CDZsim()"},     {fms->nDuctLag, "ducts by Lagrangian"},
        {fms->nDuctEul, "ducts by Eulerian"},
    };
    for (const auto& c : second) LOG(fms, "%8d %s\n", c.value, c.text);

    // Newton-Raphson iteration histogram up to the highest nonzero bin.
    int n = 0;
    for (int i = 0; i < fms->nJfacBins; i++)
        if (fms->JfacBins[i]) n = i;
    LOG(fms, "\nNR its. :");
    for (int i = 0; i <= n; i++) LOG(fms, " %4d", i);
    LOG(fms, "\nJfacBins:");
    for (int i = 0; i <= n; i++) LOG(fms, " %4d", i < fms->nJfacBins ? fms->JfacBins[i] : 0);
    LOG(fms, "\n\nrangeDWC: %d lam, %d trns, %d turbulent\n\n", fms->nDwcLam, fms->nDwcTrns, fms->nDwcTurb);
    cse_sink_report(fms);
    extremesReport(fms);
}

extern "C" int SimEnd(FlowmirState* fms, int steadyOnly)
{
    (void)steadyOnly;
    char date[16], time[16];
    datestr(fms, fms->dayofy, date);
    if (!timestr(fms, fms->stepEndTime, time)) time[0] = '\0';
    LOG(fms, "\n\n================= SimEnd() called %s %s =================\n", date, time);

    if (fms->afsim < 2 && !steadyOnly) {
        set_uSTS_ResultFiles(fms, 2);
        set_urst_close(fms, 0);
    }
    set_usim_close(fms, 0);
    summaries_close(fms, 0);
    set_uexp_close(fms, 0);
    set_ulogc_close(fms, 0);
    set_usrf(fms, 2);
    set_ubcex_close(fms, 0);
    set_udcex_close(fms, 0);
    set_usql_close(fms, 0);
    WTH_close(fms);
    CTM_close(fms);
    CVF_close(fms);
    DVF_close(fms);
    WPC_close(fms);
    // Results that lost data do not replace an earlier run's.
    char lost[RESFILE_PATH];
    if (resfile_any_failed(fms, lost, sizeof lost))
        errorf(fms, FATAL, __FILE__, __LINE__, "Results file %s could not be written completely; earlier results kept",
               lost);
    if (resfile_commit_all(fms) > 0) error(fms, FATAL, __FILE__, __LINE__, "Results files could not be completed", "");

    logRunStatistics(fms);

    MemNet(fms, "End");
    bridge_EndRun(fms, 0);
    releaseRunMemory(fms);
    if (MemNet(fms, "Final") != 0) MemList(fms);

    printToLogAndFlush(fms->logFile, "Simulation completed successfully.\n");
    fms->logFcn = nullptr;
    closeLogFile(&fms->logFile);
    return 0;
}

// Waits for a key on an interactive console, at most 10 s.
static void waitForKey(void)
{
    if (!platformStdinIsTerminal()) return;
    auto start = std::chrono::steady_clock::now();
    while (!getkey_nowait()) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(10)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

extern "C" void finish(FlowmirState* fms, int status)
{
    if (fms) {
        LOG(fms, "Flowmir finish(%1d)\n", status);
        logFlush(fms);
        set_usim_close(fms, 1);
        summaries_close(fms, 1);
        set_uexp_close(fms, 1);
        set_urst_close(fms, 1);
        set_uSTS_ResultFiles(fms, 3);
        srfFile_abandon(fms);
        cexFiles_abandon(fms);
        ctrlLog_abandon(fms);
        set_usql_close(fms, 1);
        resfile_abandon_all(fms);
        WTH_close(fms);
        CTM_close(fms);
        CVF_close(fms);
        DVF_close(fms);
        WPC_close(fms);
        bridge_EndRun(fms, status);
    }
    // Nothing waits for a key in quiet mode.
    if (fms && !fms->guiMode && !fms->quiet && status != 0 && !fms->inputTest) {
        fprintf(stderr, "\aPress any key to close Flowmir text window\n");
        fflush(stderr);
        waitForKey();
    }
    if (fms) {
        fms->logFcn = nullptr;
        closeLogFile(&fms->logFile);
    }
    fflush(stdout);
    exit(status);
}
