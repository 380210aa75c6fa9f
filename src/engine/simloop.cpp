// The transient loop: the clock advances by the time step from the start to the end of the
// period; each step brings in the boundary data, solves the airflows with the density
// iteration, writes the step's results and keeps the run's extremes.
#include "engine/simloop.h"

#include <cmath>

#include "airflow/afsolve.h"
#include "airflow/pressures.h"
#include "boundary/ctm_file.h"
#include "boundary/weather.h"
#include "boundary/wpc_file.h"
#include "cfd/cpl.h"
#include "controls/ctrl.h"
#include "controls/valfile.h"
#include "cosim/bridge.h"
#include "engine/run.h"
#include "engine/restart.h"
#include "engine/signals.h"
#include "engine/siminit.h"
#include "network/airnet.h"
#include "results/cex_file.h"
#include "results/envelope_mass.h"
#include "results/exposure_file.h"
#include "results/extremes_report.h"
#include "results/results_step.h"
#include "results/simfile.h"
#include "results/sqlite_out.h"
#include "results/srf_file.h"
#include "results/sts_files.h"
#include "results/summary_csm.h"
#include "results/summary_files.h"
#include "support/console.h"
#include "support/error.h"
#include "support/log.h"
#include "support/timeconv.h"
#include "transport/cse.h"
#include "transport/filter.h"
#include "transport/mfsystem.h"
#include "transport/sts.h"

enum { DAY = 86400, PAUSE_KEY = 112 };

// --- console pause ---------------------------------------------------------------------------

int simInterrupt_checkInterrupt(FlowmirState* fms)
{
    if (fms->guiMode) return 0;
    if (getkey_nowait() != PAUSE_KEY) return 0;
    if (noyes_console(fms, "Assume convergence at end of current day")) return 1;
    if (noyes_console(fms, "Quit the simulation now")) return 2;
    return 0;
}

void simInterrupt_writeInstructions(FlowmirState* fms)
{
    if (fms->guiMode) return;
    while (getkey_nowait()) {
    }
    if (!fms->quiet) fprintf(stderr, "\nPress <alt>P to pause or stop transient simulation.\n\n");
    if (fms->pauseAtStart) {
        fprintf(stderr, "Press any key to start transient simulation now.");
        fflush(stderr);
        getkey_wait(fms);
        fprintf(stderr, "\n");
    }
    fflush(stderr);
}

// --- run extremes ----------------------------------------------------------------------------

void extremesInit(FlowmirState* fms)
{
    FlowmirState::RunExtreme* all[] = {&fms->achMax, &fms->zonePgMax, &fms->zonePgMin, &fms->jctPgMax,
                                       &fms->jctPgMin};
    for (auto* x : all) {
        x->value = 0.0f;
        x->nr = -999;
        x->date = fms->date0;
        x->time = fms->time0;
    }
}

static void noteExtreme(FlowmirState* fms, FlowmirState::RunExtreme& x, float value, int nr)
{
    x.value = value;
    x.nr = nr;
    x.time = fms->stepEndTime;
    x.date = fms->dayofy;
}

void extremesCalc(FlowmirState* fms)
{
    writeSim_daySummary_note(fms);
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (!(n->flags & NF_VARP)) continue;
        bool zone = n->styp == NODE_ZONE;
        FlowmirState::RunExtreme& hi = zone ? fms->zonePgMax : fms->jctPgMax;
        FlowmirState::RunExtreme& lo = zone ? fms->zonePgMin : fms->jctPgMin;
        if (n->Pgage > hi.value)
            noteExtreme(fms, hi, n->Pgage, n->s_nr);
        else if (n->Pgage < lo.value)
            noteExtreme(fms, lo, n->Pgage, n->s_nr);
        if (zone && n->V > 0.0f) {
            // Throughflow counts each flow once: half the sum of the flow magnitudes.
            float ach = (float)(n->sumF * 1800.0 / (n->V * n->rho));
            if (ach > fms->achMax.value) noteExtreme(fms, fms->achMax, ach, n->s_nr);
        }
    }
}

void extremesReport(FlowmirState* fms)
{
    if (fms->afsim == 1 && fms->logFcn) writeLog_extremes(fms, printToLogAndFlush);
}

// --- results at fixed points -----------------------------------------------------------------

// Every link's and node's daily maxima become its current values.
static void maximaFromCurrent(FlowmirState* fms)
{
    for (AirLink* l = fms->linkList; l; l = l->next) {
        l->dPmax = (float)fabs(l->dP);
        l->Fmax = (float)fmax(fabs(l->Flow[0]), fabs(l->Flow[1]));
    }
    for (AirNode* n = fms->nodeList; n; n = n->next) n->Pgmax = n->Pgmin = n->Pgage;
}

void steadyResults(FlowmirState* fms)
{
    writeSim_stepTime(fms, fms->stepEndTime);
    writeSql_stepTime(fms);
    if (fms->mfsim > 0) writeSrf_stepTime(fms, fms->stepEndTime);
    maximaFromCurrent(fms);
    noteMaxAirNodeConcs(fms);  // a steady day's maxima are its one state
    writeSim_daySummary(fms);
    summaries_steady(fms);
}

void writeSummaries_dayEnd(FlowmirState* fms)
{
    writeSim_daySummary(fms);
    writeRst_stepTime(fms, fms->dayofy, fms->stepEndTime);
    summaries_dayEnd(fms);
    writeExp_dayEnd(fms);
}

void writeSummaries_simEnd(FlowmirState* fms)
{
    writeSummaries_dayEnd(fms);
    summaries_simEnd(fms);
    writeExp_simEnd(fms);
    if (fms->bcexres || fms->dcexres) writeCex_simEnd(fms);
    writeCsm_simEnd(fms);
}

// --- the clock -------------------------------------------------------------------------------

static bool weatherOpen(FlowmirState* fms)
{
    return fms->wthFile != nullptr;
}

void rolloverNewSimDate(FlowmirState* fms, int write)
{
    if (write) writeSummaries_dayEnd(fms);
    fms->stepStartTime = fms->stepEndTime = 0;
    if (fms->dayofy > 364) {
        fms->dayofy = 1;
        if (weatherOpen(fms)) WTH_restart(fms, 1, fms->endDate);
        CTM_restart(fms, 1, fms->endDate);
        WPC_restart(fms, 1, fms->endDate);
        CVF_restart(fms, 1, fms->endDate);
        DVF_restart(fms, 1, fms->endDate);
    } else {
        fms->dayofy++;
    }
    fms->dayType = weatherOpen(fms) ? WTH_get_day_type(fms, fms->dayofy) : fms->dayType % 7 + 1;
    if (write) {
        writeSim_stepTime(fms, 0);
        writeSql_stepTime(fms);
        writeSTS_ResultFiles(fms, 0);
        writeSim_daySummary_init(fms);
    }
}

// Brings one boundary file to the step: first to its start, warning when the file has an
// entry inside the step, then to its end.
static void boundaryStep(FlowmirState* fms, int (*get)(FlowmirState*, int, int, int), const char* word)
{
    int ahead = get(fms, fms->dayofy, fms->stepStartTime, 1);
    if (ahead > 0 && ahead < fms->time_step) {
        char date[16], time[16];
        datxstr(fms, fms->dayofy, date);
        timestr(fms, fms->stepEndTime, time);
        error(fms, WARNING, __FILE__, __LINE__, "Timestep ending ", date, ", ", time, " spans multiple entries in ",
              word, " file", "");
    }
    get(fms, fms->dayofy, fms->stepEndTime, 0);
}

// The density iteration: airflows, non-trace species and densities until they agree.
static void densityIteration(FlowmirState* fms, int newStep)
{
    int itmax = fms->densItmax < 2 ? 2 : fms->densItmax;
    MfSystem* mfn = fms->mfn && fms->mfn->nonTrace ? fms->mfn : nullptr;
    for (int it = 1;; it++) {
        fms->stepIters++;
        if (fms->afsim == 1) {
            calc_sP(fms);
            solveAirflow(fms, fms->afMat);
        }
        if (mfn) solve_Mfn(fms, mfn, newStep && it == 1);
        bool converged = !fms->tsdens || (!(mfn && it == 1) && (fms->afsim != 1 || airNodeDensitiesHaveConverged(fms)));
        if (converged) return;
        if (it >= itmax) {
            error(fms, ERROR, __FILE__, __LINE__, "Too many density iterations", "");
            return;
        }
    }
}

static void stepWork(FlowmirState* fms, int write)
{
    // A host's re-solve of the same step keeps the step's starting state: storage and transport
    // advance once per step.
    int newStep = !fms->cosim || fms->advance;
    if (newStep) {
        for (AirNode* n = fms->nodeList; n; n = n->next) {
            n->M0 = n->M;
            n->P0 = n->P;
        }
        copyMassFractions(fms);
    }
    if (fms->ctmFile) boundaryStep(fms, CTM_get, "CTM");
    if (weatherOpen(fms)) boundaryStep(fms, WTH_get, "WTH");
    if (fms->wpcOpen) boundaryStep(fms, WPC_get, "WPC");
    if (fms->cvfReady) boundaryStep(fms, CVF_get, "CVF");
    if (fms->dvfReady) boundaryStep(fms, DVF_get, "DVF");
    if (fms->listLevel) logFlush(fms);
    setSchedulesAndControls(fms, fms->stepEndTime, write);
    calc_wP(fms);
    if (fms->mfsolver == 1) {
        // the short-time-step method solves the step's airflow itself
        solve_STS(fms);
        findPgage(fms);
        if (fms->cosim) return;
        sts_step_results(fms);
        return;
    }
    // The non-trace sources enter the first airflow solution of the step as mass sources.
    if (fms->mfn && fms->mfn->nonTrace) findPolMassRates_cse_implicit(fms, fms->mfn);
    // A coupled CFD zone: the step's airflows and the CFD in turn until their flows agree, then
    // its concentrations likewise.
    for (int first = 1;; first = 0) {
        densityIteration(fms, newStep && first);
        findPgage(fms);
        if (!(fms->cpl && fms->afsim == 1 && cplloop(fms))) break;
    }
    if (fms->mft) {
        if (fms->cpl) decpl(fms, 9);
        for (int first = 1;; first = 0) {
            int again = fms->cpl ? comctm(fms) : 0;
            solve_Mft(fms, fms->mft, newStep && first);
            if (!again) break;
        }
    }
    if (fms->cosim) return;
    process_mf_results(fms);
}

int sim_loop_start(FlowmirState* fms, int write)
{
    fms->interrupt = simInterrupt_checkInterrupt(fms);
    while (fms->interrupt != 2) {
        signals_check(fms);
        if (!fms->cosim || fms->advance) {
            fms->stepStartTime = fms->stepEndTime;
            if (fms->stepStartTime >= DAY) {
                rolloverNewSimDate(fms, write);
                fms->dayCount++;
            }
            fms->stepEndTime = fms->stepStartTime + fms->time_step;
            if (fms->echo > 1)
                LOG(fms, "Increment time: fms->stepStartTime: %d, fms->stepEndTime: %d\n", fms->stepStartTime,
                    fms->stepEndTime);
        }
        fms->stepCount++;
        char date[16], time[16], line[128];
        datestr(fms, fms->dayofy, date);
        timestr(fms, fms->stepEndTime, time);
        snprintf(line, sizeof line, " DATE: %s   time: %s   day: %3d   step: %d\n", date, time, fms->dayCount,
                 fms->stepCount);
        if (fms->listLevel > 1) LOG(fms, "%s", line);
        if (fms->screenStep > 0 && fms->stepEndTime % fms->screenStep == 0) {
            if (fms->guiMode)
                DlgStat(fms, fms->dlgWindow, fms->dayofy, fms->stepEndTime, fms->dayCount, fms->stepCount);
            else if (!fms->quiet) {
                fputs(line, stderr);
                fflush(stderr);
            }
        }
        stepWork(fms, write);
        if (write) writeResults_stepEnd(fms, fms->stepEndTime);
        noteMaxAirNodeConcs(fms);
        // After the step's records: they keep the inputs the step was solved with.
        if (fms->bridge.state == 2) bridge_CheckForMessages(fms);
        if (fms->cosim) return 0;
        if (fms->dayofy == fms->endDate && fms->stepEndTime >= fms->endTime) break;
        fms->interrupt = simInterrupt_checkInterrupt(fms);
        if (fms->interrupt == 1) fms->assumeConverged = 1;
    }
    sim_loop_done(fms, write);
    if (fms->interrupt == 2) finish(fms, 1);
    return 0;
}

int sim_loop_done(FlowmirState* fms, int write)
{
    fms->stepStartTime = fms->stepEndTime;
    if (write) writeSummaries_simEnd(fms);
    return 0;
}

// Neither of the two steps divides the other.
static bool incommensurate(int step, int start)
{
    if (step <= 0) return true;
    return start % step != 0 && step % start != 0;
}

int sim_loop_init(FlowmirState* fms, int write)
{
    fms->dayCount = 1;
    writeSim_daySummary_init(fms);
    if (fms->stepStartTime != 0) {
        if (incommensurate(fms->listStep, fms->stepStartTime))
            error(fms, FATAL, __FILE__, __LINE__, "Start time must be a multiple of the listing time step", "");
        if (incommensurate(fms->screenStep, fms->stepStartTime))
            error(fms, WARNING, __FILE__, __LINE__, "Start time should be a multiple of the display time step", "");
    }
    if (write) {
        writeSim_stepTime(fms, fms->stepStartTime);
        writeSql_stepTime(fms);
        writeSTS_ResultFiles(fms, fms->stepStartTime);
        if (fms->mfsim > 1) writeSrf_stepTime(fms, fms->stepEndTime);
    }
    if (fms->bridge.state == 2) bridge_CheckForMessages(fms);
    simInterrupt_writeInstructions(fms);
    if (fms->cosim) return 0;
    return sim_loop_start(fms, write);
}
