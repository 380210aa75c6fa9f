// The co-simulation interface: a host steps small projects through the fmi functions. The
// results files of a host-stepped run must be those of the batch run of the same project.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "flowmir/fmi.h"
#include "network/airnet.h"
#include "results/simread.h"
#include "testutil.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;


// Two rooms in series, a fan supplying 0.1 kg/s through path 1 from the ambient, transient
// airflow, no wind, no weather file: Jan01 00:00 to Jan02 24:00 in hourly steps.
static std::string seriesProject()
{
    return readFile(kProjects + "/sum_series.prj");
}

// One room with a tracer decaying from 1e-3 by 1 ACH of ventilation, stretched to two days.
static std::string tracerProject()
{
    return replaceFirst(readFile(kProjects + "/tr_tracer.prj"), "Jan01 0:00:00 Jan01 00:00:00 Jan01 2:00:00",
                    "Jan01 0:00:00 Jan01 00:00:00 Jan02 24:00:00");
}

// The series project with steady airflow and no contaminant simulation: steady only.
static std::string steadyProject()
{
    return replaceFirst(seriesProject(), "\n1 0 30 1e-9 1e-5 0.75 0 50 0\n", "\n0 0 30 1e-9 1e-5 0.75 0 50 0\n");
}

// A host-stepped run of a project written to a scratch folder as p.prj.
struct Cosim {
    std::string dir;
    FlowmirState* fms = nullptr;
    int setup = -1;
    explicit Cosim(const std::string& text)
    {
        dir = scratchDir();
        writeFile(dir + "/p.prj", text);
        fms = fmiGetNimbalState();
        setup = fmiSetupSimulation(fms, (dir + "/p.prj").c_str());
    }
    ~Cosim()
    {
        if (fms) fmiEndSimulation(fms);
    }
    void end()
    {
        EXPECT_EQ(fmiEndSimulation(fms), 0);
        fms = nullptr;
    }
    std::string file(const char* ext) const { return readFile(dir + "/p" + ext); }
};

// The batch run's results file and database (empty when it writes none).
static std::string batchSim(const std::string& text, std::string* db = nullptr)
{
    std::string dir = scratchDir();
    writeFile(dir + "/p.prj", text);
    ChildResult r = runHost("-q p", dir);
    EXPECT_EQ(r.status, 0) << r.err;
    if (db) *db = fileExists(dir + "/p.sqlite3") ? readFile(dir + "/p.sqlite3") : "";
    return readFile(dir + "/p.sim");
}

// The tracer project with every table of the results database.
static std::string tracerDbProject()
{
    return replaceFirst(tracerProject(), "\n0 0 0 0 0\n1.2041 ", "\n0 0 1 1 1\n1.2041 ");
}

TEST(FmiSetup, ReturnsTheSetupResultAndOnlyASetUpRunSteps)
{
    EXPECT_EQ(fmiDoCoSimStep(nullptr, 1), 1);
    FlowmirState* fresh = fmiGetNimbalState();
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fmiDoCoSimStep(fresh, 1), 1);
    EXPECT_EQ(fmiEndSimulation(fresh), 0);

    // The host's error function hears the report.
    static std::string heard;
    heard.clear();
    std::string dir = scratchDir();
    FlowmirState* missing = fmiGetNimbalState();
    fmiSetErrorFunction(missing, [](FlowmirState*, const char* word, const char* msg, int*) {
        heard += std::string(word) + msg;
        return 0;
    });
    EXPECT_NE(fmiSetupSimulation(missing, (dir + "/absent.prj").c_str()), 0);
    EXPECT_NE(heard.find("absent.prj"), std::string::npos) << heard;
    EXPECT_EQ(fmiDoCoSimStep(missing, 1), 1);
    EXPECT_EQ(fmiDoCoSimStep(missing, 0), 1);
    EXPECT_EQ(fmiEndSimulation(missing), 0);
    EXPECT_FALSE(fileExists(dir + "/absent.sim"));

    Cosim run(seriesProject());
    EXPECT_EQ(run.setup, 0);
    EXPECT_EQ(fmiDoCoSimStep(run.fms, 1), 0);
}

// Cyclic days and the variable-step integrator run their own loops: a host cannot step them.
TEST(FmiSetup, RunsWithLoopsOfTheirOwnAreRefused)
{
    struct {
        const char* name;
        std::string text;
        const char* message;
    } cases[] = {
        {"cyclic", replaceFirst(tracerProject(), "\n2 0 1e-4 1e-15 0 0\n", "\n3 0 1e-4 1e-15 0 0\n"),
         "A cyclic contaminant simulation cannot be stepped by a host"},
        {"variable step", replaceFirst(tracerProject(), "\n0 0 0 0.1 0 0\n", "\n2 0 0 0.1 0 0\n"),
         "Variable-step transport integration cannot be stepped by a host"},
    };
    for (const auto& c : cases) {
        ASSERT_NE(c.text, tracerProject()) << c.name;
        static std::string heard;
        heard.clear();
        std::string dir = scratchDir();
        writeFile(dir + "/p.prj", c.text);
        FlowmirState* fms = fmiGetNimbalState();
        fmiSetErrorFunction(fms, [](FlowmirState*, const char* word, const char* msg, int*) {
            heard += std::string(word) + msg + "\n";
            return 0;
        });
        EXPECT_NE(fmiSetupSimulation(fms, (dir + "/p.prj").c_str()), 0) << c.name;
        EXPECT_NE(heard.find(c.message), std::string::npos) << c.name << ": " << heard;
        EXPECT_EQ(fmiDoCoSimStep(fms, 1), 1) << c.name;
        EXPECT_EQ(fmiEndSimulation(fms), 0) << c.name;
        EXPECT_FALSE(fileExists(dir + "/p.sim")) << c.name;
    }
}

// A fatal error ends the host's process with status 2, after the host's error function heard it.
TEST(FmiSetup, FatalErrorEndsTheHostProcess)
{
    std::string dir = scratchDir();
    writeFile(dir + "/p.prj", replaceFirst(seriesProject(), "\nnull\n", "\nmissing.wth\n"));
    ChildResult r = runChild([&] {
        FlowmirState* fms = fmiGetNimbalState();
        fmiSetErrorFunction(fms, [](FlowmirState*, const char* word, const char* msg, int*) {
            fprintf(stderr, "host heard: %s%s\n", word, msg);
            return 0;
        });
        fmiSetupSimulation(fms, (dir + "/p.prj").c_str());
        fprintf(stderr, "host goes on\n");
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("host heard: FATAL "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("missing.wth"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("host goes on"), std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(dir + "/p.sim"));
}

TEST(FmiSetup, HostFunctionIsCalledOnceWithTheListsReady)
{
    static int calls;
    calls = 0;
    std::string dir = scratchDir();
    writeFile(dir + "/p.prj", seriesProject());
    FlowmirState* fms = fmiGetNimbalState();
    fmiSetProjectDataReadyCallbackFunction(fms, [] { calls++; });
    ASSERT_EQ(fmiSetupSimulation(fms, (dir + "/p.prj").c_str()), 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(fmiGetNumZones(fms), 2);
    EXPECT_EQ(fmiGetNumPaths(fms), 3);
    EXPECT_EQ(fmiGetNumCtms(fms), 0);
    EXPECT_EQ(fmiEndSimulation(fms), 0);
    EXPECT_NE(readFile(dir + "/p.xlog").find("flowmir-lib => calling fms->prjDataReadyFcnP()\n"), std::string::npos);
}

TEST(FmiCodes, BadArgumentsGiveTheirCodesInCheckOrder)
{
    Cosim run(tracerProject());
    ASSERT_EQ(run.setup, 0);
    FlowmirState* fms = run.fms;
    ASSERT_EQ(fmiDoCoSimStep(fms, 1), 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    double x = 0.0, y = 0.0;
    float volume = 0.0f;
    struct Case {
        const char* what;
        int code;
        int expected;
    } cases[] = {
        {"MF out null", fmiGetZoneMF(fms, 1, 0, nullptr), 1},
        {"MF out null before zone", fmiGetZoneMF(fms, 9, 9, nullptr), 1},
        {"MF zone 0", fmiGetZoneMF(fms, 0, 0, &x), 2},
        {"MF zone past end", fmiGetZoneMF(fms, 2, 0, &x), 2},
        {"MF zone before contaminant", fmiGetZoneMF(fms, 2, 5, &x), 2},
        {"MF contaminant -1", fmiGetZoneMF(fms, 1, -1, &x), 3},
        {"MF contaminant past end", fmiGetZoneMF(fms, 1, 1, &x), 3},
        {"MF ok", fmiGetZoneMF(fms, 1, 0, &x), 0},
        {"flows F0 null", fmiGetPathFlows(fms, 1, nullptr, &y), 1},
        {"flows F1 null", fmiGetPathFlows(fms, 9, &x, nullptr), 1},
        {"flows path 0", fmiGetPathFlows(fms, 0, &x, &y), 3},
        {"flows path past end", fmiGetPathFlows(fms, 3, &x, &y), 3},
        {"flows ok", fmiGetPathFlows(fms, 2, &x, &y), 0},
        {"Ta NaN", fmiSetAmbtTemperature(fms, nan), 1},
        {"Ta infinite", fmiSetAmbtTemperature(fms, inf), 1},
        {"Ta 0 K", fmiSetAmbtTemperature(fms, 0.0f), 1},
        {"Ta negative", fmiSetAmbtTemperature(fms, -1.0f), 1},
        {"Ta ok", fmiSetAmbtTemperature(fms, 293.15f), 0},
        {"Pb NaN", fmiSetAmbtPressure(fms, nan), 1},
        {"Pb 0", fmiSetAmbtPressure(fms, 0.0f), 1},
        {"Pb infinite", fmiSetAmbtPressure(fms, inf), 1},
        {"Pb ok", fmiSetAmbtPressure(fms, 101325.0f), 0},
        {"speed infinite", fmiSetAmbtWndSpd(fms, inf), 1},
        {"speed negative", fmiSetAmbtWndSpd(fms, -0.1f), 1},
        {"speed 0", fmiSetAmbtWndSpd(fms, 0.0f), 0},
        {"direction NaN", fmiSetAmbtWndDir(fms, nan), 1},
        {"direction below 0", fmiSetAmbtWndDir(fms, -0.01f), 1},
        {"direction above 360", fmiSetAmbtWndDir(fms, 360.01f), 1},
        {"direction 360", fmiSetAmbtWndDir(fms, 360.0f), 0},
        {"direction 0", fmiSetAmbtWndDir(fms, 0.0f), 0},
        {"W NaN", fmiSetAmbtHumRatio(fms, nan), 1},
        {"W negative", fmiSetAmbtHumRatio(fms, -1e-6f), 1},
        {"W 0", fmiSetAmbtHumRatio(fms, 0.0f), 0},
        {"zone T zone 0", fmiSetZoneTemperature(fms, 0, 293.15), 1},
        {"zone T zone before value", fmiSetZoneTemperature(fms, 2, nan), 1},
        {"zone T NaN", fmiSetZoneTemperature(fms, 1, nan), 2},
        {"zone T infinite", fmiSetZoneTemperature(fms, 1, inf), 2},
        {"zone T 0 K", fmiSetZoneTemperature(fms, 1, 0.0), 2},
        {"zone T ok", fmiSetZoneTemperature(fms, 1, 293.15), 0},
        {"name contaminant past end", fmiGetCtmName(fms, 1, nullptr), 1},
        {"name no buffer", fmiGetCtmName(fms, 0, nullptr), 2},
        {"volume out null", fmiGetZoneVolume(fms, 1, nullptr), 2},
        {"volume zone 2", fmiGetZoneVolume(fms, 2, nullptr), 2},
        {"volume zone 0", fmiGetZoneVolume(fms, 0, &volume), 3},
        {"ambient x contaminant 1", fmiSetAmbtMassFraction(fms, 1, -1.0), 1},
        {"ambient x negative", fmiSetAmbtMassFraction(fms, 0, -1e-9), 2},
        {"ambient x NaN", fmiSetAmbtMassFraction(fms, 0, nan), 2},
        {"add zone 0", fmiSetZoneAddMass(fms, 0, 9, -1.0), 1},
        {"add mass negative", fmiSetZoneAddMass(fms, 1, 9, -1.0), 2},
        {"add mass infinite", fmiSetZoneAddMass(fms, 1, 0, inf), 2},
        {"add contaminant past end", fmiSetZoneAddMass(fms, 1, 1, 0.0), 3},
        {"version no buffer", fmiGetVersion(fms, nullptr), 1},
    };
    for (const Case& c : cases) EXPECT_EQ(c.code, c.expected) << c.what;
    char name[16] = "", version[16] = "";
    ASSERT_EQ(fmiGetCtmName(fms, 0, name), 0);
    EXPECT_STREQ(name, "tracer");
    ASSERT_EQ(fmiGetZoneVolume(fms, 1, &volume), 0);
    EXPECT_EQ(volume, 100.0f);
    ASSERT_EQ(fmiGetVersion(fms, version), 0);
    EXPECT_STREQ(version, "3.4.1.4-64bit");
}

TEST(FmiCodes, RefusedValuesChangeNothing)
{
    Cosim run(seriesProject());
    ASSERT_EQ(run.setup, 0);
    FlowmirState* fms = run.fms;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    float Ta = fms->Tambt, Wd = fms->Wdir;
    double Pb = fms->Pambt, Tz = fms->nodeList->T;
    fmiSetAmbtTemperature(fms, nan);
    fmiSetAmbtPressure(fms, -5.0f);
    fmiSetAmbtWndDir(fms, 400.0f);
    fmiSetZoneTemperature(fms, 1, nan);
    EXPECT_EQ(fms->Tambt, Ta);
    EXPECT_EQ(fms->Pambt, Pb);
    EXPECT_EQ(fms->Wdir, Wd);
    EXPECT_EQ(fms->nodeList->T, Tz);
    ASSERT_EQ(fmiSetZoneTemperature(fms, 2, 300.5), 0);
    EXPECT_EQ(fms->nodeList->next->T, 300.5);
}

// Hourly steps from Jan01 00:00 to Jan02 24:00: the clock reads the end of the step just solved
// and turns to the next day at the first step after midnight.
TEST(FmiClock, ClockAfterSetupAndEachStepRollsOverAtMidnight)
{
    Cosim run(seriesProject());
    ASSERT_EQ(run.setup, 0);
    FlowmirState* fms = run.fms;
    EXPECT_EQ(fmiGetSimulationStartDate(fms), 1);
    EXPECT_EQ(fmiGetSimulationStartTime(fms), 0);
    EXPECT_EQ(fmiGetSimulationEndDate(fms), 2);
    EXPECT_EQ(fmiGetSimulationEndTime(fms), 86400);
    EXPECT_EQ(fmiGetSimulationTimeStep(fms), 3600);
    EXPECT_EQ(fmiGetCurrentDate(fms), 1);
    EXPECT_EQ(fmiGetCurrentTime(fms), 0);
    struct {
        int step, date, time;
    } expected[] = {{1, 1, 3600}, {2, 1, 7200}, {23, 1, 82800}, {24, 1, 86400},
                    {25, 2, 3600}, {26, 2, 7200}, {48, 2, 86400}};
    int taken = 0;
    for (const auto& e : expected) {
        while (taken < e.step) {
            ASSERT_EQ(fmiDoCoSimStep(fms, 1), 0);
            taken++;
        }
        EXPECT_EQ(fmiGetCurrentDate(fms), e.date) << "step " << e.step;
        EXPECT_EQ(fmiGetCurrentTime(fms), e.time) << "step " << e.step;
        // A re-solve keeps the clock.
        ASSERT_EQ(fmiDoCoSimStep(fms, 0), 0);
        EXPECT_EQ(fmiGetCurrentDate(fms), e.date) << "step " << e.step;
        EXPECT_EQ(fmiGetCurrentTime(fms), e.time) << "step " << e.step;
    }
}

// The decaying tracer: re-solving a step with unchanged inputs must not decay it again.
TEST(FmiStep, ResolveWithUnchangedInputsGivesTheSameResults)
{
    Cosim run(tracerProject());
    ASSERT_EQ(run.setup, 0);
    FlowmirState* fms = run.fms;
    double mf0 = 0.0;
    ASSERT_EQ(fmiGetZoneMF(fms, 1, 0, &mf0), 0);
    EXPECT_NEAR(mf0, 1e-3, 1e-9);
    for (int i = 0; i < 3; i++) ASSERT_EQ(fmiDoCoSimStep(fms, 1), 0);
    double mf = 0.0, F0 = 0.0, F1 = 0.0;
    ASSERT_EQ(fmiGetZoneMF(fms, 1, 0, &mf), 0);
    ASSERT_EQ(fmiGetPathFlows(fms, 2, &F0, &F1), 0);
    // Three hours at 1 ACH take off most of e^-3 (the implicit steps a bit less).
    EXPECT_LT(mf, 1e-3 * 0.2);
    EXPECT_GT(mf, 1e-3 * 0.03);
    for (int again = 0; again < 2; again++) {
        ASSERT_EQ(fmiDoCoSimStep(fms, 0), 0);
        double mfR = 0.0, F0R = 0.0, F1R = 0.0;
        ASSERT_EQ(fmiGetZoneMF(fms, 1, 0, &mfR), 0);
        ASSERT_EQ(fmiGetPathFlows(fms, 2, &F0R, &F1R), 0);
        EXPECT_EQ(mfR, mf);
        EXPECT_EQ(F0R, F0);
        EXPECT_EQ(F1R, F1);
    }
}

// Mass added to a zone raises its mass fraction by mass / (air mass), the 100 m3 room holding
// about 120.4 kg, and the next step carries the addition on.
TEST(FmiStep, AddedMassRaisesTheZoneAndIsTransported)
{
    Cosim plain(tracerProject()), dosed(tracerProject());
    ASSERT_EQ(plain.setup, 0);
    ASSERT_EQ(dosed.setup, 0);
    ASSERT_EQ(fmiDoCoSimStep(plain.fms, 1), 0);
    ASSERT_EQ(fmiDoCoSimStep(dosed.fms, 1), 0);
    double before = 0.0, after = 0.0;
    ASSERT_EQ(fmiGetZoneMF(dosed.fms, 1, 0, &before), 0);
    double M = dosed.fms->nodeList->M;
    EXPECT_NEAR(M, 120.4, 0.2);
    ASSERT_EQ(fmiSetZoneAddMass(dosed.fms, 1, 0, 0.012), 0);
    ASSERT_EQ(fmiGetZoneMF(dosed.fms, 1, 0, &after), 0);
    double addMf = 0.012 / M;
    EXPECT_NEAR(after - before, addMf, 1e-15);
    EXPECT_NEAR(addMf, 9.967e-5, 0.02e-5);
    ASSERT_EQ(fmiDoCoSimStep(plain.fms, 1), 0);
    ASSERT_EQ(fmiDoCoSimStep(dosed.fms, 1), 0);
    double mfPlain = 0.0, mfDosed = 0.0;
    ASSERT_EQ(fmiGetZoneMF(plain.fms, 1, 0, &mfPlain), 0);
    ASSERT_EQ(fmiGetZoneMF(dosed.fms, 1, 0, &mfDosed), 0);
    // An hour at 1 ACH keeps between a third (trapezoidal) and a half (implicit Euler) of it.
    EXPECT_GT(mfDosed - mfPlain, addMf / 3.0 * 0.99);
    EXPECT_LT(mfDosed - mfPlain, addMf / 2.0 * 1.01);
}

// The series project turned round: the fan exhausts room 2 and path 1 is the opening by which
// the 0.1 kg/s comes in from the ambient, pushed by the ambient's higher pressure.
static std::string exhaustProject()
{
    std::string text = replaceFirst(seriesProject(), "\n1 0 -1 1 2 0 ", "\n1 0 -1 1 1 0 ");
    return replaceFirst(text, "\n3 0 2 -1 1 0 ", "\n3 0 2 -1 2 0 ");
}

// The density of moist air, Pb / (287 (Tdb + 273.15) (1 + 1.6077687 max(W, 1e-5))): at 101325 Pa
// and W = 0 it is 1.204309 kg/m3 at 20 C and 1.292488 kg/m3 at 0 C.
TEST(FmiFlows, VolumeFlowsUseTheAmbientAirOfAPathFromTheAmbient)
{
    Cosim run(exhaustProject());
    ASSERT_EQ(run.setup, 0);
    FlowmirState* fms = run.fms;
    ASSERT_EQ(fmiDoCoSimStep(fms, 1), 0);
    ASSERT_EQ(fmiSetAmbtHumRatio(fms, 0.0f), 0);
    ASSERT_EQ(fmiSetAmbtPressure(fms, 101325.0f), 0);
    double F0 = 0.0, F1 = 0.0;
    ASSERT_EQ(fmiGetPathFlows(fms, 1, &F0, &F1), 0);
    EXPECT_NEAR(F0, 0.1, 1e-6);
    EXPECT_EQ(F1, 0.0);
    ASSERT_GT(fms->linkList->dP, 0.0);
    // The rooms are warmer than the ambient so that a mean of both nodes would show.
    ASSERT_EQ(fmiSetZoneTemperature(fms, 1, 313.15), 0);
    fmiSetUseVolumeFlows(fms);
    struct {
        float Ta;
        double expected;
    } cases[] = {{293.15f, 0.0830352}, {273.15f, 0.0773702}};
    for (const auto& c : cases) {
        ASSERT_EQ(fmiSetAmbtTemperature(fms, c.Ta), 0);
        double V0 = 0.0, V1 = 1.0;
        ASSERT_EQ(fmiGetPathFlows(fms, 1, &V0, &V1), 0);
        EXPECT_NEAR(V0 / F0, c.expected / 0.1, 2e-6) << c.Ta;
        EXPECT_EQ(V1, 0.0);
    }
}

// A host stepping every step of the period and ending the run leaves the batch run's results.
TEST(FmiRun, SteppedRunWritesTheBatchResultsFile)
{
    struct {
        const char* name;
        std::string text;
        int steps, summaries, records;  // records -1: not counted
    } cases[] = {{"transient airflow", seriesProject(), 48, 2, -1},
                 {"transient tracer", tracerProject(), 48, 2, 50},
                 {"transient tracer, database", tracerDbProject(), 48, 2, 50},
                 {"steady only", steadyProject(), 1, 1, -1},
                 {"short time steps", readFile(kProjects + "/sts_series.prj"), 4, 1, 2}};
    for (const auto& c : cases) {
        std::string batchDb;
        std::string batch = batchSim(c.text, &batchDb);
        ASSERT_FALSE(batch.empty()) << c.name;
        Cosim run(c.text);
        ASSERT_EQ(run.setup, 0) << c.name;
        for (int i = 0; i < c.steps; i++) ASSERT_EQ(fmiDoCoSimStep(run.fms, 1), 0) << c.name;
        if (c.steps == 4) {
            EXPECT_EQ(fmiDoCoSimStep(run.fms, 0), 2) << c.name;
        }
        run.end();
        std::string stepped = run.file(".sim");
        EXPECT_TRUE(stepped == batch) << c.name << ": " << stepped.size() << " bytes against " << batch.size();
        std::string steppedDb = fileExists(run.dir + "/p.sqlite3") ? run.file(".sqlite3") : "";
        EXPECT_TRUE(steppedDb == batchDb) << c.name << ": database of " << steppedDb.size() << " bytes against "
                                          << batchDb.size();
        SimFile sim;
        std::string why;
        ASSERT_TRUE(simRead((run.dir + "/p.sim").c_str(), &sim, &why)) << c.name << ": " << why;
        int summaries = 0;
        int steps = 0;
        for (const SimRecord& r : sim.records) {
            summaries += r.kind == SIM_DAY_SUMMARY;
            steps += r.kind == SIM_STEP_RECORD;
        }
        // A summary a day; the steady run: its one.
        EXPECT_EQ(summaries, c.summaries) << c.name;
        if (c.records >= 0) {
            EXPECT_EQ(steps, c.records) << c.name;
        }
        if (c.steps == 4) {
            // The short-time-step files too, and a step of theirs is not solved twice.
            for (const char* ext : {".rzm", ".rzf"}) {
                std::string dir = scratchDir();
                writeFile(dir + "/p.prj", c.text);
                ASSERT_EQ(runHost("-q p", dir).status, 0);
                EXPECT_TRUE(run.file(ext) == readFile(dir + "/p" + ext)) << c.name << " " << ext;
            }
        }
        if (c.text == tracerDbProject()) {
            EXPECT_GT(batchDb.size(), 4096u) << c.name;
        }
    }
}
