// The run sequence: read, assemble, prepare, dispatch and end one run.
#include "engine/driver.h"

#include <cmath>

#include <cstring>

#include "bldgtest/bldgtest.h"
#include "boundary/ctm_file.h"
#include "boundary/weather.h"
#include "boundary/wpc_file.h"
#include "cfd/cfd.h"
#include "cfd/cpl.h"
#include "controls/ctrl.h"
#include "controls/valfile.h"
#include "cosim/bridge.h"
#include "cosim/cosim.h"
#include "engine/restart.h"
#include "engine/signals.h"
#include "engine/siminit.h"
#include "engine/simloop.h"
#include "network/airnet.h"
#include "network/mat_init.h"
#include "network/sim_data.h"
#include "project/changes.h"
#include "project/check.h"
#include "project/prj_read.h"
#include "project/run_control.h"
#include "results/cex_file.h"
#include "results/describe.h"
#include "results/envelope_mass.h"
#include "results/exposure_file.h"
#include "results/simfile.h"
#include "results/sqlite_out.h"
#include "results/srf_file.h"
#include "results/sts_files.h"
#include "results/summary_files.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "support/paths.h"
#include "transport/cse.h"
#include "transport/cvode.h"
#include "transport/filter.h"
#include "transport/species.h"
#include "transport/sts.h"

// Sets the clock from the run control.
static void setClock(FlowmirState* fms)
{
    bool special = fms->afsim >= 2 && fms->afsim <= 4;
    if (special) fms->mfsim = 0;
    if (special || (fms->afsim != 1 && (fms->mfsim == 0 || fms->mfsim == 1))) {
        fms->dayofy = fms->endDate = fms->dateSS;
        fms->stepStartTime = fms->stepEndTime = fms->endTime = fms->timeSS;
        fms->steadyOnly = 1;
    } else if (fms->mfsim == 3) {
        fms->dayofy = fms->endDate = fms->dateSS;
        fms->stepStartTime = 0;
        fms->stepEndTime = 0;
        fms->endTime = 86400;
        fms->steadyOnly = 0;
    } else {
        fms->dayofy = fms->date0;
        fms->stepStartTime = fms->stepEndTime = fms->time0;
        fms->endDate = fms->date1;
        fms->endTime = fms->time1;
        fms->steadyOnly = 0;
    }
    fms->dayType = fms->dayType0;
    fms->dt = (float)fms->time_step;
    fms->rdt = fms->dt != 0.0f ? 1.0f / fms->dt : 0.0f;
}

// Duct balancing and the building tests run on airflow alone, with fixed boundary values;
// network assembly has already set the node flags these modes need.
static void adjustSpecialRun(FlowmirState* fms)
{
    if (fms->afsim < 2 || fms->afsim > 4) return;
    fms->mfsolver = 0;
    fms->mfsim = 0;
    fms->tsdens = 0;
    // The contaminant count of the building airflow test is checked by network assembly.
    if (fms->afsim == 3) {
        fms->mfsim = 1;
        bt_flow_prepare(fms);
    }
    fms->_useWPCwp = fms->_useWPCmf = fms->wpcUse = 0;
    fms->bridge.state = 0;
    snprintf(fms->wthPath, sizeof fms->wthPath, "null");
    snprintf(fms->ctmPath, sizeof fms->ctmPath, "null");
    fms->pfres = fms->zfres = 1;
    fms->zcres = 0;
    fms->achStepOut = fms->achSumOut = fms->cbwSumOut = 0;
    fms->expStepOut = fms->expSumOut = fms->ageStepOut = fms->ageSumOut = 0;
    fms->rzfres = fms->rzmres = fms->rz1res = 0;
}

static void logCounts(FlowmirState* fms, int nodes, int links)
{
    LOG(fms, "Number of --\n");
    LOG(fms, "      contaminants: %4d\n", fms->nctm);
    LOG(fms, "     day schedules: %4d\n", fms->ndsh);
    LOG(fms, "    week schedules: %4d\n", fms->nwsh);
    LOG(fms, "           filters: %4d\n", fms->nflt);
    LOG(fms, "         reactions: %4d\n", fms->nknr);
    LOG(fms, "     wind profiles: %4d\n", fms->nwpf);
    LOG(fms, "   source elements: %4d\n", fms->ncse);
    LOG(fms, "     flow elements: %4d\n", fms->nafe + fms->ndfe);
    LOG(fms, "     airflow nodes: %4d\n", nodes);
    LOG(fms, "     airflow paths: %4d\n", links);
    LOG(fms, "      source/sinks: %4d\n", fms->ncss);
    LOG(fms, "Airflow control --\n");
    LOG(fms, "   cnvgSS: %d\n", fms->cnvgSS);
    LOG(fms, "   tsdens: %d\n", fms->tsdens);
    LOG(fms, "   densZP: %d\n", fms->densZP);
    LOG(fms, "   stackD: %d\n", fms->stackD);
    LOG(fms, "   dodMdt: %d\n", fms->dodMdt);
    logFlush(fms);
}

void releaseRunMemory(FlowmirState* fms)
{
    // Before the network: the coupling gives the CFD zone its node flags back.
    cpl_free(fms);
    cfd_free(fms);
    free_cosim_lists(fms);
    prj_read_free_comp_lists(fms);
    prj_read_free_element_lists(fms);
    runctrl_free(fms);
    if (fms->MfZ) fre_v(fms, fms->MfZ, 0, fms->nMfZ - 1, sizeof(double));
    if (fms->MfZi) fre_v(fms, fms->MfZi, 0, fms->nMfZ - 1, sizeof(double));
    if (fms->MfJ) fre_v(fms, fms->MfJ, 0, fms->nMfJ - 1, sizeof(double));
    if (fms->MfJi) fre_v(fms, fms->MfJi, 0, fms->nMfJ - 1, sizeof(double));
    fms->MfZ = fms->MfZi = fms->MfJ = fms->MfJi = nullptr;
    mat_fre(fms);
    if (fms->JfacBins) fre_v(fms, fms->JfacBins, 0, fms->nJfacBins - 1, sizeof(int));
    fms->JfacBins = nullptr;
    fms->nJfacBins = 0;
    if (fms->mbBlock) fre_ec(fms, fms->mbBlock, "mb-block");
    fms->mbBlock = nullptr;
    filter_free_paths(fms);
    EnvListsCsmCex_free(fms);
    sim_data_free(fms);
    species_free(fms);
    fre_1DCD(fms);
    if (fms->msBlock) fre_ec(fms, fms->msBlock, "ms-block");
    fms->msBlock = nullptr;
}

// Boundary data for the first step.
static void readFirstBoundaryData(FlowmirState* fms)
{
    if (fms->cvfReady) CVF_get(fms, fms->dayofy, fms->stepStartTime, 1);
    if (fms->dvfReady) DVF_get(fms, fms->dayofy, fms->stepStartTime, 1);
    if (fms->afsim == 1 && !fms->_useWPCwp && fms->bridge.state == 0 && strcmp(fms->wthPath, "null") != 0 &&
        fms->wthPath[0] != '\0') {
        WTH_init(fms, fms->dayofy, fms->endDate, 1);
        WTH_get(fms, fms->dayofy, fms->stepStartTime, 1);
    }
    if ((fms->mfsim == 2 || fms->mfsim == 3) && fms->nctm > 0 && !fms->_useWPCmf &&
        strcmp(fms->ctmPath, "null") != 0 && fms->ctmPath[0] != '\0') {
        CTM_init(fms, fms->dayofy, fms->endDate, 1);
        CTM_get(fms, fms->dayofy, fms->stepStartTime, 1);
    }
    if (fms->wpcUse && fms->bridge.state == 0) {
        WPC_init(fms, fms->dayofy, fms->endDate, 1);
        WPC_get(fms, fms->dayofy, fms->stepStartTime, 1);
    } else {
        fms->wpcOption = 0;
    }
}

// Opens the requested results files; a file whose switch is off is deleted when the run
// completes, so that no stale results of an earlier run remain.
static void openResultsFiles(FlowmirState* fms)
{
    if (fms->pfres || fms->zfres || fms->zcres)
        set_usim_open(fms);
    else
        set_usim_stale(fms);
    summaries_open(fms);
    if ((fms->expStepOut || fms->expSumOut) && fms->nExposures > 0 && fms->nctm > 0)
        set_uexp_open(fms);
    else
        set_uexp_close(fms, 1);
    if (fms->nlogCtrl > 0 && fms->logcOut)
        set_ulogc_open(fms);
    else
        set_ulogc_close(fms, 1);
    set_usrf(fms, fms->mfsim > 0 && fms->nbls + fms->ndvr > 0 && fms->srfres ? 1 : 3);
    if (fms->mfsim > 1 && fms->bcexres)
        set_ubcex_open(fms);
    else
        set_ubcex_close(fms, 1);
    if (fms->mfsim > 1 && fms->dcexres)
        set_udcex_open(fms);
    else
        set_udcex_close(fms, 1);
    if (fms->pfsql || fms->zfsql || fms->zcsql)
        set_usql_open(fms);
    else
        set_usql_close(fms, 1);
}

static const char* transportSolverName(FlowmirState* fms)
{
    if (fms->mfsolver == 0) return "trapezoidal";
    if (fms->mfsolver == 1) return "STS";
    return fms->cvmethod ? "vode/Adams-Moulton" : "vode/BDF";
}

// Cyclic runs repeat their day until the daily maxima settle, then write the final day.
enum { CYCLIC_MAX_DAYS = 365 };

// A day has converged when no solved node's daily maximum above the floor moved by more than
// the relative tolerance since the previous day.
static bool cyclicDayConverged(FlowmirState* fms)
{
    bool converged = true;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (!(n->flags & NF_MASSFRAC)) continue;
        for (int j = 0; j < fms->nctm; j++) {
            float m = fms->Mfmax[n->nr][j];
            if (m > fms->cycMinConc && fabsf(m - fms->Mftst[n->nr][j]) > m * fms->cycRelTol) converged = false;
        }
    }
    for (AirNode* n = fms->nodeList; n; n = n->next)
        for (int j = 0; j < fms->nctm; j++) fms->Mftst[n->nr][j] = fms->Mfmax[n->nr][j];
    return converged;
}

// Every source starts again with the day: the clock returns to midnight.
static void resetSourceStarts(FlowmirState* fms)
{
    for (CseInstance* head : fms->css)
        for (CseInstance* c = head; c; c = c->next) {
            c->started = c->startDay = c->startTime = 0;
            c->G0 = 0.0;
        }
}

// One day repeated until its daily maxima settle, then written.
static void drive_sim_loop_cyclic(FlowmirState* fms)
{
    if (!(fms->cycRelTol > 0.0f))
        errorf(fms, FATAL, __FILE__, __LINE__, "Cyclic simulation needs a relative tolerance above 0: %g",
               fms->cycRelTol);
    fms->assumeConverged = 0;
    for (int day = 1;; day++) {
        sim_loop_init(fms, 0);
        bool converged = !fms->Mfmax || cyclicDayConverged(fms);
        fms->dayofy = fms->dateSS;
        fms->stepStartTime = fms->stepEndTime = 0;
        if (fms->wthFile) WTH_restart(fms, fms->dateSS, fms->dateSS);
        CTM_restart(fms, fms->dateSS, fms->dateSS);
        WPC_restart(fms, fms->dateSS, fms->dateSS);
        CVF_restart(fms, fms->dateSS, fms->dateSS);
        DVF_restart(fms, fms->dateSS, fms->dateSS);
        resetSourceStarts(fms);
        writeSim_daySummary_init(fms);
        if (converged || fms->assumeConverged) break;
        if (day >= CYCLIC_MAX_DAYS) {
            errorf(fms, WARNING, __FILE__, __LINE__, "Cyclic simulation did not converge in %d days", day);
            break;
        }
    }
    fms->stepStartTime = 0;
    sim_loop_init(fms, 1);
}

static void dispatch(FlowmirState* fms)
{
    switch (fms->afsim) {
    case 2: Balance(fms); return;
    case 3: BldgFlow(fms); return;
    case 4: BldgPres(fms); return;
    default: break;
    }
    signals_check(fms);
    // Only a transient run starts from a snapshot: a steady-only run writes its results in
    // the steady initialisation alone.
    if (!fms->restartFlag || fms->steadyOnly || sim_init_restart(fms) != 0) sim_init(fms, fms->steadyOnly);
    signals_check(fms);
    LOG(fms, "%8d calls to FillAf()\n", fms->nFillAf);
    LOG(fms, "%8d calls to luf_sky_s()\n", fms->nLufSkyS);
    LOG(fms, "%8d calls to sa_pcg()\n", fms->nSaPcg);
    LOG(fms, "%8d sa_pcg() iterations\n", fms->nSaPcgIt);
    if (fms->steadyOnly) return;
    LOG(fms, "\nSolving mass transport system with %s solver \n\n", transportSolverName(fms));
    if (fms->mfsolver == 1) STSinit(fms);
    set_urst_init(fms);
    set_urst_open(fms);
    set_uSTS_ResultFiles(fms, 1);
    if (fms->mfsolver >= 2)
        sim_loop_cvode(fms, !fms->cosim);
    else if (fms->mfsim == 3)
        drive_sim_loop_cyclic(fms);
    else
        sim_loop_init(fms, !fms->cosim);
}

// A run that cannot go on without being a failure: release what it holds and close the log.
static int abandonRun(FlowmirState* fms)
{
    releaseRunMemory(fms);
    fms->logFcn = nullptr;
    closeLogFile(&fms->logFile);
    return 1;
}

extern "C" int flowmir(FlowmirState* fms)
{
    fms->msBlock = alc_eci(fms, 32000, "ms-block");
    fms->mbBlock = alc_eci(fms, 8000, "mb-block");

    pathmerge(fms, fms->projectPath, sizeof fms->projectPath, fms->_pdrive, fms->_pdir, fms->_prjname,
              fms->_pext);
    if (prj_read(fms, fms->projectPath) != 0 || prj_apply_changes(fms) != 0) return abandonRun(fms);
    signals_check(fms);
    bridge_ProjectRead(fms);

    setClock(fms);
    fms->listLevel = fms->listSetting;
    // Assembly points components at the value files' columns: the files are open before it.
    if (ctrl_NeedCvfDvf(fms, 3)) CVF_init_data(fms, fms->dayofy, fms->endDate, 1);
    if (ctrl_NeedCvfDvf(fms, 4)) DVF_init_data(fms, fms->dayofy, fms->endDate);
    sim_data(fms);
    CVF_init_controls(fms);
    DVF_init_controls(fms);

    adjustSpecialRun(fms);
    if (fms->cosim && !cosim_steppable(fms)) return abandonRun(fms);
    if (fms->cosim) {
        setup_cosim_lists(fms);
        cosim_projectDataReady(fms);
    }
    if (fms->bridge.state > 1) {
        bridge_CreatePathList(fms);
        bridge_SendInfoMessages(fms);
    }
    if (fms->describe) describe_network(fms);

    prj_read_free_comp_lists(fms);
    fre_ec(fms, fms->mbBlock, "mb-block");
    fms->mbBlock = nullptr;
    MemNet(fms, "Read PRJ ");

    logCounts(fms, fms->nafnd, fms->nafpt);
    if (fms->nafnd + fms->nafpt < 2) {
        error(fms, ERROR, __FILE__, __LINE__, " Nothing to simulate", "");
        return abandonRun(fms);
    }

    mat_init(fms);
    MemNet(fms, "Arrays");

    readFirstBoundaryData(fms);
    if (fms->inputTest) {
        error(fms, NOTE, __FILE__, __LINE__, "Input test completed", "");
        finish(fms, check_status(fms, 0));
    }

    // The short-time-step method only steps in time: steady concentrations would never move.
    if (fms->mfsim == 1 && fms->nctm > 0 && fms->mfsolver == 1)
        error(fms, FATAL, __FILE__, __LINE__, "Steady contaminant simulation requires the implicit transport solver",
              "");

    setSchedulesAndControls(fms, fms->stepEndTime, 0);
    if (fms->cfdMode > 0) getcpl(fms);
    openResultsFiles(fms);
    extremesInit(fms);
    MemNet(fms, "Start");
    dispatch(fms);
    if (fms->cosim) return 0;
    return SimEnd(fms, fms->steadyOnly);
}
