// Equation numbering and the airflow matrix set-up on hand-built networks: the log and the
// listing, the structure and entry positions, the reordering decision and its renumbering,
// the solver storage and the memory balance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "network/mat_init.h"
#include "network/sparse.h"
#include "support/heap.h"
#include "testutil.h"

namespace {

// A network of air nodes and links listed by hand; nodes and links are numbered 1.. in the
// order they are added, and links name their nodes by that number.
struct TestNet {
    std::vector<AirNode> nodes;
    std::vector<AirLink> links;
    std::vector<std::pair<int, int>> ends;

    int node(int styp, int s_nr, bool variable)
    {
        AirNode n{};
        n.styp = styp;
        n.s_nr = s_nr;
        n.flags = variable ? NF_VARP : 0;
        nodes.push_back(n);
        return (int)nodes.size();
    }
    void link(int styp, int s_nr, int n, int m, uint32_t flags = 0)
    {
        AirLink l{};
        l.styp = styp;
        l.s_nr = s_nr;
        l.flags = flags;
        l.offd = -1;  // stale: every link's entry must be set
        links.push_back(l);
        ends.push_back({n, m});
    }
    // Chains the records and hands them to the state; the vectors must not grow afterwards.
    void attach(FlowmirState* fms)
    {
        for (size_t i = 0; i < nodes.size(); i++) {
            nodes[i].nr = (int)i + 1;
            nodes[i].next = i + 1 < nodes.size() ? &nodes[i + 1] : nullptr;
        }
        for (size_t i = 0; i < links.size(); i++) {
            links[i].nr = (int)i + 1;
            links[i].nodeN = &nodes[ends[i].first - 1];
            links[i].nodeM = &nodes[ends[i].second - 1];
            links[i].next = i + 1 < links.size() ? &links[i + 1] : nullptr;
        }
        fms->nodeList = nodes.empty() ? nullptr : &nodes[0];
        fms->ambt = nodes.empty() ? nullptr : &nodes.back();
        fms->nafnd = (int)nodes.size();
        fms->linkList = links.empty() ? nullptr : &links[0];
        fms->nafpt = (int)links.size();
    }
    AirNode& N(int nr) { return nodes[nr - 1]; }
};

void setSolver(FlowmirState* fms, int slae, int newton = 1)
{
    fms->afsim = 0;
    fms->afNewton = newton;
    fms->afItmax = 30;
    fms->afRelcnvg = 1e-4f;
    fms->afAbscnvg = 1e-5f;
    fms->afRelax = 0.75f;
    fms->afSlae = slae;
    fms->afReorder = 0;
    fms->afPcgCnvg = 1e-6f;
}

// Releases what mat_init left, the histogram included (the run's release does that part).
void releaseAll(FlowmirState* fms)
{
    mat_fre(fms);
    fre_v(fms, fms->JfacBins, 0, fms->nJfacBins - 1, sizeof(int));
    fms->JfacBins = nullptr;
}

uint64_t net(FlowmirState* fms)
{
    return fms->bytesAllocated - fms->bytesFreed;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Every "Average Profile" value of the log, in order.
std::vector<double> loggedProfiles(const std::string& log)
{
    std::vector<double> values;
    const std::string key = "Average Profile: ";
    for (size_t p = log.find(key); p != std::string::npos; p = log.find(key, p + 1))
        values.push_back(atof(log.c_str() + p + key.size()));
    return values;
}

// Average row width of the first n rows of a lower-triangle index array.
double profileOf(const int* ija, int n)
{
    long sum = 0;
    for (int i = 1; i <= n; i++) sum += ija[i + 1] > ija[i] ? i - ija[ija[i]] + 1 : 1;
    return n ? (double)sum / n : 0.0;
}

// Zones 1, 2 and a constant zone 3, junction 1, terminal junction 2, the ambient; eight
// paths, a duct, a terminal link and a leak, some of which stay off the matrix.
void smallBuilding(TestNet& t)
{
    int z1 = t.node(NODE_ZONE, 1, true), z2 = t.node(NODE_ZONE, 2, true), z3 = t.node(NODE_ZONE, 3, false);
    int j1 = t.node(NODE_JCT, 1, true), t2 = t.node(NODE_TERM, 2, true), amb = t.node(NODE_ZONE, 0, false);
    t.link(LINK_PATH, 1, z1, z2);
    t.link(LINK_PATH, 2, z1, amb);
    t.link(LINK_PATH, 3, z2, z3);
    t.link(LINK_PATH, 4, z1, z2, LF_NOOFFD);
    t.link(LINK_PATH, 5, z2, amb);
    t.link(LINK_PATH, 6, z3, amb);
    t.link(LINK_PATH, 7, amb, z1);
    t.link(LINK_PATH, 8, z2, amb);
    t.link(LINK_DUCT, 1, j1, t2);
    t.link(LINK_TERM, 2, t2, z2);
    t.link(LINK_LEAK, 1, j1, z1);
}

// A ladder of two rails of k variable nodes listed rail after rail (a wide profile), with
// both ends open to the ambient.
void ladder(TestNet& t, int k)
{
    for (int i = 1; i <= 2 * k; i++) t.node(NODE_ZONE, i, true);
    int amb = t.node(NODE_ZONE, 0, false);
    for (int i = 1; i < k; i++) {
        t.link(LINK_PATH, 0, i, i + 1);
        t.link(LINK_PATH, 0, k + i, k + i + 1);
    }
    for (int i = 1; i <= k; i++) t.link(LINK_PATH, 0, i, k + i);
    t.link(LINK_PATH, 0, 1, amb);
    t.link(LINK_PATH, 0, amb, 2 * k);
    for (size_t i = 0; i < t.links.size(); i++) t.links[i].s_nr = (int)i + 1;
}

TEST(MatInit, SmallNetworkLogAndListing)
{
    TestState ts;
    ts.openLog();
    setSolver(ts.fms, 0);
    ts->listLevel = 1;
    TestNet t;
    smallBuilding(t);
    t.attach(ts.fms);
    uint64_t before = net(ts.fms);
    mat_init(ts.fms);

    const std::string expected =
        "\nAirflow Equations:\n"
        "   4 variable pressure nodes\n"
        "   2 constant pressure nodes\n"
        "  Number of equations: 6\n"
        "    Non-zero elements: 14\n"
        "Initial fill fraction: 0.389\n"
        " Matrix Profile Analysis:\n"
        "      Average Profile: 2.25\n"
        "            Bandwidth: 3\n"
        "+-------\n"
        "|***   |\n"
        "|**+*  |\n"
        "|*+**  |\n"
        "| ***  |\n"
        "|    * |\n"
        "|     *|\n"
        "+-------\n"
        "\n"
        "6 by 6 matrix, 14 non-zeroes, 2 fill\n\n"
        " Skyline Matrix:\n"
        "     Number of rows: 4\n"
        "     Lower Triangle: 5 elements\n"
        "     Upper Triangle: 5 elements\n"
        "     Fill fraction: 0.875\n"
        "Solve nonlinear equations by Newton-Raphson with variable trust region.\n"
        "  relcnvg = 0.0001, abscnvg = 2e-05, itmax = 30\n"
        "Solve Jacobian SLAE by symmetric SKYline method.\n"
        "  factorization by skyline (fewer operations): skyline 7, sparse LDLT 7 multiply-adds\n"
        "\nAirflow calculation data:\n"
        " Node | source | eqn\n"
        "    1 :    1z :    1\n"
        "    2 :    2z :    2\n"
        "    3 :    3z :    5\n"
        "    4 :    1j :    3\n"
        "    5 :    2t :    4\n"
        "    6 :    0z :    6\n"
        "  [z = zone, j = junction, t = terminal]\n"
        " Link numbers vs. path & duct numbers:"
        "\n    1 -   10:    1p    2p    3p    4p    5p    6p    7p    8p    1d    2t"
        "\n   11 -   20:    1l"
        "\n  [p = path, d = duct, t = terminal, l = leak]\n";
    EXPECT_EQ(ts.log(), expected);

    // Lower-triangle storage: row 2 holds (2,1), row 3 (3,1), row 4 (4,2) and (4,3).
    AfMat* mat = ts->afMat;
    ASSERT_NE(mat, nullptr);
    EXPECT_EQ(mat->neq, 6);
    EXPECT_EQ(mat->nvar, 4);
    EXPECT_EQ(mat->nsa, 11);
    EXPECT_EQ(mat->method, 1);
    EXPECT_EQ(mat->pcgItmax, 16);
    EXPECT_FLOAT_EQ(mat->abscnvg, 2e-5f);
    const int ija[] = {0, 8, 8, 9, 10, 12, 12, 12, 1, 1, 2, 3};
    for (int k = 1; k <= mat->nsa; k++) EXPECT_EQ(mat->ija[k], ija[k]) << "position " << k;

    // Entry positions: the flagged parallel path and the links to constant nodes own none.
    const int offd[] = {8, 0, 0, 0, 0, 0, 0, 0, 11, 10, 9};
    for (size_t i = 0; i < t.links.size(); i++) {
        const AirLink& l = t.links[i];
        EXPECT_EQ(l.offd, offd[i]) << "link " << l.nr;
        if (l.offd) {
            int n = l.nodeN->eqn, m = l.nodeM->eqn;
            EXPECT_EQ(l.offd, sa_find(mat->ija, std::max(n, m), std::min(n, m)));
        }
    }
    EXPECT_EQ(ts->nJfacBins, 32);

    releaseAll(ts.fms);
    EXPECT_EQ(net(ts.fms), before);
}

TEST(MatInit, NotesAtHighListLevel)
{
    TestState ts;
    ts.openLog();
    setSolver(ts.fms, 0);
    ts->listLevel = 3;
    TestNet t;
    smallBuilding(t);
    t.attach(ts.fms);
    mat_init(ts.fms);
    std::string log = ts.log();
    size_t begin = log.find(" begin mat_init() (file mat_init, line ");
    size_t end = log.find(" mat_init() complete (file mat_init, line ");
    ASSERT_NE(begin, std::string::npos) << log;
    ASSERT_NE(end, std::string::npos) << log;
    EXPECT_LT(begin, log.find("\nAirflow Equations:\n"));
    EXPECT_GT(end, log.find("  [p = path, d = duct, t = terminal, l = leak]\n"));
    releaseAll(ts.fms);
}

// No variable-pressure node: nothing to solve, no off-diagonal entry, still valid storage for
// every solver.
TEST(MatInit, NoVariableNodeGivesMethodMinusOne)
{
    for (int slae : {0, 1, 2}) {
        SCOPED_TRACE(slae);
        TestState ts;
        ts.openLog();
        setSolver(ts.fms, slae);
        TestNet t;
        int z = t.node(NODE_ZONE, 1, false), amb = t.node(NODE_ZONE, 0, false);
        t.link(LINK_PATH, 1, z, amb);
        t.link(LINK_PATH, 2, amb, z);
        t.attach(ts.fms);
        uint64_t before = net(ts.fms);
        mat_init(ts.fms);
        AfMat* mat = ts->afMat;
        EXPECT_EQ(mat->method, -1);
        EXPECT_EQ(mat->nvar, 0);
        EXPECT_EQ(mat->nsa, mat->neq + 1);
        EXPECT_EQ(t.N(z).eqn, 1);
        EXPECT_EQ(t.N(amb).eqn, 2);
        for (const AirLink& l : t.links) EXPECT_EQ(l.offd, 0);
        std::string log = ts.log();
        EXPECT_TRUE(contains(log, "   0 variable pressure nodes\n   2 constant pressure nodes\n")) << log;
        EXPECT_TRUE(contains(log, "    Non-zero elements: 2\n")) << log;
        EXPECT_FALSE(contains(log, "Newton-Raphson")) << log;
        releaseAll(ts.fms);
        EXPECT_EQ(net(ts.fms), before);
    }
}

// The closing lines name the Newton variant with its limits and the linear solver.
TEST(MatInit, SolverSettingLines)
{
    struct Case {
        int newton, slae;
        std::string lines;
    } cases[] = {
        {0, 0,
         "Solve nonlinear equations by Newton-Raphson with simple under relaxation.\n"
         "  relax = 0.75, relcnvg = 0.0001, abscnvg = 2e-05, itmax = 30\n"
         "Solve Jacobian SLAE by symmetric SKYline method.\n"
         "  factorization by skyline (fewer operations): skyline 7, sparse LDLT 7 multiply-adds\n"},
        {1, 1,
         "Solve nonlinear equations by Newton-Raphson with variable trust region.\n"
         "  relcnvg = 0.0001, abscnvg = 2e-05, itmax = 30\n"
         "Solve Jacobian SLAE by Preconditioned Conjugate Gradient method.\n"
         "  cnvg = 1e-06, itmax = 16\n"},
        {1, 2,
         "Solve nonlinear equations by Newton-Raphson with variable trust region.\n"
         "  relcnvg = 0.0001, abscnvg = 2e-05, itmax = 30\n"
         "Solve Jacobian SLAE by Cholesky method.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slae);
        TestState ts;
        ts.openLog();
        setSolver(ts.fms, c.slae, c.newton);
        TestNet t;
        smallBuilding(t);
        t.attach(ts.fms);
        uint64_t before = net(ts.fms);
        mat_init(ts.fms);
        std::string log = ts.log();
        EXPECT_TRUE(log.size() >= c.lines.size() && log.compare(log.size() - c.lines.size(), c.lines.size(), c.lines) == 0)
            << log;
        // Only the skyline solver looks at the profile.
        EXPECT_EQ(contains(log, " Matrix Profile Analysis:\n"), c.slae == 0) << log;
        AfMat* mat = ts->afMat;
        EXPECT_EQ(mat->sky != nullptr, c.slae == 0);
        EXPECT_EQ(mat->pcg != nullptr, c.slae == 1);
        EXPECT_EQ(mat->aa != nullptr, c.slae == 2);
        releaseAll(ts.fms);
        EXPECT_EQ(net(ts.fms), before);
    }
}

// Reordering is tried only for the skyline solver, when asked for, and when it can pay: a
// transient run or a wide profile, and at least three variable equations.
TEST(MatInit, ReorderingIsTriedOnlyWhenItCanPay)
{
    struct Case {
        const char* name;
        int rungs, slae, afsim, reorder;
        bool tried;
    } cases[] = {
        {"transient skyline", 20, 0, 1, 1, true},
        {"steady, narrow profile", 20, 0, 0, 1, false},
        {"steady, wide profile", 70, 0, 0, 1, true},
        {"reordering off", 70, 0, 1, 0, false},
        {"conjugate gradients", 70, 1, 1, 1, false},
        {"dense", 20, 2, 1, 1, false},
        {"one rung: two equations", 1, 0, 1, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestState ts;
        ts.openLog();
        setSolver(ts.fms, c.slae);
        ts->afsim = c.afsim;
        ts->afReorder = c.reorder;
        TestNet t;
        ladder(t, c.rungs);
        t.attach(ts.fms);
        mat_init(ts.fms);
        std::string log = ts.log();
        EXPECT_EQ(contains(log, "Determining equation reordering:\n"), c.tried) << log;
        releaseAll(ts.fms);
    }
}

// A ladder numbered rail after rail has a profile of about half its length; the renumbered
// one stays narrow. Every node's eqn follows the new numbering, the constant node keeps
// the last one, and the stored structure is the links' structure under it.
TEST(MatInit, ReorderingShrinksProfileAndRenumbersConsistently)
{
    TestState ts;
    ts.openLog();
    setSolver(ts.fms, 0);
    ts->afsim = 1;
    ts->afReorder = 1;
    TestNet t;
    const int k = 25;
    ladder(t, k);
    t.attach(ts.fms);
    uint64_t before = net(ts.fms);
    mat_init(ts.fms);
    std::string log = ts.log();
    ASSERT_TRUE(contains(log, "Equations will be reordered.\n")) << log;

    std::vector<double> profiles = loggedProfiles(log);
    ASSERT_EQ(profiles.size(), 2u) << log;
    EXPECT_GT(profiles[0], 10.0);
    EXPECT_LT(profiles[1], profiles[0] / 3);

    AfMat* mat = ts->afMat;
    const int n = 2 * k;
    std::vector<int> seen;
    for (const AirNode& node : t.nodes) seen.push_back(node.eqn);
    std::sort(seen.begin(), seen.end());
    for (int i = 0; i <= n; i++) EXPECT_EQ(seen[i], i + 1);
    EXPECT_EQ(t.nodes.back().eqn, n + 1);

    std::set<std::pair<int, int>> fromLinks, stored;
    for (const AirLink& l : t.links) {
        int a = l.nodeN->eqn, b = l.nodeM->eqn;
        if (!(l.nodeN->flags & NF_VARP) || !(l.nodeM->flags & NF_VARP)) {
            EXPECT_EQ(l.offd, 0);
            continue;
        }
        fromLinks.insert({std::max(a, b), std::min(a, b)});
        ASSERT_GT(l.offd, n + 1);
        EXPECT_EQ(mat->ija[l.offd], std::min(a, b));
        EXPECT_TRUE(l.offd >= mat->ija[std::max(a, b)] && l.offd < mat->ija[std::max(a, b) + 1]);
    }
    for (int i = 1; i <= mat->neq; i++)
        for (int p = mat->ija[i]; p < mat->ija[i + 1]; p++) stored.insert({i, mat->ija[p]});
    EXPECT_EQ(stored, fromLinks);
    EXPECT_NEAR(profileOf(mat->ija, n), profiles[1], 0.005);
    EXPECT_EQ(mat->sky->nal + n, (int)std::lround(profiles[1] * n));

    releaseAll(ts.fms);
    EXPECT_EQ(net(ts.fms), before);
}

// Daily species maxima exist when a transport solution runs, their copy for a cyclic run;
// everything goes back at the end.
TEST(MatInit, SpeciesMaximaAndMemoryBalance)
{
    struct Case {
        int mfsim, nctm;
        bool mfmax, mftst;
    } cases[] = {{0, 2, false, false}, {1, 2, true, false}, {3, 2, true, true}, {3, 0, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mfsim);
        TestState ts;
        setSolver(ts.fms, 1);
        ts->mfsim = c.mfsim;
        ts->nctm = c.nctm;
        ts->mfsolver = 1;  // no transport systems are built for the short-time-step method
        TestNet t;
        smallBuilding(t);
        t.attach(ts.fms);
        uint64_t before = net(ts.fms);
        mat_init(ts.fms);
        EXPECT_EQ(ts->Mfmax != nullptr, c.mfmax);
        EXPECT_EQ(ts->Mftst != nullptr, c.mftst);
        if (c.mfmax) ts->Mfmax[ts->nafnd][c.nctm - 1] = 1.0f;
        releaseAll(ts.fms);
        EXPECT_EQ(ts->Mfmax, nullptr);
        EXPECT_EQ(net(ts.fms), before);
    }
}

TEST(MatInit, FatalSettingsAndCounts)
{
    struct Case {
        const char* message;
        int slae;
        int extraNodes;  // added to nafnd: a list that disagrees with the count
    } cases[] = {
        {"Invalid method: 7", 7, 0},
        {"Incorrect AF node count", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ChildResult r = runChild([&] {
            TestState ts;
            setSolver(ts.fms, c.slae);
            TestNet t;
            smallBuilding(t);
            t.attach(ts.fms);
            ts->nafnd += c.extraNodes;
            mat_init(ts.fms);
        });
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
    }
}

}  // namespace

// A corridor numbered first and joined to every room fills the skyline: row i spans columns
// 1..i-1, sum over m = 1..20 of m(m+1)/2 = 1540 multiply-adds; the minimum-degree
// factorisation does with far fewer. The host may force either.
TEST(MatInit, SkylineMethodFactorisesByTheCheaperFactorisation)
{
    struct Case {
        int choice;
        bool hub;
        bool ldl;
        const char* line;
    } cases[] = {
        {0, true, true,
         "  factorization by sparse LDLT on a minimum degree ordering (fewer operations): skyline 1540, "
         "sparse LDLT 112 multiply-adds\n"},
        {1, true, false, "  factorization by skyline (requested): skyline 1540, sparse LDLT 112 multiply-adds\n"},
        {2, false, true,
         "  factorization by sparse LDLT on a minimum degree ordering (requested): skyline 7, sparse LDLT 7 "
         "multiply-adds\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        TestState ts;
        ts.openLog();
        setSolver(ts.fms, 0);
        ts->afFactorChoice = c.choice;
        TestNet t;
        if (c.hub) {
            int hall = t.node(NODE_ZONE, 1, true);
            std::vector<int> rooms;
            for (int r = 0; r < 20; r++) rooms.push_back(t.node(NODE_ZONE, r + 2, true));
            int amb = t.node(NODE_ZONE, 0, false);
            for (int r = 0; r < 20; r++) {
                t.link(LINK_PATH, 3 * r + 1, hall, rooms[r]);
                t.link(LINK_PATH, 3 * r + 2, rooms[r], rooms[(r + 1) % 20]);
                t.link(LINK_PATH, 3 * r + 3, rooms[r], amb);
            }
        } else {
            smallBuilding(t);
        }
        t.attach(ts.fms);
        uint64_t before = net(ts.fms);
        mat_init(ts.fms);
        std::string log = ts.log();
        EXPECT_TRUE(contains(log, std::string("Solve Jacobian SLAE by symmetric SKYline method.\n") + c.line)) << log;
        // The skyline's storage summary stands whichever factorisation runs.
        EXPECT_TRUE(contains(log, " Skyline Matrix:\n")) << log;
        AfMat* mat = ts->afMat;
        EXPECT_EQ(mat->ldl != nullptr, c.ldl);
        EXPECT_EQ(mat->sky != nullptr, !c.ldl);
        releaseAll(ts.fms);
        EXPECT_EQ(net(ts.fms), before);
    }
}
