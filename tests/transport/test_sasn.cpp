// The mass-fraction solvers: every method against a pivoting dense solve, on a small
// unsymmetric system with given columns and on a transport-like M-matrix of a few hundred
// equations; the choice between skyline and sparse LU and its log line; the mended faults of
// the iterative methods; the pivot reports; memory balance and allocation-free steps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/heap.h"
#include "testutil.h"
#include "transport/sasn.h"

#include "alloc_count.h"

namespace
{

using Dense = std::vector<std::vector<double>>;  // [1..neq][1..neq]

uint64_t net(FlowmirState* fms)
{
    return fms->bytesAllocated - fms->bytesFreed;
}

// The reports of the current test, severity word first.
std::string reports;
int captureReports(FlowmirState*, const char* word, const char* msg, int*)
{
    reports += std::string(word) + msg;
    return 0;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A state on day 1 at noon whose reports are captured and whose log is open.
struct Bench {
    TestState ts;
    Bench()
    {
        reports.clear();
        ts.openLog();
        ts->errorFcn = captureReports;
        ts->dayofy = 1;
        ts->stepEndTime = 43200;
    }
    FlowmirState* fms() { return ts.fms; }
};

Dense dense(const std::vector<std::vector<double>>& rows)
{
    int n = (int)rows.size();
    Dense a(n + 1, std::vector<double>(n + 1, 0.0));
    for (int i = 1; i <= n; i++)
        for (int j = 1; j <= n; j++) a[i][j] = rows[i - 1][j - 1];
    return a;
}

// Row-indexed storage of every nonzero of a dense matrix, the diagonal always stored.
struct System {
    int neq, nvar;
    std::vector<int> ija;
    std::vector<double> A;
    System(const Dense& a, int nv) : neq((int)a.size() - 1), nvar(nv)
    {
        ija.assign(neq + 2, 0);
        A.assign(neq + 2, 0.0);
        ija[1] = neq + 2;
        for (int i = 1; i <= neq; i++) {
            A[i] = a[i][i];
            for (int j = 1; j <= neq; j++)
                if (j != i && a[i][j] != 0.0) {
                    ija.push_back(j);
                    A.push_back(a[i][j]);
                }
            ija[i + 1] = (int)ija.size();
        }
    }
    // New values on the same pattern.
    void setValues(const Dense& a)
    {
        for (int i = 1; i <= neq; i++) {
            A[i] = a[i][i];
            for (int k = ija[i]; k < ija[i + 1]; k++) A[k] = a[i][ija[k]];
        }
    }
};

// Reference: the solved block by Gaussian elimination with partial pivoting, the given
// columns moved to the right-hand side.
std::vector<double> reference(const Dense& full, int nvar, const std::vector<double>& b, const std::vector<double>& x)
{
    int neq = (int)full.size() - 1;
    Dense a(nvar + 1, std::vector<double>(nvar + 1, 0.0));
    std::vector<double> r(nvar + 1, 0.0);
    for (int i = 1; i <= nvar; i++) {
        r[i] = b[i];
        for (int j = 1; j <= nvar; j++) a[i][j] = full[i][j];
        for (int k = nvar + 1; k <= neq; k++) r[i] -= full[i][k] * x[k];
    }
    for (int k = 1; k <= nvar; k++) {
        int p = k;
        for (int i = k + 1; i <= nvar; i++)
            if (fabs(a[i][k]) > fabs(a[p][k])) p = i;
        std::swap(a[p], a[k]);
        std::swap(r[p], r[k]);
        for (int i = k + 1; i <= nvar; i++) {
            double l = a[i][k] / a[k][k];
            for (int j = k; j <= nvar; j++) a[i][j] -= l * a[k][j];
            r[i] -= l * r[k];
        }
    }
    for (int i = nvar; i >= 1; i--) {
        for (int j = i + 1; j <= nvar; j++) r[i] -= a[i][j] * r[j];
        r[i] /= a[i][i];
    }
    return r;
}

double maxError(const std::vector<double>& x, const std::vector<double>& want, int nvar)
{
    double err = 0.0, scale = 0.0;
    for (int i = 1; i <= nvar; i++) {
        err = std::max(err, fabs(x[i] - want[i]));
        scale = std::max(scale, fabs(want[i]));
    }
    return err / scale;
}

// Five unknowns and two given values: a diagonally dominant M-matrix, so every method
// converges and the solution is positive. Rows 6 and 7 carry values the solvers must ignore.
Dense smallMatrix()
{
    return dense({{6, -1, 0, -2, 0, -1, 0},
                  {-2, 7, -1, 0, 0, 0, -3},
                  {0, -3, 8, -1, -2, 0, 0},
                  {-1, 0, -2, 5, 0, -1, 0},
                  {0, -1, 0, -3, 9, -2, -1},
                  {-4, 0, 0, 0, 0, 1, 0},
                  {0, 0, 0, 0, 7, 0, 1}});
}
const std::vector<double> smallB = {0, 1, 2, 0.5, 3, 1.5, 99, 99};
const std::vector<double> smallX = {0, 0, 0, 0, 0, 0, 0.7, 0.2};  // x[6], x[7] given

// A transport-like system: random links carry flows between nodes (given nodes feed their
// neighbours through the given columns), storage on the diagonal; each column of the solved
// block is strictly diagonally dominant, as a mass balance is.
Dense transportMatrix(int nvar, int ngiven, unsigned seed, double flowScale)
{
    int neq = nvar + ngiven;
    Dense a(neq + 1, std::vector<double>(neq + 1, 0.0));
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> flow(0.1, 2.0), mass(0.5, 5.0);
    std::uniform_int_distribution<int> node(1, neq);
    for (int n = 1; n <= neq; n++)
        for (int l = 0; l < 3; l++) {
            int m = node(gen);
            double f = flow(gen) * flowScale;
            if (m == n) continue;
            if (n <= nvar) a[n][n] += f;
            if (m <= nvar) a[m][n] -= f;
        }
    for (int i = 1; i <= nvar; i++) a[i][i] += mass(gen);
    for (int i = nvar + 1; i <= neq; i++) a[i][i] = 1.0;
    return a;
}

std::vector<double> positiveValues(int n, unsigned seed, double top)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> v(0.0, top);
    std::vector<double> x(n + 1, 0.0);
    for (int i = 1; i <= n; i++) x[i] = v(gen);
    return x;
}

struct Method {
    const char* name;
    int method;
    int factorChoice;
    float tol;
    float relax;
    int maxIter;
    double accuracy;  // relative to the largest value
};

const Method methods[] = {
    {"skyline LU", 0, 1, 0, 1, 0, 1e-13},
    {"sparse LU", 0, 2, 0, 1, 0, 1e-13},
    {"cheaper LU", 0, 0, 0, 1, 0, 1e-13},
    {"BiCG", 1, 0, 1e-10f, 1, 0, 1e-8},
    {"Gauss-Seidel", 2, 0, 1e-12f, 1.0f, 2000, 1e-9},
    {"SOR 1.2", 2, 0, 1e-12f, 1.2f, 2000, 1e-9},
    {"dense LU", 3, 0, 0, 1, 0, 1e-13},
};

struct Counters {
    int lufSky, lusSky, bcg, bcgIt, sor, sorIt, lufGe, lusGe;
    explicit Counters(FlowmirState* f)
        : lufSky(f->nLufSkyN), lusSky(f->nLusSkyN), bcg(f->nSaBcg), bcgIt(f->nSaBcgIt), sor(f->nSaSor),
          sorIt(f->nSaSorIt), lufGe(f->nLufGe), lusGe(f->nLusGe)
    {
    }
};

// Configures, prepares, solves and releases; returns x.
std::vector<double> solveOnce(FlowmirState* fms, const System& sys, const Method& m, const std::vector<double>& b,
                              std::vector<double> x, int* rc = nullptr, float floor = 0.0f)
{
    fms->afFactorChoice = m.factorChoice;
    SparseSolver s;
    sasn_newInit(&s);
    sasn_configure(fms, &s, sys.neq, sys.nvar, sys.ija.data(), m.method, m.maxIter, m.tol, floor, m.relax);
    sasn_prepMat(fms, &s, sys.A.data());
    int r = sasn_solve(fms, &s, b.data(), x.data());
    if (rc) *rc = r;
    sasn_free(fms, &s);
    EXPECT_EQ(s.method, 4);
    return x;
}

}  // namespace

TEST(SasnSolve, EveryMethodMatchesADenseSolveWithGivenColumns)
{
    Dense a = smallMatrix();
    System sys(a, 5);
    std::vector<double> want = reference(a, 5, smallB, smallX);
    for (int i = 1; i <= 5; i++) ASSERT_GT(want[i], 0.0);
    for (const Method& m : methods) {
        SCOPED_TRACE(m.name);
        Bench bench;
        FlowmirState* fms = bench.fms();
        std::vector<double> b = smallB;
        Counters before(fms);
        int rc = -1;
        std::vector<double> x = solveOnce(fms, sys, m, b, smallX, &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_LE(maxError(x, want, 5), m.accuracy);
        EXPECT_EQ(x[6], 0.7);
        EXPECT_EQ(x[7], 0.2);
        EXPECT_EQ(b, smallB);
        Counters after(fms);
        int direct = m.method == 0 || m.method == 3;
        EXPECT_EQ(after.lufSky - before.lufSky, m.method == 0);
        EXPECT_EQ(after.lusSky - before.lusSky, m.method == 0);
        EXPECT_EQ(after.lufGe - before.lufGe, m.method == 3);
        EXPECT_EQ(after.lusGe - before.lusGe, m.method == 3);
        EXPECT_EQ(after.bcg - before.bcg, m.method == 1);
        EXPECT_EQ(after.sor - before.sor, m.method == 2);
        EXPECT_EQ(after.bcgIt > before.bcgIt, m.method == 1);
        EXPECT_EQ(after.sorIt > before.sorIt, m.method == 2);
        if (direct) {
            EXPECT_EQ(after.bcgIt + after.sorIt, before.bcgIt + before.sorIt);
        }
        EXPECT_EQ(net(fms), 0u);
        EXPECT_EQ(reports, "");
    }
}

TEST(SasnSolve, TransportMatrixOfManyEquations)
{
    const int nvar = 300, ngiven = 20;
    Dense a = transportMatrix(nvar, ngiven, 7u, 1.0);
    System sys(a, nvar);
    std::vector<double> x0 = positiveValues(nvar + ngiven, 11u, 1e-3);
    std::vector<double> b(nvar + ngiven + 1, 0.0);
    for (int i = 1; i <= nvar; i++) b[i] = a[i][i] * x0[i] * 0.5;
    std::vector<double> start(x0);
    for (int i = 1; i <= nvar; i++) start[i] = 0.0;
    std::vector<double> want = reference(a, nvar, b, start);
    for (int i = 1; i <= nvar; i++) ASSERT_GE(want[i], 0.0);
    for (const Method& m : methods) {
        SCOPED_TRACE(m.name);
        Bench bench;
        int rc = -1;
        std::vector<double> x = solveOnce(bench.fms(), sys, m, b, start, &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_LE(maxError(x, want, nvar), m.accuracy * 10);
        for (int i = nvar + 1; i <= nvar + ngiven; i++) EXPECT_EQ(x[i], x0[i]);
        EXPECT_EQ(net(bench.fms()), 0u);
        EXPECT_EQ(reports, "");
    }
}

TEST(SasnConfigure, TransportPatternFactorsCheaperBySparseLu)
{
    // A random network numbered without regard to its profile: the skyline fills most of it.
    Dense a = transportMatrix(300, 20, 7u, 1.0);
    System sys(a, 300);
    Bench bench;
    SparseSolver s;
    sasn_newInit(&s);
    sasn_configure(bench.fms(), &s, 320, 300, sys.ija.data(), 0, 0, 0, 0, 1);
    EXPECT_NE(s.klu, nullptr);
    EXPECT_LT(s.kluOps * 4, s.skyOps);
    EXPECT_TRUE(contains(bench.ts.log(), "  factorization by sparse LU (KLU) (fewer operations): skyline "));
    sasn_free(bench.fms(), &s);
}

TEST(SasnSolve, DenseLuPivotsPastAZeroLeadingDiagonal)
{
    // No elimination without row exchanges gets past the first pivot.
    Dense a = dense({{0, 2, 1, 1}, {1, 1, 0, 0}, {3, 0, 1, 2}, {0, 0, 0, 1}});
    System sys(a, 3);
    std::vector<double> b = {0, 3, 2, 4, 0}, x = {0, 0, 0, 0, 0.5};
    std::vector<double> want = reference(a, 3, b, x);
    Bench bench;
    std::vector<double> got = solveOnce(bench.fms(), sys, methods[6], b, x);
    EXPECT_LE(maxError(got, want, 3), 1e-14);
    EXPECT_EQ(reports, "");
}

TEST(SasnSolve, RefactorisationFollowsNewValues)
{
    // The sparse LU refactors with the pivots of its trial matrix; the skyline and dense
    // factorisations start afresh. Each must solve every new matrix of the same pattern.
    const int nvar = 120, ngiven = 6;
    Dense a0 = transportMatrix(nvar, ngiven, 3u, 1.0);
    System sys(a0, nvar);
    std::vector<double> x = positiveValues(nvar + ngiven, 5u, 1.0);
    std::vector<double> b = positiveValues(nvar + ngiven, 9u, 1.0);
    for (const Method& m : {methods[0], methods[1], methods[6]}) {
        SCOPED_TRACE(m.name);
        Bench bench;
        FlowmirState* fms = bench.fms();
        fms->afFactorChoice = m.factorChoice;
        SparseSolver s;
        sasn_newInit(&s);
        sasn_configure(fms, &s, sys.neq, nvar, sys.ija.data(), m.method, 0, 0, 0, 1);
        for (double scale : {1.0, 40.0, 0.01}) {
            // Values of the same pattern with flows scaled.
            Dense a = transportMatrix(nvar, ngiven, 3u, scale);
            sys.setValues(a);
            sasn_prepMat(fms, &s, sys.A.data());
            std::vector<double> got = x;
            sasn_solve(fms, &s, b.data(), got.data());
            EXPECT_LE(maxError(got, reference(a, nvar, b, x), nvar), 1e-12) << scale;
        }
        sasn_free(fms, &s);
        EXPECT_EQ(net(fms), 0u);
    }
}

// --- factorisation choice ------------------------------------------------------------------

namespace
{

// n unknowns and two given ones, coupled to the last unknown only; tridiagonal or an arrow
// whose hub is equation 1 (the skyline fills it completely, a minimum-degree order not at all).
Dense patternMatrix(int n, bool arrow)
{
    Dense a(n + 3, std::vector<double>(n + 3, 0.0));
    for (int i = 1; i <= n; i++) a[i][i] = 10.0;
    for (int i = 2; i <= n; i++) {
        int j = arrow ? 1 : i - 1;
        a[i][j] = -1.0;
        a[j][i] = -2.0;
    }
    a[n][n + 1] = a[n][n + 2] = -1.0;
    a[n + 1][n + 1] = a[n + 2][n + 2] = 1.0;
    return a;
}

}  // namespace

TEST(SasnConfigure, FactorisationChoiceAndItsLogLine)
{
    struct Case {
        bool arrow;
        int choice;
        bool klu;
        const char* line;
    } cases[] = {
        // Equal counts keep the skyline: the sparse LU must need fewer.
        {false, 0, false, "  factorization by skyline (fewer operations): skyline 8, sparse LU 8 multiply-adds\n"},
        {false, 2, true, "  factorization by sparse LU (KLU) (requested): skyline 8, sparse LU 8 multiply-adds\n"},
        {true, 0, true,
         "  factorization by sparse LU (KLU) (fewer operations): skyline 70, sparse LU 10 multiply-adds\n"},
        {true, 1, false, "  factorization by skyline (requested): skyline 70, sparse LU 10 multiply-adds\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Bench bench;
        FlowmirState* fms = bench.fms();
        int n = c.arrow ? 6 : 5;
        Dense a = patternMatrix(n, c.arrow);
        System sys(a, n);
        fms->afFactorChoice = c.choice;
        SparseSolver s;
        sasn_newInit(&s);
        sasn_configure(fms, &s, n + 2, n, sys.ija.data(), 0, 0, 0, 0, 1);
        EXPECT_EQ(s.klu != nullptr, c.klu);
        EXPECT_EQ(s.sky.ad != nullptr, !c.klu) << "only the chosen factorisation keeps storage";
        std::string log = bench.ts.log();
        EXPECT_TRUE(contains(log, c.line)) << log;
        EXPECT_EQ(log.find("factorization by"), log.rfind("factorization by")) << log;
        // The skyline's storage summary is written whichever factorises.
        int profile = c.arrow ? 15 : 4;
        EXPECT_TRUE(contains(log, " Skyline Matrix:\n     Number of rows: " + std::to_string(n) +
                                      "\n     Lower Triangle: " + std::to_string(profile) +
                                      " elements\n     Upper Triangle: " + std::to_string(profile) + " elements\n"))
            << log;
        std::vector<double> b(n + 3, 1.0), x(n + 3, 0.25);
        std::vector<double> want = reference(a, n, b, x);
        sasn_prepMat(fms, &s, sys.A.data());
        sasn_solve(fms, &s, b.data(), x.data());
        EXPECT_LE(maxError(x, want, n), 1e-14);
        sasn_free(fms, &s);
        EXPECT_EQ(net(fms), 0u);
    }
}

// --- mended faults -------------------------------------------------------------------------

TEST(SasnIterative, SorThatRunsOutOfSweepsWarnsAndReturnsOne)
{
    Bench bench;
    FlowmirState* fms = bench.fms();
    System sys(smallMatrix(), 5);
    Method m = methods[4];
    m.maxIter = 1;
    int rc = 0;
    std::vector<double> x = solveOnce(fms, sys, m, smallB, smallX, &rc);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(reports, "WARNING SOR did not converge in 1 iterations at Jan01 12:00:00\n");
    EXPECT_EQ(fms->nSaSorIt, 1);
    // One Gauss-Seidel sweep from zero: x1 = (b1 - A16 x6) / A11.
    EXPECT_DOUBLE_EQ(x[1], (1.0 + 0.7) / 6.0);
}

TEST(SasnIterative, BicgThatFailsEveryAttemptWarnsAndKeepsTheLastIterate)
{
    // The exact solution is (-1, 1): every attempt converges, the negative value is cleared
    // and the attempt fails.
    Bench bench;
    FlowmirState* fms = bench.fms();
    System sys(dense({{1, 2}, {0, 1}}), 2);
    std::vector<double> b = {0, 1, 1};
    int rc = 0;
    std::vector<double> x = solveOnce(fms, sys, methods[3], b, {0, 0, 0}, &rc);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(reports, "WARNING BiCG did not converge in 12 attempts at Jan01 12:00:00\n");
    EXPECT_EQ(x[1], 0.0);
    EXPECT_NEAR(x[2], 1.0, 1e-12);
    EXPECT_EQ(fms->nSaBcg, 1);
    EXPECT_GE(fms->nSaBcgIt, 12);
}

TEST(SasnIterative, BicgWithAZeroRightHandSideReturnsZerosWithoutIterating)
{
    // Either b is zero with zero given values, or b balances the given columns exactly.
    struct Case {
        const char* name;
        std::vector<double> b, x;
    } cases[] = {
        {"zero", {0, 0, 0, 0, 0, 0, 99, 99}, {0, 5, 5, 5, 5, 5, 0, 0}},
        {"balanced", {0, -0.5, -0.75, 0, -0.5, -1.25, 99, 99}, {0, 5, 5, 5, 5, 5, 0.5, 0.25}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        FlowmirState* fms = bench.fms();
        System sys(smallMatrix(), 5);
        int rc = -1;
        std::vector<double> x = solveOnce(fms, sys, methods[3], c.b, c.x, &rc);
        EXPECT_EQ(rc, 0);
        for (int i = 1; i <= 5; i++) EXPECT_EQ(x[i], 0.0) << i;
        EXPECT_EQ(x[6], c.x[6]);
        EXPECT_EQ(fms->nSaBcg, 1);
        EXPECT_EQ(fms->nSaBcgIt, 0);
    }
}

// --- pivots and diagonals ------------------------------------------------------------------

namespace
{

// The small system with row and column 3 cleared but for the diagonal d.
Dense isolatedThird(double d)
{
    Dense a = smallMatrix();
    for (int j = 1; j <= 7; j++) a[3][j] = a[j][3] = 0.0;
    a[3][3] = d;
    return a;
}

}  // namespace

TEST(SasnPivots, ZeroDiagonalIsFatalForEveryMethod)
{
    for (const Method& m : methods) {
        SCOPED_TRACE(m.name);
        ChildResult r = runChild([&m] {
            TestState ts;
            ts->dayofy = 1;
            System sys(isolatedThird(0.0), 5);
            solveOnce(ts.fms, sys, m, smallB, smallX);
        });
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(contains(r.err, "FATAL Zero on the diagonal, eqn 3\n")) << r.err;
    }
}

TEST(SasnPivots, ZeroPivotOfTheFixedOrderIsFatal)
{
    // Nonsingular, but its second pivot vanishes without row exchanges: the skyline and the
    // refactorisation keep their pivots on the diagonal, the dense LU exchanges rows.
    Dense a = dense({{1, 1, 0}, {1, 1, -1}, {0, -1, 3}});
    for (const Method& m : {methods[0], methods[1]}) {
        SCOPED_TRACE(m.name);
        ChildResult r = runChild([&] {
            TestState ts;
            System sys(a, 3);
            solveOnce(ts.fms, sys, m, {0, 1, 1, 1}, {0, 0, 0, 0});
        });
        EXPECT_EQ(r.status, 2);
        // The sparse LU names the equation of its own elimination order.
        EXPECT_TRUE(contains(r.err, m.factorChoice == 1 ? "FATAL Zero on the diagonal, eqn 2\n"
                                                        : "FATAL Zero on the diagonal, eqn "))
            << r.err;
    }
    Bench bench;
    System sys(a, 3);
    std::vector<double> b = {0, 1, 1, 1}, x = {0, 0, 0, 0};
    std::vector<double> got = solveOnce(bench.fms(), sys, methods[6], b, x);
    EXPECT_LE(maxError(got, reference(a, 3, b, x), 3), 1e-14);
}

TEST(SasnPivots, NearZeroDiagonalIsAnError)
{
    struct Case {
        const Method& m;
        double d;
        const char* report;
    } cases[] = {
        {methods[0], 1e-20, "ERROR Near zero on the diagonal, eqn 3  1e-20\n"},
        {methods[1], 1e-20, "ERROR Near zero on the diagonal, eqn 3  1e-20\n"},
        {methods[3], 1e-20, "ERROR Near zero on the diagonal, eqn 3\n"},
        {methods[4], 1e-8, "ERROR Near zero on the diagonal, eqn 3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m.name);
        Bench bench;
        FlowmirState* fms = bench.fms();
        Dense a = isolatedThird(c.d);
        System sys(a, 5);
        std::vector<double> b = smallB;
        b[3] = 0.0;  // keeps the isolated value at 0 and the rest solvable
        int rc = -1;
        std::vector<double> x = solveOnce(fms, sys, c.m, b, smallX, &rc);
        EXPECT_EQ(reports, c.report);
        EXPECT_EQ(fms->errorCount, 1);
        EXPECT_EQ(rc, 0);
        EXPECT_LE(maxError(x, reference(a, 5, b, smallX), 5), 1e-9);
    }
}

// --- memory --------------------------------------------------------------------------------

TEST(SasnMemory, PrepareAndSolveAllocateNothing)
{
    const int nvar = 60, ngiven = 4;
    Dense a = transportMatrix(nvar, ngiven, 21u, 1.0);
    System sys(a, nvar);
    std::vector<double> b = positiveValues(nvar + ngiven, 2u, 1.0);
    for (const Method& m : methods) {
        SCOPED_TRACE(m.name);
        Bench bench;
        FlowmirState* fms = bench.fms();
        uint64_t start = net(fms);
        fms->afFactorChoice = m.factorChoice;
        SparseSolver s;
        sasn_newInit(&s);
        sasn_configure(fms, &s, sys.neq, nvar, sys.ija.data(), m.method, m.maxIter, m.tol, 0, m.relax);
        std::vector<double> x(nvar + ngiven + 1, 0.0);
        uint64_t allocated = fms->bytesAllocated, freed = fms->bytesFreed;
#if FLOWMIR_COUNTS_ALLOCATIONS
        allocationCalls = 0;
        countAllocations = true;
#endif
        for (int step = 0; step < 3; step++) {
            sasn_prepMat(fms, &s, sys.A.data());
            sasn_solve(fms, &s, b.data(), x.data());
        }
#if FLOWMIR_COUNTS_ALLOCATIONS
        countAllocations = false;
        EXPECT_EQ(allocationCalls, 0);
#endif
        EXPECT_EQ(fms->bytesAllocated, allocated);
        EXPECT_EQ(fms->bytesFreed, freed);
        EXPECT_GT(net(fms), start);
        sasn_free(fms, &s);
        EXPECT_EQ(net(fms), start);
        sasn_free(fms, &s);  // a released solver is left alone
        EXPECT_EQ(net(fms), start);
        EXPECT_EQ(reports, "");
    }
}

TEST(SasnMemory, ReconfiguringReleasesTheOldWorkspace)
{
    Bench bench;
    FlowmirState* fms = bench.fms();
    System sys(smallMatrix(), 5);
    uint64_t start = net(fms);
    SparseSolver s;
    sasn_newInit(&s);
    for (int method : {0, 1, 2, 3, 0}) {
        fms->afFactorChoice = 2;
        sasn_configure(fms, &s, 7, 5, sys.ija.data(), method, 10, 1e-6f, 0, 1);
        EXPECT_EQ(s.method, method);
    }
    EXPECT_NE(s.klu, nullptr);
    sasn_free(fms, &s);
    EXPECT_EQ(net(fms), start);
}

TEST(SasnMemory, NothingToSolveLeavesTheGivenValues)
{
    // Only given equations: every method configures, prepares and solves nothing.
    Dense a = dense({{1, 0}, {0, 1}});
    System sys(a, 0);
    for (const Method& m : methods) {
        SCOPED_TRACE(m.name);
        Bench bench;
        int rc = -1;
        std::vector<double> x = solveOnce(bench.fms(), sys, m, {0, 3, 4}, {0, 0.5, 0.25}, &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(x, (std::vector<double>{0, 0.5, 0.25}));
        EXPECT_EQ(net(bench.fms()), 0u);
        EXPECT_EQ(reports, "");
    }
}
