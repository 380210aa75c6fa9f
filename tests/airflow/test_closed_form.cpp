// End-to-end checks of the steady airflow solution: small buildings are read from project
// files, assembled, numbered and brought to their steady state the way a run does it, and
// their node pressures and link flows are compared with flows worked out by hand.
#include <gtest/gtest.h>

#include "strip_flow.h"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine/driver.h"
#include "engine/siminit.h"
#include "network/airnet.h"
#include "network/mat_init.h"
#include "network/sim_data.h"
#include "project/prj_read.h"
#include "support/heap.h"
#include "testutil.h"

namespace
{

const std::string kProjects = FLOWMIR_TEST_PROJECTS;

std::string fixture(const std::string& name)
{
    return readFile(kProjects + "/" + name);
}

// Text with the one occurrence of `from` replaced.
std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t pos = text.find(from);
    EXPECT_NE(pos, std::string::npos) << from;
    EXPECT_EQ(text.find(from, pos + 1), std::string::npos) << "more than one: " << from;
    if (pos != std::string::npos) text.replace(pos, from.size(), to);
    return text;
}

// Text with the values of the line tagged "! tag" replaced, the tag kept.
std::string withLine(std::string text, const std::string& tag, const std::string& values)
{
    std::string mark = "! " + tag + "\n";
    size_t end = text.find(mark);
    EXPECT_NE(end, std::string::npos) << tag;
    if (end == std::string::npos) return text;
    size_t begin = text.rfind('\n', end) + 1;
    return text.replace(begin, end - begin, values + " ");
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A project read, assembled and solved to its steady state as a run does it, up to the
// point where the transient loop would start.
struct SteadyRun : TestState {
    bool ready = false;

    explicit SteadyRun(const std::string& text, int factor = 0)
    {
        openLog();
        fms->quiet = 1;
        fms->afFactorChoice = factor;
        fms->msBlock = alc_eci(fms, 32000, "ms-block");
        fms->mbBlock = alc_eci(fms, 8000, "mb-block");
        std::string path = scratchDir() + "/cf.prj";
        writeFile(path, text);
        if (prj_read(fms, path.c_str()) != 0) {
            ADD_FAILURE() << "project not read: " << fms->lastError;
            return;
        }
        setClock();
        fms->listLevel = fms->listSetting;
        sim_data(fms);
        // Project records are released once the network stands, as in a run.
        prj_read_free_comp_lists(fms);
        fre_ec(fms, fms->mbBlock, "mb-block");
        fms->mbBlock = nullptr;
        mat_init(fms);
        sim_init(fms, 0);
        ready = true;
    }
    ~SteadyRun()
    {
        releaseRunMemory(fms);
        EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed);
    }

    // A steady run stands at the steady-state date and time, a transient one at its start.
    void setClock()
    {
        bool transient = fms->afsim == 1 || (fms->afsim == 0 && fms->mfsim >= 2);
        fms->dayofy = fms->endDate = transient ? fms->date0 : fms->dateSS;
        fms->stepStartTime = fms->stepEndTime = transient ? fms->time0 : fms->timeSS;
        fms->endTime = transient ? fms->time1 : fms->timeSS;
        fms->dt = (float)fms->time_step;
        fms->rdt = fms->dt > 0.0f ? 1.0f / fms->dt : 0.0f;
    }

    AirNode* zone(int nr)
    {
        for (AirNode* n = fms->nodeList; n; n = n->next)
            if (n != fms->ambt && n->styp == NODE_ZONE && n->s_nr == nr) return n;
        ADD_FAILURE() << "no zone " << nr;
        return fms->ambt;
    }
    AirLink* link(int styp, int nr)
    {
        for (AirLink* l = fms->linkList; l; l = l->next)
            if (l->styp == styp && l->s_nr == nr) return l;
        ADD_FAILURE() << "no link " << styp << "/" << nr;
        return fms->linkList;
    }
    AirLink* path(int nr) { return link(LINK_PATH, nr); }
    AirLink* duct(int nr) { return link(LINK_DUCT, nr); }
    AirLink* terminal(int jct) { return link(LINK_TERM, jct); }
    AirLink* leak(int jct) { return link(LINK_LEAK, jct); }
};

// --- hand calculations ---------------------------------------------------------------

const double kPb = 101325.0;
const double kR = 287.055;
const double kG = 9.80665f; // the projects' gravity, as the engine holds it

// Density of air at T, which the project holds in single precision.
double densityAt(double T)
{
    return kPb / ((double)(float)T * kR);
}

// Dynamic viscosity of air at T as the node properties give it.
double viscosityAt(double T)
{
    return (float)((double)(float)T * 4.9286e-8 + 3.7143e-6);
}

double f32(double v)
{
    return (double)(float)v;
}

// Power law F = C sqrt(rho) |dP|^n in the direction of dP, and its inverse.
double plrFlow(double dP, double C, double n, double rho)
{
    double F = f32(C) * std::sqrt(rho) * std::pow(std::fabs(dP), f32(n));
    return dP < 0 ? -F : F;
}
double plrDrop(double F, double C, double n, double rho)
{
    double dP = std::pow(std::fabs(F) / (f32(C) * std::sqrt(rho)), 1.0 / f32(n));
    return F < 0 ? -dP : dP;
}

// Root of a monotone function between lo and hi.
double bisect(const std::function<double(double)>& f, double lo, double hi)
{
    double flo = f(lo);
    EXPECT_LT(flo * f(hi), 0.0) << "no root in [" << lo << ", " << hi << "]";
    for (int i = 0; i < 200 && hi - lo > 1e-15 * (std::fabs(lo) + std::fabs(hi)); i++) {
        double mid = 0.5 * (lo + hi), fm = f(mid);
        if ((fm < 0) == (flo < 0)) {
            lo = mid;
            flo = fm;
        } else {
            hi = mid;
        }
    }
    return 0.5 * (lo + hi);
}

// Falling fan curve of the fixtures: pressure rise at full speed and the curve density.
struct FanCurve {
    double a0, a1, a2, a3, rdens;
    double rise(double q) const { return f32(a0) + q * (f32(a1) + q * (f32(a2) + q * f32(a3))); }
};

// Pressure drop of a Darcy-Weisbach duct carrying F with the friction factor of Colebrook.
double ductDrop(double F, double D, double A, double rough, double L, double sumC, double rho, double mu)
{
    double Re = std::fabs(F) * D / (mu * A);
    double eps = rough / D, x = 5.0; // x = 1/sqrt(f)
    for (int i = 0; i < 100; i++)
        x = -2.0 * std::log10(eps / 3.7 + 2.51 * x / Re);
    double f = 1.0 / (x * x);
    double dP = (f * L / D + sumC) * F * F / (2.0 * rho * A * A);
    return F < 0 ? -dP : dP;
}

// Net mass inflow of a node from the link flows.
double inflow(FlowmirState* fms, const AirNode* n, double* magnitude)
{
    double net = 0.0;
    *magnitude = 0.0;
    for (AirLink* l = fms->linkList; l; l = l->next) {
        double F = l->Flow[0] + l->Flow[1];
        if (l->nodeN == n) net -= F;
        if (l->nodeM == n) net += F;
        if (l->nodeN == n || l->nodeM == n) *magnitude += std::fabs(l->Flow[0]) + std::fabs(l->Flow[1]);
    }
    return net;
}

// Every variable-pressure node balances its link flows to the solution's tolerance.
void expectBalanced(FlowmirState* fms)
{
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (!(n->flags & NF_VARP)) continue;
        double sum, net = inflow(fms, n, &sum);
        EXPECT_LE(std::fabs(net), 1e-7 * sum) << "node " << n->nr << " (" << n->styp << "/" << n->s_nr << ")";
    }
}

// With one air density everywhere, a link's pressure difference is its node pressures'
// difference plus the weight of the air between the node heights.
void expectHydrostatic(FlowmirState* fms, double rho)
{
    for (AirLink* l = fms->linkList; l; l = l->next) {
        double want = l->nodeN->P - l->nodeM->P + kG * rho * ((double)l->nodeN->hgt - l->nodeM->hgt);
        EXPECT_NEAR(l->dP, want, 1e-9 * (1.0 + std::fabs(want))) << "link " << l->nr;
    }
}

// Tolerance of a quantity the solution settles to 1e-8 of the flows; the single-precision
// coefficients and densities of the models leave less than 1e-7.
double rel(double want)
{
    return 1e-6 * std::fabs(want);
}

} // namespace

// A fan pushes outdoor air through three rooms in a row and out of the last one. Each crack
// drops the pressure the power law needs for the fan's flow; the rooms' pressures add up the
// drops downstream. The partition between rooms 2 and 3 is entered from room 3, so its flow
// and its pressure difference are negative.
TEST(ClosedForm, FanPushesItsFlowThroughCracksInSeries)
{
    const double rho = densityAt(293.15);
    struct Crack {
        double C, n;
    } A{0.004, 0.65}, B{0.008, 0.6}, C{0.02, 0.5};
    auto drops = [&](double F) {
        return plrDrop(F, A.C, A.n, rho) + plrDrop(F, B.C, B.n, rho) + plrDrop(F, C.C, C.n, rho);
    };
    const FanCurve fan{120, -600, 0, -50000, 1.2041};
    const double r = rho / f32(fan.rdens); // the fan draws outdoor air

    struct {
        const char* what;
        int element; // of the fan path
        double flow; // 0: where the fan curve meets the cracks' curve
    } cases[] = {{"constant mass flow", 1, 0.05}, {"fan curve", 5, 0.0}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = fixture("cf_series.prj");
        text = withLine(text, "fan",
                        "1 0 -1 1 " + std::to_string(c.element) +
                            " 0 0 0 0 0 1 0 0 1.0 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0");
        SteadyRun run(text);
        ASSERT_TRUE(run.ready);
        EXPECT_EQ(run->errorCount, 0) << run->lastError;

        double F = c.flow > 0 ? f32(c.flow)
                              : bisect([&](double f) { return drops(f) - r * fan.rise(f / r); }, 1e-4, 0.2);
        double dA = plrDrop(F, A.C, A.n, rho), dB = plrDrop(F, B.C, B.n, rho), dC = plrDrop(F, C.C, C.n, rho);

        const double flows[] = {F, F, -F, F};
        const double dPs[] = {-(dA + dB + dC), dA, -dB, dC};
        for (int p = 1; p <= 4; p++) {
            EXPECT_NEAR(run.path(p)->Flow[0], flows[p - 1], rel(F)) << "path " << p;
            EXPECT_NEAR(run.path(p)->dP, dPs[p - 1], rel(dPs[p - 1])) << "path " << p;
        }
        if (c.flow == 0) { // the operating point lies on the curve
            EXPECT_NEAR(-run.path(1)->dP, r * fan.rise(run.path(1)->Flow[0] / r), 1e-6 * (dA + dB + dC));
        }
        EXPECT_NEAR(run.zone(1)->P, dA + dB + dC, rel(dA + dB + dC));
        EXPECT_NEAR(run.zone(2)->P, dB + dC, rel(dB + dC));
        EXPECT_NEAR(run.zone(3)->P, dC, rel(dC));
        expectHydrostatic(run.fms, rho);
        expectBalanced(run.fms);
    }
}

// Three cracks of one exponent in parallel share the fan's flow by their coefficients; a
// multiplier of 3 counts as three cracks, and a crack entered from outdoors carries its share
// as a negative flow.
TEST(ClosedForm, ParallelCracksShareTheFlowByTheirCoefficients)
{
    SteadyRun run(fixture("cf_parallel.prj"));
    ASSERT_TRUE(run.ready);
    EXPECT_EQ(run->errorCount, 0) << run->lastError;
    const double rho = densityAt(293.15), F = f32(0.06), n = 0.65;
    const double small = f32(0.002), large = f32(0.005);
    const double total = small + large + 3 * small;
    const double dP = plrDrop(F, total, n, rho);

    EXPECT_NEAR(run.zone(1)->P, dP, rel(dP));
    EXPECT_NEAR(run.path(1)->Flow[0], F, rel(F));
    EXPECT_NEAR(run.path(2)->Flow[0], F * small / total, rel(F));
    EXPECT_NEAR(run.path(3)->Flow[0], -F * large / total, rel(F));
    EXPECT_NEAR(run.path(4)->Flow[0], 3 * F * small / total, rel(F));
    EXPECT_NEAR(run.path(3)->dP, -dP, rel(dP));
    expectHydrostatic(run.fms, rho);
}

// A room at 30 C on a floor 4 m up, in still air at 0 C, with a low and a high opening: air
// enters low and leaves high, and the neutral plane lies where the mass flows balance. With
// two equal orifices it lies at (rho_out z_low + rho_in z_high) / (rho_out + rho_in).
TEST(ClosedForm, StackDrivenFlowThroughALowAndAHighOpening)
{
    const double rhoOut = densityAt(273.15), rhoIn = densityAt(303.15), delta = rhoOut - rhoIn;
    const double hz = 4.0, zLow = 4.5, zHigh = 6.5;
    struct Opening {
        double C, n;
    } opening{0.03, 0.5}, crack{0.012, 0.65};
    struct {
        const char* what;
        Opening low, high;
        int lowElem, highElem;
    } cases[] = {
        {"two orifices", opening, opening, 1, 1},
        {"orifice low, crack high", opening, crack, 1, 2},
        {"crack low, orifice high", crack, opening, 2, 1},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = fixture("cf_stack.prj");
        text = withLine(text, "low",
                        "1 0 -1 1 " + std::to_string(c.lowElem) +
                            " 0 0 0 0 0 1 0 0 0.5 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0");
        text = withLine(text, "high",
                        "2 0 1 -1 " + std::to_string(c.highElem) +
                            " 0 0 0 0 0 1 0 0 2.5 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0");
        SteadyRun run(text);
        ASSERT_TRUE(run.ready);
        EXPECT_EQ(run->errorCount, 0) << run->lastError;

        // Pressure difference across each opening in its path's direction, outdoors to room
        // low and room to outdoors high, for a room pressure Pz at the floor (the outdoor
        // pressure falls by rhoOut g z from the ground, the indoor one by rhoIn g from hz).
        auto dLow = [&](double Pz) { return -Pz + kG * (rhoIn * (zLow - hz) - rhoOut * zLow); };
        auto dHigh = [&](double Pz) { return Pz + kG * (rhoOut * zHigh - rhoIn * (zHigh - hz)); };
        auto fLow = [&](double Pz) {
            double d = dLow(Pz);
            return plrFlow(d, c.low.C, c.low.n, d >= 0 ? rhoOut : rhoIn);
        };
        auto fHigh = [&](double Pz) {
            double d = dHigh(Pz);
            return plrFlow(d, c.high.C, c.high.n, d >= 0 ? rhoIn : rhoOut);
        };
        double Pz = bisect([&](double P) { return fLow(P) - fHigh(P); }, -100.0, 100.0);
        double F = fLow(Pz);
        double zNeutral = (-Pz - rhoIn * kG * hz) / (kG * delta);

        AirNode* room = run.zone(1);
        EXPECT_NEAR(room->P, Pz, 1e-6 * std::fabs(Pz));
        EXPECT_NEAR(run.path(1)->Flow[0], F, rel(F));
        EXPECT_NEAR(run.path(2)->Flow[0], F, rel(F));
        EXPECT_GT(F, 0.0);
        EXPECT_NEAR(run.path(1)->dP, dLow(Pz), rel(dLow(Pz)));
        EXPECT_NEAR(run.path(2)->dP, dHigh(Pz), rel(dHigh(Pz)));
        EXPECT_GT(zNeutral, zLow);
        EXPECT_LT(zNeutral, zHigh);
        if (c.lowElem == c.highElem) {
            double zClosed = (rhoOut * zLow + rhoIn * zHigh) / (rhoOut + rhoIn);
            EXPECT_NEAR(zNeutral, zClosed, 1e-9);
            EXPECT_NEAR(F, f32(opening.C) * std::sqrt(rhoOut * kG * delta * (zClosed - zLow)), rel(F));
        }
        // Indoors minus outdoors at the room's floor height: below the neutral plane, suction.
        EXPECT_NEAR(room->Pgage, delta * kG * (hz - zNeutral), 1e-5 * delta * kG * (zNeutral - hz));
    }
}

// A constant wind pressure on the windward opening drives air through the room and out of the
// leeward one: the two cracks in series share the wind pressure. The leeward path's wind
// pressure value is not used, since it is not wind-exposed; the windward path's pressure is
// signed by the side the outdoors is on.
TEST(ClosedForm, ConstantWindPressureDrivesFlowAcrossTheRoom)
{
    const double rho = densityAt(293.15), n = 0.65;
    const double Cw = f32(0.004), Cl = f32(0.006);
    const double a = std::pow(Cw, -1.0 / f32(n)), b = std::pow(Cl, -1.0 / f32(n));
    struct {
        const char* what;
        const char* path;
        bool outdoorsIsN;
        double Pw;
    } cases[] = {
        {"outdoors first", "1 1 -1 1 1 0 0 0 0 0 1 0 0 1.5 1 12 1 270 0 0 0 0 0 0 0 0 0 0 0 0", true, 12.0},
        {"outdoors second", "1 1 1 -1 1 0 0 0 0 0 1 0 0 1.5 1 12 1 270 0 0 0 0 0 0 0 0 0 0 0 0", false, 12.0},
        {"suction", "1 1 -1 1 1 0 0 0 0 0 1 0 0 1.5 1 -8 1 270 0 0 0 0 0 0 0 0 0 0 0 0", true, -8.0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        SteadyRun run(withLine(fixture("cf_wind.prj"), "windward", c.path));
        ASSERT_TRUE(run.ready);
        EXPECT_EQ(run->errorCount, 0) << run->lastError;
        double F = std::sqrt(rho) * std::pow(std::fabs(c.Pw) / (a + b), f32(n)) * (c.Pw < 0 ? -1 : 1);
        double Pz = c.Pw * b / (a + b);
        double windward = c.outdoorsIsN ? F : -F;

        EXPECT_NEAR(run.zone(1)->P, Pz, rel(Pz));
        EXPECT_NEAR(run.path(1)->Flow[0], windward, rel(F));
        EXPECT_NEAR(run.path(2)->Flow[0], F, rel(F));
        EXPECT_NEAR(*run.path(1)->windP, c.outdoorsIsN ? c.Pw : -c.Pw, 0.0);
        EXPECT_EQ(*run.path(2)->windP, 0.0f);
        EXPECT_NEAR(run.path(1)->dP, c.outdoorsIsN ? c.Pw - Pz : Pz - c.Pw, rel(c.Pw));
    }
}

// A warm room opens by a door into a cool hall that has a vent to the outdoors. The room has
// no other opening, so warm air leaves at the top of the door and as much cool air enters at
// the bottom: the pressure difference at mid-height is where the integrated two-way flows
// cancel. The hall's vent then carries nothing, which fixes the hall's pressure.
TEST(ClosedForm, DoorBetweenRoomsAtDifferentTemperaturesCarriesTwoWayFlow)
{
    SteadyRun run(fixture("cf_door.prj"));
    ASSERT_TRUE(run.ready);
    EXPECT_EQ(run->errorCount, 0) << run->lastError;
    const double rhoWarm = densityAt(303.15), rhoHall = densityAt(283.15), rhoOut = densityAt(273.15);
    const double H = 2.0, W = f32(0.9), Cd = f32(0.6);

    double dP = bisect(
        [&](double d) {
            StripFlow s = stripFlow(d, rhoWarm, rhoHall, H, W, Cd, 20000);
            return s.pos + s.neg;
        },
        -1.0, 1.0);
    AirLink* door = run.path(1);
    EXPECT_NEAR(door->dP, dP, 3e-5 * std::fabs(dP));
    double neutral = door->dP / (9.8 * (rhoWarm - rhoHall));
    EXPECT_GT(neutral, -H / 2);
    EXPECT_LT(neutral, H / 2);

    StripFlow want = stripFlow(door->dP, rhoWarm, rhoHall, H, W, Cd, 400000);
    double out = std::max(door->Flow[0], door->Flow[1]), in = std::min(door->Flow[0], door->Flow[1]);
    EXPECT_NEAR(out, want.pos, 2e-5 * want.pos);
    EXPECT_NEAR(in, want.neg, 2e-5 * std::fabs(want.neg));
    EXPECT_LE(std::fabs(door->Flow[0] + door->Flow[1]), 1e-7 * (out - in));

    // Door and vent centres are 1.0 m and 1.5 m above both rooms' floor.
    EXPECT_NEAR(run.zone(1)->P - run.zone(2)->P, door->dP - kG * 1.0 * (rhoHall - rhoWarm), 1e-9);
    EXPECT_NEAR(run.zone(2)->P, kG * 1.5 * (rhoHall - rhoOut), 1e-7);
    EXPECT_NEAR(run.path(2)->Flow[0], 0.0, 1e-7 * out);
    expectBalanced(run.fms);
}

// A supply fan draws outdoor air through an intake terminal and feeds a room by a trunk duct
// that splits into two branches with terminals; a leaky branch loses air into the room through
// its junction. Every junction balances, the terminals and the leak deliver the fan's flow,
// which leaves through the room's envelope, and each duct, terminal and leak obeys its law at
// the flow it carries.
TEST(ClosedForm, DuctSystemDeliversTheFanFlowThroughItsTerminals)
{
    const double rho = densityAt(293.15), mu = viscosityAt(293.15);
    const FanCurve fan{60, -200, 0, -10000, 1.2041};
    struct DuctData {
        int nr;
        double D, A, L, sumC;
    } ducts[] = {{2, 0.25, 0.0490874, 8, 0.3}, {3, 0.2, 0.0314159, 6, 0.5}, {4, 0.16, 0.0201062, 10, 1.0}};
    struct TerminalData {
        int jct;
        double area, K;
    } terminals[] = {{1, 0.05, 1.5}, {4, 0.04, 2.0}, {5, 0.03, 2.5}};
    // Half the leaky branch's wall leakage, 2 L/s per m2 at 50 Pa, gathers at junction 3.
    const double Cleak =
        0.5 * f32(2) * 0.001 * f32(6) * f32(0.628319) / std::pow((double)f32(50), (double)0.65f);

    struct {
        const char* what;
        int element;
    } cases[] = {{"constant mass flow", 3}, {"fan curve", 5}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = withLine(fixture("cf_ducts.prj"), "fan",
                                    "1 0 1 2 " + std::to_string(c.element) + " 0 0 0 0 1.0 0 0 0 0 0 0 0");
        SteadyRun run(text);
        ASSERT_TRUE(run.ready);
        EXPECT_EQ(run->errorCount, 0) << run->lastError;
        FlowmirState* fms = run.fms;

        AirLink* fanLink = run.duct(1);
        double F = fanLink->Flow[0];
        if (c.element == 3) {
            EXPECT_DOUBLE_EQ(F, f32(0.1));
        } else {
            double r = rho / f32(fan.rdens);
            EXPECT_NEAR(-fanLink->dP, r * fan.rise(F / r), 1e-6 * std::fabs(fanLink->dP));
        }
        expectBalanced(fms);
        expectHydrostatic(fms, rho);

        double delivered = run.terminal(4)->Flow[0] + run.terminal(5)->Flow[0] + run.leak(3)->Flow[0];
        EXPECT_NEAR(delivered, F, 1e-7 * F);
        EXPECT_NEAR(-run.terminal(1)->Flow[0], F, 1e-7 * F);
        EXPECT_NEAR(run.path(1)->Flow[0], F, 1e-7 * F);
        EXPECT_GT(run.leak(3)->Flow[0], 0.0);

        for (const DuctData& d : ducts) {
            AirLink* l = run.duct(d.nr);
            double want = ductDrop(l->Flow[0], f32(d.D), f32(d.A), f32(9e-5), f32(d.L), f32(d.sumC), rho, mu);
            EXPECT_NEAR(l->dP, want, 1e-6 * std::fabs(want)) << "duct " << d.nr;
        }
        for (const TerminalData& t : terminals) {
            AirLink* l = run.terminal(t.jct);
            double want = f32(t.area) * std::sqrt(2.0 * rho * std::fabs(l->dP) / f32(t.K));
            EXPECT_NEAR(std::fabs(l->Flow[0]), want, 1e-6 * want) << "terminal " << t.jct;
        }
        AirLink* leak = run.leak(3);
        EXPECT_NEAR(leak->Flow[0], Cleak * rho * std::pow(leak->dP, 0.65), 1e-6 * leak->Flow[0]);
    }
}

// One building solved by each Newton variant with each linear solver, with and without the
// profile-reducing renumbering: every combination reaches the same pressures, to within what
// the convergence tolerance leaves open.
TEST(ClosedForm, EveryNewtonVariantAndLinearSolverReachTheSameSolution)
{
    struct Variant {
        int newton, slae, reorder;
    };
    std::vector<Variant> variants;
    for (int newton : {1, 0})
        for (int slae : {0, 1, 2})
            for (int reorder : {0, 1})
                variants.push_back({newton, slae, reorder});

    std::vector<double> reference;
    double scale = 0.0;
    for (const Variant& v : variants) {
        SCOPED_TRACE(testing::Message()
                     << "newton " << v.newton << " slae " << v.slae << " reorder " << v.reorder);
        std::string text = fixture("cf_building.prj");
        text = withLine(text, "newton", "1 " + std::to_string(v.newton) + " 50 1e-8 1e-15 0.75 0 50 0");
        text =
            withLine(text, "slae", std::to_string(v.slae) + " " + std::to_string(v.reorder) + " 0 1e-10 1 1");
        SteadyRun run(text);
        ASSERT_TRUE(run.ready);
        EXPECT_EQ(run->errorCount, 0) << run->lastError;
        EXPECT_FALSE(contains(run.log(), "failed to converge"));
        expectBalanced(run.fms);

        std::vector<double> P;
        for (AirNode* n = run->nodeList; n; n = n->next)
            P.push_back(n->P);
        if (reference.empty()) {
            reference = P;
            for (double p : P)
                scale = std::max(scale, std::fabs(p));
            EXPECT_GT(scale, 1.0); // the wind and the fans load the building
            continue;
        }
        ASSERT_EQ(P.size(), reference.size());
        for (size_t i = 0; i < P.size(); i++)
            EXPECT_NEAR(P[i], reference[i], 1e-8 * scale) << "node " << i + 1;
    }
}

// --- failures through the pipeline ----------------------------------------------------

// Too few Newton iterations leave the building unsolved: the solver reports the failure with
// the nodes that fail the test, and the initialisation reports that it did not converge. With
// no pass allowed at all only the latter is reported.
TEST(ClosedForm, NonConvergenceIsReportedWithTheFailingNodes)
{
    struct {
        int itmax;
        bool solverReport;
    } cases[] = {{1, true}, {0, false}};
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "itmax " << c.itmax);
        std::string text = fixture("cf_building.prj");
        text = withLine(text, "newton", "0 1 " + std::to_string(c.itmax) + " 1e-8 1e-15 0.75 0 50 0");
        text = withLine(text, "slae", "0 0 0 1e-10 0 1");
        SteadyRun run(text);
        ASSERT_TRUE(run.ready);
        std::string log = run.log();
        EXPECT_TRUE(contains(log, "Calculation of steady-state flows did not converge"));
        EXPECT_EQ(contains(log, "Airflow iterations failed to converge at 00:00:00 / Jan01"), c.solverReport);
        if (!c.solverReport) continue;
        EXPECT_EQ(run->afIgnoreFail, 1); // a console run reports the failure once

        // The table lists exactly the nodes that fail the test, as they stand after the last trial.
        const std::string header = " node    sum(F)      sum|F|      rel err\n";
        size_t head = log.find(header);
        ASSERT_NE(head, std::string::npos);
        std::string table;
        int failing = 0;
        for (AirNode* n = run->nodeList; n; n = n->next) {
            if (!(n->flags & NF_VARP) || n->sumF <= n->Fmin) continue;
            if (std::fabs(n->resid) <= (double)0.001f * n->sumF) continue; // the first pass's tolerance
            char line[96];
            char kind = n->styp == NODE_ZONE ? 'z' : n->styp == NODE_JCT ? 'j' : 't';
            snprintf(line, sizeof line, "%4d%c  %11.3e %11.3e %11.3e\n", n->s_nr, kind, n->resid, n->sumF,
                     std::fabs(n->resid) / n->sumF);
            table += line;
            failing++;
        }
        EXPECT_GT(failing, 0);
        EXPECT_EQ(log.substr(head + header.size(), table.size()), table);
    }
}

// A room whose only openings are shut (multiplier 0) has no pressure equation: the assembly
// warns and holds the room at the pressure of its air mass, which is where it started.
TEST(ClosedForm, RoomWithShutOpeningsIsIsolatedAndKeepsItsPressure)
{
    std::string text = fixture("cf_wind.prj");
    text = withLine(text, "windward", "1 1 -1 1 1 0 0 0 0 0 1 0 0 1.5 0 12 1 270 0 0 0 0 0 0 0 0 0 0 0 0");
    text = replaced(text, "2 0 1 -1 2 0 0 0 0 0 1 0 0 1.5 1 5", "2 0 1 -1 2 0 0 0 0 0 1 0 0 1.5 0 5");
    SteadyRun run(text);
    ASSERT_TRUE(run.ready);
    std::string log = run.log();
    EXPECT_TRUE(contains(log, "Isolated zone: 1 Jan01 12:00:00")) << log;
    AirNode* room = run.zone(1);
    EXPECT_NEAR(room->P, 0.0, 1e-9);
    EXPECT_EQ(room->flags & (NF_VARP | NF_ISOLATED), (uint32_t)NF_VARP); // restored after the assembly
    EXPECT_EQ(run.path(1)->Flow[0], 0.0);
    EXPECT_EQ(run.path(2)->Flow[0], 0.0);
}

// Three rooms joined to each other whose outdoor openings are all shut (the supply fan off,
// the vent at multiplier 0) leave the pressure level undetermined: each room has a diagonal,
// but the matrix is singular and the factorisation meets a zero pivot, which ends the run.
// The partitions follow a quadratic law whose slope at rest is 1/a = 2, so the elimination
// is exact and the last pivot is exactly 0 whatever the rounding.
TEST(ClosedForm, RoomsCutOffFromOutdoorsMeetAZeroPivot)
{
    struct {
        int slae;
        const char* message;
    } cases[] = {{0, "Zero on the diagonal, eqn 3"},
                 {1, "Matrix factorization failed"},
                 {2, "Zero on the diagonal, row 3"}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::string text = fixture("cf_series.prj");
        text = withLine(text, "fan", "1 0 -1 1 1 0 0 0 0 0 1 0 0 1.0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0");
        text = replaced(text, "4 0 3 -1 4 0 0 0 0 0 1 0 0 1.5 1", "4 0 3 -1 4 0 0 0 0 0 1 0 0 1.5 0");
        text = replaced(text, "2 0 1 2 2 0", "2 0 1 2 6 0");
        text = replaced(text, "3 0 3 2 3 0", "3 0 3 2 6 0");
        text = withLine(text, "slae", std::to_string(c.slae) + " 0 0 1e-12 1 0");
        ChildResult r = runChild([&] { SteadyRun run(text); });
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
    }
}

// The skyline and the sparse L D L' factorisations of the same Jacobians: the same Newton
// path (assemblies, factorisations, iterations) and the same pressures to rounding.
TEST(ClosedForm, SkylineAndSparseLdlFollowTheSameNewtonPath)
{
    for (int newton : {1, 0})
        for (int reorder : {0, 1}) {
            SCOPED_TRACE(testing::Message() << "newton " << newton << " reorder " << reorder);
            std::string text = fixture("cf_building.prj");
            text = withLine(text, "newton", "1 " + std::to_string(newton) + " 50 1e-8 1e-15 0.75 0 50 0");
            text = withLine(text, "slae", "0 " + std::to_string(reorder) + " 0 1e-10 1 1");
            SteadyRun sky(text, 1), ldl(text, 2);
            ASSERT_TRUE(sky.ready && ldl.ready);
            ASSERT_NE(sky->afMat->sky, nullptr);
            ASSERT_NE(ldl->afMat->ldl, nullptr);
            EXPECT_EQ(ldl->errorCount, 0) << ldl->lastError;
            EXPECT_EQ(sky->nFillAf, ldl->nFillAf);
            EXPECT_EQ(sky->nLufSkyS, ldl->nLufSkyS);
            EXPECT_GT(ldl->nLufSkyS, 1);
            for (int i = 0; i < sky->nJfacBins; i++) EXPECT_EQ(sky->JfacBins[i], ldl->JfacBins[i]) << "bin " << i;
            double scale = 0.0;
            for (AirNode* n = sky->nodeList; n; n = n->next) scale = std::max(scale, std::fabs(n->P));
            AirNode* a = sky->nodeList;
            AirNode* b = ldl->nodeList;
            for (; a && b; a = a->next, b = b->next) EXPECT_NEAR(a->P, b->P, 1e-11 * scale) << "node " << a->nr;
            AirLink* la = sky->linkList;
            AirLink* lb = ldl->linkList;
            for (; la && lb; la = la->next, lb = lb->next)
                EXPECT_NEAR(la->Flow[0], lb->Flow[0], 1e-9 * (1e-6 + std::fabs(la->Flow[0]))) << "link " << la->nr;
        }
}
