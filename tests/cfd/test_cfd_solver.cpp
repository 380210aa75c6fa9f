// The CFD solver against closed forms and the lid-driven cavity tables: the convection
// scheme, channel flow between plates, conduction across a still layer, a box at rest, a
// contaminant balance, the zero-equation viscosity; and its messages.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include "../../bench/cfd_case.h"
#include "cfd/cfd_solve.h"
#include "cfd_fixture.h"
#include "results/resfile.h"

namespace
{

// The case solved steadily as an uncoupled call; the record stays for inspection.
struct Solved : CfdCase {
    explicit Solved(const CfdCaseSpec& settings, int species = 0) : CfdCase(cfdCaseText(settings), species)
    {
        cfd_run(s.fms);
        cfd_set_base(s.fms, "Office");
    }
    CfdRun* run()
    {
        flow(s.fms, 0);
        return s->cfdRun;
    }
    ~Solved() { cfd_free(s.fms); }
};

double interp(const std::vector<double>& x, const std::vector<double>& y, double at)
{
    for (size_t i = 0; i + 1 < x.size(); i++)
        if (at <= x[i + 1]) return y[i] + (y[i + 1] - y[i]) * (at - x[i]) / (x[i + 1] - x[i]);
    return y.back();
}

CfdCaseSpec cavity(int n)
{
    CfdCaseSpec c;
    c.n[0] = c.n[1] = n;
    c.rho = 1.0;
    c.nu = 0.01;
    c.tol = 1e-6;
    c.itmax = 3000;
    c.relax[0] = c.relax[1] = 0.8;
    c.relax[3] = 0.3;
    c.twalls.push_back(cfdWall(1, n, n, n, 1, 1, "20,1,0,0"));
    return c;
}

} // namespace

TEST(CfdSolver, PowerLawAndUpwindSchemeFunctions)
{
    const struct {
        int code;
        double peclet, value;
    } cases[] = {{2, 0.0, 1.0}, {2, 1.0, 0.59049}, {2, -1.0, 0.59049}, {2, 5.0, 0.03125}, {2, 10.0, 0.0},
                 {2, 12.5, 0.0}, {0, 5.0, 0.03125}, {1, 0.0, 1.0},      {1, 7.0, 1.0}};
    for (const auto& c : cases)
        EXPECT_NEAR(cfd_scheme(c.code, c.peclet), c.value, 1e-15) << c.code << " " << c.peclet;
}

// The cavity of Ghia, Ghia & Shin (1982) at Re 100 on a coarse grid: the centreline profiles
// are already within 0.02 of the lid speed.
TEST(CfdSolver, LidDrivenCavityMatchesTheTables)
{
    const double ys[17] = {0,      0.0547, 0.0625, 0.0703, 0.1016, 0.1719, 0.2813, 0.4531, 0.5,
                           0.6172, 0.7344, 0.8516, 0.9531, 0.9609, 0.9688, 0.9766, 1};
    const double u[17] = {0,       -0.03717, -0.04192, -0.04775, -0.06434, -0.10150, -0.15662, -0.21090, -0.20581,
                          -0.13641, 0.00332,  0.23151,  0.68717,  0.73722,  0.78871,  0.84123,  1};
    const double xs[17] = {0,      0.0625, 0.0703, 0.0781, 0.0938, 0.1563, 0.2266, 0.2344, 0.5,
                           0.8047, 0.8594, 0.9063, 0.9453, 0.9531, 0.9609, 0.9688, 1};
    const double v[17] = {0,        0.09233,  0.10091,  0.10890,  0.12317,  0.16077,  0.17507,  0.17527, 0.05454,
                          -0.24533, -0.22445, -0.16914, -0.10313, -0.08864, -0.07391, -0.05906, 0};
    const int n = 32;
    CfdCaseSpec c = cavity(n);
    Solved k(c);
    CfdRun* r = k.run();
    EXPECT_LT(r->iter, 3000);
    std::vector<double> py, pu, px, pv;
    for (int j = 1; j <= n + 2; j++) {
        py.push_back(r->Y[j]);
        pu.push_back(j == n + 2 ? 1.0 : r->U[n / 2 + 2][j][2]);
    }
    for (int i = 1; i <= n + 2; i++) {
        px.push_back(r->X[i]);
        pv.push_back(r->V[i][n / 2 + 2][2]);
    }
    for (int s = 0; s < 17; s++) {
        EXPECT_NEAR(interp(py, pu, ys[s]), u[s], 0.02) << "u at y = " << ys[s];
        EXPECT_NEAR(interp(px, pv, xs[s]), v[s], 0.02) << "v at x = " << xs[s];
    }
    // The moving wall drives the flow clockwise: the lid's row moves with it, the floor's against it.
    EXPECT_GT(r->U[n / 2 + 2][n + 1][2], 0.5);
    EXPECT_LT(r->U[n / 2 + 2][2][2], 0.0);
}

// Developed laminar flow between plates: a parabolic profile with the peak 1.5 times the
// mean speed and the pressure gradient 12 mu ubar / H^2.
TEST(CfdSolver, PlaneChannelFlowIsPoiseuille)
{
    const int ni = 50, nj = 20;
    const double H = 0.1, L = 1.0, ubar = 0.01, rho = 1.2, nu = 1e-4;
    CfdCaseSpec c;
    c.L[0] = L;
    c.L[1] = H;
    c.n[0] = ni;
    c.n[1] = nj;
    c.rho = rho;
    c.nu = nu;
    c.tol = 1e-8;
    c.itmax = 4000;
    char in[128];
    snprintf(in, sizeof in, "0,1,0,0,0,%.17g,20", rho * ubar * H);
    c.inlets.push_back(cfdOpening("Inlet", 1, 1, 1, nj, 1, 1, in));
    c.outlets.push_back(cfdOpening("Outlet", ni, ni, 1, nj, 1, 1, "0,2,0,10,0.5,20"));
    Solved k(c);
    CfdRun* r = k.run();
    EXPECT_LT(r->iter, 4000);
    const int i = 36; // the face at x = 0.7 m, far past the entrance length
    double peak = 0.0, worst = 0.0;
    for (int j = 2; j <= nj + 1; j++) {
        double y = r->Y[j] / H;
        double want = 6.0 * ubar * y * (1.0 - y);
        worst = fmax(worst, fabs(r->U[i][j][2] - want));
        peak = fmax(peak, r->U[i][j][2]);
    }
    EXPECT_LT(worst, 0.01 * 1.5 * ubar);
    // The two middle cells sit at 0.45 H and 0.55 H: 6 x 0.45 x 0.55 = 1.485 of the mean.
    EXPECT_NEAR(peak / ubar, 1.485, 0.01);
    double gradient = (r->P[26][nj / 2][2] - r->P[46][nj / 2][2]) / (r->X[46] - r->X[26]);
    EXPECT_NEAR(gradient, 12.0 * rho * nu * ubar / (H * H), 0.02 * 12.0 * rho * nu * ubar / (H * H));
    // Every face of the outlet carries flow out, and the outlet takes what the inlet brings.
    EXPECT_NEAR(r->out[1].mass, -rho * ubar * H, 1e-6 * rho * ubar * H);
}

// A warm ceiling over a cool floor: still air, a linear temperature and the conductive flux.
TEST(CfdSolver, StableLayerConducts)
{
    const int nk = 10;
    CfdCaseSpec c;
    c.energy = 1;
    c.L[0] = 1.0;
    c.L[2] = 1.0;
    c.n[0] = 4;
    c.n[1] = 1;
    c.n[2] = nk;
    c.T0 = c.Tref = 20.0;
    c.tol = 1e-9;
    c.itmax = 3000;
    c.fts[0] = c.fts[1] = c.fts[2] = 0.1;
    // A conductive fluid: with still air's diffusivity the layer takes hours to settle.
    c.nu = 1e-2;
    c.twalls.push_back(cfdWall(1, 4, 1, 1, nk, nk, "30"));
    c.twalls.push_back(cfdWall(1, 4, 1, 1, 1, 1, "10"));
    Solved k(c);
    CfdRun* r = k.run();
    double worstT = 0.0, worstW = 0.0;
    for (int i = 2; i <= 5; i++)
        for (int kk = 2; kk <= nk + 1; kk++) {
            double want = 283.0 + 20.0 * r->Z[kk];
            worstT = fmax(worstT, fabs(r->T[i][2][kk] - want));
            worstW = fmax(worstW, fmax(fabs(r->W[i][2][kk]), fabs(r->U[i][2][kk])));
        }
    EXPECT_LT(worstT, 1e-6);
    EXPECT_LT(worstW, 1e-7);
    // Through the floor: 2 (mu / Pr) / dz x (T1 - Tfloor) x cp = cp mu / Pr x 20 K / 1 m.
    double gamma = c.rho * c.nu / c.Pr;
    double flux = c.cp * 2.0 * gamma / r->DELZ[2] * (r->T[3][2][2] - 283.0);
    EXPECT_NEAR(flux, c.cp * gamma * 20.0, 1e-6 * c.cp * gamma * 20.0);
}

// A closed box stays at rest: at the reference temperature exactly, and warmer than the
// reference with a hydrostatic pressure and no flow.
TEST(CfdSolver, ClosedBoxStaysAtRest)
{
    for (double T0 : {20.0, 26.0}) {
        CfdCaseSpec c;
        c.energy = 1;
        c.n[0] = c.n[1] = c.n[2] = 4;
        c.T0 = T0;
        c.Tref = 20.0;
        c.itmax = 300;
        c.tol = 1e-12;
        c.fts[0] = c.fts[1] = c.fts[2] = 0.1;
        Solved k(c);
        CfdRun* r = k.run();
        double most = 0.0;
        for (int i = 1; i <= 6; i++)
            for (int j = 1; j <= 6; j++)
                for (int kk = 1; kk <= 6; kk++)
                    most = fmax(most, fmax(fabs(r->U[i][j][kk]), fmax(fabs(r->V[i][j][kk]), fabs(r->W[i][j][kk]))));
        EXPECT_LT(most, 1e-6) << T0;
        // The pressure falls with height by the buoyancy rho g beta (T - Tref) per metre.
        double dpdz = (r->P[3][3][5] - r->P[3][3][2]) / (r->Z[5] - r->Z[2]);
        EXPECT_NEAR(dpdz, r->rho * r->g * r->beta * (T0 - 20.0), 1e-9 + 1e-6 * dpdz);
    }
}

// A source of G kg/s on a wall of a ventilated room leaves through the outlet at G / m.
TEST(CfdSolver, ContaminantLeavesAtSourceOverFlow)
{
    const double m = 0.01, G = 2e-6;
    CfdCaseSpec c;
    c.L[0] = 3.0;
    c.L[1] = 2.0;
    c.n[0] = 12;
    c.n[1] = 8;
    c.nu = 1.5e-4;
    c.tol = 1e-8;
    c.itmax = 4000;
    char in[128], wall[128];
    snprintf(in, sizeof in, "0,1,0,0,0,%.17g,20", m);
    c.inlets.push_back(cfdOpening("Supply", 1, 1, 6, 8, 1, 1, in));
    c.outlets.push_back(cfdOpening("Exhaust", 12, 12, 1, 2, 1, 1, "0,2,0,1,0.5,20"));
    snprintf(wall, sizeof wall, "0,1\n1,%.17g,1e10", G);
    c.qwalls.push_back(cfdWall(4, 8, 1, 1, 1, 1, wall));
    c.relax[7] = 1.0;
    c.fts[6] = 1e30;
    Solved k(c, 1);
    CfdRun* r = k.run();
    ASSERT_EQ(r->nc, 1);
    EXPECT_NEAR(r->out[1].cout[1], G / m, 1e-3 * G / m);
    EXPECT_NEAR(r->out[1].cflow[1], -G, 1e-3 * G);
    std::string ret = readFile(k.path(".ret.part"));
    EXPECT_NE(ret.find("  *Contaminant#1 \n"), std::string::npos) << ret;
}

// rho (nu + 0.03874 |V| l), l the distance to the nearest wall of a resolved direction.
TEST(CfdSolver, ZeroEquationViscosity)
{
    CfdCaseSpec c;
    c.laminar = false;
    c.L[0] = 4.0;
    c.L[1] = 2.0;
    c.n[0] = 4;
    c.n[1] = 2;
    c.itmax = 1;
    Solved k(c);
    CfdRun* r = k.run();
    for (int i = 1; i <= 6; i++)
        for (int j = 1; j <= 4; j++) {
            r->U[i][j][2] = 3.0;
            r->V[i][j][2] = 4.0;
        }
    cfd_viscosity(k.s.fms);
    // Cell (2, 2): centre (1.5, 0.5), the floor is nearest at 0.5 m; the speed is 5 m/s.
    EXPECT_NEAR(r->VIS[3][2][2], 1.2 * (1.5e-5 + 0.03874 * 5.0 * 0.5), 1e-12);
    // Cell (1, 1): centre (0.5, 0.5).
    EXPECT_NEAR(r->VIS[2][2][2], 1.2 * (1.5e-5 + 0.03874 * 5.0 * 0.5), 1e-12);
}

// The multigrid cycle solves the same pressure-correction equations: the same cavity.
TEST(CfdSolver, MultigridGivesTheSameSolution)
{
    Solved a(cavity(24));
    CfdRun* ra = a.run();
    for (int line = 0; line < 2; line++) {
        Solved b(cavity(24));
        b.s->cfdMultigrid = 1;
        b.s->cfdMgLineSmoother = line;
        CfdRun* rb = b.run();
        ASSERT_NE(rb->mg, nullptr);
        double most = 0.0;
        for (int i = 1; i <= 26; i++)
            for (int j = 1; j <= 26; j++)
                most = fmax(most, fmax(fabs(ra->U[i][j][2] - rb->U[i][j][2]), fabs(ra->V[i][j][2] - rb->V[i][j][2])));
        EXPECT_LT(most, 1e-3) << line;
    }
}

// The solver's lines in the ".bal" log and on the console, the residual line's layout, and
// the warning of a solution stopped by the iteration limit.
TEST(CfdSolver, ProgressLinesAndTheIterationLimit)
{
    CfdCaseSpec c = cavity(8);
    c.itmax = 3;
    c.printInterval = 2;
    Solved k(c);
    ChildResult r = runChild([&] {
        k.s->quiet = 0;
        k.run();
        resfile_commit_all(k.s.fms);
    });
    EXPECT_EQ(r.status, 0);
    std::string bal = readFile(k.path(".bal"));
    EXPECT_EQ(bal.find("\nReading CFD INPUT file...\nStart steady airflow calculation...\n I=2, Continuity="), 0u)
        << bal;
    size_t at = bal.find(" I=2, Continuity=");
    ASSERT_NE(at, std::string::npos);
    // " I=%ld, Continuity=%-6.1le, U=%-2.1le, ..." : the values in one-decimal exponent form.
    std::string line = bal.substr(at, bal.find('\n', at) - at);
    EXPECT_TRUE(std::regex_match(line, std::regex(" I=2, Continuity=[0-9]\\.[0-9]e[-+][0-9]{2}, U=[0-9]\\.[0-9]e[-+]"
                                                  "[0-9]{2}, V=.*, W=0\\.0e\\+00, Energy=0\\.0e\\+00, "
                                                  "Continuity_A=[0-9]\\.[0-9]e[-+][0-9]{2}")))
        << line;
    EXPECT_NE(bal.find("Writing Tecplot file(DAT) at iteration 3...\nWriting Result file(RET) at iteration 3...\n"
                       "EDDYS simulation completed\n"),
              std::string::npos)
        << bal;
    EXPECT_NE(r.err.find("Start steady airflow calculation...\n I=2, Continuity="), std::string::npos) << r.err;
    EXPECT_TRUE(std::regex_search(r.err, std::regex("WARNING CFD airflow did not converge in 3 iterations: continuity "
                                                    "[0-9.e+-]+, U [0-9.e+-]+, V [0-9.e+-]+, W 0.000e\\+00, energy "
                                                    "0.000e\\+00\n")))
        << r.err;
}

TEST(CfdSolver, RefusedCases)
{
    const struct {
        const char* name;
        void (*edit)(CfdCaseSpec&);
        const char* message;
    } cases[] = {
        {"k-epsilon", [](CfdCaseSpec& c) { c.laminar = false, c.turbModel = 1; },
         "FATAL CFD turbulence model 1 (two-equation k-epsilon) is not available: use the zero-equation model\n"},
        {"moving through the wall", [](CfdCaseSpec& c) { c.twalls[0] = cfdWall(1, 8, 8, 8, 1, 1, "20,1,0.5,0"); },
         "FATAL CFD input error of moving wall 1: its velocity must lie in the wall's plane\n"},
    };
    for (const auto& k : cases) {
        CfdCaseSpec c = cavity(8);
        k.edit(c);
        Solved s(c);
        ChildResult r = runChild([&] { s.run(); });
        EXPECT_EQ(r.status, 2) << k.name;
        EXPECT_EQ(r.err, k.message) << k.name;
    }
}

// A restart starts from the fields the last solution kept; a restart file that is missing
// is a warning and the solution starts at rest.
TEST(CfdSolver, RestartContinuesFromTheKeptFields)
{
    CfdCaseSpec c = cavity(16);
    Solved a(c);
    CfdRun* ra = a.run();
    storeflow(a.s.fms);
    resfile_commit_all(a.s.fms);
    double u = ra->U[10][14][2];
    ASSERT_GT(fabs(u), 0.05);

    c.restart = 1;
    c.itmax = 1;
    Solved b(c);
    writeFile(b.path(".var"), readFile(a.path(".var")));
    CfdRun* rb = b.run();
    EXPECT_NEAR(rb->U[10][14][2], u, 1e-3);

    Solved m(c);
    ChildResult r = runChild([&] { m.run(); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.substr(0, 44), "WARNING No CFD restart (var) file found: " + m.path(".var").substr(0, 3));
}

// Pressure openings at the pressure of the room carry nothing: no division by the zero
// pressure difference, the box stays at rest.
TEST(CfdSolver, OpeningsAtTheRoomsPressureCarryNothing)
{
    CfdCaseSpec c;
    c.n[0] = 6;
    c.n[1] = 4;
    c.itmax = 20;
    c.inlets.push_back(cfdOpening("Left", 1, 1, 1, 4, 1, 1, "0,2,0,0.1,0.5,20"));
    c.outlets.push_back(cfdOpening("Right", 6, 6, 1, 4, 1, 1, "0,2,0,0.1,0.5,20"));
    Solved k(c);
    CfdRun* r = k.run();
    EXPECT_EQ(r->in[1].mass, 0.0);
    EXPECT_EQ(r->out[1].mass, 0.0);
    for (int i = 1; i <= 8; i++)
        for (int j = 1; j <= 6; j++) {
            EXPECT_EQ(r->U[i][j][2], 0.0);
            EXPECT_FALSE(std::isnan(r->opencoe[i][j][2]));
        }
}

// Mode 2 of the variable false time step: the second set at the switch iteration, ten times
// it at twice the switch iteration.
TEST(CfdSolver, VariableFalseTimeStep)
{
    CfdCaseSpec c = cavity(8);
    c.ftsMode = 2;
    c.ftsSwitch = 3;
    for (int e = 0; e < 7; e++)
        c.fts2[e] = 0.5;
    for (int itmax : {3, 5, 6}) {
        c.itmax = itmax;
        c.tol = 1e-30;
        Solved k(c);
        CfdRun* r = k.run();
        double want = itmax < 6 ? 0.5 : 5.0;
        for (int e = 0; e < 4; e++)
            EXPECT_EQ(r->ftsNow[e], want) << itmax << " " << e;
        EXPECT_EQ(r->ftsNow[6], 0.5);
    }
}

// One implicit step per call: the first settles with the case's false time steps, later ones
// step the multizone time step. A lid that stops leaves a swirl that dies away step by step.
TEST(CfdSolver, UnsteadyStepsFollowTheTimeStep)
{
    CfdCaseSpec c = cavity(12);
    c.printInterval = 1000;
    Solved k(c);
    k.s->time_step = 1;
    CfdRun* r = k.s->cfdRun;
    r->cfdSteady = 0;
    r->runCtm = 0;
    k.run();
    EXPECT_EQ(r->ftsNow[0], 1e30);
    double swirl = r->U[8][12][2];
    ASSERT_GT(swirl, 0.1);

    c.twalls[0] = cfdWall(1, 12, 12, 12, 1, 1, "20,0,0,0");
    writeFile(k.path(".CFD"), cfdCaseText(c));
    double last = swirl;
    for (int step = 1; step <= 3; step++) {
        k.s->stepEndTime = step;
        storeflow(k.s.fms);
        k.run();
        EXPECT_EQ(r->ftsNow[0], 1.0);
        double now = r->U[8][12][2];
        EXPECT_LT(now, last) << step;
        EXPECT_GT(now, 0.0) << step;
        last = now;
    }
    resfile_commit_all(k.s.fms);
    std::string bal = readFile(k.path(".bal"));
    size_t at = bal.find("Start unsteady airflow calculation...\nCFD simulation time=3.000000\n I=");
    ASSERT_NE(at, std::string::npos) << bal;
    // The residual line once per step, after its iterations.
    std::string step = bal.substr(at, bal.find("EDDYS simulation completed\n", at) - at);
    size_t lines = 0;
    for (size_t p = step.find(" I="); p != std::string::npos; p = step.find(" I=", p + 1))
        lines++;
    EXPECT_EQ(lines, 1u) << step;
}

// The room of the case-file tests (a supply, two outlets, a heated block, a wall patch from
// the user file, a heat-flux patch with a contaminant source, buoyancy, the zero-equation
// model): a few hundred iterations stay finite and carry the supply's air out.
TEST(CfdSolver, FurnishedRoomStaysFinite)
{
    CfdCase k(replaceFirst(cfdFixture("cfd_room.CFD"), "\n0.001,2000\n", "\n0.001,300\n"));
    ChildResult run = runChild([&] {
        cfd_run(k.s.fms);
        cfd_set_base(k.s.fms, "Office");
        flow(k.s.fms, 0);
        CfdRun* q = k.s->cfdRun;
        for (int i = 1; i <= q->ni + 2; i++)
            for (int kk = 1; kk <= q->nk + 2; kk++)
                if (!std::isfinite(q->U[i][2][kk]) || !std::isfinite(q->W[i][2][kk]) || !std::isfinite(q->T[i][2][kk]) ||
                    !std::isfinite(q->P[i][2][kk]))
                    exit(3);
        double in = 0.0, out = 0.0;
        for (int n = 1; n <= q->nin; n++)
            in += q->in[n].mass;
        for (int n = 1; n <= q->nout; n++)
            out += q->out[n].mass;
        if (fabs(in + out) > 0.05 * in) exit(4);
        cfd_free(k.s.fms);
    });
    EXPECT_EQ(run.status, 0) << run.err;
}
