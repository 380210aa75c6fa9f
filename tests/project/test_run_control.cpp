// The run-control section: every setting lands in its member, and damaged lines are reported.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "project/run_control.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/nxt.h"
#include "testutil.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;

// Opens a project file and stands after its description line, where the run control begins.
static void openAtRunControl(FlowmirState* fms, const std::string& path)
{
    char line[4096];
    ASSERT_EQ(nxtopen(fms, path.c_str(), __FILE__, __LINE__), 0);
    nxtwrd(fms, line, 4, sizeof line);
}

struct LineEdit {
    int line;  // 1-based, counted from the first run-control line
    const char* text;
};

// The minimal project with some run-control lines replaced.
static std::string minimalWith(std::initializer_list<LineEdit> edits)
{
    std::string prj = readFile(kProjects + "/prj_minimal.prj");
    for (const LineEdit& e : edits) {
        size_t pos = 0;
        for (int i = 0; i < 2 + e.line - 1; i++) pos = prj.find('\n', pos) + 1;
        prj = prj.substr(0, pos) + e.text + prj.substr(prj.find('\n', pos));
    }
    return prj;
}

// Reads the run control of a project text; returns the log.
static std::string readRunControl(TestState& ts, const std::string& prj, int* result)
{
    std::string path = scratchDir() + "/rc.prj";
    writeFile(path, prj);
    ts.openLog();
    openAtRunControl(ts.fms, path);
    *result = runctrl_read(ts.fms);
    nxtclose(ts.fms);
    runctrl_free(ts.fms);
    return ts.log();
}

TEST(RunControl, EverySettingReachesItsMember)
{
    TestState ts;
    FlowmirState* fms = ts.fms;
    fms->dirChar = '/';
    openAtRunControl(fms, kProjects + "/prj_runctrl.prj");
    EXPECT_EQ(runctrl_read(fms), 0);
    EXPECT_EQ(fms->errorCount, 0) << fms->lastError;

    EXPECT_FLOAT_EQ(fms->Tambt, 283.15f);
    EXPECT_DOUBLE_EQ(fms->Pambt, 98765.5);
    EXPECT_FLOAT_EQ(fms->Wspd, 3.5f);
    EXPECT_FLOAT_EQ(fms->Wdir, 225.0f);
    EXPECT_FLOAT_EQ(fms->ambRH, 0.35f);
    EXPECT_EQ(fms->dayType0, 3);

    // Comments are cut, trailing blanks dropped and separators made the state's own.
    EXPECT_STREQ(fms->wthPath, "null");
    EXPECT_STREQ(fms->ctmPath, "data/ambient.ctm");
    EXPECT_STREQ(fms->cvfPath, "controls.cvf");
    EXPECT_STREQ(fms->dvfPath, "null");
    EXPECT_STREQ(fms->wpcPath, "wind/site.wpc");

    EXPECT_EQ(fms->_useWPCwp, 1);
    EXPECT_EQ(fms->_useWPCmf, 2);
    EXPECT_EQ(fms->wpcOption, 4);
    EXPECT_EQ(fms->wpcUse, 3);

    EXPECT_EQ(fms->afsim, 1);
    EXPECT_EQ(fms->afNewton, 2);
    EXPECT_EQ(fms->afItmax, 40);
    EXPECT_FLOAT_EQ(fms->afRelcnvg, 1e-4f);
    EXPECT_FLOAT_EQ(fms->afAbscnvg, 2e-5f);
    EXPECT_FLOAT_EQ(fms->afRelax, 0.8f);
    EXPECT_FLOAT_EQ(fms->presTestValue, 55.5f);
    EXPECT_EQ(fms->afSlae, 1);
    EXPECT_EQ(fms->afReorder, 1);
    EXPECT_EQ(fms->cfdFlowOption, 2);
    EXPECT_FLOAT_EQ(fms->afPcgCnvg, 3e-6f);
    EXPECT_EQ(fms->afInit, 1);
    EXPECT_EQ(fms->rhoMuCorr, 1);

    EXPECT_EQ(fms->mfsim, 2);
    EXPECT_FLOAT_EQ(fms->cycRelTol, 2e-4f);
    EXPECT_FLOAT_EQ(fms->cycMinConc, 3e-15f);
    const FlowmirState::MfSettings* sys[3] = {&fms->mfNontrace, &fms->mfTrace, &fms->mfCombined};
    const int method[3] = {1, 2, 3}, numbering[3] = {1, 0, 1}, maxIter[3] = {101, 102, 103};
    const float tol[3] = {1.1e-6f, 1.2e-6f, 1.3e-6f}, floor[3] = {2e-15f, 3e-15f, 4e-15f};
    const float relax[3] = {1.2f, 1.3f, 1.4f}, theta[3] = {0.6f, 0.7f, 0.0f};
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sys[i]->method, method[i]);
        EXPECT_EQ(sys[i]->numbering, numbering[i]);
        EXPECT_EQ(sys[i]->maxIter, maxIter[i]);
        EXPECT_FLOAT_EQ(sys[i]->tol, tol[i]);
        EXPECT_FLOAT_EQ(sys[i]->floor, floor[i]);
        EXPECT_FLOAT_EQ(sys[i]->relax, relax[i]);
        EXPECT_FLOAT_EQ(sys[i]->theta, theta[i]);
    }

    EXPECT_EQ(fms->mfsolver, 1);
    EXPECT_EQ(fms->cdzOn, 1);
    EXPECT_EQ(fms->cdDucts, 1);
    EXPECT_FLOAT_EQ(fms->dxDuct, 0.25f);
    EXPECT_EQ(fms->stsHeat, 1);
    EXPECT_EQ(fms->cvmethod, 1);
    EXPECT_FLOAT_EQ(fms->cvrtol, 2e-4f);
    EXPECT_FLOAT_EQ(fms->cvatol, 5e-15f);
    EXPECT_FLOAT_EQ(fms->cvmaxstep, 1800.0f);

    EXPECT_EQ(fms->tsdens, 7);
    EXPECT_EQ(fms->densItmax, 2);  // 1 in the file: at least two density iterations
    EXPECT_EQ(fms->cnvgSS, 3);
    EXPECT_EQ(fms->densZP, 4);
    EXPECT_EQ(fms->stackD, 5);
    EXPECT_EQ(fms->dodMdt, 6);

    EXPECT_EQ(fms->dateSS, 32);
    EXPECT_EQ(fms->timeSS, 6 * 3600);
    EXPECT_EQ(fms->date0, 74);
    EXPECT_EQ(fms->time0, 3600);
    EXPECT_EQ(fms->date1, 76);
    EXPECT_EQ(fms->time1, 18 * 3600);
    EXPECT_EQ(fms->time_step, 600);
    EXPECT_EQ(fms->listStep, 3600);
    EXPECT_EQ(fms->screenStep, 1200);
    EXPECT_EQ(fms->restartFlag, 1);
    EXPECT_EQ(fms->restartDate, 91);

    EXPECT_EQ(fms->listSetting, 2);
    EXPECT_EQ(fms->pfres, 1);
    EXPECT_EQ(fms->zfres, 2);
    EXPECT_EQ(fms->zcres, 3);
    const int* out7[7] = {&fms->achStepOut, &fms->achSumOut, &fms->cbwSumOut, &fms->expStepOut,
                          &fms->expSumOut,  &fms->ageStepOut, &fms->ageSumOut};
    for (int i = 0; i < 7; i++) EXPECT_EQ(*out7[i], 11 + i) << i;
    const int* out6[6] = {&fms->rzfres, &fms->rzmres, &fms->rz1res,
                          &fms->csmOut, &fms->srfres, &fms->logcOut};
    for (int i = 0; i < 6; i++) EXPECT_EQ(*out6[i], 21 + i) << i;
    const int* out5[5] = {&fms->bcexres, &fms->dcexres, &fms->pfsql, &fms->zfsql, &fms->zcsql};
    for (int i = 0; i < 5; i++) EXPECT_EQ(*out5[i], 31 + i) << i;

    EXPECT_FLOAT_EQ(fms->rhoRef, 1.19f);
    EXPECT_FLOAT_EQ(fms->gravity, 9.81f);
    EXPECT_EQ(fms->afLogIter, 41);
    EXPECT_EQ(fms->afLogSolve, 42);
    ASSERT_EQ(fms->nrvals, 3);
    ASSERT_NE(fms->rvals, nullptr);
    EXPECT_FLOAT_EQ(fms->rvals[1], 0.5f);
    EXPECT_FLOAT_EQ(fms->rvals[3], 2.5f);
    EXPECT_EQ(fms->valZones, 51);
    EXPECT_EQ(fms->valJunctions, 52);
    EXPECT_EQ(fms->valClassified, 53);

    EXPECT_EQ(fms->cfdMode, 2);
    EXPECT_FLOAT_EQ(fms->cfdTol, 0.005f);
    EXPECT_EQ(fms->cfdRestart, 1);
    EXPECT_EQ(fms->cfdMaxIter, 61);
    EXPECT_EQ(fms->cfdReportInterval, 62);
    EXPECT_EQ(fms->cfdMultigrid, 63);
    EXPECT_EQ(fms->cfdMgLineSmoother, 64);

    nxtclose(fms);
    runctrl_free(fms);
    EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed);
}

// Reading a second project into the same record replaces the extra values without losing
// the first array.
TEST(RunControl, RereadReleasesTheEarlierValues)
{
    TestState ts;
    FlowmirState* fms = ts.fms;
    openAtRunControl(fms, kProjects + "/prj_runctrl.prj");
    runctrl_read(fms);
    nxtclose(fms);
    ASSERT_EQ(fms->nrvals, 3);

    std::string dir = scratchDir();
    writeFile(dir + "/two.prj", minimalWith({{31, "2 7 8"}}));
    openAtRunControl(fms, dir + "/two.prj");
    EXPECT_EQ(runctrl_read(fms), 0) << fms->lastError;
    nxtclose(fms);
    ASSERT_EQ(fms->nrvals, 2);
    EXPECT_FLOAT_EQ(fms->rvals[2], 8.0f);

    openAtRunControl(fms, kProjects + "/prj_minimal.prj");  // no extra values
    runctrl_read(fms);
    nxtclose(fms);
    EXPECT_EQ(fms->nrvals, 0);
    EXPECT_EQ(fms->rvals, nullptr);
    EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed);
}

struct BadRunControl {
    std::initializer_list<LineEdit> edits;
    const char* message;
};

static const char* kTransient = "1 0 30 1e-5 1e-5 0.75 0 50 0";  // line 15 with afsim 1

TEST(RunControl, DamagedSettingsAreReported)
{
    const BadRunControl cases[] = {
        {{{3, "293.15 101325 0 0 0.5 1.5 0 0 0 0"}}, " Bad short integer: 1.5\n"},
        {{{3, "293.15 101325 0 0 0.5 8 0 0 0 0"}}, " Invalid day type in run control: 8\n"},
        {{{3, "293.15 1O1325 0 0 0.5 1 0 0 0 0"}}, " Bad float value: 1O1325\n"},
        {{{13, "0 0 0:00:00 2/30 12/31 0 0 0"}}, " 2/30 is not a valid mm/dd date\n"},
        {{{24, "Feb30 12:00:00 Jan01 00:00:00 Jan01 24:00:00 1:00:00 1:00:00 1:00:00"}},
         " Feb30 is not a valid date\n"},
        {{{24, "Jan01 12:00:00 Jan01 00:00:00 Jan01 24:00:01 1:00:00 1:00:00 1:00:00"}},
         " 24:00:01 is not a valid time\n"},
        {{{26, "0 0 1 1 x"}}, " Bad integer: x\n"},
        // One value short: the -999 is taken for it and the terminator is missed.
        {{{33, "0 0.001 0 0 10 1 0 0 0"}},
         " PRJ read error in Run Control section; enable the echo feature then see Log file for "
         "where error occurred\n"},
        // A transient run divides by its time step and lists at multiples of its listing step.
        {{{15, kTransient}, {24, "Jan01 12:00:00 Jan01 00:00:00 Jan01 24:00:00 0 1:00:00 1:00:00"}},
         " Invalid time step for a transient simulation: 0\n"},
        // A 7-minute step would run past midnight.
        {{{15, kTransient}, {24, "Jan01 12:00:00 Jan01 00:00:00 Jan01 24:00:00 0:07:00 1:00:00 1:00:00"}},
         " Invalid time step for a transient simulation: 420 s does not divide the day (86400 s)\n"},
        {{{15, kTransient}, {24, "Jan01 12:00:00 Jan01 00:00:00 Jan01 24:00:00 1:00:00 0 1:00:00"}},
         " Invalid listing time step for a transient simulation: 0\n"},
        {{{17, "2 0 1e-4 1e-15 0 0"}, {24, "Jan01 12:00:00 Jan01 00:00:00 Jan01 24:00:00 1:00:00 1:00:00 0"}},
         " Invalid screen time step for a transient simulation: 0\n"},
    };
    for (const BadRunControl& c : cases) {
        SCOPED_TRACE(c.message);
        TestState ts;
        int result = 0;
        std::string log = readRunControl(ts, minimalWith(c.edits), &result);
        EXPECT_NE(result, 0);
        EXPECT_NE(log.find(std::string("ERROR") + "  (file "), std::string::npos);
        EXPECT_NE(log.find(c.message), std::string::npos) << log;
    }
}

// Steady runs never step, so their time steps may be 0; names may carry a comment.
TEST(RunControl, SteadyRunWithoutStepsReads)
{
    TestState ts;
    int result = 1;
    std::string log = readRunControl(
        ts,
        minimalWith({{5, "null   ! no weather file"},
                     {24, "Jan01 12:00:00 Jan01 00:00:00 Jan01 24:00:00 0 0 0"}}),
        &result);
    EXPECT_EQ(result, 0) << log;
    EXPECT_STREQ(ts->wthPath, "null");
    EXPECT_NE(log.find("Run Control section read successfully.\n"), std::string::npos);
}

// A name line holds at most 258 characters; a longer one is fatal.
TEST(RunControl, FileNameLineLength)
{
    std::string longest(258, 'a');
    TestState ts;
    int result = 1;
    readRunControl(ts, minimalWith({{6, longest.c_str()}}), &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(std::string(ts->ctmPath), longest);

    std::string tooLong = longest + "b";
    std::string prj = minimalWith({{6, tooLong.c_str()}});
    ChildResult r = runChild([&] {
        TestState child;
        int ignored;
        readRunControl(child, prj, &ignored);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Buffer overflow: " + longest), std::string::npos) << r.err;
}
