// Row-indexed sparse storage: building structures, minimal index arrays, lookup, products
// against dense arithmetic, and the structure drawing and value listing.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "network/sparse.h"
#include "support/heap.h"
#include "testutil.h"

namespace {

uint64_t net(FlowmirState* fms)
{
    return fms->bytesAllocated - fms->bytesFreed;
}

// Structure array of rows given as column lists (any order, repeats allowed).
struct Structure {
    FlowmirState* fms;
    int n, nelem;
    int* ijaS;
    Structure(FlowmirState* f, const std::vector<std::vector<int>>& rows) : fms(f), n((int)rows.size())
    {
        ColEntry** lists = alc_vt<ColEntry*>(fms, 1, n, "acol");
        MemBlock* pool = alc_eci(fms, ACOL_BLOCK_SIZE, "acolset");
        MemBlock* firstBlock = pool;
        for (int i = 1; i <= n; i++)
            for (int c : rows[i - 1]) acolset(fms, lists, &pool, i, c);
        ijaS = acol_struct(fms, lists, n, &nelem, "ijaS");
        fre_ec(fms, firstBlock, "acolset");
        fre_vt(fms, lists, 1, n);
    }
    ~Structure() { fre_vt(fms, ijaS, 1, nelem); }
    std::vector<int> row(int i) const { return std::vector<int>(ijaS + ijaS[i], ijaS + ijaS[i + 1]); }
};

// Minimal index array of a structure.
std::vector<int> minimal(const Structure& s, int sym)
{
    std::vector<int> ija(ija_minset_count(s.ijaS, s.n, sym) + 1);
    ija_minset(s.ijaS, ija.data(), s.n, sym);
    return ija;
}

// Dense form of a row-indexed matrix; unsymmetric storage.
std::vector<std::vector<double>> dense(const std::vector<double>& sa, const std::vector<int>& ija, int n)
{
    std::vector<std::vector<double>> a(n + 1, std::vector<double>(n + 1, 0.0));
    for (int i = 1; i <= n; i++) {
        a[i][i] = sa[i];
        for (int k = ija[i]; k < ija[i + 1]; k++) a[i][ija[k]] = sa[k];
    }
    return a;
}

// The 5 x 5 symmetric pattern drawn in the listing test.
const std::vector<std::vector<int>> kFive = {{1, 4}, {2, 5}, {3, 4}, {1, 3, 4}, {2, 5}};

}  // namespace

TEST(SparseStructure, ColumnListsAreSortedUniqueAndBalanced)
{
    TestState ts;
    // Enough entries to run over several pool blocks.
    std::mt19937 rng(7);
    const int n = 40;
    std::vector<std::vector<int>> rows(n);
    std::vector<std::vector<int>> expect(n);
    for (int i = 1; i <= n; i++) {
        std::vector<bool> present(n + 1, false);
        rows[i - 1].push_back(i);
        present[i] = true;
        for (int t = 0; t < 15; t++) {
            int c = 1 + (int)(rng() % n);
            rows[i - 1].push_back(c);
            present[c] = true;
        }
        for (int c = 1; c <= n; c++)
            if (present[c]) expect[i - 1].push_back(c);
    }
    {
        Structure s(ts.fms, rows);
        EXPECT_EQ(s.ijaS[1], n + 2);
        for (int i = 1; i <= n; i++) EXPECT_EQ(s.row(i), expect[i - 1]) << "row " << i;
        EXPECT_EQ(s.nelem, s.ijaS[n + 1] - 1);
    }
    EXPECT_EQ(net(ts.fms), 0u);
}

TEST(SparseStructure, EmptyStructureHasOnlyItsEndPointer)
{
    TestState ts;
    ColEntry** lists = nullptr;
    int nelem = -1;
    int* ijaS = acol_struct(ts.fms, lists, 0, &nelem, "ijaS");
    EXPECT_EQ(nelem, 1);
    EXPECT_EQ(ijaS[1], 2);
    fre_vt(ts.fms, ijaS, 1, nelem);
    EXPECT_EQ(net(ts.fms), 0u);
}

TEST(SparseStructure, MinimalIndexArrayKeepsLowerOrAllOffDiagonals)
{
    TestState ts;
    // Unsymmetric on purpose: row 1 holds column 3 but row 3 not column 1.
    Structure s(ts.fms, {{1, 3}, {1, 2, 4}, {2, 3}, {2, 3, 4}});
    struct Case {
        int sym;
        std::vector<int> ija;  // from index 1
    };
    const Case cases[] = {
        // rows: -, {1}, {2}, {2,3}
        {1, {6, 6, 7, 8, 10, 1, 2, 2, 3}},
        // rows: {3}, {1,4}, {2}, {2,3}
        {0, {6, 7, 9, 10, 12, 3, 1, 4, 2, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sym);
        EXPECT_EQ(ija_minset_count(s.ijaS, s.n, c.sym), (int)c.ija.size());
        std::vector<int> ija = minimal(s, c.sym);
        EXPECT_EQ(std::vector<int>(ija.begin() + 1, ija.end()), c.ija);
    }
}

TEST(SparseStructure, FindLocatesEveryStoredEntryAndOnlyThose)
{
    TestState ts;
    const int n = 30;
    std::mt19937 rng(3);
    std::vector<std::vector<int>> rows(n);
    std::vector<std::vector<bool>> has(n + 1, std::vector<bool>(n + 1, false));
    for (int i = 1; i <= n; i++) {
        rows[i - 1].push_back(i);
        for (int t = 0; t < 6; t++) {
            int c = 1 + (int)(rng() % n);
            rows[i - 1].push_back(c);
            has[i][c] = true;
        }
    }
    Structure s(ts.fms, rows);
    std::vector<int> ija = minimal(s, 0);
    for (int i = 1; i <= n; i++)
        for (int j = 1; j <= n; j++) {
            int k = sa_find(ija.data(), i, j);
            if (i == j) {
                EXPECT_EQ(k, i);
            } else if (has[i][j]) {
                ASSERT_GE(k, ija[i]);
                ASSERT_LT(k, ija[i + 1]);
                EXPECT_EQ(ija[k], j);
            } else {
                EXPECT_EQ(k, 0) << i << "," << j;
            }
        }
}

TEST(SparseProducts, MatchDenseArithmetic)
{
    TestState ts;
    const int n = 6;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> value(-2.0, 2.0);
    std::vector<std::vector<int>> rows(n);
    for (int i = 1; i <= n; i++) {
        rows[i - 1].push_back(i);
        for (int j = 1; j <= n; j++)
            if (j != i && rng() % 2) {
                rows[i - 1].push_back(j);
                rows[j - 1].push_back(i);  // symmetric pattern, values differ below
            }
    }
    Structure s(ts.fms, rows);
    std::vector<double> b(n + 1), x(n + 1);
    for (int i = 1; i <= n; i++) b[i] = value(rng);

    // Full storage: A b and A' b.
    std::vector<int> ija = minimal(s, 0);
    std::vector<double> sa(ija.size());
    for (size_t k = 1; k < sa.size(); k++) sa[k] = value(rng);
    auto a = dense(sa, ija, n);
    sa_mlt_xaab(sa.data(), ija.data(), b.data(), x.data(), n);
    for (int i = 1; i <= n; i++) {
        double sum = 0;
        for (int j = 1; j <= n; j++) sum += a[i][j] * b[j];
        EXPECT_NEAR(x[i], sum, 1e-12) << "A b row " << i;
    }
    sa_mlt_xatb(sa.data(), ija.data(), b.data(), x.data(), n);
    for (int i = 1; i <= n; i++) {
        double sum = 0;
        for (int j = 1; j <= n; j++) sum += a[j][i] * b[j];
        EXPECT_NEAR(x[i], sum, 1e-12) << "A' b row " << i;
    }

    // Symmetric storage: the lower triangle stands for both halves.
    std::vector<int> low = minimal(s, 1);
    std::vector<double> sl(low.size());
    for (size_t k = 1; k < sl.size(); k++) sl[k] = value(rng);
    auto l = dense(sl, low, n);
    sa_mlt_xasb(sl.data(), low.data(), b.data(), x.data(), n);
    for (int i = 1; i <= n; i++) {
        double sum = 0;
        for (int j = 1; j <= n; j++) sum += (j <= i ? l[i][j] : l[j][i]) * b[j];
        EXPECT_NEAR(x[i], sum, 1e-12) << "S b row " << i;
    }
}

TEST(SparseListing, DrawingShowsNonzerosAndSkylineFill)
{
    TestState ts;
    ts.openLog();
    Structure s(ts.fms, kFive);
    sa_show(ts->logFile, s.n, s.ijaS);
    EXPECT_EQ(ts.log(),
              "+------\n"
              "|*  * |\n"
              "| * +*|\n"
              "|  **+|\n"
              "|*+**+|\n"
              "| *++*|\n"
              "+------\n"
              "\n"
              "5 by 5 matrix, 11 non-zeroes, 6 fill\n\n");
}

TEST(SparseListing, EveryTenthRowAndColumnIsMarked)
{
    TestState ts;
    ts.openLog();
    const int n = 12;
    std::vector<std::vector<int>> rows(n);
    for (int i = 1; i <= n; i++) rows[i - 1] = {i};
    rows[11] = {1, 12};  // a full-width envelope in the last row
    Structure s(ts.fms, rows);
    sa_show(ts->logFile, n, s.ijaS);
    std::string log = ts.log();
    std::vector<std::string> lines;
    for (size_t p = 0, q; (q = log.find('\n', p)) != std::string::npos; p = q + 1)
        lines.push_back(log.substr(p, q - p));
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[0], "+---------+---");
    EXPECT_EQ(lines[1], "|*           |");
    EXPECT_EQ(lines[10], "+         *  +");
    EXPECT_EQ(lines[12], "|*++++++++++*|");
    EXPECT_EQ(lines[13], lines[0]);
    EXPECT_EQ(lines[15], "12 by 12 matrix, 13 non-zeroes, 10 fill");
}

TEST(SparseListing, TooLargeStructureIsNotDrawn)
{
    TestState ts;
    ts.openLog();
    const int n = 4095;
    std::vector<std::vector<int>> rows(n);
    for (int i = 1; i <= n; i++) rows[i - 1] = {i};
    Structure s(ts.fms, rows);
    sa_show(ts->logFile, n, s.ijaS);
    EXPECT_EQ(ts.log(), "");
}

TEST(SparseListing, DumpListsLowerDiagonalUpperPerRow)
{
    TestState ts;
    ts.openLog();
    Structure s(ts.fms, {{1, 3}, {1, 2}, {1, 2, 3}});
    std::vector<int> ija = minimal(s, 0);
    // Positions: row 1 {3} at 5, row 2 {1} at 6, row 3 {1, 2} at 7, 8.
    std::vector<double> sa = {0, 4.0, 5.0, 6.0, 0, -1.5, 0.25, 1e-3, -2e6};
    sa_dump(ts->logFile, sa.data(), ija.data(), 3, "af");
    EXPECT_EQ(ts.log(),
              "Sparse array 'af' (rowCt=3):\n"
              "row: (col el)+ [diag el] (col el)+\n"
              "1: [ 4.0000000e+00] (3 -1.50000e+00)\n"
              "2: (1  2.50000e-01) [ 5.0000000e+00]\n"
              "3: (1  1.00000e-03) (2 -2.00000e+06) [ 6.0000000e+00]\n");
}

TEST(SparseHelpers, IntegerMaximumAndMinimum)
{
    const std::pair<int, int> cases[] = {{1, 2}, {2, 1}, {-3, -3}, {-5, 4}};
    for (auto [a, b] : cases) {
        EXPECT_EQ(max0(a, b), a > b ? a : b);
        EXPECT_EQ(min0(a, b), a < b ? a : b);
    }
}
