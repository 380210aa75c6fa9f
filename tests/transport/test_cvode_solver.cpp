// The pieces of the variable-step integration on their own: the engine's sparse solver inside
// CVODE against CVODE's own dense solver on the same linear system (same steps, same Newton
// iterations: the correction is neither scaled twice nor left unscaled), and the segment ends
// a run's boundary files, day schedules and listing times give.
#include <gtest/gtest.h>

#include <cvode/cvode.h>
#include <nvector/nvector_serial.h>
#include <sunlinsol/sunlinsol_dense.h>
#include <sunmatrix/sunmatrix_dense.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "flowmir/flowmir.h"
#include "support/heap.h"
#include "testutil.h"
#include "transport/cvode_impl.h"
#include "transport/sasn.h"

namespace
{

// Three rooms in a chain with a given fourth value (the outdoors) feeding the first:
// d(y_i)/dt = sum_k K[i,k] x_k + e_i with x = y / M for the rooms and x_4 = y_4 fixed.
const int NEQ = 4, NVAR = 3;
const double M[NEQ + 1] = {0, 2.0, 3.0, 5.0, 1.0};
// Row-indexed pattern: diagonals 1..4, then row 1 column 4, row 2 column 1, row 3 column 2.
const int IJA[] = {0, 6, 7, 8, 9, 9, 4, 1, 2};
const double K[] = {0, -1.3, -0.9, -0.6, 0.0, 0.0, 0.3, 1.2, 0.85};

// Entry k's row and column.
void entry(int k, int* row, int* col)
{
    if (k <= NEQ) {
        *row = *col = k;
        return;
    }
    *col = IJA[k];
    for (int i = 1; i <= NEQ; i++)
        if (k >= IJA[i] && k < IJA[i + 1]) *row = i;
}

// J = K with the room columns divided by their storage; the given row stays empty.
double jacobian(int row, int col, double Kv)
{
    if (row == NEQ) return 0.0;
    return col == NEQ ? Kv : Kv / M[col];
}

int rhs(sunrealtype, N_Vector y, N_Vector ydot, void*)
{
    const double* yv = N_VGetArrayPointer(y) - 1;
    double* d = N_VGetArrayPointer(ydot) - 1;
    for (int i = 1; i <= NEQ; i++) d[i] = 0.0;
    for (int k = 1; k <= IJA[NEQ + 1] - 1; k++) {
        if (k == NEQ + 1) continue;
        int r, c;
        entry(k, &r, &c);
        if (r == NEQ) continue;
        d[r] += K[k] * (c == NEQ ? yv[c] : yv[c] / M[c]);
    }
    return 0;
}

int denseJac(sunrealtype, N_Vector, N_Vector, SUNMatrix Jm, void*, N_Vector, N_Vector, N_Vector)
{
    for (int k = 1; k <= IJA[NEQ + 1] - 1; k++) {
        if (k == NEQ + 1) continue;
        int r, c;
        entry(k, &r, &c);
        SM_ELEMENT_D(Jm, r - 1, c - 1) = jacobian(r, c, K[k]);
    }
    return 0;
}

struct Counts {
    long steps, newtonIters, convFails, jacs;
    std::vector<double> y;
};

// Integrates to 20 s from y = (2, 0, 0, 1), by method, with either linear solver.
Counts integrate(int lmm, bool engineSolver)
{
    TestState ts;
    FlowmirState* fms = ts.fms;
    SUNContext ctx;
    EXPECT_EQ(SUNContext_Create(nullptr, &ctx), 0);
    N_Vector y = N_VNew_Serial(NEQ, ctx);
    double* yv = N_VGetArrayPointer(y);
    yv[0] = 2.0;
    yv[1] = yv[2] = 0.0;
    yv[3] = 1.0;
    void* mem = CVodeCreate(lmm, ctx);
    EXPECT_EQ(CVodeInit(mem, rhs, 0.0, y), CV_SUCCESS);
    EXPECT_EQ(CVodeSStolerances(mem, 1e-6, 1e-12), CV_SUCCESS);

    SparseSolver solver;
    sasn_newInit(&solver);
    FmcvJacIntfc intfc{};
    double* A = alc_vt<double>(fms, 1, 8, "A");
    double* x = alc_vt<double>(fms, 1, NEQ, "x");
    unsigned char fixed[NEQ + 1] = {0, 0, 0, 0, 1};
    SUNMatrix dense = nullptr;
    SUNLinearSolver denseLs = nullptr;
    if (engineSolver) {
        sasn_configure(fms, &solver, NEQ, NVAR, IJA, 0, 100, 1e-6f, 0.0f, 1.0f);
        fmcv_jacIntfc_configure(fms, &intfc, NEQ, NVAR, 8, IJA, K, A, &solver, x);
        intfc.ctx = ctx;
        intfc.fixedEq = fixed;
        fmcv_jacIntfc_setJacFcn(&intfc, [](sunrealtype, N_Vector, N_Vector, SUNMatrix Jm, void*, N_Vector, N_Vector,
                                           N_Vector) -> int {
            double* J = fmcv_matValues(Jm);
            for (int k = 1; k <= 8; k++) {
                if (k == NEQ + 1) continue;
                int r, c;
                entry(k, &r, &c);
                J[k] = jacobian(r, c, K[k]);
            }
            return 0;
        });
        EXPECT_EQ(fmcv_jacIntfc_pushToCvode(fms, mem, &intfc), 0);
    } else {
        dense = SUNDenseMatrix(NEQ, NEQ, ctx);
        denseLs = SUNLinSol_Dense(y, dense, ctx);
        EXPECT_EQ(CVodeSetLinearSolver(mem, denseLs, dense), CVLS_SUCCESS);
        EXPECT_EQ(CVodeSetJacFn(mem, denseJac), CVLS_SUCCESS);
    }
    double t = 0.0;
    EXPECT_EQ(CVodeSetStopTime(mem, 20.0), CV_SUCCESS);
    int rc = CV_SUCCESS;
    while (rc == CV_SUCCESS) rc = CVode(mem, 20.0, y, &t, CV_ONE_STEP);
    EXPECT_EQ(rc, CV_TSTOP_RETURN);
    Counts c;
    CVodeGetNumSteps(mem, &c.steps);
    CVodeGetNumNonlinSolvIters(mem, &c.newtonIters);
    CVodeGetNumNonlinSolvConvFails(mem, &c.convFails);
    CVodeGetNumJacEvals(mem, &c.jacs);
    c.y.assign(yv, yv + NEQ);
    CVodeFree(&mem);
    if (engineSolver) {
        EXPECT_EQ(fmcv_jacIntfc_getJacEvalCt(&intfc), 0) << "the test's own Jacobian does not count";
        fmcv_jacIntfc_free(&intfc);
        sasn_free(fms, &solver);
    } else {
        SUNLinSolFree(denseLs);
        SUNMatDestroy(dense);
    }
    fre_vt(fms, A, 1, 8);
    fre_vt(fms, x, 1, NEQ);
    N_VDestroy_Serial(y);
    SUNContext_Free(&ctx);
    EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed) << "the clone of the matrix is released with CVODE";
    return c;
}

}  // namespace

TEST(CvodeSolver, EngineSolverStepsAsCvodesDenseSolver)
{
    for (int lmm : {CV_BDF, CV_ADAMS}) {
        SCOPED_TRACE(lmm == CV_BDF ? "BDF" : "Adams");
        Counts dense = integrate(lmm, false);
        Counts engine = integrate(lmm, true);
        EXPECT_GT(dense.steps, 20);
        EXPECT_EQ(engine.steps, dense.steps);
        EXPECT_EQ(engine.newtonIters, dense.newtonIters);
        EXPECT_EQ(engine.convFails, dense.convFails);
        EXPECT_EQ(engine.jacs, dense.jacs);
        for (int i = 0; i < NEQ; i++) EXPECT_NEAR(engine.y[i], dense.y[i], 1e-12) << i;
        EXPECT_EQ(engine.y[3], 1.0) << "a given value takes no correction";
    }
}

namespace
{

// The two rooms under an hourly weather file, with a day schedule whose points fall at 1:30
// and 6:45, set up by the implicit solver and held at the start of the period.
std::string segmentProject()
{
    std::string prj = readFile(std::string(FLOWMIR_TEST_PROJECTS) + "/cv_series.prj");
    prj = replaceFirst(prj, "\n0 0 30 1e-5 1e-5 0.75 0 50 0\n", "\n1 0 30 1e-5 1e-5 0.75 0 50 0\n");
    prj = replaceFirst(prj, "\nnull\n", "\nt.wth\n");
    prj = replaceFirst(prj, "\n2 0 0 0.1 0 0\n", "\n0 0 0 0.1 0 0\n");
    prj = replaceFirst(prj, "Jan01 00:00:00 Jan01 1:00:00", "Jan01 00:00:00 Jan01 24:00:00");
    prj = replaceFirst(prj, "0 ! day schedules\n-999",
                       "1 ! day schedules\n1 4 0 0 0 steps\nsteps at 1:30 and 6:45\n0:00:00 1\n1:30:00 0.5\n"
                       "6:45:00 1\n24:00:00 1\n-999");
    prj = replaceFirst(prj, "0 ! week schedules\n-999",
                       "1 ! week schedules\n1 0 0 every\nevery day\n1 1 1 1 1 1 1 1 1 1 1 1\n-999");
    return prj;
}

std::string hourlyWeather()
{
    std::string w = "WeatherFile Flowpad 2.0\nHourly records of one day\n1/1 1/1\n1/1 1 1 0 0.0\n";
    for (int h = 0; h <= 24; h++) {
        char line[96];
        snprintf(line, sizeof line, "1/1 %d:00:00 %.2f 101325 %.2f 270 2.0 0 0 0 0 0\n", h, 270.15 + 0.5 * h,
                 1.0 + 0.1 * h);
        w += line;
    }
    return w;
}

}  // namespace

// Every segment ends on the hour of the weather records, on the schedule's points and, when
// something reads the listings, on every listing time; midnight ends the day's last.
TEST(CvodeSolver, SegmentsEndOnBoundaryEvents)
{
    std::string dir = scratchDir();
    writeFile(dir + "/t.prj", segmentProject());
    writeFile(dir + "/t.wth", hourlyWeather());
    for (bool listings : {false, true}) {
        SCOPED_TRACE(listings ? "with listing times" : "without listing times");
        ChildResult r = runChild([&] {
            FlowmirState* fms = flowmirNewState();
            fms->quiet = 1;
            if (SetupSimulation(fms, (dir + "/t").c_str(), 1, "", nullptr) != 0) _exit(3);
            CvodeRun run{};
            run.fms = fms;
            run.needListTimes = listings;
            run.listAt = 1800;
            fms->listStep = 1800;
            for (int guard = 0; guard < 200 && fms->stepEndTime < 86400; guard++) {
                int T = cvode_segmentEnd(&run);
                printf("%d ", T);
                fms->stepStartTime = fms->stepEndTime = T;
                if (T == run.listAt) run.listAt += 1800;
            }
            fflush(stdout);
            _exit(0);
        });
        ASSERT_EQ(r.status, 0) << r.err;
        std::string expected;
        for (int t = 1800; t <= 86400; t += 1800)
            if (t % 3600 == 0 || t == 5400 || listings) expected += std::to_string(t) + " ";
        // 6:45 falls between two listing times.
        expected.insert(expected.find("25200 "), "24300 ");
        EXPECT_EQ(r.out, expected);
    }
}
