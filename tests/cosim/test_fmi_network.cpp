// What a host learns of the network and how its inputs reach the next step: the info records
// byte by byte, the lookups, terminal, leak and control lists, system flows, outdoor-air
// fractions, control inputs and the envelope's pressures and mass fractions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "flowmir/fmi.h"
#include "network/airnet.h"
#include "results/simread.h"
#include "testutil.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;

// A room served by a system (supply 0.1 kg/s from zone 2, return 0.09 kg/s to zone 3, paths 3-5
// its recirculation, outdoor air and exhaust), a window (path 6) whose multiplier is the `pas`
// node win_out reading the `set` node win_set, and a tracer at 1e-3 in the room.
static std::string ahsProject()
{
    return readFile(kProjects + "/fmi_ahs.prj");
}

// Two rooms on two levels, three junctions (1 a terminal into room 1, 3 a terminal to the
// ambient), junction 2 leaking into room 2.
static std::string ductProject()
{
    return readFile(kProjects + "/sql_ducts.prj");
}

struct Host {
    std::string dir;
    FlowmirState* fms = nullptr;
    int setup = -1;
    explicit Host(const std::string& text, void (*ready)(void) = nullptr)
    {
        dir = scratchDir();
        writeFile(dir + "/p.prj", text);
        // The duct project reads the stack test's weather.
        writeFile(dir + "/tr_stack.wth", readFile(kProjects + "/tr_stack.wth"));
        fms = fmiGetNimbalState();
        if (ready) fmiSetProjectDataReadyCallbackFunction(fms, ready);
        current = fms;
        setup = fmiSetupSimulation(fms, (dir + "/p.prj").c_str());
    }
    ~Host()
    {
        if (fms) fmiEndSimulation(fms);
        current = nullptr;
    }
    void end()
    {
        EXPECT_EQ(fmiEndSimulation(fms), 0);
        fms = nullptr;
    }
    static FlowmirState* current;  // for the data-ready function, which has no arguments
};
FlowmirState* Host::current = nullptr;

// A record is filled with a marker before the call: bytes the call leaves alone keep it.
template <class R>
static void mark(R* r)
{
    memset(static_cast<void*>(r), 0xA5, sizeof *r);
}

static bool untouched(const void* p, size_t from, size_t to)
{
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (size_t i = from; i < to; i++)
        if (b[i] != 0xA5) return false;
    return true;
}

TEST(FmiRecords, LayoutsAreTheNaturallyAlignedOnes)
{
    EXPECT_EQ(sizeof(FmiZoneInfo), 64u);
    EXPECT_EQ(offsetof(FmiZoneInfo, volume), 8u);
    EXPECT_EQ(offsetof(FmiZoneInfo, levelName), 12u);
    EXPECT_EQ(offsetof(FmiZoneInfo, levelNr), 28u);
    EXPECT_EQ(offsetof(FmiZoneInfo, zoneName), 32u);
    EXPECT_EQ(sizeof(FmiPathInfo), 36u);
    EXPECT_EQ(offsetof(FmiPathInfo, zoneN), 8u);
    EXPECT_EQ(offsetof(FmiPathInfo, envIndex), 32u);
    EXPECT_EQ(sizeof(FmiJunctionInfo), 16u);
    EXPECT_EQ(sizeof(FmiTermInfo), 32u);
    EXPECT_EQ(offsetof(FmiTermInfo, spare), 20u);
    EXPECT_EQ(offsetof(FmiTermInfo, nodeN), 24u);
    EXPECT_EQ(sizeof(FmiLeakInfo), 28u);
    EXPECT_EQ(offsetof(FmiLeakInfo, nodeN), 24u);
    EXPECT_EQ(sizeof(FmiCtrlInfo), 20u);
}

// The zone records and the zone and system lookups read the project's tables, which the
// data-ready function sees; after set-up they are gone and the calls say so.
static struct ReadyView {
    int calls;
    int zoneRc[3], lookupRc[6], ahsRc[3];
    FmiZoneInfo zone1, zone2;
    int room, attic, roomUpper, none, ahs, noAhs;
} seen;

static void ahsReady()
{
    FlowmirState* fms = Host::current;
    seen.calls++;
    mark(&seen.zone1);
    mark(&seen.zone2);
    seen.zoneRc[0] = fmiGetZoneInfo(fms, 1, &seen.zone1);
    seen.zoneRc[1] = fmiGetZoneInfo(fms, 2, &seen.zone2);
    seen.zoneRc[2] = fmiGetZoneInfo(fms, 4, &seen.zone2);
    seen.lookupRc[0] = fmiGetZoneNumber(fms, "Room", 1, &seen.room);
    seen.lookupRc[1] = fmiGetZoneNumber(fms, "Nowhere", 1, &seen.none);
    seen.lookupRc[2] = fmiGetZoneNumber(fms, "", 1, &seen.none);
    seen.lookupRc[3] = fmiGetZoneNumber(fms, "Room", 2, &seen.none);
    seen.lookupRc[4] = fmiGetZoneNumber(fms, "Room", 1, nullptr);
    seen.lookupRc[5] = fmiGetZoneNumber(fms, nullptr, 9, nullptr);
    seen.ahsRc[0] = fmiGetAHSNumber(fms, "ahu", &seen.ahs);
    seen.ahsRc[1] = fmiGetAHSNumber(fms, "AHU", &seen.noAhs);
    seen.ahsRc[2] = fmiGetAHSNumber(fms, "ahu", nullptr);
}

TEST(FmiRecords, ZoneRecordsAndLookupsDuringTheDataReadyCall)
{
    seen = {};
    Host h(ahsProject(), ahsReady);
    ASSERT_EQ(h.setup, 0);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.zoneRc[0], 0);
    EXPECT_EQ(seen.zoneRc[1], 0);
    EXPECT_EQ(seen.zoneRc[2], 3);
    const FmiZoneInfo& z = seen.zone1;
    EXPECT_EQ(z.zoneNr, 1);
    EXPECT_EQ(z.flags, 3);
    EXPECT_EQ(z.volume, 100.0f);
    EXPECT_STREQ(z.levelName, "Ground");
    EXPECT_EQ(z.levelNr, 1);
    EXPECT_STREQ(z.zoneName, "Room");
    EXPECT_TRUE(untouched(&z, 6, 8)) << "padding after the flags";
    EXPECT_TRUE(untouched(z.levelName, 7, 16)) << "after the level name's zero";
    EXPECT_TRUE(untouched(z.zoneName, 5, 32)) << "after the zone name's zero";
    EXPECT_EQ(seen.zone2.flags, 10);
    EXPECT_STREQ(seen.zone2.zoneName, "ahu(Sup)");
    EXPECT_EQ(seen.zone2.volume, 0.5f);

    int expectLookup[] = {0, 0, 1, 2, 3, 1};
    for (int i = 0; i < 6; i++) EXPECT_EQ(seen.lookupRc[i], expectLookup[i]) << "lookup " << i;
    EXPECT_EQ(seen.room, 1);
    EXPECT_EQ(seen.none, -1);
    int expectAhs[] = {0, 0, 2};
    for (int i = 0; i < 3; i++) EXPECT_EQ(seen.ahsRc[i], expectAhs[i]) << "system lookup " << i;
    EXPECT_EQ(seen.ahs, 1);
    EXPECT_EQ(seen.noAhs, -1);

    // After set-up the tables are gone.
    FmiZoneInfo late;
    mark(&late);
    int out = 7;
    EXPECT_EQ(fmiGetZoneInfo(h.fms, 1, &late), 1);
    EXPECT_EQ(fmiGetZoneInfo(h.fms, 1, nullptr), 1);
    EXPECT_EQ(fmiGetZoneNumber(h.fms, "Room", 1, &out), 4);
    EXPECT_EQ(fmiGetAHSNumber(h.fms, "ahu", &out), 3);
    EXPECT_EQ(out, 7);
    EXPECT_TRUE(untouched(&late, 0, sizeof late));
}

// A zone of the right name on another level is no match; a level beyond the project's is a
// bad argument.
static int upperRc, upperZone, atticZone;
static void ductReady()
{
    FlowmirState* fms = Host::current;
    upperRc = fmiGetZoneNumber(fms, "Room", 2, &upperZone);
    fmiGetZoneNumber(fms, "Attic", 2, &atticZone);
}

TEST(FmiRecords, RightNameOnTheWrongLevelIsNoZone)
{
    Host h(ductProject(), ductReady);
    ASSERT_EQ(h.setup, 0);
    EXPECT_EQ(upperRc, 0);
    EXPECT_EQ(upperZone, -1);
    EXPECT_EQ(atticZone, 2);
}

TEST(FmiRecords, PathRecordsNameEndsSystemsAndEnvelopeIndexes)
{
    Host h(ahsProject());
    ASSERT_EQ(h.setup, 0);
    struct {
        int path;
        uint16_t flags;
        int zoneN, zoneM, ahs, env;
        float z;
    } cases[] = {
        {1, 8, 2, 1, 1, 0, 2.5f},  {2, 8, 1, 3, 1, 0, 2.5f}, {3, 16, 3, 2, 1, 0, 0.0f},
        {4, 32, 0, 2, 1, 1, 0.0f}, {5, 64, 3, 0, 1, 0, 0.0f}, {6, 1, 0, 1, 0, 2, 1.25f},
    };
    for (const auto& c : cases) {
        FmiPathInfo p;
        mark(&p);
        ASSERT_EQ(fmiGetPathInfo(h.fms, c.path, &p), 0);
        EXPECT_EQ(p.pathNr, c.path);
        EXPECT_EQ(p.flags, c.flags) << c.path;
        EXPECT_EQ(p.zoneN, c.zoneN) << c.path;
        EXPECT_EQ(p.zoneM, c.zoneM) << c.path;
        EXPECT_EQ(p.ahsNr, c.ahs) << c.path;
        EXPECT_EQ(p.envIndex, c.env) << c.path;
        EXPECT_EQ(p.z, c.z) << c.path;
        EXPECT_TRUE(untouched(&p, 6, 8)) << c.path;
    }
    FmiPathInfo w;
    ASSERT_EQ(fmiGetPathInfo(h.fms, 6, &w), 0);
    EXPECT_EQ(w.x, 4.0f);
    EXPECT_EQ(w.y, 7.5f);
    EXPECT_EQ(fmiGetNumAHS(h.fms), 1);
    EXPECT_EQ(fmiGetNumJunctions(h.fms), 0);
    EXPECT_EQ(fmiGetNumTerminals(h.fms), 0);
    FmiTermInfo t;
    EXPECT_EQ(fmiGetTermInfo(h.fms, 1, &t), 2);
    EXPECT_EQ(fmiGetLeakInfo(h.fms, 1, nullptr), 1);
}

static int jctRc[4];
static FmiJunctionInfo jct2, jct3;
static void jctReady()
{
    FlowmirState* fms = Host::current;
    mark(&jct2);
    mark(&jct3);
    jctRc[0] = fmiGetJunctionInfo(fms, 2, &jct2);
    jctRc[1] = fmiGetJunctionInfo(fms, 3, &jct3);
    jctRc[2] = fmiGetJunctionInfo(fms, 4, &jct3);
    jctRc[3] = fmiGetJunctionInfo(fms, 0, nullptr);
}

TEST(FmiRecords, JunctionTerminalAndLeakRecords)
{
    Host h(ductProject(), jctReady);
    ASSERT_EQ(h.setup, 0);
    FlowmirState* fms = h.fms;
    EXPECT_EQ(jctRc[0], 0);
    EXPECT_EQ(jctRc[1], 0);
    EXPECT_EQ(jctRc[2], 3);
    EXPECT_EQ(jctRc[3], 1);
    EXPECT_EQ(jct2.jctNr, 2);
    EXPECT_EQ(jct2.flags, 0);
    EXPECT_EQ(jct2.zoneNr, 2);
    EXPECT_EQ(jct2.envIndex, 0);
    EXPECT_EQ(jct3.zoneNr, -1);
    EXPECT_EQ(jct3.flags, 1);
    // Paths 1, 3 and 4 open to the ambient, then the terminal of junction 3.
    EXPECT_EQ(jct3.envIndex, 4);
    EXPECT_TRUE(untouched(&jct3, 6, 8));
    FmiJunctionInfo late;
    EXPECT_EQ(fmiGetJunctionInfo(fms, 2, &late), 2);

    ASSERT_EQ(fmiGetNumJunctions(fms), 3);
    ASSERT_EQ(fmiGetNumTerminals(fms), 2);
    ASSERT_EQ(fmiGetNumLeaks(fms), 1);
    FmiTermInfo t;
    mark(&t);
    ASSERT_EQ(fmiGetTermInfo(fms, 2, &t), 0);
    EXPECT_EQ(t.jctNr, 3);
    EXPECT_EQ(t.flags, 1);
    EXPECT_EQ(t.x, 4.0f);
    EXPECT_EQ(t.y, 5.0f);
    EXPECT_EQ(t.z, 5.0f);  // level 2 at 3 m, 2 m above it
    EXPECT_EQ(t.nodeN, 5); // zones 1 and 2, then junctions 1..3
    EXPECT_EQ(t.envIndex, 4);
    EXPECT_TRUE(untouched(&t, 6, 8));
    EXPECT_TRUE(untouched(&t, 20, 24)) << "the spare field";
    ASSERT_EQ(fmiGetTermInfo(fms, 1, &t), 0);
    EXPECT_EQ(t.jctNr, 1);
    EXPECT_EQ(t.envIndex, 0);
    EXPECT_EQ(fmiGetTermInfo(fms, 3, &t), 3);
    EXPECT_EQ(fmiGetTermInfo(fms, 1, nullptr), 1);

    FmiLeakInfo k;

    mark(&k);
    ASSERT_EQ(fmiGetLeakInfo(fms, 1, &k), 0);
    EXPECT_EQ(k.jctNr, 2);
    EXPECT_EQ(k.z, 4.0f);
    EXPECT_EQ(k.nodeN, 4);
    EXPECT_TRUE(untouched(&k, 20, 24));
    EXPECT_EQ(fmiGetLeakInfo(fms, 2, &k), 3);
    int leak = 0;
    struct {
        int jct, rc, leak;
    } leaks[] = {{2, 0, 1}, {1, 0, -1}, {3, 0, -1}, {0, 2, 99}, {4, 2, 99}};
    for (const auto& c : leaks) {
        leak = 99;
        EXPECT_EQ(fmiGetLeakNumber(fms, c.jct, &leak), c.rc) << c.jct;
        EXPECT_EQ(leak, c.leak) << c.jct;
    }
    EXPECT_EQ(fmiGetLeakNumber(fms, 0, nullptr), 1);

    // Terminal and leak flows are their links' own.
    ASSERT_EQ(fmiDoCoSimStep(fms, 1), 0);
    double F = 0.0;
    ASSERT_EQ(fmiGetTermFlow(fms, 2, &F), 0);
    EXPECT_EQ(F, fms->cosimLists.terms[2]->Flow[0]);
    EXPECT_NE(F, 0.0);
    ASSERT_EQ(fmiGetLeakFlow(fms, 1, &F), 0);
    EXPECT_EQ(F, fms->cosimLists.leaks[1]->Flow[0]);
    struct {
        int rc, expected;
    } codes[] = {{fmiGetTermFlow(fms, 1, nullptr), 1}, {fmiGetTermFlow(fms, 0, &F), 3},
                 {fmiGetTermFlow(fms, 3, &F), 3},      {fmiGetLeakFlow(fms, 2, &F), 3},
                 {fmiGetLeakFlow(fms, 9, nullptr), 1}};
    for (const auto& c : codes) EXPECT_EQ(c.rc, c.expected);
}

TEST(FmiRecords, ControlListsHoldTheNamedSetAndPassNodes)
{
    Host h(ahsProject());
    ASSERT_EQ(h.setup, 0);
    FlowmirState* fms = h.fms;
    ASSERT_EQ(fmiGetNumInputCtrlNodes(fms), 1);
    ASSERT_EQ(fmiGetNumOutputCtrlNodes(fms), 1);
    FmiCtrlInfo c;
    mark(&c);
    ASSERT_EQ(fmiGetInputControlInfo(fms, 1, &c), 0);
    EXPECT_EQ(c.ctrlNr, 1);
    EXPECT_STREQ(c.name, "win_set");
    EXPECT_TRUE(untouched(c.name, 8, 16));
    ASSERT_EQ(fmiGetOutputControlInfo(fms, 1, &c), 0);
    EXPECT_EQ(c.ctrlNr, 2);
    EXPECT_STREQ(c.name, "win_out");
    float v = 0.0f;
    struct {
        int rc, expected;
    } codes[] = {{fmiGetInputControlInfo(fms, 1, nullptr), 1}, {fmiGetInputControlInfo(fms, 2, &c), 3},
                 {fmiGetOutputControlInfo(fms, 0, &c), 3},     {fmiGetOutputControlValue(fms, 1, nullptr), 1},
                 {fmiGetOutputControlValue(fms, 2, &v), 3},    {fmiSetInputControlValue(fms, 0, 1.0f), 1},
                 {fmiSetInputControlValue(fms, 2, 1.0f), 1},
                 {fmiSetInputControlValue(fms, 1, std::numeric_limits<float>::quiet_NaN()), 2}};
    for (const auto& k : codes) EXPECT_EQ(k.rc, k.expected);

    // Without control nodes the lists are missing.
    Host plain(ductProject());
    ASSERT_EQ(plain.setup, 0);
    EXPECT_EQ(fmiGetInputControlInfo(plain.fms, 1, &c), 2);
    EXPECT_EQ(fmiGetOutputControlValue(plain.fms, 1, &v), 2);
}

// The window is the room's only pressure-dependent path, so it carries the systems' 0.01 kg/s
// excess whatever its multiplier: an orifice at half the opening needs four times the pressure.
TEST(FmiInputs, ControlInputReachesTheWindowAndTheOutputNode)
{
    Host h(ahsProject());
    ASSERT_EQ(h.setup, 0);
    FlowmirState* fms = h.fms;
    ASSERT_EQ(fmiDoCoSimStep(fms, 1), 0);
    float out = 0.0f;
    ASSERT_EQ(fmiGetOutputControlValue(fms, 1, &out), 0);
    EXPECT_EQ(out, 1.0f);
    double F0 = 0.0, F1 = 0.0;
    ASSERT_EQ(fmiGetPathFlows(fms, 6, &F0, &F1), 0);
    EXPECT_NEAR(F0, -0.01, 1e-5);
    double dP1 = fms->cosimLists.paths[6]->dP;
    ASSERT_EQ(fmiSetInputControlValue(fms, 1, 0.5f), 0);
    ASSERT_EQ(fmiDoCoSimStep(fms, 1), 0);
    ASSERT_EQ(fmiGetOutputControlValue(fms, 1, &out), 0);
    EXPECT_EQ(out, 0.5f);
    ASSERT_EQ(fmiGetPathFlows(fms, 6, &F0, &F1), 0);
    EXPECT_NEAR(F0, -0.01, 1e-5);
    EXPECT_NEAR(fms->cosimLists.paths[6]->dP / dP1, 4.0, 1e-3);
}

// Supply and return at 0.2 and 0.15 kg/s leave 0.05 kg/s for the window; half outdoor air
// recirculates min(Fr, Fs - 0.5 Fs) of the return.
TEST(FmiInputs, SystemFlowsAndOutdoorAirFractionTakeEffectAtTheNextStep)
{
    Host h(ahsProject());
    ASSERT_EQ(h.setup, 0);
    FlowmirState* fms = h.fms;
    ASSERT_EQ(fmiDoCoSimStep(fms, 1), 0);
    double F[7][2] = {};
    auto flows = [&] {
        for (int p = 1; p <= 6; p++) ASSERT_EQ(fmiGetPathFlows(fms, p, &F[p][0], &F[p][1]), 0);
    };
    flows();
    EXPECT_NEAR(F[1][0], 0.1, 1e-7);
    EXPECT_NEAR(F[3][0], 0.0, 1e-9);  // all outdoor air by default
    EXPECT_NEAR(F[4][0], 0.1, 1e-7);
    struct {
        int rc, expected;
    } codes[] = {{fmiSetSupplyReturnPathFlow(fms, 0, 0.1f), 1},
                 {fmiSetSupplyReturnPathFlow(fms, 7, -1.0f), 1},
                 {fmiSetSupplyReturnPathFlow(fms, 1, -0.1f), 2},
                 {fmiSetSupplyReturnPathFlow(fms, 1, std::numeric_limits<float>::infinity()), 2},
                 {fmiSetSupplyReturnPathFlow(fms, 6, 0.1f), 4},
                 {fmiSetSupplyReturnPathFlow(fms, 3, 0.1f), 4},
                 {fmiSetAHSPercentOA(fms, 0, 0.5f), 1},
                 {fmiSetAHSPercentOA(fms, 2, 0.5f), 1},
                 {fmiSetAHSPercentOA(fms, 1, -0.01f), 2},
                 {fmiSetAHSPercentOA(fms, 1, 1.01f), 2},
                 {fmiSetAHSPercentOA(fms, 1, std::numeric_limits<float>::quiet_NaN()), 2}};
    for (const auto& c : codes) EXPECT_EQ(c.rc, c.expected);
    EXPECT_EQ(fms->cosimLists.paths[6]->designFlow, 0.0f) << "a refused call changes nothing";

    ASSERT_EQ(fmiSetSupplyReturnPathFlow(fms, 1, 0.2f), 0);
    ASSERT_EQ(fmiSetSupplyReturnPathFlow(fms, 2, 0.15f), 0);
    ASSERT_EQ(fmiSetAHSPercentOA(fms, 1, 0.5f), 0);
    flows();
    EXPECT_NEAR(F[1][0], 0.1, 1e-7) << "nothing moves before the next solve";
    ASSERT_EQ(fmiDoCoSimStep(fms, 1), 0);
    flows();
    EXPECT_NEAR(F[1][0], 0.2, 1e-7);
    EXPECT_NEAR(F[2][0], 0.15, 1e-7);
    EXPECT_NEAR(F[3][0], 0.1, 1e-7);   // recirculation min(0.15, 0.2 - 0.1)
    EXPECT_NEAR(F[4][0], 0.1, 1e-7);   // outdoor air
    EXPECT_NEAR(F[5][0], 0.05, 1e-7);  // exhaust
    EXPECT_NEAR(F[6][0], -0.05, 1e-5);
    // A system without a recirculation path has nothing to take the fraction.
    std::string text = replaceFirst(ahsProject(), "\n3 16 3 2 1 ", "\n3 0 3 2 1 ");
    Host noRec(replaceFirst(text, "1 0 0 3 4 5 0 ahu", "1 0 0 0 4 5 0 ahu"));
    ASSERT_EQ(noRec.setup, 0);
    EXPECT_EQ(fmiSetAHSPercentOA(noRec.fms, 1, 0.5f), 3);
}

// Wind pressures from the host on an envelope entry, signed by the side the ambient is on; the
// outdoor mass fractions of one opening; the tracer leaving through the window.
TEST(FmiInputs, EnvelopePressuresMassFractionsAndExfiltration)
{
    Host h(ahsProject());
    ASSERT_EQ(h.setup, 0);
    FlowmirState* fms = h.fms;
    ASSERT_EQ(fms->nenv, 2);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct {
        int rc, expected;
    } codes[] = {{fmiSetEnvelopeWP(fms, 0, 1.0f), 2},         {fmiSetEnvelopeWP(fms, 3, 1.0f), 2},
                 {fmiSetEnvelopeWP(fms, 2, nan), 1},          {fmiSetEnvelopeMF(fms, 2, 0, -1.0), 1},
                 {fmiSetEnvelopeMF(fms, 3, 0, 1e-3), 2},      {fmiSetEnvelopeMF(fms, 2, 1, 1e-3), 3},
                 {fmiGetEnvelopeExfil(fms, 2, 0, nullptr), 1}};
    for (const auto& c : codes) EXPECT_EQ(c.rc, c.expected);
    double m = 0.0;
    EXPECT_EQ(fmiGetEnvelopeExfil(fms, 3, 0, &m), 2);
    EXPECT_EQ(fmiGetEnvelopeExfil(fms, 2, 1, &m), 3);

    ASSERT_EQ(fmiDoCoSimStep(fms, 1), 0);
    double x1 = 0.0, F0 = 0.0, F1 = 0.0;
    ASSERT_EQ(fmiGetZoneMF(fms, 1, 0, &x1), 0);
    ASSERT_EQ(fmiGetPathFlows(fms, 6, &F0, &F1), 0);
    ASSERT_LT(F0, 0.0);
    // The ambient is the window's first node: the room's air leaves against the path.
    ASSERT_EQ(fmiGetEnvelopeExfil(fms, 2, 0, &m), 0);
    EXPECT_NEAR(m, -F0 * x1 * 3600.0, 1e-12);
    EXPECT_GT(m, 0.0);
    ASSERT_EQ(fmiGetEnvelopeExfil(fms, 1, 0, &m), 0);
    EXPECT_EQ(m, 0.0) << "the intake only brings air in";

    // 5 Pa on the window from outside: the ambient is node N, so the sign is +1.
    ASSERT_EQ(fmiSetEnvelopeWP(fms, 2, 5.0f), 0);
    EXPECT_EQ(*fms->cosimLists.paths[6]->windP, 5.0f);
    // Outdoor air of 2e-3 at the intake reaches the room through the supply.
    ASSERT_EQ(fmiSetEnvelopeMF(fms, 1, 0, 2e-3), 0);
    for (int i = 0; i < 5; i++) ASSERT_EQ(fmiDoCoSimStep(fms, 1), 0);
    double x = 0.0, sup = 0.0;
    ASSERT_EQ(fmiGetZoneMF(fms, 1, 0, &x), 0);
    ASSERT_EQ(fmiGetZoneMF(fms, 2, 0, &sup), 0);
    EXPECT_NEAR(sup, 2e-3, 1e-9);
    EXPECT_GT(x, 1.5e-3);
    // The window still sees the ambient's own clean air.
    EXPECT_EQ(fms->cosimLists.paths[6]->srcN, fms->ambt->Mf);

    // A run that takes its wind pressures from wind speed and direction refuses them.
    std::string dir = scratchDir();
    writeFile(dir + "/p.prj", ahsProject());
    FlowmirState* off = fmiGetNimbalState();
    fmiSetWindPressureMode(off, 0);
    ASSERT_EQ(fmiSetupSimulation(off, (dir + "/p.prj").c_str()), 0);
    EXPECT_EQ(fmiSetEnvelopeMF(off, 1, 0, 1e-3), 4);
    EXPECT_EQ(fmiSetEnvelopeWP(off, 1, 1.0f), 3);
    EXPECT_EQ(fmiEndSimulation(off), 0);
}

TEST(FmiInputs, JunctionTemperatureAndZoneHumidity)
{
    Host h(ductProject());
    ASSERT_EQ(h.setup, 0);
    FlowmirState* fms = h.fms;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct {
        int rc, expected;
    } codes[] = {{fmiSetJunctionTemperature(fms, 0, 290.0), 1}, {fmiSetJunctionTemperature(fms, 4, nan), 1},
                 {fmiSetJunctionTemperature(fms, 1, nan), 2},   {fmiSetJunctionTemperature(fms, 1, 0.0), 2},
                 {fmiSetZoneHumRatio(fms, 0, 0.01), 1},         {fmiSetZoneHumRatio(fms, 3, nan), 1},
                 {fmiSetZoneHumRatio(fms, 1, -0.01), 2},        {fmiSetZoneHumRatio(fms, 1, nan), 2},
                 {fmiSetZoneHumRatio(fms, 1, 0.008), 0}};
    for (const auto& c : codes) EXPECT_EQ(c.rc, c.expected);
    ASSERT_EQ(fmiSetJunctionTemperature(fms, 2, 301.5), 0);
    EXPECT_EQ(fms->cosimLists.jcts[2]->T, 301.5);
    EXPECT_EQ(fms->cosimLists.jcts[2]->s_nr, 2);
}

// A step's record shows the inputs it was solved with, though the host sets the next step's
// before the record is written.
TEST(FmiRecordsWritten, AStepsRecordShowsItsOwnInputs)
{
    Host h(ahsProject());
    ASSERT_EQ(h.setup, 0);
    FlowmirState* fms = h.fms;
    const float Ta[] = {280.0f, 285.0f, 290.0f, 295.0f, 300.0f, 305.0f};
    for (int k = 0; k < 6; k++) {
        ASSERT_EQ(fmiSetAmbtTemperature(fms, Ta[k]), 0);
        ASSERT_EQ(fmiSetZoneTemperature(fms, 1, 290.0 + k), 0);
        ASSERT_EQ(fmiDoCoSimStep(fms, 1), 0);
        // A host trying an input and taking it back again.
        ASSERT_EQ(fmiSetAmbtTemperature(fms, 250.0f), 0);
        ASSERT_EQ(fmiDoCoSimStep(fms, 0), 0);
        ASSERT_EQ(fmiSetAmbtTemperature(fms, Ta[k]), 0);
        ASSERT_EQ(fmiDoCoSimStep(fms, 0), 0);
    }
    std::string dir = h.dir;
    h.end();
    SimFile sim;
    std::string why;
    ASSERT_TRUE(simRead((dir + "/p.sim").c_str(), &sim, &why)) << why;
    int k = -1;
    for (const SimRecord& r : sim.records) {
        if (r.kind != SIM_STEP_RECORD) continue;
        if (k >= 0) {
            EXPECT_EQ(r.Ta, Ta[k]) << "step " << k + 1;
            EXPECT_EQ(r.nodes[0].T, (float)(290.0 + k)) << "step " << k + 1;
        } else {
            EXPECT_EQ(r.Ta, 293.15f) << "the starting state";
        }
        k++;
    }
    EXPECT_EQ(k, 6);
}
