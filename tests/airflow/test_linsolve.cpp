// Linear solvers of the airflow matrix: the symmetric and unsymmetric skyline, incomplete
// Cholesky conjugate gradients and the dense factorisation, each against a pivoting dense
// solve; their pivot and convergence reports; the host helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "airflow/dense.h"
#include "airflow/ldlt.h"
#include "airflow/linsolve.h"
#include "airflow/pcg.h"
#include "airflow/skyline.h"
#include "airflow/vecops.h"
#include "network/airnet.h"
#include "network/sparse.h"
#include "support/heap.h"
#include "testutil.h"

namespace
{

using Dense = std::vector<std::vector<double>>;  // [1..n][1..n]

uint64_t net(FlowmirState* fms)
{
    return fms->bytesAllocated - fms->bytesFreed;
}

// Dense n x n matrix from rows given 0-based.
Dense dense(const std::vector<std::vector<double>>& rows)
{
    int n = (int)rows.size();
    Dense a(n + 1, std::vector<double>(n + 1, 0.0));
    for (int i = 1; i <= n; i++)
        for (int j = 1; j <= n; j++) a[i][j] = rows[i - 1][j - 1];
    return a;
}

// Reference: Gaussian elimination with partial pivoting.
std::vector<double> referenceSolve(Dense a, std::vector<double> b)
{
    int n = (int)a.size() - 1;
    for (int k = 1; k <= n; k++) {
        int p = k;
        for (int i = k + 1; i <= n; i++)
            if (fabs(a[i][k]) > fabs(a[p][k])) p = i;
        std::swap(a[p], a[k]);
        std::swap(b[p], b[k]);
        for (int i = k + 1; i <= n; i++) {
            double l = a[i][k] / a[k][k];
            for (int j = k; j <= n; j++) a[i][j] -= l * a[k][j];
            b[i] -= l * b[k];
        }
    }
    for (int i = n; i >= 1; i--) {
        for (int j = i + 1; j <= n; j++) b[i] -= a[i][j] * b[j];
        b[i] /= a[i][i];
    }
    return b;
}

std::vector<double> rhs(int n)
{
    std::vector<double> b(n + 1, 0.0);
    for (int i = 1; i <= n; i++) b[i] = std::sin(1.7 * i) * 10.0 + i;
    return b;
}

// Row-indexed storage of a dense matrix: its nonzero lower entries (sym) or all of them,
// with extra identity rows after the first n (constant-pressure equations).
struct RowIndexed {
    std::vector<int> ija;
    std::vector<double> sa;
    RowIndexed(const Dense& a, bool sym, int extra = 0)
    {
        int n = (int)a.size() - 1, neq = n + extra;
        ija.assign(neq + 2, 0);
        sa.assign(neq + 2, 0.0);
        ija[1] = neq + 2;
        for (int i = 1; i <= neq; i++) {
            if (i <= n) {
                sa[i] = a[i][i];
                for (int j = 1; j <= n; j++)
                    if (j != i && a[i][j] != 0.0 && (!sym || j < i)) {
                        ija.push_back(j);
                        sa.push_back(a[i][j]);
                    }
            } else {
                sa[i] = 1.0;
            }
            ija[i + 1] = (int)ija.size();
        }
    }
};

// An airflow matrix record over a symmetric matrix with one constant-pressure row, with
// the storage of the chosen solver; slae 0 with ldlt factorises by the sparse L D L'.
struct HandMat {
    FlowmirState* fms;
    RowIndexed store;
    std::vector<double> b, x;
    Skyline sky{};
    AfMat mat{};
    HandMat(FlowmirState* f, const Dense& a, int slae, float cnvg = 1e-12f, bool ldlt = false)
        : fms(f), store(a, true, 1)
    {
        int n = (int)a.size() - 1;
        mat.neq = n + 1;
        mat.nvar = n;
        mat.nsa = (int)store.sa.size() - 1;
        mat.sym = 1;
        mat.slae = slae;
        mat.pcgItmax = mat.neq + 10;
        mat.pcgCnvg = cnvg;
        mat.ija = store.ija.data();
        mat.sa = store.sa.data();
        b = rhs(n + 1);
        x.assign(n + 2, 0.0);
        mat.b = b.data();
        mat.x = x.data();
        if (slae == 0 && ldlt) {
            mat.ldl = ldl_analyse(fms, n, mat.ija);
        } else if (slae == 0) {
            sky.sym = 1;
            sky_alc(fms, n, mat.ija, &sky, nullptr);
            mat.sky = &sky;
        } else if (slae == 1) {
            EXPECT_EQ(pcg_alc(fms, &mat), 0);
        } else {
            mat.aa = static_cast<double**>(alc_mc(fms, 1, n, 1, n, sizeof(double), "af-aa"));
        }
    }
    ~HandMat()
    {
        if (mat.ldl) ldl_fre(fms, mat.ldl);
        if (mat.slae == 0 && !mat.ldl) sky_fre(fms, &sky);
        if (mat.slae == 1) pcg_fre(fms, &mat);
        if (mat.slae == 2) fre_mc(fms, mat.aa, 1, mat.nvar, 1, mat.nvar, sizeof(double));
    }
};

struct SpdCase {
    const char* name;
    std::vector<std::vector<double>> rows;
};

// Symmetric positive definite matrices; the second has gaps inside its row profiles that
// fill in during the factorisation.
const SpdCase spdCases[] = {
    {"tridiagonal", {{4, -1, 0, 0}, {-1, 4, -1, 0}, {0, -1, 4, -1}, {0, 0, -1, 4}}},
    {"profile gaps",
     {{10, 0, -1, 0, 0, -3},
      {0, 9, 0, 0, -2, 0},
      {-1, 0, 8, -0.5, 0, 0},
      {0, 0, -0.5, 7, -1, 0},
      {0, -2, 0, -1, 6, -1.5},
      {-3, 0, 0, 0, -1.5, 11}}},
    {"full", {{4, 1, 2}, {1, 5, 3}, {2, 3, 6}}},
    {"diagonal", {{2, 0, 0}, {0, 3, 0}, {0, 0, 0.5}}},
    {"single", {{3}}},
};

TEST(LinearSolvers, EverySolverMatchesADenseSolve)
{
    for (const SpdCase& c : spdCases)
        for (int method = 0; method <= 3; method++) {
            // Method 3: the skyline method factorised by the sparse L D L'.
            int slae = method == 3 ? 0 : method;
            SCOPED_TRACE(std::string(c.name) + ", method " + std::to_string(method));
            TestState ts;
            Dense a = dense(c.rows);
            int n = (int)a.size() - 1;
            std::vector<double> want = referenceSolve(a, rhs(n + 1));
            {
                HandMat hm(ts.fms, a, slae, 1e-12f, method == 3);
                int it = solve_slae(ts.fms, &hm.mat);
                for (int i = 1; i <= n; i++) EXPECT_NEAR(hm.x[i], want[i], 1e-9 * (1 + fabs(want[i]))) << i;
                EXPECT_EQ(hm.x[n + 1], hm.b[n + 1]) << "constant-pressure row";
                if (slae == 1) {
                    EXPECT_GE(it, 1);
                    EXPECT_LE(it, n + 1);
                } else {
                    EXPECT_EQ(it, 0);
                }
            }
            EXPECT_EQ(net(ts.fms), 0u);
            EXPECT_EQ(ts->errorCount, 0);
        }
}

TEST(LinearSolvers, SolverCountersFollowTheCalls)
{
    TestState ts;
    Dense a = dense(spdCases[1].rows);
    {
        HandMat sky(ts.fms, a, 0), pcg(ts.fms, a, 1), ge(ts.fms, a, 2);
        solve_slae(ts.fms, &sky.mat);
        solve_slae(ts.fms, &sky.mat);
        int it = solve_slae(ts.fms, &pcg.mat);
        solve_slae(ts.fms, &ge.mat);
        EXPECT_EQ(ts->nLufSkyS, 2);
        EXPECT_EQ(ts->nLusSkyS, 2);
        EXPECT_EQ(ts->nSaPcg, 1);
        EXPECT_EQ(ts->nSaPcgIt, it);
        EXPECT_EQ(ts->nLufGe, 1);
        EXPECT_EQ(ts->nLusGe, 1);
    }
}

TEST(Skyline, ProfileOfRowsWithGapsAndItsSummary)
{
    TestState ts;
    ts.openLog();
    RowIndexed s(dense(spdCases[1].rows), true);
    Skyline sky{};
    sky.sym = 1;
    sky_alc(ts.fms, 6, s.ija.data(), &sky, ts->logFile);
    const int lal[] = {0, 0, 0, 2, 1, 3, 5};
    for (int i = 1; i <= 6; i++) EXPECT_EQ(sky.lal[i], lal[i]) << i;
    EXPECT_EQ(sky.nal, 11);
    fill_sky_s(s.sa.data(), s.ija.data(), &sky);
    // Row 6 spans columns 1..5: -3 at column 1, zeros in the gap, -1.5 at column 5.
    const double row6[] = {-3, 0, 0, 0, -1.5};
    for (int c = 1; c <= 5; c++) EXPECT_EQ(sky.al[sky.ial[6] + c - 1], row6[c - 1]) << c;
    EXPECT_EQ(ts.log(), " Skyline Matrix:\n"
                        "     Number of rows: 6\n"
                        "     Lower Triangle: 11 elements\n"
                        "     Upper Triangle: 11 elements\n"
                        "     Fill fraction: 0.778\n");
    sky_fre(ts.fms, &sky);
    EXPECT_EQ(net(ts.fms), 0u);
}

TEST(Skyline, UnsymmetricFactorisationOfTheLeadingRows)
{
    TestState ts;
    // Six rows stored in full; the skyline takes the first five and leaves column 6 out.
    Dense a = dense({{5, 0, 0, 1, 0, 4},
                     {2, 6, 0, 0, 0, 9},
                     {0, 0, 7, 0, -1, 0},
                     {0, 1, 0, 8, 0, 0},
                     {-2, 0, 1, 0, 9, 3},
                     {1, 0, 0, 0, 2, 5}});
    RowIndexed s(a, false);
    Skyline sky{};
    sky.sym = 0;
    sky_alc(ts.fms, 5, s.ija.data(), &sky, nullptr);
    EXPECT_EQ(sky.lau[4], 3);
    EXPECT_EQ(sky.lau[5], 2);
    EXPECT_EQ(sky.lal[5], 4);
    fill_sky_n(&sky, 6, s.ija.data(), s.sa.data());
    luf_sky_n(ts.fms, &sky);
    std::vector<double> x = rhs(5);
    Dense lead(6, std::vector<double>(6, 0.0));
    for (int i = 1; i <= 5; i++)
        for (int j = 1; j <= 5; j++) lead[i][j] = a[i][j];
    std::vector<double> want = referenceSolve(lead, x);
    lus_sky_n(ts.fms, &sky, x.data());
    for (int i = 1; i <= 5; i++) EXPECT_NEAR(x[i], want[i], 1e-12) << i;
    EXPECT_EQ(ts->nLufSkyN, 1);
    EXPECT_EQ(ts->nLusSkyN, 1);
    sky_fre(ts.fms, &sky);
    EXPECT_EQ(net(ts.fms), 0u);
}

TEST(Skyline, DumpListsStoredValues)
{
    TestState ts;
    ts.openLog();
    RowIndexed s(dense({{2, 0, 1}, {0, 3, 0}, {4, 0, 5}}), false);
    Skyline sky{};
    sky_alc(ts.fms, 3, s.ija.data(), &sky, nullptr);
    fill_sky_n(&sky, 3, s.ija.data(), s.sa.data());
    sky_dump(ts->logFile, &sky, "A");
    EXPECT_EQ(ts.log(), "Skyline matrix (nn=3):\n"
                        "row:  A\n"
                        "  1:  [ 2.0000000e+00] (3  1.0000000e+00)\n"
                        "  2:  [ 3.0000000e+00]\n"
                        "  3:  (1  4.0000000e+00) [ 5.0000000e+00]\n");
    sky_fre(ts.fms, &sky);
}

TEST(Skyline, SmallPivotIsAnErrorAndZeroPivotIsFatal)
{
    {
        TestState ts;
        ts.openLog();
        RowIndexed s(dense({{1e-20, 0}, {0, 2}}), true);
        Skyline sky{};
        sky.sym = 1;
        sky_alc(ts.fms, 2, s.ija.data(), &sky, nullptr);
        fill_sky_s(s.sa.data(), s.ija.data(), &sky);
        luf_sky_s(ts.fms, &sky);
        EXPECT_EQ(ts->errorCount, 1);
        EXPECT_NE(ts.log().find("ERROR"), std::string::npos);
        EXPECT_NE(ts.log().find(" Near zero on the diagonal, eqn 1  1e-20\n"), std::string::npos) << ts.log();
        sky_fre(ts.fms, &sky);
    }
    for (int sym = 0; sym <= 1; sym++) {
        ChildResult r = runChild([sym] {
            TestState ts;
            RowIndexed s(dense({{1, 1}, {1, 1}}), sym);
            Skyline sky{};
            sky.sym = sym;
            sky_alc(ts.fms, 2, s.ija.data(), &sky, nullptr);
            if (sym) {
                fill_sky_s(s.sa.data(), s.ija.data(), &sky);
                luf_sky_s(ts.fms, &sky);
            } else {
                fill_sky_n(&sky, 2, s.ija.data(), s.sa.data());
                luf_sky_n(ts.fms, &sky);
            }
        });
        EXPECT_EQ(r.status, 2) << sym;
        EXPECT_NE(r.err.find("FATAL Zero on the diagonal, eqn 2\n"), std::string::npos) << r.err;
    }
}

// A network-shaped matrix: a hub (a corridor) joined to every room, rooms in a ring, each
// room leaking to the outside; values from the seed so that refactorising sees new numbers.
Dense hubAndRing(int n, double seed)
{
    Dense a(n + 1, std::vector<double>(n + 1, 0.0));
    auto join = [&](int i, int j, double c) {
        a[i][j] -= c;
        a[j][i] -= c;
        a[i][i] += c;
        a[j][j] += c;
    };
    for (int i = 2; i <= n; i++) {
        join(1, i, 1.0 + std::fabs(std::sin(seed * i)));
        join(i, i == n ? 2 : i + 1, 0.5 + std::fabs(std::cos(seed + i)));
        a[i][i] += 0.01 * i;
    }
    a[1][1] += 0.1;
    return a;
}

TEST(SparseLdl, RefactorisationsMatchTheSkylineAndTheReference)
{
    TestState ts;
    const int n = 40;
    RowIndexed s(hubAndRing(n, 1.0), true);
    SparseLdl* ldl = ldl_analyse(ts.fms, n, s.ija.data());
    // The hub numbered first fills the whole skyline; eliminated late it fills little.
    EXPECT_LT(ldl->opsLdl, 0.1 * sky_ops(n, s.ija.data()));
    for (double seed : {1.0, 2.5, 7.0}) {
        SCOPED_TRACE(seed);
        Dense a = hubAndRing(n, seed);
        RowIndexed v(a, true);
        ASSERT_EQ(v.ija, s.ija);
        std::vector<double> want = referenceSolve(a, rhs(n));
        std::vector<double> x = rhs(n);
        ldl_factor(ts.fms, ldl, v.sa.data());
        ldl_solve(ts.fms, ldl, x.data());
        for (int i = 1; i <= n; i++) EXPECT_NEAR(x[i], want[i], 1e-10 * (1 + std::fabs(want[i]))) << i;
    }
    // Counted as factorisations and solves of the Jacobian by the skyline method.
    EXPECT_EQ(ts->nLufSkyS, 3);
    EXPECT_EQ(ts->nLusSkyS, 3);
    ldl_fre(ts.fms, ldl);
    EXPECT_EQ(net(ts.fms), 0u);
}

TEST(SparseLdl, OperationCountsByHand)
{
    // Arrow pointing at the first row: the skyline fills rows 2..4 to column 1,
    // each entry (i, j) reduced by j - 1 products: 0 + (0 + 1) + (0 + 1 + 2), plus 1 + 2 + 3
    // scalings; the minimum-degree order takes the leaves first: one entry per leaf
    // column, 1 multiply-add each.
    Dense a = dense({{8, -1, -1, -1}, {-1, 3, 0, 0}, {-1, 0, 3, 0}, {-1, 0, 0, 3}});
    RowIndexed s(a, true);
    EXPECT_EQ(sky_ops(4, s.ija.data()), 4.0 + 6.0);
    TestState ts;
    SparseLdl* ldl = ldl_analyse(ts.fms, 4, s.ija.data());
    EXPECT_EQ(ldl->opsLdl, 3.0);
    EXPECT_EQ(ldl->nzL, 3);
    ldl_fre(ts.fms, ldl);
}

TEST(SparseLdl, SmallPivotIsAnErrorAndZeroPivotIsFatal)
{
    {
        TestState ts;
        ts.openLog();
        RowIndexed s(dense({{1e-20, 0}, {0, 2}}), true);
        SparseLdl* ldl = ldl_analyse(ts.fms, 2, s.ija.data());
        ldl_factor(ts.fms, ldl, s.sa.data());
        EXPECT_EQ(ts->errorCount, 1);
        EXPECT_NE(ts.log().find(" Near zero on the diagonal, eqn 1  1e-20\n"), std::string::npos) << ts.log();
        ldl_fre(ts.fms, ldl);
    }
    ChildResult r = runChild([] {
        TestState ts;
        RowIndexed s(dense({{1, 1, 0}, {1, 1, 0}, {0, 0, 1}}), true);
        SparseLdl* ldl = ldl_analyse(ts.fms, 3, s.ija.data());
        ldl_factor(ts.fms, ldl, s.sa.data());
    });
    EXPECT_EQ(r.status, 2);
    // The pivot is named by its equation, whatever the elimination order.
    EXPECT_NE(r.err.find("FATAL Zero on the diagonal, eqn "), std::string::npos) << r.err;
}

TEST(Pcg, WarmStartThatSolvesTheSystemIsKept)
{
    TestState ts;
    HandMat hm(ts.fms, dense(spdCases[1].rows), 1);
    int first = solve_slae(ts.fms, &hm.mat);
    ASSERT_GT(first, 1);  // the dropped fill makes the preconditioner inexact
    // An exact start: the right-hand side of the known solution.
    std::vector<double> xs = {0, 1, -2, 3, 0.5, 4, -1, 0};
    sa_mlt_xasb(hm.mat.sa, hm.mat.ija, xs.data(), hm.b.data(), 6);
    for (int i = 1; i <= 6; i++) hm.x[i] = xs[i];
    int itBefore = ts->nSaPcgIt;
    EXPECT_EQ(sa_pcg(ts.fms, &hm.mat), 0);
    for (int i = 1; i <= 6; i++) EXPECT_EQ(hm.x[i], xs[i]) << i;
    EXPECT_EQ(ts->nSaPcgIt, itBefore);
    // A new right-hand side is solved from that start.
    hm.b[2] += 1.0;
    EXPECT_GT(sa_pcg(ts.fms, &hm.mat), 0);
    std::vector<double> want = referenceSolve(dense(spdCases[1].rows), hm.b);
    for (int i = 1; i <= 6; i++) EXPECT_NEAR(hm.x[i], want[i], 1e-9) << i;
}

TEST(Pcg, IterationLimitIsReported)
{
    TestState ts;
    ts.openLog();
    HandMat hm(ts.fms, dense(spdCases[1].rows), 1, 1e-30f);
    hm.mat.pcgItmax = 1;
    EXPECT_EQ(solve_slae(ts.fms, &hm.mat), 2);
    EXPECT_EQ(ts->errorCount, 1);
    EXPECT_NE(ts.log().find(" PCG did not converge in 1 iterations\n"), std::string::npos) << ts.log();
}

TEST(Pcg, IndefiniteMatrixStopsTheFactorisation)
{
    ChildResult r = runChild([] {
        TestState ts;
        HandMat hm(ts.fms, dense({{1, 2}, {2, 1}}), 1);
        solve_slae(ts.fms, &hm.mat);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FATAL Matrix factorization failed\n"), std::string::npos) << r.err;
}

TEST(Pcg, SplitCrossReferencesPointAtTheTransposedEntries)
{
    TestState ts;
    HandMat hm(ts.fms, dense(spdCases[1].rows), 1);
    const PcgData* p = hm.mat.pcg;
    ASSERT_EQ(p->nu, 6);
    for (int i = 1; i <= 6; i++)
        for (int k = p->iu[i]; k < p->iu[i + 1]; k++) {
            int j = p->ju[k];
            EXPECT_GT(j, i);
            EXPECT_EQ(hm.mat.ija[p->atou[k]], i);  // lower-triangle entry (j, i)
            EXPECT_GE(p->atou[k], hm.mat.ija[j]);
            EXPECT_LT(p->atou[k], hm.mat.ija[j + 1]);
            EXPECT_EQ(p->jl[p->utol[k]], i);
            EXPECT_GE(p->utol[k], p->il[j]);
            EXPECT_LT(p->utol[k], p->il[j + 1]);
        }
}

// --- dense ---------------------------------------------------------------------------

struct DenseMat {
    FlowmirState* fms;
    int n;
    double** a;
    DenseMat(FlowmirState* f, const Dense& d) : fms(f), n((int)d.size() - 1)
    {
        a = static_cast<double**>(alc_mc(fms, 1, n, 1, n + 1, sizeof(double), "test-aa"));
        for (int i = 1; i <= n; i++)
            for (int j = 1; j <= n; j++) a[i][j] = d[i][j];
    }
    ~DenseMat() { fre_mc(fms, a, 1, n, 1, n + 1, sizeof(double)); }
};

TEST(Dense, LuWithoutPivotingMatchesTheReference)
{
    TestState ts;
    Dense d = dense({{4, 1, 2, 0}, {3, 5, 1, 1}, {2, -1, 6, 2}, {0, 1, 1, 3}});
    DenseMat m(ts.fms, d);
    std::vector<double> x = rhs(4), want = referenceSolve(d, x);
    EXPECT_EQ(luf_ge(ts.fms, m.a, 4), 0);
    EXPECT_DOUBLE_EQ(m.a[1][1], 0.25);  // inverse pivot
    lus_ge(ts.fms, m.a, x.data(), 4);
    for (int i = 1; i <= 4; i++) EXPECT_NEAR(x[i], want[i], 1e-12) << i;
    EXPECT_EQ(ts->errorCount, 0);
}

TEST(Dense, SmallPivotIsAnErrorAndZeroPivotIsFatal)
{
    TestState ts;
    ts.openLog();
    DenseMat m(ts.fms, dense({{1e-20, 1}, {1, 1}}));
    luf_ge(ts.fms, m.a, 2);
    EXPECT_EQ(ts->errorCount, 1);
    EXPECT_NE(ts.log().find(" Near zero on the diagonal, row 1\n"), std::string::npos) << ts.log();

    ChildResult r = runChild([] {
        TestState t;
        DenseMat z(t.fms, dense({{1, 1}, {1, 1}}));
        luf_ge(t.fms, z.a, 2);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FATAL Zero on the diagonal, row 2\n"), std::string::npos) << r.err;
}

TEST(Dense, DumpListsTheMatrix)
{
    TestState ts;
    ts.openLog();
    DenseMat m(ts.fms, dense({{1, -2}, {0.5, 4}}));
    ge_dump(ts->logFile, m.a, 2, "aa");
    EXPECT_EQ(ts.log(), "Full matrix 'aa' (neqn=2):\n"
                        "row: A  1             2\n"
                        "  1:  1.000000e+00 -2.000000e+00\n"
                        "  2:  5.000000e-01  4.000000e+00\n");
}

TEST(HostHelpers, PivotingEliminationAndPolynomials)
{
    TestState ts;
    {
        // The first pivot is zero: row pivoting is needed.
        DenseMat m(ts.fms, dense({{0, 1}, {1, 1}}));
        m.a[1][3] = 2;
        m.a[2][3] = 3;
        EXPECT_EQ(gaussp(ts.fms, m.a, 2), 0);
        EXPECT_DOUBLE_EQ(m.a[1][3], 1.0);
        EXPECT_DOUBLE_EQ(m.a[2][3], 2.0);
    }
    {
        ts.openLog();
        DenseMat m(ts.fms, dense({{1, 2}, {2, 4}}));
        EXPECT_EQ(gaussp(ts.fms, m.a, 2), 1);
        EXPECT_NE(ts.log().find(" Zero pivot element, row 2\n"), std::string::npos);
    }
    double x[] = {0, 0, 1, 2, 3, 4}, y[6], c[3];
    for (int i = 1; i <= 5; i++) y[i] = 1 + 2 * x[i] + 3 * x[i] * x[i];
    EXPECT_EQ(poly_fit(ts.fms, c, x, y, 5, 2), 0);
    EXPECT_NEAR(c[0], 1, 1e-9);
    EXPECT_NEAR(c[1], 2, 1e-9);
    EXPECT_NEAR(c[2], 3, 1e-9);
    EXPECT_EQ(poly_fit(ts.fms, c, x, y, 2, 2), 1);
    const double sq[] = {-2, 0, 1};
    EXPECT_NEAR(poly_zero(ts.fms, sq, 2, 1.0, 1e-12, 1e-12), sqrt(2.0), 1e-12);
    EXPECT_EQ(net(ts.fms), 0u);
}

TEST(HostHelpers, RoundingAndComparison)
{
    EXPECT_EQ(round_to_digits(0.0, 3), 0.0);
    EXPECT_DOUBLE_EQ(round_to_digits(123.456, 2), 120.0);
    EXPECT_DOUBLE_EQ(round_to_digits(-0.0012345, 3), -0.00123);
    EXPECT_DOUBLE_EQ(round_to_digits(99.96, 3), 100.0);
    EXPECT_EQ(value_cmp(1.0, 1.0 + 1e-7), 0);
    EXPECT_EQ(value_cmp(1.0, 1.001), 1);
    EXPECT_EQ(value_cmp(0.0, 0.0), 0);
    int a = 1, b = 2;
    void *p = &a, *q = &b;
    ptr_xchg(&p, &q);
    EXPECT_EQ(p, &b);
    EXPECT_EQ(q, &a);
}

}  // namespace
