// Contaminant transport through the host, against closed forms and the discrete values the
// implicit scheme must produce: one zone of 100 m3 at 293.15 K and 101325 Pa ventilated at
// 1 ACH of outdoor air.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "results/simread.h"
#include "testutil.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;


static std::string tracer()
{
    return readFile(kProjects + "/tr_tracer.prj");
}

// A constant source of G kg/s in the room.
static std::string withSource(std::string text, const char* G)
{
    text = replaceFirst(text, "0 ! source/sink elements\n-999",
                    std::string("1 ! source/sink elements\n1 tracer ccf release\nConstant release\n ") + G +
                        " 0 0 0\n-999");
    text = replaceFirst(text, "0 ! sources and sinks\n-999",
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
    text = replaceFirst(text, "2 0 1e-4 1e-15 0 0\n", "1 0 1e-4 1e-15 0 0\n");
    text = replaceFirst(text, "Jan01 0:00:00 Jan01", "Jan01 12:00:00 Jan01");
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
        std::string text = replaceFirst(tracer(), "0 1 100 1e-6 1e-15 1.25 1 0\n",
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
    std::string text = replaceFirst(tracer(), "0 1 100 1e-6 1e-15 1.25 1 0\n", "0 1 100 1e-6 1e-15 1.25 0.5 0\n");
    text = replaceFirst(text, " 0.03344714\n", " 0.10034142\n");
    HostRun run = runProject(text);
    EXPECT_EQ(run.r.status, 2);
    EXPECT_NE(run.log.find(" node\\k:       tracer\n"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("Mass fraction(s) < 0"), std::string::npos);
}

static std::string fixture(const char* name)
{
    return readFile(kProjects + "/" + name);
}

// A steady run of the project at noon of January 1.
static std::string steady(std::string text)
{
    text = replaceFirst(text, "2 0 1e-4 1e-15 0 0\n", "1 0 1e-4 1e-15 0 0\n");
    return replaceFirst(text, "Jan01 0:00:00 Jan01", "Jan01 12:00:00 Jan01");
}

static double nodeAt(const HostRun& run, int time, int node, int species = 0)
{
    for (const SimRecord& rec : run.sim.records)
        if (rec.kind == SIM_STEP_RECORD && rec.time == time)
            for (const SimConcRow& c : rec.concs)
                if (c.nr == node) return c.mf[species];
    ADD_FAILURE() << "no record at " << time << " for node " << node;
    return NAN;
}

// Two rooms in series carry the first room's concentration into the second.
TEST(TransportHost, RoomsInSeries)
{
    HostRun run = runProject(steady(withSource(fixture("tr_series.prj"), "1e-6")));
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    ASSERT_TRUE(run.read);
    EXPECT_NEAR(nodeAt(run, 43200, 1), 2.98979e-5, 2.98979e-5 * 2e-5);
    EXPECT_NEAR(nodeAt(run, 43200, 2), 2.98979e-5, 2.98979e-5 * 2e-5);
}

// Recirculation through a filter of efficiency 0.6: C = G / (Qo + 0.6 Qr), Qr = 3 Qo, and the
// air handler sees what the filter lets through.
TEST(TransportHost, RecirculationThroughAFilter)
{
    HostRun run = runProject(steady(withSource(fixture("tr_recirc.prj"), "1e-6")));
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    ASSERT_TRUE(run.read);
    double C = 1e-6 / (0.03344714 + 0.6 * 0.10034142);
    EXPECT_NEAR(nodeAt(run, 43200, 1), C, C * 2e-6);
    EXPECT_NEAR(nodeAt(run, 43200, 2), 0.4 * C, C * 2e-6);
}

// A closed room where A turns into B: each step A falls by 1 / (1 + k dt) and A + B stays.
TEST(TransportHost, ReactionConservesTheSum)
{
    HostRun run = runProject(fixture("tr_reaction.prj"));
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    ASSERT_TRUE(run.read);
    double A = 1e-3;
    for (int t = 3600; t <= 7200; t += 3600) {
        A /= 1.36;
        EXPECT_NEAR(nodeAt(run, t, 1, 0), A, A * 1e-6);
        EXPECT_NEAR(nodeAt(run, t, 1, 0) + nodeAt(run, t, 1, 1), 1e-3, 1e-9);
    }
}

// A boundary-layer sink in a closed room: the mass in the air and in the sink stays
// M C + capacity Cs = M x 1e-3.
TEST(TransportHost, BoundaryLayerSinkConservesMass)
{
    HostRun run = runProject(fixture("tr_sink.prj"));
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    ASSERT_TRUE(run.read);
    size_t at = run.log.find("Sink #  Mass Fraction  Contaminant\n");
    ASSERT_NE(at, std::string::npos) << run.log;
    int nr = 0;
    double Cs = 0.0;
    char name[32];
    ASSERT_EQ(sscanf(run.log.c_str() + at + 35, "%d %lf %31s", &nr, &Cs, name), 3);
    EXPECT_EQ(nr, 1);
    EXPECT_STREQ(name, "tracer");
    double M = 101325.0 * 100.0 / (287.055 * 293.15);
    double C = nodeAt(run, 7200, 1);
    EXPECT_NEAR(M * C + 100.0 * Cs, M * 1e-3, M * 1e-3 * 1e-6);
    EXPECT_LT(C, 1e-3);
}

// A cyclic day of a constant source from clean air: the second day's maxima agree with the
// first's to far better than the tolerance, so two days run before the written one.
TEST(TransportHost, CyclicRunConvergesOnTheSecondDay)
{
    std::string text = withSource(tracer(), "1e-6");
    text = replaceFirst(text, "2 0 1e-4 1e-15 0 0\n", "3 0 1e-4 1e-15 0 0\n");
    text = replaceFirst(text, "1 ! zone initial mass fractions\n1 1e-3\n", "1 ! zone initial mass fractions\n1 0\n");
    HostRun run = runProject(text);
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    ASSERT_TRUE(run.read);
    EXPECT_NE(run.log.find("\n      72 time steps\n"), std::string::npos) << run.log;
    double Cinf = 2.98979e-5;
    EXPECT_NEAR(nodeAt(run, 0, 1), Cinf, Cinf * 2e-5);
    EXPECT_NEAR(nodeAt(run, 86400, 1), Cinf, Cinf * 2e-5);
}

// A cyclic run needs a positive tolerance: with none it could never end.
TEST(TransportHost, CyclicRunRefusesAZeroTolerance)
{
    std::string text = replaceFirst(tracer(), "2 0 1e-4 1e-15 0 0\n", "3 0 0 1e-15 0 0\n");
    HostRun run = runProject(text);
    EXPECT_EQ(run.r.status, 2);
    EXPECT_NE(run.log.find("Cyclic simulation needs a relative tolerance above 0: 0"), std::string::npos) << run.log;
}

// Every linear solver of the transport gives the same concentrations within its tolerance:
// the recirculating room over two hourly steps from clean air.
TEST(TransportHost, EverySolverAgrees)
{
    struct Method {
        const char* line;
        const char* option;
    } methods[] = {
        {"0 1 100 1e-6 1e-15 1.25 1 0\n", "--solver skyline"},
        {"0 1 100 1e-6 1e-15 1.25 1 0\n", "--solver sparse"},
        {"1 0 100 1e-8 1e-15 1 1 0\n", ""},
        {"2 0 500 1e-8 1e-15 1.1 1 0\n", ""},
        {"3 0 100 1e-6 1e-15 1 1 0\n", ""},
    };
    double reference[2] = {0, 0};
    for (size_t k = 0; k < sizeof methods / sizeof methods[0]; k++) {
        SCOPED_TRACE(k);
        std::string text = withSource(fixture("tr_recirc.prj"), "1e-6");
        text = replaceFirst(text, "0 1 100 1e-6 1e-15 1.25 1 0\n", methods[k].line);
        HostRun run;
        run.dir = scratchDir();
        writeFile(run.dir + "/t.prj", text);
        run.r = runHost(std::string("-q ") + methods[k].option + " t", run.dir);
        run.log = readFile(run.dir + "/t.xlog");
        std::string why;
        ASSERT_TRUE(simRead((run.dir + "/t.sim").c_str(), &run.sim, &why)) << why << run.log;
        ASSERT_EQ(run.r.status, 0) << run.log;
        for (int node = 1; node <= 2; node++) {
            double c = nodeAt(run, 7200, node);
            if (k == 0)
                reference[node - 1] = c;
            else
                EXPECT_NEAR(c, reference[node - 1], reference[node - 1] * 1e-5) << node;
        }
    }
    EXPECT_GT(reference[0], 5e-6);
}

// Two non-trace species, air and water vapour, with the room's initial fractions given.
static std::string nonTrace(const char* roomFractions)
{
    std::string text = replaceFirst(tracer(), "1 1 ! one simulated species\n1\n1 0 0 44.01 0 0 0 0 0 1000 0 0 0 0 0 0 tracer\n",
                                "2 1 2 ! two non-trace species\n2\n1 0 1 28.97 0 0 0 0 0.994 1006 0 0 0 0 0 0 AIR\n"
                                "Dry air\n2 0 1 18.02 0 0 0 0 0.006 1870 0 0 0 0 0 0 H2O\n");
    return replaceFirst(text, "1 ! zone initial mass fractions\n1 1e-3\n",
                    std::string("2 ! zone initial mass fractions\n1 ") + roomFractions + "\n");
}

// The tracer made the one non-trace species, all of the air.
static std::string oneNonTrace()
{
    std::string text = replaceFirst(tracer(), "1 0 0 44.01 0 0 0 0 0 1000", "1 0 1 44.01 0 0 0 0 1 1000");
    return replaceFirst(text, "1 ! zone initial mass fractions\n1 1e-3\n", "1 ! zone initial mass fractions\n1 1\n");
}

struct Refusal {
    const char* name;
    std::string text;
    int status;
    const char* message;
};

// The refusals and notes of the transport set-up, each with its exact text.
TEST(TransportHost, SetUpMessages)
{
    const Refusal cases[] = {
        {"one non-trace species", oneNonTrace(), 2, "Cannot process only one non-trace contaminant"},
        {"fractions far from a sum of 1", nonTrace("0.45 0.05"), 2,
         "Adjusting node 1z mass fractions because sum(Mf) = 0.500000\n"},
        {"fractions far from a sum of 1", nonTrace("0.45 0.05"), 2, "Unreasonable initial mass fractions"},
        {"fractions near a sum of 1", nonTrace("0.94 0.01"), 0,
         "Adjusting node 1z mass fractions because sum(Mf) = 0.950000\n"},
        {"short time steps for a steady state",
         replaceFirst(replaceFirst(tracer(), "0 0 0 0.1 0 0\n", "1 0 0 0.1 0 0\n"), "2 0 1e-4 1e-15 0 0\n",
                      "1 0 1e-4 1e-15 0 0\n"),
         2, "Steady contaminant simulation requires the implicit transport solver"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        HostRun run = runProject(c.text);
        EXPECT_EQ(run.r.status, c.status) << run.log;
        EXPECT_NE(run.log.find(c.message), std::string::npos) << run.log;
    }
}

// Two non-trace species: the first is what the second leaves, the air's gas constant follows
// them, and the density iteration runs at least twice a step.
TEST(TransportHost, NonTraceSpeciesSumToOne)
{
    std::string text = replaceFirst(nonTrace("0.99 0.01"), "0 0 5 1 0 0 0\n", "1 0 5 1 0 0 0\n");
    HostRun run = runProject(text);
    ASSERT_EQ(run.r.status, 0) << run.log;
    ASSERT_TRUE(run.read);
    for (int t : {3600, 7200}) {
        double air = nodeAt(run, t, 1, 0), h2o = nodeAt(run, t, 1, 1);
        EXPECT_NEAR(air + h2o, 1.0, 1e-6);
        EXPECT_LT(h2o, 0.01);  // drier outdoor air replaces it
    }
    EXPECT_NE(run.log.find("\n       4 time step iterations\n"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("\n       4 calls to solve_Mfn()\n"), std::string::npos) << run.log;
}

// Three species (two non-trace), sources of several types, two sinks, a reaction and a
// particle filter on a path and a duct read in an input test, every section in file order.
TEST(TransportHost, InputTestOfAProjectWithEveryContaminantSection)
{
    std::string dir = scratchDir();
    writeFile(dir + "/office.prj", fixture("ctm_office.prj"));
    ChildResult r = runHost("-q -t office", dir);
    EXPECT_EQ(r.status, 0) << r.err;
    std::string log = readFile(dir + "/office.xlog");
    const char* sections[] = {"Run Control", "Speices", "Level", "Day Schedule", "Week Schedule", "WindP Profile",
                              "Kinetic Reaction", "Filter Element", "Filter", "Source/Sink Element",
                              "Airflow Element", "Airflow Element", "Controls", "AHS", "Zone", "Zone CC", "Path",
                              "Duct Junction", "Duct Junction CC", "Duct Segment", "Source/Sink",
                              "Occupant Day Schedule", "Occupant Exposure", "Note"};
    size_t at = 0;
    for (const char* s : sections) {
        size_t found = log.find(std::string(s) + " section read successfully.\n", at);
        ASSERT_NE(found, std::string::npos) << s;
        at = found + 1;
    }
    EXPECT_NE(log.find("      contaminants:    3\n"), std::string::npos);
    EXPECT_NE(log.find("           filters:    1\n"), std::string::npos);
    EXPECT_NE(log.find("         reactions:    1\n"), std::string::npos);
    EXPECT_NE(log.find("   source elements:    3\n"), std::string::npos);
    EXPECT_NE(log.find("Input test completed"), std::string::npos);
    EXPECT_EQ(log.find("ERROR"), std::string::npos);
}
