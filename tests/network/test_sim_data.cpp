// Network assembly: the node and link lists with their fields, duct networks and their loops,
// the envelope and location lists, the network checks and reports, and the refusals.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "airflow/afe.h"
#include "engine/driver.h"
#include "network/sim_data.h"
#include "project/components.h"
#include "project/prj_read.h"
#include "support/heap.h"
#include "testutil.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;

static std::string fixture(const std::string& name)
{
    return readFile(kProjects + "/" + name);
}

// Text with the one occurrence of `from` replaced.
static std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t pos = text.find(from);
    EXPECT_NE(pos, std::string::npos) << from;
    EXPECT_EQ(text.find(from, pos + 1), std::string::npos) << "more than one: " << from;
    if (pos != std::string::npos) text.replace(pos, from.size(), to);
    return text;
}

struct Edit {
    std::string from, to;
};

static std::string edited(std::string text, const std::vector<Edit>& edits)
{
    for (const Edit& e : edits)
        text = replaced(text, e.from, e.to);
    return text;
}

// A state with a log and the block lists, holding the project read from `text`.
struct NetState : TestState {
    explicit NetState(const std::string& text)
    {
        openLog();
        fms->msBlock = alc_eci(fms, 32000, "ms-block");
        fms->mbBlock = alc_eci(fms, 8000, "mb-block");
        std::string path = scratchDir() + "/net.prj";
        writeFile(path, text);
        EXPECT_EQ(prj_read(fms, path.c_str()), 0) << fms->lastError;
        fms->listLevel = fms->listSetting;
    }
    ~NetState() { releaseRunMemory(fms); }
    AirNode* node(int nr)
    {
        for (AirNode* n = fms->nodeList; n; n = n->next)
            if (n->nr == nr) return n;
        return nullptr;
    }
    AirLink* link(int nr)
    {
        for (AirLink* l = fms->linkList; l; l = l->next)
            if (l->nr == nr) return l;
        return nullptr;
    }
};

static bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// --- Nodes and links of a project with zones, ducts, terminals and a leak. ---

TEST(SimData, AssemblesNodesAndLinksInOrderWithTheirFields)
{
    NetState ts(fixture("net_ducts.prj"));
    FlowmirState* fms = ts.fms;
    fms->listLevel = 1;
    sim_data(fms);
    std::string log = ts.log();
    EXPECT_EQ(fms->errorCount, 0) << fms->lastError;

    // Zones, junctions, then the ambient; heights from the level elevations, junction
    // volumes from the duct halves (duct 1: 10 m x 0.0314159 m2, duct 2: 5 m x 0.04 m2).
    struct NodeRow {
        int styp, s_nr;
        uint32_t flags;
        float hgt, V;
        double T;
        int inZone;
    };
    const NodeRow nodes[] = {
        {NODE_ZONE, 1, 0x23, 0.0f, 60.0f, 293.15, 0},
        {NODE_ZONE, 2, 0x23, 3.5f, 30.0f, 295.15, 0},
        {NODE_TERM, 1, 0x23, 2.5f, 0.1f, 293.15, 1},
        {NODE_JCT, 2, 0x23, 4.0f, 0.1570795f + 0.1f, 295.15, 1},
        {NODE_TERM, 3, 0x23, 5.0f, 0.1570795f, 280.15, 0},
        {NODE_ZONE, 0, 0x10, 0.0f, 0.0f, 293.15, 0},
    };
    ASSERT_EQ(fms->nafnd, 6);
    for (int i = 0; i < 6; i++) {
        SCOPED_TRACE("node " + std::to_string(i + 1));
        const AirNode* n = ts.node(i + 1);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->styp, nodes[i].styp);
        EXPECT_EQ(n->s_nr, nodes[i].s_nr);
        EXPECT_EQ(n->flags, nodes[i].flags);
        EXPECT_FLOAT_EQ(n->hgt, nodes[i].hgt);
        EXPECT_NEAR(n->V, nodes[i].V, 1e-6);
        EXPECT_DOUBLE_EQ(n->T, (double)(float)nodes[i].T);
        EXPECT_EQ(n->inZone, nodes[i].inZone);
        EXPECT_DOUBLE_EQ(n->R, 287.055);
        EXPECT_NEAR(n->rho, 101325.0 / (n->T * 287.055), 1e-12);
    }
    EXPECT_EQ(fms->ambt, ts.node(6));
    EXPECT_EQ(fms->ambt->next, nullptr);
    EXPECT_STREQ(ts.node(2)->name, "Attic");
    EXPECT_EQ(ts.node(4)->inZoneNode, ts.node(2));

    // Paths, ducts, then junction by junction its terminal or leak link.
    struct LinkRow {
        int styp, s_nr, N, M;
        uint32_t flags;
        int envIdx, envDir;
        float Z, dHn, dHm, dH;
        double mult;
        int elemType;
    };
    const LinkRow links[] = {
        {LINK_PATH, 1, 6, 1, 0x01, 1, 1, 1.5f, 1.5f, 1.5f, 0, 1.0, AFE_PLR_ORFC},
        {LINK_PATH, 2, 1, 2, 0x00, 0, 0, 3.0f, 3.0f, -0.5f, 0, 2.0, AFE_PLR_CRACK},
        {LINK_PATH, 3, 2, 6, 0x01, 2, -1, 5.5f, 2.0f, 5.5f, 0, 1.0, AFE_PLR_ORFC},
        // A constant-flow fan keeps only the no-off-diagonal bit: no wind pressure. It still
        // opens to the ambient, so it has an envelope entry (its pressure stays 0), and every
        // entry after it moves up by one from the old count of wind-exposed openings only.
        {LINK_PATH, 4, 6, 1, 0x000, 3, 1, 1.0f, 1.0f, 1.0f, 0, 1.0, AFE_FAN_CMF},
        {LINK_DUCT, 1, 5, 4, 0, 0, 0, 0, 0, 0, -1.0f, (double)0.02f, AFE_DCT_DWC},
        {LINK_DUCT, 2, 4, 3, 0, 0, 0, 0, 0, 0, -1.5f, 1.0, AFE_DCT_PLR},
        {LINK_TERM, 1, 3, 1, 0x00, 0, 0, 2.5f, 0, 2.5f, 0, 1.0, AFE_D_TERM},
        {LINK_LEAK, 2, 4, 2, 0x400, 0, 0, 4.0f, 0, 0.5f, 0, 1.0, AFE_D_LEAK},
        {LINK_TERM, 3, 5, 6, 0x01, 4, -1, 5.0f, 0, 5.0f, 0, 1.0, AFE_D_TERM},
    };
    ASSERT_EQ(fms->nafpt, 9);
    float* windZero = ts.link(2)->windP;
    for (int i = 0; i < 9; i++) {
        SCOPED_TRACE("link " + std::to_string(i + 1));
        const LinkRow& r = links[i];
        const AirLink* l = ts.link(i + 1);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->styp, r.styp);
        EXPECT_EQ(l->s_nr, r.s_nr);
        EXPECT_EQ(l->nodeN, ts.node(r.N));
        EXPECT_EQ(l->nodeM, ts.node(r.M));
        EXPECT_EQ(l->flags, r.flags);
        EXPECT_EQ(l->envIdx, r.envIdx);
        EXPECT_EQ(l->envDir, r.envDir);
        EXPECT_FLOAT_EQ(l->Z, r.Z);
        EXPECT_FLOAT_EQ(l->dHn, r.dHn);
        EXPECT_FLOAT_EQ(l->dHm, r.dHm);
        EXPECT_FLOAT_EQ(l->dH, r.dH);
        EXPECT_DOUBLE_EQ(l->mult, r.mult);
        ASSERT_NE(l->elem, nullptr);
        EXPECT_EQ(l->elem->type, r.elemType);
        EXPECT_NE(l->elem->model, nullptr);
        ASSERT_NE(l->ctrl, nullptr);
        EXPECT_EQ(*l->ctrl, 1.0f);
        // Envelope entries point at their wind pressure; all others at one constant 0.
        if (r.envIdx > 0) {
            EXPECT_EQ(l->windP, &fms->wPenv[r.envIdx]);
        } else {
            EXPECT_EQ(l->windP, windZero);
        }
        EXPECT_EQ(l->dd != nullptr, r.styp != LINK_PATH);
    }
    EXPECT_EQ(*windZero, 0.0f);
    ASSERT_EQ(fms->nenv, 4);
    EXPECT_EQ(fms->wSign[1], 1.0f);
    EXPECT_EQ(fms->wSign[2], -1.0f);
    EXPECT_EQ(fms->wSign[3], 1.0f);
    EXPECT_EQ(fms->wSign[4], -1.0f);
    EXPECT_EQ(fms->wPenv[3], 0.0f);
    EXPECT_FLOAT_EQ(ts.link(3)->windConst, 3.0f);
    EXPECT_FLOAT_EQ(ts.link(3)->azimuth, 90.0f);
    EXPECT_FLOAT_EQ(ts.link(9)->windConst, -2.0f);
    EXPECT_FLOAT_EQ(ts.link(9)->x, 4.0f);
    EXPECT_FLOAT_EQ(ts.link(9)->y, 5.0f);

    // Duct 1, Darcy-Weisbach (D 0.2 m, roughness 0.1 mm, L/D 50, sum of losses 0.5): the
    // laminar limit (64/2300 L/D + C) 2300^2, the turbulent one from the Colebrook factor
    // 0.0420055 at Re 3500, and the laminar coefficient from the flow at Re 30.
    const DuctSeg* d1 = ts.link(5)->dd;
    EXPECT_FLOAT_EQ(d1->len, 10.0f);
    EXPECT_FLOAT_EQ(d1->area, 0.0314159f);
    EXPECT_FLOAT_EQ(d1->area2, 0.0314159f);
    EXPECT_FLOAT_EQ(d1->sumC, 0.5f);
    EXPECT_EQ(d1->Cleak, 0.0f);
    EXPECT_NEAR(d1->Xlam, 10005000.0, 2.0);
    EXPECT_NEAR(d1->Xturb, 31853364.0, 40.0);
    EXPECT_NEAR(d1->c3, 5.908086e-4, 1e-9);
    EXPECT_NEAR(d1->c2, 0.5324446, 1e-6);
    EXPECT_NEAR(d1->Clin, 3.908666e-6, 1e-11);
    EXPECT_FLOAT_EQ(ts.link(5)->lastX, 0.04f);

    // Duct 2 leaks 2 L/(s m2) at 50 Pa over 5 m x 0.8 m of wall: 0.008/50^0.65; its inner
    // junction 2 gets half, its terminal junction 1 none.
    const DuctSeg* d2 = ts.link(6)->dd;
    EXPECT_NEAR(d2->Cleak, 6.291577e-4, 1e-9);
    EXPECT_NEAR(ts.link(8)->dd->Cleak, 3.145788e-4, 1e-9);
    EXPECT_EQ(fms->JctLst[1]->Cleak, 0.0f);
    EXPECT_STREQ(ts.link(8)->elem->name, "jlk");

    // Terminals: loss coefficients 0.5 + 1.5 on 0.04 m2, and 0.3 + 0.2 on 0.09 m2.
    const AfeTrm* t1 = static_cast<const AfeTrm*>(ts.link(7)->elem->data);
    EXPECT_FLOAT_EQ(t1->turb, 0.04f);
    EXPECT_NEAR(t1->lam, 2.666667e-4, 1e-9);
    EXPECT_FLOAT_EQ(t1->Fdes, 0.1f);
    const AfeTrm* t3 = static_cast<const AfeTrm*>(ts.link(9)->elem->data);
    EXPECT_FLOAT_EQ(t3->turb, 0.18f);
    EXPECT_NEAR(t3->lam, 0.0036, 1e-8);
    EXPECT_FLOAT_EQ(t3->Fdes, -0.1f);
    EXPECT_NE(ts.link(7)->elem, ts.link(9)->elem);

    EXPECT_TRUE(contains(log, "  4 envelope paths|terminals for WPC\n")) << log;
    EXPECT_TRUE(contains(log, "1 Duct Networks\n      network # 0 - jctns:\n"
                              "      network # 1 - jctns:\n     1     2     3\n"))
        << log;
    EXPECT_FALSE(contains(log, "zones linked to only one other zone"));
    EXPECT_FALSE(contains(log, "constant pressure zone"));

    releaseRunMemory(fms);
    EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed);
}

// --- Duct networks. ---

TEST(SimData, DuctLoopsWarnAboutTheirFansOnly)
{
    // Ducts 1-2-3 form a loop; duct 5 is a fan on a dead end; ducts 6 a second network.
    struct Case {
        const char* name;
        std::vector<Edit> edits;
        const char* fans; // expected listing, or none
    };
    const Case cases[] = {
        {"loop without fan", {}, nullptr},
        {"fan in the loop", {{"\n1 0 1 2 1 ", "\n1 0 1 2 2 "}}, " 1\n"},
        {"two fans in the loop",
         {{"\n1 0 1 2 1 ", "\n1 0 1 2 2 "}, {"\n3 0 3 1 1 ", "\n3 0 3 1 2 "}},
         " 1 3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NetState ts(edited(fixture("net_loop.prj"), c.edits));
        ts->listLevel = 1;
        sim_data(ts.fms);
        std::string log = ts.log();
        EXPECT_EQ(ts->errorCount, 0) << ts->lastError;
        const std::string warning = "WARNING: Duct network # 1 has a loop with a fan.\n"
                                    "  This may cause duct sequencing to fail.\n"
                                    "  Loop duct segment(s) with a fan:";
        if (c.fans) {
            EXPECT_TRUE(contains(log, warning + c.fans)) << log;
        } else {
            EXPECT_FALSE(contains(log, "has a loop with a fan")) << log;
        }
        EXPECT_FALSE(contains(log, "Duct network # 2 has a loop"));
        EXPECT_TRUE(contains(log, "2 Duct Networks\n      network # 0 - jctns:\n"
                                  "      network # 1 - jctns:\n     1     2     3     4     5\n"
                                  "      network # 2 - jctns:\n     6     7\n"))
            << log;
        EXPECT_EQ(ts->nafnd, 9);
        EXPECT_EQ(ts->nafpt, 1 + 6 + 5);
    }
}

// --- Reports on nodes with one neighbour and zones of fixed pressure. ---

TEST(SimData, OneNeighbourAndConstantPressureReports)
{
    // Zone 1 (20 C) is held at 5 Pa; zone 2 (22 C) is solved.
    struct Case {
        const char* name;
        std::vector<Edit> edits;
        int afsim;
        const char* table; // rows of the one-neighbour table
        bool constantReport;
    };
    const Case cases[] = {
        {"pair linked to each other",
         {},
         0,
         "      1     2   20.00  22.00\n      2     1   22.00  20.00\n",
         true},
        {"zone linked to the ambient only",
         {{"\n1 0 1 2 1 ", "\n1 0 -1 2 1 "}},
         0,
         "      2  ambt   22.00  20.00\n   ambt     2   20.00  22.00\n",
         true},
        {"pressurization test", {}, 4, "      1     2   20.00  22.00\n      2     1   22.00  20.00\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NetState ts(edited(fixture("net_pair.prj"), c.edits));
        ts->afsim = c.afsim;
        sim_data(ts.fms);
        std::string log = ts.log();
        EXPECT_EQ(ts->errorCount, 0) << ts->lastError;
        EXPECT_DOUBLE_EQ(ts.node(1)->P, 5.0);
        EXPECT_TRUE(contains(log, " 2 zones linked to only one other zone. See XLog file for details.\n"
                                  "  Check that inter-zone flow can occur.\n"
                                  "  zone1 zone2   T1 [C] T2 [C]\n" +
                                      std::string(c.table) + "\n"))
            << log;
        const std::string report =
            " 1 constant pressure zone(s) - not normally used. See XLog file for details.\n"
            " *** Constant pressure zones: 1\n\n";
        EXPECT_EQ(contains(log, report), c.constantReport) << log;
        if (c.afsim == 4) {
            // Only the unconditioned ambient is solved in the pressurization test.
            EXPECT_EQ(ts.node(1)->flags & NF_VARP, 0u);
            EXPECT_EQ(ts.node(2)->flags & NF_VARP, 0u);
            EXPECT_EQ(ts.node(3)->flags & NF_VARP, (uint32_t)NF_VARP);
        }
    }
}

// --- The location list of the openings matched against the wind-pressure file. ---

TEST(SimData, LocationListSharesPositions)
{
    // Paths 1 and 4 open at one position (1 mm apart), terminal 3 above them.
    std::string text = edited(fixture("net_ducts.prj"),
                              {{"\n1 1 -1 1 1 0 0 0 0 0 1 0 0 1.5 ", "\n1 3 -1 1 1 0 0 0 0 0 1 2 3 1.5 "},
                               {"\n4 1 -1 1 3 0 0 0 0 0 1 0 0 1 ", "\n4 5 -1 1 3 0 0 0 0 0 1 2.001 3 1.5 "},
                               {"\n3 1 1 -1 1 0 0 0 2 4 5 ", "\n3 3 1 -1 1 0 0 0 2 2 3 "}});
    NetState ts(text);
    ts->wpcUse = 1;
    ts->echo = 1;
    sim_data(ts.fms);
    std::string log = ts.log();
    ASSERT_EQ(ts->npld, 2);
    EXPECT_FLOAT_EQ(ts->PLDlist[1].z, 1.5f);
    EXPECT_EQ(ts->PLDlist[2].kind, 1);
    EXPECT_EQ(ts->PLDlist[2].item, 3);
    EXPECT_FLOAT_EQ(ts->PLDlist[2].z, 5.0f);
    EXPECT_EQ(ts.link(1)->locIdx, 1);
    EXPECT_EQ(ts.link(4)->locIdx, 1);
    EXPECT_EQ(ts.link(3)->locIdx, 0);
    EXPECT_EQ(ts.link(9)->locIdx, 2);
    EXPECT_TRUE(contains(log, "Creating PLDlist:\n    1 : path 1 at (2.000000 3.000000 1.500000)\n"
                              "  path 4 at (2.001000 3.000000 1.500000) same as\n"
                              "  path 1 at (2.000000 3.000000 1.500000)\n"
                              "    2 : term 3 at (2.000000 3.000000 5.000000)\n"
                              "  2 unique locations\n  1 duplicate locations\n  end PLDlist\n\n"))
        << log;
}

// --- Refusals: each ends the run with its message. ---

TEST(SimData, RefusalsEndTheRunWithTheirMessages)
{
    const std::string window = "1 23 plr_orfc window\nWindow opening of 0.1 m2\n 0.00151 0.0753 0.5";
    struct Case {
        const char* name;
        const char* fixture;
        std::vector<Edit> edits;
        int wpcUse;
        int afsim;
        std::vector<std::string> err; // lines of the standard error stream
        const char* logPart;          // written to the log before the stop
    };
    const Case cases[] = {
        {"zone supplied by a constant mass flow only",
         "prj_minimal.prj",
         {{window, "1 21 fan_cmf fan\nSupply fan\n 0.1"}},
         0,
         0,
         {"FATAL Zones/junctions not linked to ambient by variable flow path\n"},
         "Unlinked nodes:\n     zone:    1\n"},
        {"zone supplied by a constant volume flow only",
         "prj_minimal.prj",
         {{window, "1 22 fan_cvf fan\nSupply fan\n 0.1"}},
         0,
         0,
         {"FATAL Zones/junctions not linked to ambient by variable flow path\n"},
         "Unlinked nodes:\n     zone:    1\n"},
        {"zone supplied by a curve fan only",
         "prj_minimal.prj",
         {{window, "1 23 fan_fan fan\nSupply fan\n 1e-5 0.001 0.5 1.2041 0 0 0\n 100 -10 0 -1\n 0"}},
         0,
         0,
         {"FATAL Zones/junctions not linked to ambient by variable flow path\n"},
         "Unlinked nodes:\n     zone:    1\n"},
        {"ducts and zones behind fans",
         "net_ducts.prj",
         {{window, "1 21 fan_cmf fan\nSupply fan\n 0.1"}, {"\n3 1 1 -1 1 ", "\n3 0 1 1 1 "}},
         0,
         0,
         {"FATAL Zones/junctions not linked to ambient by variable flow path\n"},
         "Unlinked nodes:\n     zone:    1\n     zone:    2\n junction:    1\n junction:    2\n junction:    "
         "3\n"},
        {"junction reached by no duct",
         "net_ducts.prj",
         {{"\n2 0 2 1 2 0 0 0 0 5 ", "\n2 0 2 3 2 0 0 0 0 5 "}},
         0,
         0,
         {"FATAL Error in duct network analysis; call Orvo\n"},
         nullptr},
        {"duct without its first junction",
         "net_ducts.prj",
         {{"\n2 0 2 1 2 0 0 0 0 5 ", "\n2 0 0 1 2 0 0 0 0 5 "}},
         0,
         0,
         {"ERROR  Duct 2 No pointer to node N\n", "FATAL Fix errors, may need to call Orvo\n"},
         nullptr},
        {"duct with a path element",
         "net_ducts.prj",
         {{"2 ! duct flow elements", "3 ! duct flow elements"},
          {" 0.2 0.8 0.04 0 0 0 2 50\n 0 0 0 0 0 0 0 0\n",
           " 0.2 0.8 0.04 0 0 0 2 50\n 0 0 0 0 0 0 0 0\n3 9 plr_crack grille\nGrille\n 1e-5 0.002 0.65\n"},
          {"\n2 0 2 1 2 0 0 0 0 5 ", "\n2 0 2 1 3 0 0 0 0 5 "}},
         0,
         0,
         {"ERROR Invalid element type 9\n", "FATAL Fix errors, may need to call Orvo\n"},
         nullptr},
        {"wind-exposed terminal inside a zone",
         "net_ducts.prj",
         {{"\n1 0 1 1 2 ", "\n1 1 1 1 2 "}},
         0,
         0,
         {"ERROR Invalid wind flag or ENVindex: 0, terminal: 1\n",
          "FATAL Fix errors, may need to call Orvo\n"},
         nullptr},
        {"terminal without loss coefficients",
         "net_ducts.prj",
         {{"0.04 0 0.1 0.5 1.5 0", "0.04 0 0.1 0 0 0"}},
         0,
         0,
         {"ERROR Invalid loss coefficient for terminal 1\n", "FATAL Fix errors, may need to call Orvo\n"},
         nullptr},
        {"flagged opening without a position",
         "net_ducts.prj",
         {{"\n1 1 -1 1 1 0 0 0 0 0 1 0 0 1.5 ", "\n1 5 -1 1 1 0 0 0 0 0 1 0 0 1.5 "}},
         1,
         0,
         {"FATAL Undefined path/duct locations, call Orvo\n"},
         "PLDpath: undefined location for path 1 (5)\n"},
        {"flagged terminal inside a zone",
         "net_ducts.prj",
         {{"\n1 0 1 1 2 ", "\n1 2 1 1 2 "}},
         1,
         0,
         {"ERROR Bad WPC terminal, call Orvo\n", "FATAL Fix errors, may need to call Orvo\n"},
         nullptr},
        {"airflow test without its contaminant",
         "net_ducts.prj",
         {},
         0,
         3,
         {"FATAL Flow validation mode requires one trace contaminant\n"},
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NetState ts(edited(fixture(c.fixture), c.edits));
        ts->wpcUse = c.wpcUse;
        ts->afsim = c.afsim;
        ts.log(); // nothing buffered may reach the log twice through the child
        ChildResult r = runChild([&] {
            sim_data(ts.fms);
            _exit(0);
        });
        EXPECT_EQ(r.status, 2);
        size_t at = 0;
        for (const std::string& line : c.err) {
            size_t found = r.err.find(line, at);
            EXPECT_NE(found, std::string::npos) << line << "\nin\n" << r.err;
            if (found != std::string::npos) at = found + line.size();
        }
        if (c.logPart) {
            EXPECT_TRUE(contains(ts.log(), c.logPart)) << ts.log();
        }
    }
}

// --- Moist air. ---

TEST(Humidity, SaturationPressureMatchesTheHandbookTables)
{
    struct Case {
        double T, Ps, tol; // K, Pa
    };
    const Case cases[] = {
        {253.15, 103.26, 0.01}, // -20 C, over ice
        {273.15, 611.15, 0.05}, // 0 C, over ice just below the triple point
        {293.15, 2338.8, 0.2},  // 20 C, over water
        {333.15, 19946.0, 3.0}, // 60 C
    };
    for (const Case& c : cases)
        EXPECT_NEAR(satPressureHW(c.T), c.Ps, c.tol) << c.T;
    // 20 C at 50 % and standard pressure: 7.29 g/kg.
    EXPECT_NEAR(humidityRatio(293.15, 0.5, 101325.0), 0.0072941, 1e-6);
}

TEST(Humidity, AmbientTemperatureOutsideTheCorrelationIsClamped)
{
    struct Case {
        float T;
        const char* message; // in the log; nullptr: none
        double Tused;
    };
    const Case cases[] = {
        {400.0f, "\n  T > 373:  400\n", 373.0},
        {150.0f, "\n  T < 203:  150\n", 203.0},
        {300.0f, nullptr, 300.0},
    };
    for (const Case& c : cases) {
        TestState ts;
        ts.openLog();
        ts->Tambt = c.T;
        ts->ambRH = 0.1f;
        ts->Pambt = 101325.0;
        float W = ambientHumidityRatio(ts.fms);
        EXPECT_FLOAT_EQ(W, humidityRatio(c.Tused, (double)0.1f, 101325.0)) << c.T;
        EXPECT_EQ(ts->errorCount, c.message ? 1 : 0);
        if (c.message) {
            EXPECT_TRUE(contains(ts.log(), c.message)) << ts.log();
        }
        EXPECT_EQ(ts->Tambt, c.T); // the run's ambient temperature stays
    }
}

// The ambient water vapour follows the ambient humidity when "H2O" is simulated; outside the
// correlation's range the ambient temperature is an error that stops the assembly.
TEST(Humidity, AmbientWaterVapourOfTheSimulatedSpecies)
{
    for (float T : {293.15f, 400.0f}) {
        SCOPED_TRACE(T);
        NetState ts(fixture("prj_minimal.prj"));
        ts->nctm = 1;
        ts->iH2O = 0;
        ts->ambRH = 0.5f;
        ts->Tambt = T;
        if (T > 373.0f) {
            ts.log();
            ChildResult r = runChild([&] {
                sim_data(ts.fms);
                _exit(0);
            });
            EXPECT_EQ(r.status, 2);
            EXPECT_NE(r.err.find("ERROR  T > 373:  400\nFATAL Fix errors, may need to call Orvo\n"),
                      std::string::npos)
                << r.err;
            continue;
        }
        sim_data(ts.fms);
        float W = humidityRatio(293.15f, 0.5f, 101325.0);
        EXPECT_NEAR(W, 0.0072941, 1e-6);
        EXPECT_EQ(ts->Wambt, W);
        ASSERT_NE(ts->ambtMf, nullptr);
        EXPECT_DOUBLE_EQ(ts->ambtMf[0], W / (1.0 + W));
    }
}

// --- The run sequence assembles the network between reading and numbering. ---

TEST(SimData, HostRunCountsTheAssembledNetwork)
{
    std::string dir = scratchDir();
    writeFile(dir + "/ducts.prj", fixture("net_ducts.prj"));
    ChildResult r = runHost("-q ducts.prj", dir);
    std::string log = readFile(dir + "/ducts.xlog");
    EXPECT_EQ(r.status, 0) << r.err << log;
    EXPECT_TRUE(contains(log, "     airflow nodes:    6\n     airflow paths:    9\n")) << log;
    EXPECT_TRUE(contains(log, "Simulation completed successfully.\n")) << log;
}
