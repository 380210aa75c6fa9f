// The run-control section: simulation types, solver settings, period, output switches and the
// names of the boundary files. Every value must be present; values the engine has no use for
// are still read with their type so that a damaged line is noticed.
#include "project/run_control.h"

#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/nxt.h"
#include "support/strutil.h"

// A file-name line holds at most 258 characters; the reader needs two more.
enum { FILE_LINE_LEN = 260 };

static void skipI2(FlowmirState* fms, int n)
{
    for (int i = 0; i < n; i++) readI2(fms, 0);
}

static void skipR4(FlowmirState* fms, int n)
{
    for (int i = 0; i < n; i++) readR4(fms, 0);
}

static void skipIX(FlowmirState* fms, int n)
{
    for (int i = 0; i < n; i++) readIX(fms, 0);
}

// A whole line naming a boundary file; "null" means none.
static void read_file_name(FlowmirState* fms, char* out)
{
    char line[FILE_LINE_LEN];
    line[0] = '\0';
    if (!nxtwrd(fms, line, 3, sizeof line)) line[0] = '\0';
    FileNameFix(fms, line);
    strcpys(out, FILE_LINE_LEN, line, "");
}

static void read_mf_settings(FlowmirState* fms, FlowmirState::MfSettings* s, int withTheta)
{
    s->method = readI2(fms, 1);
    s->numbering = readI2(fms, 0);
    s->maxIter = readI2(fms, 0);
    s->tol = readR4(fms, 0);
    s->floor = readR4(fms, 0);
    s->relax = readR4(fms, 0);
    if (withTheta) s->theta = readR4(fms, 0);
    readI2(fms, 0);
}

// Line 31: a count and that many reals. A new reading replaces the array of an earlier one.
static void read_rvals(FlowmirState* fms)
{
    int n = readI2(fms, 1);
    runctrl_free(fms);
    if (n > 0) {
        fms->rvals = alc_vt<float>(fms, 1, n, "rvals");
        fms->nrvals = n;
        for (int i = 1; i <= n; i++) fms->rvals[i] = readR4(fms, 0);
    }
}

// A transient run divides by the time step and takes the listing and screen steps modulo:
// none of them may be 0 there.
static void check_steps(FlowmirState* fms)
{
    int special = fms->afsim >= 2 && fms->afsim <= 4;
    int transient = !special && (fms->afsim == 1 || (fms->mfsim != 0 && fms->mfsim != 1));
    if (!transient) return;
    if (fms->time_step <= 0)
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid time step for a transient simulation: %d",
               fms->time_step);
    else if (86400 % fms->time_step != 0)
        // Steps must end at midnight: the day changes between two steps, never inside one.
        errorf(fms, ERROR, __FILE__, __LINE__,
               "Invalid time step for a transient simulation: %d s does not divide the day (86400 s)",
               fms->time_step);
    if (fms->listStep <= 0)
        errorf(fms, ERROR, __FILE__, __LINE__,
               "Invalid listing time step for a transient simulation: %d", fms->listStep);
    if (fms->screenStep <= 0)
        errorf(fms, ERROR, __FILE__, __LINE__,
               "Invalid screen time step for a transient simulation: %d", fms->screenStep);
}

int runctrl_read(FlowmirState* fms)
{
    char word[4096];

    // 1, 2: editor settings
    readI2(fms, 1);
    skipI2(fms, 3);
    readR4(fms, 0);
    readI2(fms, 0);
    skipR4(fms, 2);
    readI2(fms, 0);
    skipR4(fms, 2);
    readR4(fms, 1);
    skipI2(fms, 5);

    // 3: ambient conditions
    fms->Tambt = readR4(fms, 1);
    fms->Pambt = readR4(fms, 0);
    fms->Wspd = readR4(fms, 0);
    fms->Wdir = readR4(fms, 0);
    fms->ambRH = readR4(fms, 0);
    fms->dayType0 = readI2(fms, 0);
    skipI2(fms, 4);
    // Week schedules pick a day schedule by day type: anything else would index outside them.
    if (fms->dayType0 < 1 || fms->dayType0 > 7)
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid day type in run control: %d", fms->dayType0);

    // 4
    readR4(fms, 1);
    skipR4(fms, 4);
    skipI2(fms, 5);

    // 5 to 11: boundary file names, then two lines of no use here
    read_file_name(fms, fms->wthPath);
    read_file_name(fms, fms->ctmPath);
    read_file_name(fms, fms->cvfPath);
    read_file_name(fms, fms->dvfPath);
    read_file_name(fms, fms->wpcPath);
    nxtwrd(fms, word, 3, sizeof word);
    nxtwrd(fms, word, 3, sizeof word);

    // 12
    readR4(fms, 1);
    skipR4(fms, 3);
    readI2(fms, 0);

    // 13: use of the wind-pressure file
    readR4(fms, 1);
    readR4(fms, 0);
    readHMS(fms, 0);
    readMDx(fms, 0);
    readMDx(fms, 0);
    fms->_useWPCwp = readIX(fms, 0);
    fms->_useWPCmf = readIX(fms, 0);
    fms->wpcOption = readI2(fms, 0);
    fms->wpcUse = fms->_useWPCwp | fms->_useWPCmf;

    // 14
    readR4(fms, 1);
    skipR4(fms, 4);
    skipI2(fms, 2);

    // 15, 16: airflow solution
    fms->afsim = readI2(fms, 1);
    fms->afNewton = readI2(fms, 0);
    fms->afItmax = readI2(fms, 0);
    fms->afRelcnvg = readR4(fms, 0);
    fms->afAbscnvg = readR4(fms, 0);
    fms->afRelax = readR4(fms, 0);
    readI2(fms, 0);
    fms->presTestValue = readR4(fms, 0);
    readI2(fms, 0);

    fms->afSlae = readI2(fms, 1);
    fms->afReorder = readI2(fms, 0);
    fms->cfdFlowOption = readI2(fms, 0);
    fms->afPcgCnvg = readR4(fms, 0);
    fms->afInit = readI2(fms, 0);
    fms->rhoMuCorr = readI2(fms, 0);

    // 17 to 20: contaminant simulation and its three species systems
    fms->mfsim = readI2(fms, 1);
    readI2(fms, 0);
    fms->cycRelTol = readR4(fms, 0);
    fms->cycMinConc = readR4(fms, 0);
    readR4(fms, 0);
    readI2(fms, 0);
    read_mf_settings(fms, &fms->mfNontrace, 1);
    read_mf_settings(fms, &fms->mfTrace, 1);
    read_mf_settings(fms, &fms->mfCombined, 0);

    // 21, 22: transport solver
    fms->mfsolver = readI2(fms, 1);
    fms->cdzOn = readI2(fms, 0);
    fms->cdDucts = readI2(fms, 0);
    fms->dxDuct = readR4(fms, 0);
    fms->stsHeat = readI2(fms, 0);
    readI2(fms, 0);
    if (fms->mfsolver == 1 && fms->cdDucts && !(fms->dxDuct > 0.0f))
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid duct cell length: %g m", fms->dxDuct);

    fms->cvmethod = readIX(fms, 1);
    fms->cvrtol = readR4(fms, 0);
    fms->cvatol = readR4(fms, 0);
    fms->cvmaxstep = readR4(fms, 0);

    // 23: density iteration
    fms->tsdens = readI2(fms, 1);
    readR4(fms, 0);
    fms->densItmax = readI2(fms, 0);
    if (fms->densItmax < 2) fms->densItmax = 2;
    fms->cnvgSS = readI2(fms, 0);
    fms->densZP = readI2(fms, 0);
    fms->stackD = readI2(fms, 0);
    fms->dodMdt = readI2(fms, 0);

    // 24, 25: period, time steps and restart
    fms->dateSS = readMD(fms, 1);
    fms->timeSS = readHMS(fms, 0);
    fms->date0 = readMD(fms, 0);
    fms->time0 = readHMS(fms, 0);
    fms->date1 = readMD(fms, 0);
    fms->time1 = readHMS(fms, 0);
    fms->time_step = readHMS(fms, 0);
    fms->listStep = readHMS(fms, 0);
    fms->screenStep = readHMS(fms, 0);
    check_steps(fms);

    fms->restartFlag = readI2(fms, 1);
    fms->restartDate = readMD(fms, 0);
    readHMS(fms, 0);

    // 26 to 29: log detail and results switches
    fms->listSetting = readI2(fms, 1);
    readI2(fms, 0);
    fms->pfres = readIX(fms, 0);
    fms->zfres = readIX(fms, 0);
    fms->zcres = readIX(fms, 0);

    readIX(fms, 1);
    fms->achStepOut = readIX(fms, 0);
    fms->achSumOut = readIX(fms, 0);
    fms->cbwSumOut = readIX(fms, 0);
    fms->expStepOut = readIX(fms, 0);
    fms->expSumOut = readIX(fms, 0);
    fms->ageStepOut = readIX(fms, 0);
    fms->ageSumOut = readIX(fms, 0);

    fms->rzfres = readIX(fms, 1);
    fms->rzmres = readIX(fms, 0);
    fms->rz1res = readIX(fms, 0);
    fms->csmOut = readIX(fms, 0);
    fms->srfres = readIX(fms, 0);
    fms->logcOut = readIX(fms, 0);

    fms->bcexres = readIX(fms, 1);
    fms->dcexres = readIX(fms, 0);
    fms->pfsql = readIX(fms, 0);
    fms->zfsql = readIX(fms, 0);
    fms->zcsql = readIX(fms, 0);

    // 30: air properties and airflow logging
    fms->rhoRef = readR4(fms, 1);
    fms->gravity = readR4(fms, 0);
    fms->afLogIter = readIX(fms, 0);
    fms->afLogSolve = readIX(fms, 0);
    skipIX(fms, 14);

    // 31, 32
    read_rvals(fms);
    fms->valZones = readI2(fms, 1);
    fms->valJunctions = readI2(fms, 0);
    fms->valClassified = readI2(fms, 0);

    // 33: CFD coupling
    fms->cfdMode = readI2(fms, 1);
    fms->cfdTol = readR4(fms, 0);
    fms->cfdRestart = readI2(fms, 0);
    readI2(fms, 0);
    fms->cfdMaxIter = readI2(fms, 0);
    fms->cfdReportInterval = readI2(fms, 0);
    fms->cfdMultigrid = readI2(fms, 0);
    fms->cfdMgLineSmoother = readI2(fms, 0);
    readR8(fms, 0);
    readR8(fms, 0);
    // The coupling keeps per-iteration arrays and reports every so many iterations.
    if (fms->cfdMode < 0 || fms->cfdMode > 3)
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid CFD coupling mode: %d", fms->cfdMode);
    if (fms->cfdMode == 3 && fms->cfdMaxIter <= 0)
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid number of CFD coupling iterations: %d", fms->cfdMaxIter);
    if (fms->cfdMode > 0 && fms->cfdReportInterval <= 0)
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid CFD coupling report interval: %d", fms->cfdReportInterval);

    // 34
    prj_section_end(fms, "Run Control");
    return prj_errors(fms) > 0;
}

void runctrl_free(FlowmirState* fms)
{
    if (fms->rvals) fre_vt(fms, fms->rvals, 1, fms->nrvals);
    fms->nrvals = 0;
}
