// Profile analysis and the profile-reducing renumbering: valid permutations, profiles that
// shrink and never grow, the input checks and the log lines around them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "network/gpskca.h"
#include "network/profile.h"
#include "support/log.h"
#include "testutil.h"

namespace {

uint64_t net(FlowmirState* fms)
{
    return fms->bytesAllocated - fms->bytesFreed;
}

int quietError(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

// An undirected graph on nodes 1..n.
struct Graph {
    int n = 0;
    std::vector<std::pair<int, int>> edges;
};

Graph path(const std::vector<int>& labels)
{
    Graph g;
    g.n = (int)labels.size();
    for (size_t p = 1; p < labels.size(); p++) g.edges.push_back({labels[p - 1], labels[p]});
    return g;
}

Graph grid(int rows, int cols)
{
    Graph g;
    g.n = rows * cols;
    auto id = [cols](int r, int c) { return r * cols + c + 1; };
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < cols; c++) {
            if (c + 1 < cols) g.edges.push_back({id(r, c), id(r, c + 1)});
            if (r + 1 < rows) g.edges.push_back({id(r, c), id(r + 1, c)});
        }
    return g;
}

Graph star(int n, int centre)
{
    Graph g;
    g.n = n;
    for (int i = 1; i <= n; i++)
        if (i != centre) g.edges.push_back({centre, i});
    return g;
}

Graph complete(int n)
{
    Graph g;
    g.n = n;
    for (int i = 1; i <= n; i++)
        for (int j = i + 1; j <= n; j++) g.edges.push_back({i, j});
    return g;
}

Graph relabel(const Graph& g, const std::vector<int>& label)
{
    Graph r;
    r.n = g.n;
    for (auto [a, b] : g.edges) r.edges.push_back({label[a], label[b]});
    return r;
}

Graph shuffled(const Graph& g, unsigned seed)
{
    std::vector<int> label(g.n + 1);
    std::iota(label.begin(), label.end(), 0);
    std::mt19937 rng(seed);
    std::shuffle(label.begin() + 1, label.end(), rng);
    return relabel(g, label);
}

Graph randomGraph(unsigned seed)
{
    std::mt19937 rng(seed);
    Graph g;
    g.n = 1 + (int)(rng() % 60);
    int m = (int)(rng() % (2 * g.n + 1));
    for (int e = 0; e < m; e++) {
        int a = 1 + (int)(rng() % g.n), b = 1 + (int)(rng() % g.n);
        if (a != b) g.edges.push_back({a, b});
    }
    return g;
}

// Sorted neighbour lists, the node itself included.
std::vector<std::vector<int>> adjacency(const Graph& g)
{
    std::vector<std::vector<int>> adj(g.n + 1);
    for (int i = 1; i <= g.n; i++) adj[i].push_back(i);
    for (auto [a, b] : g.edges) {
        adj[a].push_back(b);
        adj[b].push_back(a);
    }
    for (auto& row : adj) {
        std::sort(row.begin(), row.end());
        row.erase(std::unique(row.begin(), row.end()), row.end());
    }
    return adj;
}

// rstart/connec input of gpskca, 1-based.
struct Connections {
    std::vector<int> rstart, connec;
};

Connections connections(const std::vector<std::vector<int>>& rows)
{
    Connections c;
    int n = (int)rows.size() - 1;
    c.rstart.assign(n + 2, 0);
    c.connec.assign(1, 0);
    for (int i = 1; i <= n; i++) {
        c.rstart[i] = (int)c.connec.size();
        c.connec.insert(c.connec.end(), rows[i].begin(), rows[i].end());
    }
    c.rstart[n + 1] = (int)c.connec.size();
    return c;
}

// Structure array of neighbour lists rows[1..n].
std::vector<int> structure(const std::vector<std::vector<int>>& rows)
{
    int n = (int)rows.size() - 1;
    std::vector<int> ijaS(n + 2);
    ijaS[1] = n + 2;
    for (int i = 1; i <= n; i++) {
        ijaS.insert(ijaS.end(), rows[i].begin(), rows[i].end());
        ijaS[i + 1] = (int)ijaS.size();
    }
    return ijaS;
}

// Sum of row widths of the lower envelope under numbering perm (identity when empty).
int64_t profileOf(const Graph& g, const std::vector<int>& perm)
{
    auto num = [&](int i) { return perm.empty() ? i : perm[i]; };
    std::vector<int> low(g.n + 1);
    for (int i = 1; i <= g.n; i++) low[num(i)] = num(i);
    for (auto [a, b] : g.edges) {
        int x = num(a), y = num(b);
        low[std::max(x, y)] = std::min(low[std::max(x, y)], std::min(x, y));
    }
    int64_t sum = 0;
    for (int r = 1; r <= g.n; r++) sum += r - low[r] + 1;
    return sum;
}

bool isPermutation(const std::vector<int>& perm, int n)
{
    std::vector<int> sorted(perm.begin() + 1, perm.begin() + n + 1);
    std::sort(sorted.begin(), sorted.end());
    for (int i = 1; i <= n; i++)
        if (sorted[i - 1] != i) return false;
    return true;
}

bool isIdentity(const std::vector<int>& perm, int n)
{
    for (int i = 1; i <= n; i++)
        if (perm[i] != i) return false;
    return true;
}

// Runs gpskca for profile on a graph; checks the permutation and the profile rule.
std::vector<int> renumber(FlowmirState* fms, const Graph& g)
{
    Connections c = connections(adjacency(g));
    std::vector<int> perm(g.n + 1, -1);
    EXPECT_EQ(gpskca(fms, g.n, c.rstart.data(), c.connec.data(), perm.data(), 1), 0);
    EXPECT_TRUE(isPermutation(perm, g.n));
    if (!isPermutation(perm, g.n)) return perm;
    int64_t before = profileOf(g, {}), after = profileOf(g, perm);
    EXPECT_LE(after, before);
    if (!isIdentity(perm, g.n)) {
        EXPECT_LT(after, before) << "a changed numbering must pay off";
    }
    return perm;
}

}  // namespace

TEST(Renumbering, SmallStructuresGetValidNumberingsThatNeverWorsenTheProfile)
{
    struct Case {
        const char* name;
        Graph graph;
        int64_t target;  // profile expected afterwards, 0 when only the rules apply
        bool identity;   // the numbering must stay as it is
    };
    Graph twoPaths = path({1, 3, 5, 7, 9});
    for (auto e : path({2, 4, 6, 8, 10}).edges) twoPaths.edges.push_back(e);
    twoPaths.n = 10;
    Graph edgeAcross;
    edgeAcross.n = 4;
    edgeAcross.edges = {{1, 4}};
    Graph apart;
    apart.n = 2;
    const Case cases[] = {
        {"path numbered badly", path({1, 8, 2, 7, 3, 6, 4, 5}), 15, false},
        {"path in order", path({1, 2, 3, 4, 5, 6, 7, 8}), 15, true},
        {"star with its centre first", star(9, 1), 0, false},
        {"star with its centre last", star(9, 9), 17, true},
        {"two paths interleaved", twoPaths, 18, false},
        {"isolated nodes and one long edge", edgeAcross, 5, false},
        {"complete graph", complete(5), 15, true},
        {"one equation", path({1}), 1, true},
        {"two equations joined", path({1, 2}), 3, true},
        {"two equations apart", apart, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestState ts;
        std::vector<int> perm = renumber(ts.fms, c.graph);
        if (c.target) {
            EXPECT_EQ(profileOf(c.graph, perm), c.target);
        }
        if (c.identity) {
            EXPECT_TRUE(isIdentity(perm, c.graph.n));
        }
        EXPECT_EQ(net(ts.fms), 0u);
    }
}

TEST(Renumbering, ShuffledGridComesBackToABandOfItsWidth)
{
    const int sides[][2] = {{6, 6}, {4, 15}, {30, 30}};
    for (auto [rows, cols] : sides) {
        SCOPED_TRACE(testing::Message() << rows << " x " << cols);
        TestState ts;
        Graph g = shuffled(grid(rows, cols), 5);
        std::vector<int> perm = renumber(ts.fms, g);
        // Numbering across the short side gives rows at most that wide plus one.
        int shortSide = std::min(rows, cols);
        EXPECT_LE(profileOf(g, perm), (int64_t)g.n * (shortSide + 1));
    }
}

TEST(Renumbering, RandomStructuresAlwaysGetValidNumberings)
{
    for (unsigned seed = 1; seed <= 200; seed++) {
        SCOPED_TRACE(seed);
        TestState ts;
        renumber(ts.fms, randomGraph(seed));
        EXPECT_EQ(net(ts.fms), 0u);
    }
}

TEST(Renumbering, BuildingOfTenThousandRoomsLosesMostOfItsShuffledProfile)
{
    // Ten floors of 20 x 50 rooms, joined by two stairwells, numbered at random.
    const int floors = 10, rows = 20, cols = 50, perFloor = rows * cols;
    Graph g;
    g.n = floors * perFloor;
    Graph floor = grid(rows, cols);
    for (int f = 0; f < floors; f++) {
        for (auto [a, b] : floor.edges) g.edges.push_back({f * perFloor + a, f * perFloor + b});
        if (f + 1 < floors) {
            g.edges.push_back({f * perFloor + 1, (f + 1) * perFloor + 1});
            g.edges.push_back({(f + 1) * perFloor - 1, (f + 2) * perFloor - 1});
        }
    }
    g = shuffled(g, 9);
    TestState ts;
    std::vector<int> perm = renumber(ts.fms, g);
    // Levels spread over several floors at once, so the rows are wider than one floor's;
    // a random numbering leaves them about n / 3 wide.
    EXPECT_LE(20 * profileOf(g, perm), profileOf(g, {}));
    EXPECT_EQ(net(ts.fms), 0u);
}

TEST(Renumbering, BandwidthOptionNarrowsTheBand)
{
    TestState ts;
    Graph g = shuffled(grid(8, 12), 3);
    Connections c = connections(adjacency(g));
    std::vector<int> perm(g.n + 1);
    ASSERT_EQ(gpskca(ts.fms, g.n, c.rstart.data(), c.connec.data(), perm.data(), 0), 0);
    ASSERT_TRUE(isPermutation(perm, g.n));
    int band = 0;
    for (auto [a, b] : g.edges) band = std::max(band, std::abs(perm[a] - perm[b]));
    EXPECT_LE(band, 9);  // the short side plus one
    EXPECT_EQ(net(ts.fms), 0u);
}

TEST(Renumbering, InvalidStructuresAreReportedAndLeaveTheNumbering)
{
    struct Case {
        const char* name;
        std::vector<std::vector<int>> rows;  // from index 1
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"column past the last row", {{}, {1, 2}, {1, 2, 5}, {3}}, {"Invalid column entry, row 2, col 5"}},
        {"column zero", {{}, {0, 1}, {2}, {3}}, {"Invalid column entry, row 1, col 0"}},
        {"column twice", {{}, {1, 2}, {1, 2, 1}, {3}}, {"Duplicate column entry, row 2, col 1"}},
        {"one-sided connection", {{}, {1, 2}, {2}, {3}}, {"Missing column entry, row 2, col 1"}},
        {"no diagonal", {{}, {1, 2}, {1}, {3}}, {"No entry for diagonal of row 2"}},
        {"several faults",
         {{}, {1, 3}, {4}, {3}},
         {"Invalid column entry, row 2, col 4", "No entry for diagonal of row 2",
          "Missing column entry, row 3, col 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestState ts;
        ts.openLog();
        ts->errorFcn = quietError;
        Connections con = connections(c.rows);
        int n = (int)c.rows.size() - 1;
        std::vector<int> perm(n + 1, 7);
        EXPECT_NE(gpskca(ts.fms, n, con.rstart.data(), con.connec.data(), perm.data(), 1), 0);
        EXPECT_TRUE(isIdentity(perm, n));
        std::string log = ts.log();
        std::string expected;
        size_t warnings = 0;
        for (size_t p = 0; (p = log.find("WARNING  (file gpskca, line ", p)) != std::string::npos; p++)
            warnings++;
        EXPECT_EQ(warnings, c.messages.size()) << log;
        for (const std::string& m : c.messages) EXPECT_NE(log.find(" " + m + "\n"), std::string::npos) << m;
        EXPECT_NE(log.find("NOTE  (file gpskca, line "), std::string::npos);
        EXPECT_NE(log.find(" Equations were not reordered\n"), std::string::npos);
        EXPECT_EQ(ts->errorCount, 0);  // warnings are not counted as errors
        EXPECT_EQ(net(ts.fms), 0u);
    }
}

TEST(ProfileAnalysis, WidthsFromTheFirstColumnToTheDiagonal)
{
    // Rows {1,4} {2,5} {3,4} {1,3,4} {2,5}: widths 1 1 1 4 4.
    std::vector<int> ijaS = structure({{}, {1, 4}, {2, 5}, {3, 4}, {1, 3, 4}, {2, 5}});
    struct Case {
        int n;
        double profile;
        int bandwidth;
        const char* log;
    };
    const Case cases[] = {
        {5, 2.2, 4, "      Average Profile: 2.20\n            Bandwidth: 4\n"},
        {3, 1.0, 1, "      Average Profile: 1.00\n            Bandwidth: 1\n"},
        {0, 0.0, 0, "      Average Profile: 0.00\n            Bandwidth: 0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        TestState ts;
        ts.openLog();
        double profile = -1;
        EXPECT_EQ(ija_prfl(ts.fms, c.n, ijaS.data(), &profile), c.bandwidth);
        EXPECT_DOUBLE_EQ(profile, c.profile);
        EXPECT_EQ(ts.log(), c.log);
    }
}

TEST(EquationReordering, DecisionAndLogLines)
{
    // Variable equations 1..n; the constant ones past n are joined to some of them.
    auto withConstants = [](Graph g, int constants) {
        int n = g.n;
        g.n += constants;
        for (int k = 1; k <= constants; k++) g.edges.push_back({k, n + k});
        return g;
    };
    struct Case {
        const char* name;
        Graph graph;
        int n;
        int result;
        const char* log;
    };
    Graph broken = path({1, 2, 3, 4});
    const Case cases[] = {
        {"badly numbered path", withConstants(path({1, 6, 2, 5, 3, 4}), 2), 6, 1,
         "Determining equation reordering:\nEquations will be reordered.\n"},
        {"path in order", withConstants(path({1, 2, 3, 4, 5, 6}), 2), 6, 0,
         "Determining equation reordering:\nEquations will not be reordered.\n"},
        {"two variable equations", withConstants(path({2, 1}), 2), 2, 0, ""},
        {"no variable equation", path({1, 3, 2}), 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestState ts;
        ts.openLog();
        std::vector<int> ijaS = structure(adjacency(c.graph));
        int neq = c.graph.n, nelem = (int)ijaS.size() - 1;
        std::vector<int> perm(neq + 1, -1);
        EXPECT_EQ(ija_optord(ts.fms, ijaS.data(), perm.data(), nelem, neq, c.n), c.result);
        EXPECT_EQ(ts.log(), c.log);
        EXPECT_TRUE(isPermutation(perm, c.n));
        for (int i = c.n + 1; i <= neq; i++) EXPECT_EQ(perm[i], i) << "constant equation " << i;
        EXPECT_EQ(isIdentity(perm, neq), c.result == 0);
        EXPECT_EQ(net(ts.fms), 0u);
    }
}

TEST(EquationReordering, FaultyStructureKeepsTheNumbering)
{
    TestState ts;
    ts.openLog();
    ts->errorFcn = quietError;
    // Row 2 lacks its diagonal.
    std::vector<int> ijaS = structure({{}, {1, 2}, {1, 3}, {2, 3, 4}, {3, 4}});
    std::vector<int> perm(5, -1);
    EXPECT_EQ(ija_optord(ts.fms, ijaS.data(), perm.data(), (int)ijaS.size() - 1, 4, 4), 0);
    EXPECT_TRUE(isIdentity(perm, 4));
    std::string log = ts.log();
    EXPECT_EQ(log.rfind("Determining equation reordering:\n", 0), 0u);
    EXPECT_NE(log.find(" No entry for diagonal of row 2\n"), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 33), "Equations will not be reordered.\n");
    EXPECT_EQ(net(ts.fms), 0u);
}

TEST(EquationReordering, RenumberedStructureHasSortedMappedRows)
{
    TestState ts;
    std::vector<int> ijaS = structure({{}, {1, 2}, {1, 2, 3}, {2, 3}});
    std::vector<int> perm = {0, 3, 1, 2};
    ija_reorder(ts.fms, ijaS.data(), perm.data(), (int)ijaS.size() - 1, 3);
    EXPECT_EQ(ijaS, (std::vector<int>{0, 5, 8, 10, 12, 1, 2, 3, 1, 2, 1, 3}));
    EXPECT_EQ(net(ts.fms), 0u);
}

TEST(EquationReordering, ReorderedProfileMatchesTheChosenNumbering)
{
    for (unsigned seed = 1; seed <= 20; seed++) {
        SCOPED_TRACE(seed);
        TestState ts;
        Graph g = shuffled(grid(5, 7), seed);
        std::vector<int> ijaS = structure(adjacency(g));
        std::vector<int> original = ijaS;
        int nelem = (int)ijaS.size() - 1;
        double before, after;
        ija_prfl(ts.fms, g.n, ijaS.data(), &before);
        std::vector<int> perm(g.n + 1);
        ASSERT_EQ(ija_optord(ts.fms, ijaS.data(), perm.data(), nelem, g.n, g.n), 1);
        ija_reorder(ts.fms, ijaS.data(), perm.data(), nelem, g.n);
        ija_prfl(ts.fms, g.n, ijaS.data(), &after);
        EXPECT_LT(after, before);
        EXPECT_DOUBLE_EQ(after * g.n, (double)profileOf(g, perm));
        // Renumbering back restores the original structure.
        std::vector<int> inverse(g.n + 1);
        for (int i = 1; i <= g.n; i++) inverse[perm[i]] = i;
        ija_reorder(ts.fms, ijaS.data(), inverse.data(), nelem, g.n);
        EXPECT_EQ(ijaS, original);
        EXPECT_EQ(net(ts.fms), 0u);
    }
}
