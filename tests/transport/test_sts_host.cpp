// The short-time-step method through the host: two rooms in series (50 m3 and 100 m3, 0.05 m3/s
// of outdoor air, both at C0 = 1e-3 at the start) against the step-by-step values the method
// must give, its first-order approach to the exact solution, the stability limit, a closed
// zone, and the layout of the short-time-step results files read back independently.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "results/simread.h"
#include "testutil.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;

static std::string series()
{
    return readFile(kProjects + "/sts_series.prj");
}

static std::string withStep(std::string text, const std::string& step)
{
    return replaceFirst(text, "Jan01 1:00:00 0:15:00 1:00:00", "Jan01 1:00:00 " + step + " 1:00:00");
}

struct StsHostRun {
    std::string dir;
    ChildResult r;
    std::string log;
    std::string file(const std::string& ext) const { return dir + "/t" + ext; }
};

static StsHostRun runProject(const std::string& text)
{
    StsHostRun run;
    run.dir = scratchDir();
    writeFile(run.dir + "/t.prj", text);
    run.r = runHost("-q t", run.dir);
    run.log = fileExists(run.file(".xlog")) ? readFile(run.file(".xlog")) : "";
    return run;
}

// A record of a short-time-step file: day, time and n floats.
struct StsRecord {
    int32_t day, time;
    std::vector<float> v;
};

static std::vector<StsRecord> records(const std::string& path, int n)
{
    std::string b = readFile(path);
    std::vector<StsRecord> out;
    size_t size = 8 + 4 * (size_t)n;
    EXPECT_EQ(b.size() % size, 0u) << path;
    for (size_t at = 0; at + size <= b.size(); at += size) {
        StsRecord r;
        memcpy(&r.day, b.data() + at, 4);
        memcpy(&r.time, b.data() + at + 4, 4);
        r.v.resize(n);
        memcpy(r.v.data(), b.data() + at + 8, 4 * (size_t)n);
        out.push_back(r);
    }
    return out;
}

static bool contains(const std::string& text, const std::string& piece)
{
    return text.find(piece) != std::string::npos;
}

struct SeriesCase {
    const char* step;
    double zone1, zone2; // C / C0 at 1 h
};

// Zone 1 is fed by clean air only: the method gives the backward-Euler value of its step,
// (1 / (1 + dt Q / V1))^n. Zone 2 takes zone 1's air at its start-of-step value.
TEST(StsHost, SeriesRoomsGiveTheMethodsValues)
{
    const double exact2 = 0.303274;
    const SeriesCase cases[] = {
        {"0:15:00", std::pow(1 / 1.9, 4), 0.510240},
        {"0:10:00", std::pow(1 / 1.6, 6), 0.443291},
        {"0:01:00", std::pow(1 / 1.06, 60), 0.317517},
    };
    double err[3];
    int k = 0;
    for (const SeriesCase& c : cases) {
        SCOPED_TRACE(c.step);
        StsHostRun run = runProject(withStep(series(), c.step));
        ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
        std::vector<StsRecord> rzm = records(run.file(".rzm"), 2);
        ASSERT_EQ(rzm.size(), 2u);
        EXPECT_EQ(rzm[1].time, 3600);
        EXPECT_NEAR(rzm[1].v[0] / 1e-3, c.zone1, 2e-6);
        EXPECT_NEAR(rzm[1].v[1] / 1e-3, c.zone2, 2e-6);
        err[k++] = rzm[1].v[1] / 1e-3 - exact2;
        EXPECT_TRUE(contains(run.log, "calls to solve_STS()\n  1000.0 s - maximum stable time step\n"))
            << run.log;
    }
    // First order: a tenth of the step, a tenth of the error.
    EXPECT_NEAR(err[1] / err[2], 10.0, 0.5);
}

// Zone 1 exchanges twice its air in 1000 s: a 1200 s step is refused before any transport.
TEST(StsHost, StepAboveTheStabilityLimitIsRefused)
{
    StsHostRun run = runProject(withStep(series(), "0:20:00"));
    EXPECT_EQ(run.r.status, 2);
    EXPECT_TRUE(contains(run.log, "Zone 1 (50.000 m^3) requires a time step < 1000.0")) << run.log;
    EXPECT_FALSE(contains(run.log, "Zone 2 (")) << run.log;
    EXPECT_TRUE(contains(run.log, "FATAL")) << run.log;
    EXPECT_TRUE(contains(run.log, "Revise time step (or volume) to permit stable solution")) << run.log;
    EXPECT_FALSE(fileExists(run.file(".rzm")));
}

// 10 m3 with 3 kg/s through it: M = 12.04 kg, sum of flows 6 kg/s, a limit of 4.01 s.
TEST(StsHost, StabilityLimitOfASmallZone)
{
    std::string text = series();
    text = replaceFirst(text, "1 3 0 0 0 1 0 50 293.15 0 Room1", "1 3 0 0 0 1 0 10 293.15 0 Room1");
    text = replaceFirst(text, " 0.06020485", " 3.0");
    text = replaceFirst(text, " 0.00151 0.0753 0.5", " 0.151 75.3 0.5"); // wide openings: P stays near 0
    text = replaceFirst(text, "Jan01 1:00:00 0:15:00", "Jan01 0:00:20 0:15:00");
    StsHostRun refused = runProject(replaceFirst(text, "0:15:00", "0:00:05"));
    EXPECT_EQ(refused.r.status, 2);
    EXPECT_TRUE(contains(refused.log, "Zone 1 (10.000 m^3) requires a time step < 4.01 s for stability"))
        << refused.log;
    StsHostRun passed = runProject(replaceFirst(text, "0:15:00", "0:00:02"));
    ASSERT_EQ(passed.r.status, 0) << passed.log;
    EXPECT_TRUE(contains(passed.log, "\n     4.0 s - maximum stable time step\n")) << passed.log;
}

// A zone without any flow sets no limit and keeps its mass fractions exactly; a closed zone
// with a first-order decay of 1e-4 /s loses the backward-Euler share of each step.
TEST(StsHost, ClosedZoneKeepsItsValue)
{
    std::string text = series();
    text = replaceFirst(text, "2 ! zones\n", "4 ! zones\n");
    text = replaceFirst(text, "2 3 0 0 0 1 0 100 293.15 0 Room2 0 0 0 0 0 0 0 0\n",
                        "2 3 0 0 0 1 0 100 293.15 0 Room2 0 0 0 0 0 0 0 0\n"
                        "3 2 0 0 0 1 0 30 293.15 0 Closet 0 0 0 0 0 0 0 0\n"
                        "4 2 0 0 1 1 0 30 293.15 0 Store 0 0 0 0 0 0 0 0\n");
    text = replaceFirst(text, "2 ! zone initial mass fractions\n1 0.001\n2 0.001\n",
                        "4 ! zone initial mass fractions\n1 0.001\n2 0.001\n3 0.00123\n4 0.00123\n");
    text = replaceFirst(text, "0 ! kinetic reactions\n",
                        "1 ! kinetic reactions\n1 1 decay\nDecay\ntracer tracer -1e-4\n");
    StsHostRun run = runProject(text);
    ASSERT_EQ(run.r.status, 0) << run.log;
    std::vector<StsRecord> rzm = records(run.file(".rzm"), 4);
    ASSERT_EQ(rzm.size(), 2u);
    EXPECT_EQ(rzm[1].v[2], (float)0.00123);
    EXPECT_NEAR(rzm[1].v[3], 0.00123 * std::pow(1 / 1.09, 4), 1e-9);
    EXPECT_TRUE(contains(run.log, "  1000.0 s - maximum stable time step\n")) << run.log;
}

// The cross reference and the zone files, read with the layout they must have.
TEST(StsHost, ResultsFilesHaveTheirLayout)
{
    StsHostRun run = runProject(series());
    ASSERT_EQ(run.r.status, 0) << run.log;
    std::string rxr = readFile(run.file(".rxr"));
    ASSERT_EQ(rxr.size(), 13u * 4);
    int32_t h[13];
    memcpy(h, rxr.data(), sizeof h);
    const int32_t want[13] = {24, 3600, 1, 0, 1, 3600, 1, 1, 0, 1, 2, 0, 0};
    for (int i = 0; i < 13; i++)
        EXPECT_EQ(h[i], want[i]) << "header int " << i;
    EXPECT_TRUE(contains(run.log, "RXR (results files cross reference data)\n"
                                  "     type 24, step 3600\n"
                                  "     date0 1, time0 0\n"
                                  "     date1 1, time1 3600\n"
                                  "     rzf 1, rzm 1, rz1 0\n"
                                  "     fms->nctm 1, fms->nzone 2\n"
                                  "     fms->simout.nZ1D 0, fms->simout.nC1D 0\n"))
        << run.log;
    std::vector<StsRecord> rzf = records(run.file(".rzf"), 6);
    ASSERT_EQ(rzf.size(), 2u);
    EXPECT_EQ(rzf[0].day, 1);
    EXPECT_EQ(rzf[0].time, 0);
    EXPECT_EQ(rzf[1].time, 3600);
    for (int z = 0; z < 2; z++) {
        float T = rzf[1].v[3 * z], P = rzf[1].v[3 * z + 1], D = rzf[1].v[3 * z + 2];
        EXPECT_FLOAT_EQ(T, 293.15f);
        EXPECT_NEAR(D, 101325.0 / (287.055 * 293.15), 1e-6);
        EXPECT_GT(P, 0.1f); // the node pressure: the supply fan pressurises both rooms
    }
    std::vector<StsRecord> rzm = records(run.file(".rzm"), 2);
    ASSERT_EQ(rzm.size(), 2u);
    EXPECT_FLOAT_EQ(rzm[0].v[0], 1e-3f);
    EXPECT_FALSE(fileExists(run.file(".rz1")));
    // Switched off, the files of an earlier run go.
    std::string off = replaceFirst(series(), "1 1 1 0 0 0\n", "0 0 0 0 0 0\n");
    writeFile(run.dir + "/t.prj", off);
    ChildResult again = runHost("-q t", run.dir);
    ASSERT_EQ(again.status, 0);
    for (const char* ext : {".rxr", ".rzf", ".rzm"})
        EXPECT_FALSE(fileExists(run.file(ext))) << ext;
}

// --- ducts -------------------------------------------------------------------------------------

static std::string ducts()
{
    return readFile(kProjects + "/sts_ducts.prj");
}

static StsHostRun runDucts(const std::string& text)
{
    StsHostRun run;
    run.dir = scratchDir();
    writeFile(run.dir + "/t.prj", text);
    writeFile(run.dir + "/tr_stack.wth", readFile(kProjects + "/tr_stack.wth"));
    run.r = runHost("-q t", run.dir);
    run.log = fileExists(run.file(".xlog")) ? readFile(run.file(".xlog")) : "";
    return run;
}

// Rooms and duct nodes at the end of the two days, from the zone file and the results file.
static std::vector<float> roomsAtEnd(const StsHostRun& run)
{
    std::vector<StsRecord> rzm = records(run.file(".rzm"), 2);
    EXPECT_FALSE(rzm.empty());
    return rzm.empty() ? std::vector<float>{} : rzm.back().v;
}

// Every node's mass fractions at the last step record of the results file, zones first.
static std::vector<float> nodesAtEnd(const StsHostRun& run)
{
    SimFile f;
    std::string why;
    EXPECT_TRUE(simRead(run.file(".sim").c_str(), &f, &why)) << why;
    std::vector<float> out;
    for (const SimRecord& rec : f.records)
        if (rec.kind == SIM_STEP_RECORD) {
            out.clear();
            for (const SimConcRow& c : rec.concs)
                out.push_back(c.mf[0]);
        }
    return out;
}

// Rooms exhaust through a leaky duct system with two filters to the outdoors, the supply fan
// brings outdoor dust: with the ducts swept in flow order, with or without cells, the rooms and
// every junction end where the implicit solution does. The junction after the rooms' terminal
// has no duct inflow: it is mixed from the terminal before the sweep.
TEST(StsHost, DuctSystemAgreesWithTheImplicitSolution)
{
    std::string withFiles =
        replaceFirst(ducts(), "\n0 0 0 0 0 0\n0 0 0 0 0\n1.2041", "\n0 1 0 0 0 0\n0 0 0 0 0\n1.2041");
    StsHostRun cells = runDucts(withFiles);
    ASSERT_EQ(cells.r.status, 0) << cells.log;
    EXPECT_TRUE(contains(cells.log, "Junctions:          3\nDuct segments:      2\nDuct cells:        15\n"
                                    "Duct terminals:     2\nDuct leaks:         1\n"))
        << cells.log;
    EXPECT_TRUE(contains(cells.log, "     576 ducts by Lagrangian\n")) << cells.log;
    StsHostRun plain = runDucts(replaceFirst(withFiles, "\n1 0 1 1.0 0 0\n", "\n1 0 0 1.0 0 0\n"));
    ASSERT_EQ(plain.r.status, 0) << plain.log;
    StsHostRun implicit = runDucts(replaceFirst(withFiles, "\n1 0 1 1.0 0 0\n", "\n0 0 0 1.0 0 0\n"));
    ASSERT_EQ(implicit.r.status, 0) << implicit.log;
    std::vector<float> a = roomsAtEnd(cells), b = roomsAtEnd(plain), c = roomsAtEnd(implicit);
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(c.size(), 2u);
    for (int z = 0; z < 2; z++) {
        EXPECT_GT(c[z], 1e-5f);
        EXPECT_NEAR(a[z], c[z], 0.01 * c[z]) << "zone " << z + 1;
        EXPECT_NEAR(b[z], c[z], 0.01 * c[z]) << "zone " << z + 1;
    }
    std::vector<float> na = nodesAtEnd(cells), nb = nodesAtEnd(plain), nc = nodesAtEnd(implicit);
    ASSERT_EQ(nc.size(), 5u); // two zones, three junctions
    ASSERT_EQ(na.size(), 5u);
    ASSERT_EQ(nb.size(), 5u);
    for (int k = 2; k < 5; k++) {
        EXPECT_GT(nc[k], 1e-6f);
        EXPECT_NEAR(na[k], nc[k], 0.01 * nc[k]) << "node " << k + 1;
        EXPECT_NEAR(nb[k], nc[k], 0.01 * nc[k]) << "node " << k + 1;
    }
}

// Duct cells need a length, and laminar dispersion a diffusivity: both are refused at reading.
TEST(StsHost, DuctCellsRefuseUnsoundSettings)
{
    const struct {
        const char* from;
        const char* to;
        const char* message;
    } cases[] = {
        {"\n1 0 1 1.0 0 0\n", "\n1 0 1 0 0 0\n", "Invalid duct cell length: 0 m"},
        {"1 0 0 28.97 1e-6 0 0 2e-5 2e-5", "1 0 0 28.97 1e-6 0 0 0 2e-5",
         "Diffusion coefficient of contaminant dust must be positive for duct cells"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        StsHostRun run = runDucts(replaceFirst(ducts(), c.from, c.to));
        EXPECT_EQ(run.r.status, 2);
        EXPECT_TRUE(contains(run.log, c.message)) << run.log;
    }
}

// --- one-dimensional zones ---------------------------------------------------------------------

// The series rooms with a closed corridor of 30 m3: ten cells of 1 m along an axis that runs
// from x = 10 m down to x = 0, and a constant release of 1e-6 kg/s in the box from x = 0 to
// x = 2 m, the last two cells; the corridor exchanges nothing but diffusion along its axis.
static std::string corridor()
{
    std::string text = series();
    text = replaceFirst(text, "\n1 0 0 0.1 0 0\n", "\n1 1 0 0.1 0 0\n");
    text = replaceFirst(text, "2 ! zones\n", "3 ! zones\n");
    text = replaceFirst(text, "2 3 0 0 0 1 0 100 293.15 0 Room2 0 0 0 0 0 0 0 0\n",
                        "2 3 0 0 0 1 0 100 293.15 0 Room2 0 0 0 0 0 0 0 0\n"
                        "3 2 0 0 0 1 0 30 293.15 0 Corridor 0 0 0 0 0 1 0 0 axis 10 0 0 0 0 0 1 0.01 0 0\n");
    text = replaceFirst(text, "2 ! zone initial mass fractions\n1 0.001\n2 0.001\n",
                        "3 ! zone initial mass fractions\n1 0.001\n2 0.001\n3 0.001\n");
    text =
        replaceFirst(text, "0 ! source/sink elements\n-999",
                     "1 ! source/sink elements\n1 tracer ccf release\nConstant release\n 1e-6 0 0 0\n-999");
    text = replaceFirst(text, "0 ! sources and sinks\n-999",
                        "1 ! sources and sinks\n1 3 1 0 0 1 0 0 0 0 2 0 0 0 0 0 0\n-999");
    return text;
}

TEST(StsHost, CorridorCellsKeepTheMassTheyReceive)
{
    StsHostRun run = runProject(corridor());
    ASSERT_EQ(run.r.status, 0) << run.log;
    EXPECT_TRUE(contains(run.log, "1D CD Zones:        1\nZone cells:        10\n")) << run.log;
    EXPECT_TRUE(contains(run.log, "  Source 1: zone 3, cells 8 to 9\n")) << run.log;
    std::vector<StsRecord> rz1 = records(run.file(".rz1"), 10);
    std::vector<StsRecord> rzm = records(run.file(".rzm"), 3);
    ASSERT_EQ(rz1.size(), 2u);
    ASSERT_EQ(rzm.size(), 2u);
    const std::vector<float>& c = rz1[1].v;
    double mean = 0.0;
    for (float v : c)
        mean += v / 10.0;
    double M = 30.0 * 101325.0 / (287.055 * 293.15);
    EXPECT_NEAR(mean, 1e-3 + 1e-6 * 3600 / M, 1e-9);
    EXPECT_NEAR(rzm[1].v[2], mean, 1e-9);
    // the release sits in the cells at the low end of x, the last two of the axis
    EXPECT_GT(c[9], c[7]);
    EXPECT_GT(c[8], c[7]);
    for (int k = 1; k < 8; k++)
        EXPECT_LE(c[k - 1], c[k]) << k;
    EXPECT_GT(c[0], 1e-3f); // diffusion has reached the far end
    // The cross reference describes the corridor.
    std::string rxr = readFile(run.file(".rxr"));
    ASSERT_EQ(rxr.size(), 13u * 4 + 32);
    int32_t h[15];
    memcpy(h, rxr.data(), sizeof h);
    EXPECT_EQ(h[8], 1);   // rz1
    EXPECT_EQ(h[10], 3);  // zones
    EXPECT_EQ(h[11], 1);  // one-dimensional zones
    EXPECT_EQ(h[12], 10); // their cells
    EXPECT_EQ(h[13], 3);
    EXPECT_EQ(h[14], 10);
    float p[6];
    memcpy(p, rxr.data() + 60, sizeof p);
    EXPECT_EQ(p[0], 10.0f);
    EXPECT_EQ(p[3], 0.0f);
}

// The corridor with a boundary-layer sink of no mass in room 1 as well.
static std::string sinkWithoutCapacity()
{
    std::string text = corridor();
    text = replaceFirst(text, "1 ! source/sink elements\n", "2 ! source/sink elements\n");
    text =
        replaceFirst(text, "Constant release\n 1e-6 0 0 0\n-999",
                     "Constant release\n 1e-6 0 0 0\n2 tracer bls walls\nWalls\n 1e-3 1.2 100 0 0 0 0\n-999");
    text = replaceFirst(
        text, "1 ! sources and sinks\n1 3 1 0 0 1 0 0 0 0 2 0 0 0 0 0 0\n",
        "2 ! sources and sinks\n1 3 1 0 0 1 0 0 0 0 2 0 0 0 0 0 0\n2 1 2 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n");
    return text;
}

// What the method cannot simulate is refused at set-up, each with its text.
TEST(StsHost, SetUpRefusals)
{
    const struct {
        const char* name;
        std::string text;
        const char* first;
        const char* last;
    } cases[] = {
        {"a zone without volume", replaceFirst(series(), "0 100 293.15 0 Room2", "0 0 293.15 0 Room2"),
         "Zone 2: volume = 0.000 m^3", "STS method requires zone volumes for numerical stability"},
        {"a source beyond the corridor",
         replaceFirst(corridor(), "1 3 1 0 0 1 0 0 0 0 2 0 0", "1 3 1 0 0 1 0 0 0 0 12 0 0"),
         "Invalid zone cell index: Source 1 in zone 3, indx=-2 max=10", "Invalid zone cell index"},
        {"a sink without capacity", sinkWithoutCapacity(), "Boundary layer sink 2: capacity = 0 kg",
         "STS method requires sink capacities above 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StsHostRun run = runProject(c.text);
        EXPECT_EQ(run.r.status, 2);
        EXPECT_TRUE(contains(run.log, c.first)) << run.log;
        EXPECT_TRUE(contains(run.log, c.last)) << run.log;
        EXPECT_TRUE(contains(run.log, "FATAL")) << run.log;
    }
}
