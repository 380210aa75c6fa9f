// Contaminant transport through the host, against closed forms and the discrete values the
// implicit scheme must produce: one zone of 100 m3 at 293.15 K and 101325 Pa ventilated at
// 1 ACH of outdoor air.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "results/simread.h"
#include "testutil.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;

static std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t pos = text.find(from);
    EXPECT_NE(pos, std::string::npos) << from;
    if (pos != std::string::npos) text.replace(pos, from.size(), to);
    return text;
}

static std::string tracer()
{
    return readFile(kProjects + "/tr_tracer.prj");
}

// A constant source of G kg/s in the room.
static std::string withSource(std::string text, const char* G)
{
    text = replaced(text, "0 ! source/sink elements\n-999",
                    std::string("1 ! source/sink elements\n1 tracer ccf release\nConstant release\n ") + G +
                        " 0 0 0\n-999");
    text = replaced(text, "0 ! sources and sinks\n-999",
                    "1 ! sources and sinks\n1 1 1 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n-999");
    return text;
}

struct HostRun {
    std::string dir;
    ChildResult r;
    SimFile sim;
    bool read = false;
    std::string log;
};

static HostRun runProject(const std::string& text)
{
    HostRun run;
    run.dir = scratchDir();
    writeFile(run.dir + "/t.prj", text);
    run.r = runHost("-q t", run.dir);
    run.log = fileExists(run.dir + "/t.xlog") ? readFile(run.dir + "/t.xlog") : "";
    std::string why;
    run.read = simRead((run.dir + "/t.sim").c_str(), &run.sim, &why);
    return run;
}

// The room's mass fraction in the step record at `time` of day 1.
static double roomAt(const HostRun& run, int time)
{
    for (const SimRecord& rec : run.sim.records)
        if (rec.kind == SIM_STEP_RECORD && rec.time == time)
            for (const SimConcRow& c : rec.concs)
                if (c.nr == 1) return c.mf[0];
    ADD_FAILURE() << "no record at " << time;
    return NAN;
}

// Steady transport: C = G / Q with Q the outdoor air's mass flow.
TEST(TransportHost, SteadySourceGivesGOverQ)
{
    std::string text = withSource(tracer(), "1e-6");
    text = replaced(text, "2 0 1e-4 1e-15 0 0\n", "1 0 1e-4 1e-15 0 0\n");
    text = replaced(text, "Jan01 0:00:00 Jan01", "Jan01 12:00:00 Jan01");
    HostRun run = runProject(text);
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    ASSERT_TRUE(run.read);
    EXPECT_NEAR(roomAt(run, 12 * 3600), 2.98979e-5, 2.98979e-5 * 2e-5);
}

struct Decay {
    const char* theta;
    double c1, c2;
};

// A tracer of 1e-3 washed out by 1 ACH in hourly steps: backward Euler halves it each step,
// the trapezoidal scheme divides it by 3 (against the exact e^-1 = 0.36788 per hour).
TEST(TransportHost, TracerDecayByTheImplicitSchemes)
{
    const Decay cases[] = {{"1", 5.0e-4, 2.5e-4}, {"0.5", 1e-3 / 3, 1e-3 / 9}};
    for (const Decay& c : cases) {
        SCOPED_TRACE(c.theta);
        std::string text = replaced(tracer(), "0 1 100 1e-6 1e-15 1.25 1 0\n",
                                    std::string("0 1 100 1e-6 1e-15 1.25 ") + c.theta + " 0\n");
        HostRun run = runProject(text);
        ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
        ASSERT_TRUE(run.read);
        EXPECT_NEAR(roomAt(run, 0), 1e-3, 1e-9);
        EXPECT_NEAR(roomAt(run, 3600), c.c1, c.c1 * 1e-6);
        EXPECT_NEAR(roomAt(run, 7200), c.c2, c.c2 * 1e-6);
        EXPECT_NE(run.log.find("calls to solve_Mft()"), std::string::npos);
    }
}

// The trapezoidal scheme with 3 ACH in hourly steps overshoots below zero and stops.
TEST(TransportHost, TrapezoidalOvershootStopsTheRun)
{
    std::string text = replaced(tracer(), "0 1 100 1e-6 1e-15 1.25 1 0\n", "0 1 100 1e-6 1e-15 1.25 0.5 0\n");
    text = replaced(text, " 0.03344714\n", " 0.10034142\n");
    HostRun run = runProject(text);
    EXPECT_EQ(run.r.status, 2);
    EXPECT_NE(run.log.find(" node\\k:       tracer\n"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("Mass fraction(s) < 0"), std::string::npos);
}
