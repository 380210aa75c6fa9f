// The wind pressure and contaminant file through the command-line host: two rooms whose openings
// take their wind pressures and outdoor CO2 from the file, against hand values and against the
// same building under constant wind pressures; held and interpolated pressures in a transient
// run; the envelope and location lists in the log; and the runs the file must stop.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "results/simread.h"
#include "testutil.h"

static std::string fixture(const std::string& name)
{
    return readFile(std::string(FLOWMIR_TEST_PROJECTS) + "/" + name);
}

static bool contains(const std::string& text, const std::string& piece)
{
    return text.find(piece) != std::string::npos;
}

// The text with its one `from` replaced by `to`.
static std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    EXPECT_EQ(text.find(from, at + 1), std::string::npos) << "more than one: " << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

struct HostRun {
    std::string dir;
    ChildResult r;
    std::string log;
};

// Runs wpc_rooms in a fresh folder with the project and the file given (empty: none written).
static HostRun runRooms(const std::string& prj, const std::string& wpc)
{
    HostRun run;
    run.dir = scratchDir();
    writeFile(run.dir + "/wpc_rooms.prj", prj);
    if (!wpc.empty()) writeFile(run.dir + "/wpc_rooms.wpc", wpc);
    run.r = runHost("-q wpc_rooms", run.dir);
    run.log = readFile(run.dir + "/wpc_rooms.xlog");
    return run;
}

static SimFile readSim(const std::string& path)
{
    SimFile f;
    std::string why;
    EXPECT_TRUE(simRead(path.c_str(), &f, &why)) << why;
    return f;
}

// Power-law openings F = C dP^0.5 with C = 0.01 kg/s at 1 Pa, all at the rooms' height (no stack
// pressures). West: in through path 1 with 10 Pa, out through path 2 with -6 Pa, and path 3 at
// path 1's place (the same 10 Pa) but drawn from the room to the ambient. Its balance
// 2 sqrt(10 - P) = sqrt(P + 6) gives P = 6.8 Pa. East: in through path 4 with 4 Pa, out through
// path 5 with 0 Pa: P = 2 Pa.
static const double C = 0.01;
static const double westP = 6.8, eastP = 2.0;
static const double steadyFlows[5] = {C * std::sqrt(3.2), C * std::sqrt(12.8), -C * std::sqrt(3.2),
                                      C * std::sqrt(2.0), C * std::sqrt(2.0)};

static void expectSteadyFlows(const SimRecord& rec)
{
    ASSERT_EQ(rec.paths.size(), 5u);
    for (int k = 0; k < 5; k++) {
        SCOPED_TRACE("path " + std::to_string(k + 1));
        EXPECT_NEAR(rec.paths[k].F0, steadyFlows[k], 1e-4 * std::fabs(steadyFlows[k]));
    }
    ASSERT_EQ(rec.nodes.size(), 2u);
    EXPECT_NEAR(rec.nodes[0].Pg, westP, 1e-4);
    EXPECT_NEAR(rec.nodes[1].Pg, eastP, 1e-4);
}

TEST(WpcHost, OpeningsTakeTheFilesPressuresAndConcentrations)
{
    HostRun run = runRooms(fixture("wpc_rooms.prj"), fixture("wpc_rooms.wpc"));
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    SimFile sim = readSim(run.dir + "/wpc_rooms.sim");
    ASSERT_FALSE(sim.records.empty());
    const SimRecord& rec = sim.records[0];
    expectSteadyFlows(rec);

    // Each room holds the CO2 of the air it takes in: West 1e-3 from location 1 (through paths 1
    // and 3), East 2e-4 from location 3. The outflow locations' 5e-3 reaches no room, and the
    // ambient keeps its default of 4e-4.
    ASSERT_EQ(rec.concs.size(), 2u);
    EXPECT_NEAR(rec.concs[0].mf[0], 1e-3, 1e-4 * 1e-3);
    EXPECT_NEAR(rec.concs[1].mf[0], 2e-4, 1e-4 * 2e-4);
    EXPECT_NEAR(rec.ambMf[0], 4e-4, 1e-9);
    // The ambient temperature follows the file: 101325 / (1.2041 * 287.055).
    EXPECT_NEAR(rec.Ta, 101325.0 / (1.2041 * 287.055), 1e-3);

    // Every opening to the ambient has an envelope entry; paths 1 and 3 share a location.
    EXPECT_TRUE(contains(run.log, "  5 envelope paths|terminals for WPC\nCreating PLDlist:\n"
                                  "  4 unique locations\n  1 duplicate locations\n  end PLDlist\n\n"))
        << run.log;
    EXPECT_TRUE(contains(run.log, "  5 envelope paths|terminals|leaks for CSM/CEX\n")) << run.log;
    EXPECT_TRUE(contains(run.log, "Testing WPC file\nMapping errors in WPC file:\n"
                                  "Path locations missing from WPC file:\n"))
        << run.log;
    EXPECT_TRUE(contains(run.log, "Simulation completed successfully.\n"));

    // The same building under constant wind pressures of the same values gives the same flows.
    std::string prj = fixture("wpc_rooms.prj");
    prj = replaced(prj, "null\nwpc_rooms.wpc\n", "null\nnull\n");
    prj = replaced(prj, "0 0 0:00:00 1/1 12/31 1 1 0\n", "0 0 0:00:00 1/1 12/31 0 0 0\n");
    const char* wind[5] = {"10", "-6", "10", "4", "0"};
    const char* heads[5] = {"\n1 2 -1 1 1 0 0 0 0 0 1 1 0 0 1 0 ", "\n2 2 1 -1 1 0 0 0 0 0 1 2 0 0 1 0 ",
                            "\n3 2 1 -1 1 0 0 0 0 0 1 1.001 0 0 1 0 ", "\n4 2 -1 2 1 0 0 0 0 0 1 3 0 0 1 0 ",
                            "\n5 2 2 -1 1 0 0 0 0 0 1 4 0 0 1 0 "};
    for (int k = 0; k < 5; k++) {
        std::string head = heads[k];
        std::string windy = head;
        windy[3] = '1';                                              // wind-exposed, no location
        windy = windy.substr(0, windy.size() - 2) + wind[k] + " ";  // the constant wind pressure
        prj = replaced(prj, head, windy);
    }
    HostRun constant = runRooms(prj, "");
    ASSERT_EQ(constant.r.status, 0) << constant.r.err << constant.log;
    SimFile same = readSim(constant.dir + "/wpc_rooms.sim");
    ASSERT_FALSE(same.records.empty());
    expectSteadyFlows(same.records[0]);
    for (int k = 0; k < 5; k++) EXPECT_FLOAT_EQ(same.records[0].paths[k].F0, rec.paths[k].F0) << k + 1;
}

// A transient run from 00:00 to 02:00 in hourly steps, between the file's records at 00:00 (East
// in at 4 Pa) and 02:00 (8 Pa): at 01:00 East's inlet sees 6 Pa, or with the option set the
// 4 Pa of the earlier record. East's flow is C sqrt(w / 2).
TEST(WpcHost, HeldAndInterpolatedPressuresInATransientRun)
{
    struct Case {
        const char* name;
        const char* option;
        double at1;
    } cases[] = {
        {"interpolated", "0", C * std::sqrt(3.0)},
        {"held", "1", C * std::sqrt(2.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string prj = fixture("wpc_rooms.prj");
        prj = replaced(prj, "0 0 0:00:00 1/1 12/31 1 1 0\n", std::string("0 0 0:00:00 1/1 12/31 1 0 ") + c.option + "\n");
        prj = replaced(prj, "\n0 0 30 1e-5", "\n1 0 30 1e-5");
        prj = replaced(prj, "\n1 0 1e-4 1e-15 0 0\n", "\n0 0 1e-4 1e-15 0 0\n");
        std::string wpc = fixture("wpc_rooms.wpc");
        wpc = replaced(wpc, "4 1 1 0\n", "4 0 1 0\n");
        wpc = replaced(wpc, "CO2\n", "\n");
        wpc = replaced(wpc, "1e-3 5e-3 2e-4 5e-3\n", "");
        wpc = replaced(wpc, "1e-3 5e-3 6e-4 5e-3\n", "");
        HostRun run = runRooms(prj, wpc);
        ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
        SimFile sim = readSim(run.dir + "/wpc_rooms.sim");
        std::vector<const SimRecord*> steps;
        for (const SimRecord& r : sim.records)
            if (r.kind == SIM_STEP_RECORD) steps.push_back(&r);
        ASSERT_EQ(steps.size(), 3u);
        const double expected[3] = {C * std::sqrt(2.0), c.at1, C * std::sqrt(4.0)};
        for (int i = 0; i < 3; i++) {
            SCOPED_TRACE(steps[i]->time);
            EXPECT_EQ(steps[i]->time, 3600 * i);
            EXPECT_NEAR(steps[i]->paths[3].F0, expected[i], 1e-4 * expected[i]);
            EXPECT_NEAR(steps[i]->paths[0].F0, steadyFlows[0], 1e-4 * steadyFlows[0]); // West: unchanged
        }
    }
}

// Runs the file must stop, and a file whose locations lie within the matching distance.
TEST(WpcHost, RunsTheFileStopsWithTheirMessages)
{
    const std::string prj = fixture("wpc_rooms.prj");
    const std::string wpc = fixture("wpc_rooms.wpc");
    std::string unmarked = prj;
    for (const char* head : {"\n1 2 -1 1", "\n2 2 1 -1", "\n3 2 1 -1", "\n4 2 -1 2", "\n5 2 2 -1"}) {
        std::string none = head;
        none[3] = '0';
        unmarked = replaced(unmarked, head, none);
    }
    struct Case {
        const char* name;
        std::string prj, wpc;
        int status;
        std::vector<std::string> err, log;
    };
    // clang-format off
    const std::vector<Case> cases = {
        // A file the project asks for must be there: the run used to complete without wind.
        {"no file", prj, "", 2, {"FATAL Could not open WPC file wpc_rooms.wpc: No such file or directory\n"}, {}},
        {"locations 1.4 mm off", prj, replaced(wpc, "\n4 4 0 0 0\n", "\n4 4.0014 -0.0014 0.0014 0\n"), 0, {},
         {"Simulation completed successfully.\n"}},
        {"location 1.6 mm off", prj, replaced(wpc, "\n4 4 0 0 0\n", "\n4 4 0 0.0016 0\n"), 2,
         {"FATAL Missing locations in WPC file, see XLog file\n"},
         {"Path locations missing from WPC file:\n path 5:   4 at (4.000 0.000 0.000)\n"}},
        {"mass fractions not asked for", replaced(prj, " 1/1 12/31 1 1 0\n", " 1/1 12/31 1 0 0\n"), wpc, 2,
         {"ERROR WPC and PRJ contaminant flags do not match\n", "FATAL Mapping errors in WPC file, see XLog file\n"},
         {}},
        {"location with a status", prj, replaced(wpc, "\n2 2 0 0 0\n", "\n2 2 0 0 2\n"), 2,
         {"FATAL Mapping errors in WPC file, see XLog file\n"},
         {"Mapping errors in WPC file:\n map (line 7:   2   2 2.000 0.000 0.000 2)\n"}},
        {"no opening marked", unmarked, wpc, 2, {"FATAL No list of envelope openings; call Orvo\n"}, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostRun run = runRooms(c.prj, c.wpc);
        EXPECT_EQ(run.r.status, c.status) << run.r.err << run.log;
        for (const std::string& m : c.err) EXPECT_TRUE(contains(run.r.err, m)) << m << run.r.err;
        for (const std::string& m : c.log) EXPECT_TRUE(contains(run.log, m)) << m << run.log;
        if (c.status == 2) {
            EXPECT_FALSE(fileExists(run.dir + "/wpc_rooms.sim"));
            EXPECT_TRUE(contains(run.log, "Flowmir finish(2)\n"));
        }
    }

    // A path between two rooms marked for the file is not an opening: its mark is ignored and
    // the rooms keep their own air.
    std::string inner = replaced(prj, "5 ! paths:", "6 ! paths:");
    inner = replaced(inner, "\n-999\n0 ! duct junctions",
                     "\n6 2 1 2 1 0 0 0 0 0 1 5 0 0 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n-999\n0 ! duct junctions");
    HostRun run = runRooms(inner, wpc);
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    EXPECT_TRUE(contains(run.r.err,
                         "WARNING Path 6 is marked for the WPC file but does not open to the ambient; its mark is "
                         "ignored\n"))
        << run.r.err;
    EXPECT_TRUE(contains(run.log, "  4 unique locations\n")) << run.log;
}

// The contaminant summary books the mass entering through each opening at the opening's own
// outdoor air: West takes 1e-3 at location 1, East the interpolated CO2 of location 3 (4e-4 at
// 01:00 with East's inlet at 6 Pa, 6e-4 at 02:00 with 8 Pa). Each step counts the flows of its
// end over the step.
TEST(WpcHost, ContaminantSummaryBooksEachOpeningsOutdoorAir)
{
    std::string prj = fixture("wpc_rooms.prj");
    prj = replaced(prj, "\n0 0 30 1e-5", "\n1 0 30 1e-5");
    prj = replaced(prj, "\n1 0 1e-4 1e-15 0 0\n", "\n2 0 1e-4 1e-15 0 0\n");
    prj = replaced(prj, "0 0 0 0 0 0\n0 0 0 0 0\n1.2041", "0 0 0 1 0 0\n0 0 0 0 0\n1.2041"); // csmOut
    HostRun run = runRooms(prj, fixture("wpc_rooms.wpc"));
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    std::string csm = readFile(run.dir + "/wpc_rooms.csm");
    size_t at = csm.find("\nCO2\t", csm.find("Interactions with ambient."));
    ASSERT_NE(at, std::string::npos) << csm;
    double from = std::atof(csm.c_str() + at + 5);
    const double west = 2 * C * std::sqrt(3.2) * 1e-3 * 3600 * 2;
    const double east = (C * std::sqrt(3.0) * 4e-4 + C * std::sqrt(4.0) * 6e-4) * 3600;
    EXPECT_NEAR(from, west + east, 1e-4 * (west + east)) << csm;
}
