// Envelope mass accounting, the exfiltration listings ".cex" and the surface listing ".srf":
// the accounting on hand-built networks against hand sums, the listings' layout through the
// writers, and whole runs of the host on a room of 100 m3 ventilated at 1 ACH by a supply fan
// of 0.03344714 kg/s.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "network/airnet.h"
#include "project/components.h"
#include "results/cex_file.h"
#include "results/envelope_mass.h"
#include "results/resfile.h"
#include "results/simread.h"
#include "results/srf_file.h"
#include "support/heap.h"
#include "transport/cse.h"
#include "transport/filter.h"
#include "transport/species.h"
#include "testutil.h"

namespace {

const std::string kProjects = FLOWMIR_TEST_PROJECTS;

int quietFcn(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

std::string e5(double v)
{
    char b[32];
    snprintf(b, sizeof b, "%.5e", v);
    return b;
}

// One value of a surface line, with the tab before it.
std::string e13(double v)
{
    char b[32];
    snprintf(b, sizeof b, "\t%13.6e", v);
    return b;
}

// A state with species, the ambient node last, and links added by the test.
struct HandNet {
    TestState s;
    std::string dir;
    Species sp[2] = {};
    float penf1[2] = {1.0f, 1.0f};
    AirNode zone{}, zone2{}, amb{};
    double zoneMf[2] = {2e-3, 5e-4};
    double zone2Mf[2] = {7e-3, 7e-3};
    double ambMf[2] = {1e-4, 2e-5};
    std::vector<AirLink*> links;

    HandNet()
    {
        s.openLog();
        s->errorFcn = quietFcn;
        dir = scratchDir();
        snprintf(s->_pdir, sizeof s->_pdir, "%s/", dir.c_str());
        snprintf(s->_prjname, sizeof s->_prjname, "u");
        snprintf(sp[0].name, sizeof sp[0].name, "co2");
        snprintf(sp[1].name, sizeof sp[1].name, "pm");
        s->nctm = 2;
        s->ctm = sp;
        s->penf1 = penf1;
        zone.nr = 1;
        zone.s_nr = 1;
        zone.Mf = zoneMf;
        zone2.nr = 2;
        zone2.s_nr = 2;
        zone2.Mf = zone2Mf;
        amb.nr = 3;
        amb.Mf = ambMf;
        zone.next = &zone2;
        zone2.next = &amb;
        s->nodeList = &zone;
        s->ambt = &amb;
        s->nafnd = 3;
    }
    ~HandNet()
    {
        EnvListsCsmCex_free(s.fms);
        resfile_abandon_all(s.fms);
        for (AirLink* l : links) delete l;
        s->ctm = nullptr;
        s->penf1 = nullptr;
    }
    AirLink* link(int styp, int s_nr, AirNode* N, AirNode* M, double F0, double F1 = 0.0, uint32_t flags = 0)
    {
        AirLink* l = new AirLink{};
        l->styp = styp;
        l->s_nr = s_nr;
        l->nodeN = N;
        l->nodeM = M;
        l->srcN = N->Mf;
        l->srcM = M->Mf;
        l->Flow[0] = F0;
        l->Flow[1] = F1;
        l->flags = flags;
        l->nr = (int)links.size() + 1;
        if (!links.empty()) links.back()->next = l;
        links.push_back(l);
        s->linkList = links.front();
        s->nafpt = (int)links.size();
        return l;
    }
    std::string path(const char* name) const { return dir + "/" + name; }
};

const double kDt = 600.0;

// --- the accounting --------------------------------------------------------------------------

struct OneLinkCase {
    const char* what;
    bool ambientAtN;
    double F;
    double in, out;  // kg/s of species 0
};

// One link with a filter passing half, the room at 2e-3, the ambient node at 1e-4 and the
// outdoor air at the opening at 3e-4: inflow carries the opening's air, outflow the room's.
TEST(EnvelopeMass, EachDirectionAndEnd)
{
    const OneLinkCase cases[] = {
        {"ambient first, flow in", true, 0.4, 0.5 * 0.4 * 3e-4, 0.0},
        {"ambient second, flow out", false, 0.4, 0.0, 0.5 * 0.4 * 2e-3},
        {"ambient first, flow out", true, -0.4, 0.0, 0.5 * 0.4 * 2e-3},
        {"ambient second, flow in", false, -0.4, 0.5 * 0.4 * 3e-4, 0.0},
        {"no flow", true, 0.0, 0.0, 0.0},
    };
    for (const OneLinkCase& c : cases) {
        SCOPED_TRACE(c.what);
        HandNet net;
        net.s->dcexres = 1;
        double outdoor[2] = {3e-4, 0.0};
        AirLink* l = c.ambientAtN ? net.link(LINK_PATH, 1, &net.amb, &net.zone, c.F)
                                  : net.link(LINK_PATH, 1, &net.zone, &net.amb, c.F);
        (c.ambientAtN ? l->srcN : l->srcM) = outdoor;
        FilterData top{};
        float penf[2] = {0.5f, 1.0f};
        top.penf = penf;
        Filter flt{1, &top};
        l->filter = &flt;
        EnvListsCsmCex_setup(net.s.fms);
        ASSERT_EQ(net.s->nenvp, 1);
        sum_ambient_compute(net.s.fms, kDt);
        EXPECT_NEAR(net.s->Env_MdotIn_step[0], c.in, 1e-18);
        EXPECT_NEAR(net.s->Env_MdotOut_step[0], c.out, 1e-18);
        EXPECT_NEAR(net.s->Env_MassPath[0][1], kDt * c.out, 1e-15);
        EXPECT_NEAR(net.s->Env_MassIn_sum[0], kDt * c.in, 1e-15);
        EXPECT_NEAR(net.s->Env_MassOut_sum[0], kDt * c.out, 1e-15);
        EXPECT_NEAR(net.s->Env_MassOut_list[0], kDt * c.out, 1e-15);
    }
}

// Four envelope links and one between the rooms, two species, two steps:
//   L1 ambient -> room, F0 = +0.5 in (at the opening's 3e-4 / 7e-5), F1 = -0.2 out
//   L2 room -> ambient, +0.3 out through a filter passing 0.5 / 0.75
//   L3 room -> ambient, -0.1 in (at the opening's 4e-4 / 1e-5)
//   L4 ambient -> room, -0.25 out
//   L5 room -> room 2, +1.0: not on the envelope
TEST(EnvelopeMass, NetworkTotalsOverTwoSteps)
{
    HandNet net;
    net.s->bcexres = net.s->dcexres = 1;
    double at1[2] = {3e-4, 7e-5}, at3[2] = {4e-4, 1e-5};
    AirLink* l1 = net.link(LINK_PATH, 1, &net.amb, &net.zone, 0.5, -0.2);
    AirLink* l2 = net.link(LINK_PATH, 2, &net.zone, &net.amb, 0.3);
    AirLink* l3 = net.link(LINK_PATH, 3, &net.zone, &net.amb, -0.1);
    net.link(LINK_PATH, 4, &net.amb, &net.zone, -0.25);
    net.link(LINK_PATH, 5, &net.zone, &net.zone2, 1.0);
    l1->srcN = at1;
    l3->srcM = at3;
    FilterData top{};
    float penf[2] = {0.5f, 0.75f};
    top.penf = penf;
    Filter flt{1, &top};
    l2->filter = &flt;
    EnvListsCsmCex_setup(net.s.fms);
    ASSERT_EQ(net.s->nenvp, 4);
    EXPECT_EQ(net.s->EnvPaths_All[3], l3);
    sum_ambient_compute(net.s.fms, kDt);
    sum_ambient_compute(net.s.fms, kDt);

    const double in[2] = {1.9e-4, 3.6e-5};       // 0.5 x 3e-4 + 0.1 x 4e-4; 0.5 x 7e-5 + 0.1 x 1e-5
    const double out[2] = {1.2e-3, 3.375e-4};    // 4e-4 + 3e-4 + 5e-4; 1e-4 + 1.125e-4 + 1.25e-4
    const double byLink[2][4] = {{0.24, 0.18, 0.0, 0.3}, {0.06, 0.0675, 0.0, 0.075}};  // kg in 600 s
    for (int c = 0; c < 2; c++) {
        SCOPED_TRACE(c);
        EXPECT_NEAR(net.s->Env_MdotIn_step[c], in[c], 1e-17);
        EXPECT_NEAR(net.s->Env_MdotOut_step[c], out[c], 1e-17);
        EXPECT_NEAR(net.s->Env_MassIn_sum[c], 2 * kDt * in[c], 1e-14);
        EXPECT_NEAR(net.s->Env_MassOut_sum[c], 2 * kDt * out[c], 1e-14);
        EXPECT_NEAR(net.s->Env_MassOut_list[c], 2 * kDt * out[c], 1e-14);
        for (int k = 0; k < 4; k++) EXPECT_NEAR(net.s->Env_MassPath[c][k + 1], 2 * byLink[c][k], 1e-14) << k;
    }
    EXPECT_EQ(net.s->Env_Time, 2 * kDt);
    // Taken at the ambient node's fractions instead, the inflow of species 0 would be 6e-5.
    EXPECT_GT(net.s->Env_MdotIn_step[0], 1e-4);
}

struct AllocCase {
    int csm, bcex, dcex;
    bool list, accounts, byLink;
};

// What is allocated follows the switches; the links are counted in every case.
TEST(EnvelopeMass, ArraysFollowTheSwitches)
{
    const AllocCase cases[] = {
        {0, 0, 0, false, false, false},
        {1, 0, 0, false, true, false},
        {0, 1, 0, true, true, false},
        {0, 0, 1, true, true, true},
    };
    for (const AllocCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.csm << c.bcex << c.dcex);
        HandNet net;
        net.s->csmOut = c.csm;
        net.s->bcexres = c.bcex;
        net.s->dcexres = c.dcex;
        net.link(LINK_PATH, 1, &net.amb, &net.zone, 0.5);
        net.link(LINK_PATH, 2, &net.zone, &net.zone2, 0.5);
        net.link(LINK_DUCT, 1, &net.zone2, &net.amb, 0.5);
        EnvListsCsmCex_setup(net.s.fms);
        EXPECT_EQ(net.s->nenvp, 2);
        EXPECT_EQ(net.s->EnvPaths_All != nullptr, c.accounts);
        EXPECT_EQ(net.s->Env_MassOut_sum != nullptr, c.accounts);
        EXPECT_EQ(net.s->Env_MassIn_sum != nullptr, c.accounts);
        EXPECT_EQ(net.s->Env_MassOut_list != nullptr, c.list);
        EXPECT_EQ(net.s->Env_MassPath != nullptr, c.byLink);
        EXPECT_NE(net.s.log().find("  2 envelope paths|terminals|leaks for CSM/CEX\n"), std::string::npos);
        // Released in full: the balance shows nothing of them left.
        EnvListsCsmCex_free(net.s.fms);
        EXPECT_EQ(net.s->bytesAllocated, net.s->bytesFreed);
    }
}

// --- the listings through the writers --------------------------------------------------------

// Envelope links of every kind: a path, the intake and the exhaust of system 1, a path flagged
// as both of system 2, a duct, a terminal and a leak; and a path between the rooms.
struct KindsNet : HandNet {
    Ahs sys1{}, sys2{};
    Ahs* ahsList[3] = {nullptr, &sys1, &sys2};
    KindsNet()
    {
        sys1.nr = 1;
        sys1.pathNr[0] = 11, sys1.pathNr[1] = 2, sys1.pathNr[2] = 3;
        sys2.nr = 2;
        sys2.pathNr[0] = 12, sys2.pathNr[1] = 13, sys2.pathNr[2] = 4;
        s->nahs = 2;
        s->AhsLst = ahsList;
        link(LINK_PATH, 1, &zone, &amb, 0.1);
        link(LINK_PATH, 2, &amb, &zone, 0.2, 0.0, LF_AHO);
        link(LINK_PATH, 3, &zone, &amb, 0.3, 0.0, LF_AHX);
        link(LINK_PATH, 4, &zone, &amb, 0.4, 0.0, LF_AHX | LF_AHO);
        link(LINK_PATH, 9, &zone, &zone2, 5.0);
        link(LINK_DUCT, 5, &zone, &amb, 0.5);
        link(LINK_TERM, 6, &zone2, &amb, 0.6);
        link(LINK_LEAK, 7, &amb, &zone2, -0.7);
        s->listStep = 3600;
        s->dayofy = 32;
    }
    ~KindsNet() { s->AhsLst = nullptr; }
};

TEST(CexFile, HeadersLinesAndTotals)
{
    KindsNet net;
    FlowmirState* fms = net.s.fms;
    fms->bcexres = fms->dcexres = 1;
    EnvListsCsmCex_setup(fms);
    fms->AhsLst = nullptr;  // gone, as after network assembly
    ASSERT_EQ(fms->nenvp, 7);
    set_ubcex_open(fms);
    set_udcex_open(fms);
    for (int k = 0; k < 2; k++) sum_ambient_compute(fms, 1800.0);
    writeCex_stepEnd(fms, 1800);  // not a listing time
    writeCex_stepEnd(fms, 3600);
    sum_ambient_compute(fms, 1800.0);
    writeCex_stepEnd(fms, 7200);
    writeCex_simEnd(fms);
    set_ubcex_close(fms, 0);
    set_udcex_close(fms, 0);
    ASSERT_EQ(resfile_commit_all(fms), 0);

    // Kg leaving per second and unit mass fraction, by link in list order: 0.1, 0.3, 0.4 of
    // the room, 0.5 of the room, 0.6 of room 2, 0.7 of room 2 (the intake only brings air in).
    const double rate[7] = {0.1, 0.0, 0.3, 0.4, 0.5, 0.6, 0.7};
    const double mfOf[7][2] = {{2e-3, 5e-4}, {2e-3, 5e-4}, {2e-3, 5e-4}, {2e-3, 5e-4},
                               {2e-3, 5e-4}, {7e-3, 7e-3}, {7e-3, 7e-3}};
    const char* names[2] = {"co2", "pm"};
    std::string bulk = "Project:  u\nnctm\tunits\n2\tkg\nDate\tTime\tco2\tpm\n";
    double total[2] = {0, 0};
    for (int c = 0; c < 2; c++)
        for (int k = 0; k < 7; k++) total[c] += rate[k] * mfOf[k][c];
    bulk += "Feb01\t01:00:00\t" + e5(3600 * total[0]) + "\t" + e5(3600 * total[1]) + "\n";
    bulk += "Feb01\t02:00:00\t" + e5(1800 * total[0]) + "\t" + e5(1800 * total[1]) + "\n";
    bulk += "Sum\t\t" + e5(5400 * total[0]) + "\t" + e5(5400 * total[1]) + "\n";
    EXPECT_EQ(readFile(net.path("u.cex")), bulk);

    for (int c = 0; c < 2; c++) {
        SCOPED_TRACE(names[c]);
        // 7 envelope links less 2 systems; the intake of system 1 has no column.
        std::string d = std::string("Project:  u\nnpath\tctm_name\tunits\n5\t") + names[c] +
                        "\tkg\nDate\tTime\tp1\ta1\ta2\td5\tt6\tl7\n";
        for (int line = 0; line < 2; line++) {
            double dt = line == 0 ? 3600 : 1800;
            d += line == 0 ? "Feb01\t01:00:00" : "Feb01\t02:00:00";
            for (int k = 0; k < 7; k++)
                if (k != 1) d += "\t" + e5(dt * rate[k] * mfOf[k][c]);
            d += "\n";
        }
        EXPECT_EQ(readFile(net.path(c == 0 ? "u_co2.cex" : "u_pm.cex")), d);
    }
    for (int c = 0; c < 2; c++) {
        EXPECT_EQ(fms->Env_MassOut_list[c], 0.0);
        for (int k = 1; k <= 7; k++) EXPECT_EQ(fms->Env_MassPath[c][k], 0.0);
    }
    EXPECT_EQ(fms->dcexLst, nullptr);
}

// A link without a column is still cleared at every listing.
TEST(CexFile, LinkWithoutColumnIsCleared)
{
    KindsNet net;
    FlowmirState* fms = net.s.fms;
    fms->dcexres = 1;
    EnvListsCsmCex_setup(fms);
    fms->Env_MassPath[0][2] = 5.0;  // the intake
    writeCex_stepEnd(fms, 7200);
    EXPECT_EQ(fms->Env_MassPath[0][2], 0.0);
}

TEST(CexFile, InvalidLinkTypeIsFatal)
{
    ChildResult r = runChild([] {
        KindsNet net;
        net.s->errorFcn = nullptr;
        net.s->dcexres = 1;
        net.links[5]->styp = 7;
        EnvListsCsmCex_setup(net.s.fms);
        set_udcex_open(net.s.fms);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FATAL Invalid path type"), std::string::npos) << r.err;
}

// Removing without opening deletes an earlier run's listings when the run completes, and only
// then; a listing of a contaminant no longer simulated is not touched.
TEST(CexFile, CloseWithRemoveDeletesEarlierListings)
{
    HandNet net;
    for (const char* f : {"u.cex", "u_co2.cex", "u_pm.cex", "u_old.cex"}) writeFile(net.path(f), "earlier\n");
    set_ubcex_close(net.s.fms, 1);
    set_udcex_close(net.s.fms, 1);
    EXPECT_TRUE(fileExists(net.path("u.cex")));
    ASSERT_EQ(resfile_commit_all(net.s.fms), 0);
    EXPECT_FALSE(fileExists(net.path("u.cex")));
    EXPECT_FALSE(fileExists(net.path("u_co2.cex")));
    EXPECT_FALSE(fileExists(net.path("u_pm.cex")));
    EXPECT_TRUE(fileExists(net.path("u_old.cex")));
}

// Sinks of every list: boundary-layer sinks of a trace and of a non-trace species and an
// inactive one, then a deposition surface and an inactive one.
struct SinkNet : HandNet {
    CseSink b1{}, b2{}, b3{}, d1{}, d2{};
    SinkNet()
    {
        sp[1].nonTrace = 1;
        snprintf(sp[1].name, sizeof sp[1].name, "h2o");
        auto set = [](CseSink& s, int nr, AirNode* z, int species, double Cs) {
            s.nr = nr;
            s.zoneNode = z;
            s.species = species;
            s.Cs = Cs;
        };
        set(b1, 3, &zone, 0, 0.25);
        set(b2, 5, &zone2, 1, 1.5e-3);
        set(b3, 4, &zone, 0, 0.0);
        set(d1, 7, &zone2, 0, 2.5e-6);
        set(d2, 8, &zone, 1, 1e-3);
        s->bls[0] = &b1;
        s->bls[1] = &b2;
        s->blsInactive = &b3;
        s->dvr[0] = &d1;
        s->dvrInactive = &d2;
        s->nbls = 3;
        s->ndvr = 2;
        s->dayofy = 365;
    }
};

TEST(SrfFile, HeaderAndLines)
{
    SinkNet net;
    set_usrf(net.s.fms, 1);
    writeSrf_stepTime(net.s.fms, 0);
    net.b1.Cs = 0.125;
    net.d1.Cs = 1e-7;
    writeSrf_stepTime(net.s.fms, 86400);
    set_usrf(net.s.fms, 2);
    ASSERT_EQ(resfile_commit_all(net.s.fms), 0);
    std::string want = "Project:  u\n\n"
                       "nr\tzone\ttype\tspecies\tunits\ttrace/non-trace\n"
                       "3\t1\tbls\tco2\tkg/kg\ttrace\n"
                       "5\t2\tbls\th2o\tkg/kg\tnon-trace\n"
                       "4\t1\tbls\tco2\tkg/kg\tinactive\n"
                       "7\t2\tdvr\tco2\tkg/m2\ttrace\n"
                       "8\t1\tdvr\th2o\tkg/m2\tinactive\n"
                       "\ndate\ttime\tbls3\tbls5\tbls4\tdvr7\tdvr8\n";
    want += "Dec31\t00:00:00" + e13(0.25) + e13(1.5e-3) + e13(0.0) + e13(2.5e-6) + e13(1e-3) + "\n";
    want += "Dec31\t24:00:00" + e13(0.125) + e13(1.5e-3) + e13(0.0) + e13(1e-7) + e13(1e-3) + "\n";
    EXPECT_EQ(readFile(net.path("u.srf")), want);
    EXPECT_EQ(e13(0.25), "\t 2.500000e-01");
}

struct SrfModeCase {
    int mode;
    int nctm;
    bool kept;  // the earlier file after the run completes
};

TEST(SrfFile, ModesThatKeepNoListing)
{
    const SrfModeCase cases[] = {{3, 2, false}, {4, 2, false}, {1, 0, false}, {2, 2, true}};
    for (const SrfModeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " nctm " << c.nctm);
        SinkNet net;
        net.s->nctm = c.nctm;
        writeFile(net.path("u.srf"), "earlier\n");
        set_usrf(net.s.fms, c.mode);
        EXPECT_EQ(net.s->usrf, nullptr);
        ASSERT_EQ(resfile_commit_all(net.s.fms), 0);
        EXPECT_EQ(fileExists(net.path("u.srf")), c.kept);
    }
}

// --- whole runs ------------------------------------------------------------------------------


// Run-control lines 28 and 29: srfres is the fifth switch of the first, bcexres and dcexres
// open the second.
const char kSwitchesOff[] = "0 0 0 0 0 0\n0 0 0 0 0\n";
const char kSwitchesOn[] = "0 0 0 0 1 0\n1 1 0 0 0\n";

struct HostRun {
    std::string dir;
    ChildResult r;
    std::string log;
    std::string file(const char* name) const { return readFile(dir + "/" + name); }
    bool has(const char* name) const { return fileExists(dir + "/" + name); }
};

HostRun runProject(const std::string& text, const std::vector<std::string>& before = {})
{
    HostRun run;
    run.dir = scratchDir();
    writeFile(run.dir + "/t.prj", text);
    for (const std::string& f : before) writeFile(run.dir + "/" + f, "earlier run\n");
    run.r = runHost("-q t", run.dir);
    run.log = fileExists(run.dir + "/t.xlog") ? readFile(run.dir + "/t.xlog") : "";
    return run;
}

std::string fixture(const char* name)
{
    return readFile(kProjects + "/" + name);
}

// The room held at 1e-3 of tracer: the source of 3.344714e-5 kg/s matches what the outdoor air
// washes out, the wall sink (K = 100) starts in balance at 0.1 and the marker stays at 0. Half-
// hour steps, hourly listings.
TEST(CexSrfHost, SteadyRoomListsExactValues)
{
    HostRun run = runProject(fixture("cex_room.prj"));
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    EXPECT_NE(run.log.find("  2 envelope paths|terminals|leaks for CSM/CEX\n"), std::string::npos);

    const double perHour = 0.03344714 * 1e-3 * 3600;  // kg of tracer through the window
    const std::string zero = e5(0.0);
    EXPECT_EQ(e5(perHour), "1.20410e-01");
    std::string bulk = "Project:  t\nnctm\tunits\n2\tkg\nDate\tTime\ttracer\tmarker\n";
    bulk += "Jan01\t01:00:00\t" + e5(perHour) + "\t" + zero + "\n";
    bulk += "Jan01\t02:00:00\t" + e5(perHour) + "\t" + zero + "\n";
    bulk += "Sum\t\t" + e5(2 * perHour) + "\t" + zero + "\n";
    EXPECT_EQ(run.file("t.cex"), bulk);

    // Path 1 is the window (out), path 2 the supply fan (in).
    for (const char* name : {"tracer", "marker"}) {
        SCOPED_TRACE(name);
        bool tracer = !strcmp(name, "tracer");
        std::string d = std::string("Project:  t\nnpath\tctm_name\tunits\n2\t") + name + "\tkg\nDate\tTime\tp1\tp2\n";
        for (const char* t : {"01:00:00", "02:00:00"})
            d += std::string("Jan01\t") + t + "\t" + (tracer ? e5(perHour) : zero) + "\t" + zero + "\n";
        EXPECT_EQ(run.file(tracer ? "t_tracer.cex" : "t_marker.cex"), d);
    }

    std::string srf = "Project:  t\n\nnr\tzone\ttype\tspecies\tunits\ttrace/non-trace\n"
                      "2\t1\tbls\ttracer\tkg/kg\ttrace\n\ndate\ttime\tbls2\n";
    for (const char* t : {"00:00:00", "01:00:00", "02:00:00"}) srf += std::string("Jan01\t") + t + e13(100 * 1e-3) + "\n";
    EXPECT_EQ(run.file("t.srf"), srf);
}

std::vector<double> columnValues(const std::string& text, int column)
{
    std::vector<double> v;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Jan01\t", 0) != 0) continue;
        std::vector<std::string> f;
        std::istringstream fs(line);
        std::string x;
        while (std::getline(fs, x, '\t')) f.push_back(x);
        if ((int)f.size() > column) v.push_back(strtod(f[column].c_str(), nullptr));
    }
    return v;
}

double sumLine(const std::string& text)
{
    size_t p = text.find("Sum\t\t");
    return p == std::string::npos ? NAN : strtod(text.c_str() + p + 5, nullptr);
}

// A tracer washed out of the room over three hourly steps: every listed mass is the window's
// flow times the room's fraction at the step's end times the step, as the results file has them.
TEST(CexSrfHost, DecayingTracerBalancesTheResultsFile)
{
    std::string text = replaceFirst(fixture("tr_tracer.prj"), "0 0 1 1 1\n0 0 0 0 0 0 0 0\n0 0 0 0 0 0\n0 0 0 0 0\n",
                                std::string("0 0 1 1 1\n0 0 0 0 0 0 0 0\n") + kSwitchesOn);
    text = replaceFirst(text, "Jan01 2:00:00 1:00:00", "Jan01 3:00:00 1:00:00");
    HostRun run = runProject(text);
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    SimFile sim;
    std::string why;
    ASSERT_TRUE(simRead((run.dir + "/t.sim").c_str(), &sim, &why)) << why;

    std::vector<double> expected;
    for (const SimRecord& rec : sim.records) {
        if (rec.kind != SIM_STEP_RECORD || rec.time == 0) continue;
        double window = 0, room = 0;
        for (const SimPathRow& p : rec.paths)
            if (p.nr == 1) window = p.F0;
        for (const SimConcRow& c : rec.concs)
            if (c.nr == 1) room = c.mf[0];
        EXPECT_LT(window, 0.0);  // ambient first: out of the room
        expected.push_back(-window * room * 3600);
    }
    ASSERT_EQ(expected.size(), 3u);
    std::vector<double> bulk = columnValues(run.file("t.cex"), 2);
    std::vector<double> window = columnValues(run.file("t_tracer.cex"), 2);
    std::vector<double> fan = columnValues(run.file("t_tracer.cex"), 3);
    ASSERT_EQ(bulk.size(), 3u);
    ASSERT_EQ(window.size(), 3u);
    double total = 0;
    for (int k = 0; k < 3; k++) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(bulk[k], expected[k], expected[k] * 2e-5);
        EXPECT_EQ(window[k], bulk[k]);
        EXPECT_EQ(fan[k], 0.0);
        total += expected[k];
    }
    // The backward-Euler halving: 0.0602, 0.0301, 0.0151 kg.
    EXPECT_NEAR(expected[0], 120.409704 * 5e-4, 1e-6);
    EXPECT_NEAR(sumLine(run.file("t.cex")), total, total * 2e-5);
    EXPECT_FALSE(run.has("t.srf"));  // asked for, but there are no sinks
}

const std::vector<std::string> kListings = {"t.cex", "t_tracer.cex", "t_marker.cex", "t.srf"};

struct OffCase {
    const char* what;
    std::string (*edit)(std::string);
};

// Every listing of an earlier run goes when its listing is not asked for, or cannot be.
TEST(CexSrfHost, ListingsNotAskedForAreRemoved)
{
    const OffCase cases[] = {
        {"switches off", [](std::string t) { return replaceFirst(t, kSwitchesOn, kSwitchesOff); }},
        {"steady contaminants", [](std::string t) { return replaceFirst(t, "2 0 1e-4 1e-15 0 0\n", "1 0 1e-4 1e-15 0 0\n"); }},
        {"no contaminant simulation",
         [](std::string t) { return replaceFirst(t, "2 0 1e-4 1e-15 0 0\n", "0 0 1e-4 1e-15 0 0\n"); }},
    };
    for (const OffCase& c : cases) {
        SCOPED_TRACE(c.what);
        HostRun run = runProject(c.edit(fixture("cex_room.prj")), kListings);
        ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
        EXPECT_TRUE(run.has("t.sim"));
        for (const char* f : {"t.cex", "t_tracer.cex", "t_marker.cex"}) EXPECT_FALSE(run.has(f)) << f;
        // Steady contaminants still list the surfaces, once: the steady state of the wall sink
        // is K times the room's G / Q = 1e-3.
        bool srf = !strcmp(c.what, "steady contaminants");
        EXPECT_EQ(run.has("t.srf"), srf);
        if (srf) {
            EXPECT_EQ(run.file("t.srf"), "Project:  t\n\nnr\tzone\ttype\tspecies\tunits\ttrace/non-trace\n"
                                         "2\t1\tbls\ttracer\tkg/kg\ttrace\n\ndate\ttime\tbls2\n"
                                         "Jan01\t00:00:00" + e13(100 * 1e-3) + "\n");
        }
    }
}

bool anyPart(const std::string& dir)
{
    for (const std::string& f : kListings)
        if (fileExists(dir + "/" + f + ".part")) return true;
    return false;
}

// A run that fails leaves no listing of its own and the earlier run's as they were.
TEST(CexSrfHost, FatalRunLeavesNoListings)
{
    // The trapezoidal scheme at 3 ACH in hourly steps drives the room below zero.
    std::string text = replaceFirst(fixture("cex_room.prj"), "0 1 100 1e-6 1e-15 1.25 1 0\n", "0 1 100 1e-6 1e-15 1.25 0.5 0\n");
    text = replaceFirst(text, "2:00:00 0:30:00 1:00:00", "2:00:00 1:00:00 1:00:00");
    text = replaceFirst(text, " 0.03344714\n", " 0.10034142\n");
    text = replaceFirst(text, " 3.344714e-5 0 0 0\n", " 0 0 0 0\n");
    for (bool earlier : {false, true}) {
        SCOPED_TRACE(earlier ? "with earlier listings" : "without");
        HostRun run = earlier ? runProject(text, kListings) : runProject(text);
        EXPECT_EQ(run.r.status, 2) << run.log;
        EXPECT_NE(run.log.find("Mass fraction(s) < 0"), std::string::npos);
        for (const std::string& f : kListings) {
            EXPECT_EQ(run.has(f.c_str()), earlier) << f;
            if (earlier) {
                EXPECT_EQ(run.file(f.c_str()), "earlier run\n") << f;
            }
        }
        EXPECT_FALSE(anyPart(run.dir));
    }
}

struct BlockedCase {
    const char* blocked;  // temporary name made a folder
    const char* message;
};

TEST(CexSrfHost, ListingThatCannotBeCreatedIsFatal)
{
    const BlockedCase cases[] = {
        {"t.srf.part", "Could not open SRF file; is it already open?"},
        {"t.cex.part", "Could not open CEX file t.cex; is it already open?"},
        {"t_marker.cex.part", "Could not open CEX file t_marker.cex; is it already open?"},
    };
    for (const BlockedCase& c : cases) {
        SCOPED_TRACE(c.blocked);
        HostRun run;
        run.dir = scratchDir();
        writeFile(run.dir + "/t.prj", fixture("cex_room.prj"));
        ASSERT_EQ(mkdir((run.dir + "/" + c.blocked).c_str(), 0755), 0);
        run.r = runHost("-q t", run.dir);
        run.log = readFile(run.dir + "/t.xlog");
        EXPECT_EQ(run.r.status, 2);
        EXPECT_NE(run.log.find(std::string("FATAL  (file ")), std::string::npos);
        EXPECT_NE(run.log.find(std::string(" ") + c.message + "\n"), std::string::npos) << run.log;
        for (const std::string& f : kListings) EXPECT_FALSE(run.has(f.c_str())) << f;
        EXPECT_FALSE(run.has("t.sim"));
    }
}

// Without contaminants the bulk listing has dates and times only, and there is nothing to list
// per contaminant or per surface.
TEST(CexSrfHost, SwitchesOnWithoutContaminants)
{
    HostRun run = runProject(fixture("cex_nospecies.prj"), {"t.srf"});
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    EXPECT_EQ(run.file("t.cex"),
              "Project:  t\nnctm\tunits\n0\tkg\nDate\tTime\nJan01\t01:00:00\nJan01\t02:00:00\nSum\t\n");
    EXPECT_FALSE(run.has("t.srf"));
    EXPECT_FALSE(run.has("t_.cex"));
    EXPECT_FALSE(anyPart(run.dir));
}

}  // namespace
