// Fans: the cubic solver, the performance-curve fan and the constant-flow fans.
#include <gtest/gtest.h>

#include <cmath>

#include "link_bench.h"

namespace
{

double cubic(const double c[4], double x)
{
    return ((c[3] * x + c[2]) * x + c[1]) * x + c[0];
}

} // namespace

TEST(SolveCubic, FindsTheRootNearTheStart)
{
    TestState s;
    struct {
        double c[4]; // c0..c3
        double x0, root;
        int fallback;
    } cases[] = {
        {{-6, 11, -6, 1}, 0.9, 1.0, 0}, // (x-1)(x-2)(x-3)
        {{-6, 11, -6, 1}, 2.1, 2.0, 0},
        {{-6, 11, -6, 1}, 3.4, 3.0, 0},
        {{8, 0, 0, -1}, 3.0, 2.0, 0}, // 8 - x^3
        {{-2, 1, 0, 0}, 0.0, 2.0, 0}, // linear
        // Newton cycles between 0 and 1 here; the closed form takes over.
        {{2, -2, 0, 1}, 0.0, -1.7692923542386314, 1},
        // Cycles between 1 and -1 and has three real roots, where the closed form's square
        // root would be imaginary; the root nearest the start is taken.
        {{0, -5, 0, 1}, 1.0, 0.0, 1},
    };
    for (auto& c : cases) {
        s->nCubicA = s->nCubicN = 0;
        double x = solveCubic(s.fms, c.c[0], c.c[1], c.c[2], c.c[3], c.x0);
        EXPECT_NEAR(x, c.root, 1e-9) << "start " << c.x0;
        EXPECT_NEAR(cubic(c.c, x), 0.0, 1e-9);
        EXPECT_EQ(s->nCubicA, 1);
        EXPECT_EQ(s->nCubicN, c.fallback);
    }
}

namespace
{

// Rise 300 - 200 q - 50 q^3 Pa at rdens and full speed (q in kg/s at rdens): 50 Pa at q = 1.
AfeFan testFan()
{
    AfeFan f{};
    f.lam = 1e-5f;
    f.turb = 0.002f;
    f.expt = 0.6f;
    f.rdens = 1.2041f;
    f.off = 0.1f;
    f.a0 = 300.0f;
    f.a1 = -200.0f;
    f.a2 = 0.0f;
    f.a3 = -50.0f;
    return f;
}

} // namespace

TEST(Fan, FlowFollowsTheCurveScaledBySpeedAndDensity)
{
    AfeFan f = testFan();
    LinkBench b(AFE_FAN_FAN, &f);
    b.L.mult = 2.0;
    struct {
        double rho;
        float speed;
    } cases[] = {{1.2041, 1.0f}, {1.2041, 0.6f}, {1.05, 0.8f}, {1.30, 1.0f}};
    for (auto& c : cases) {
        setAir(b.N, c.rho);
        b.ctrl = c.speed;
        double r = c.rho / (double)1.2041f;
        // Fan laws: at speed s and density rho the curve point q = 1 has rise s^2 r 50 Pa and
        // mass flow r s q.
        b.L.lastX = 0.3f;
        b.eval(-(double)c.speed * c.speed * r * 50.0);
        EXPECT_NEAR(b.L.Flow[0], 2.0 * r * c.speed, 1e-9) << c.rho << " " << c.speed;
        EXPECT_NEAR(b.L.lastX, 1.0f, 1e-6);
        // dF/ddP = -mult / (s dRise/dq) with dRise/dq = -200 - 150 q^2.
        EXPECT_NEAR(b.L.dFdP, 2.0 / (c.speed * 350.0), 1e-12);
        double num = b.numericSlope(b.L.dP, 1e-4);
        EXPECT_NEAR(b.L.dFdP, num, 1e-6 * num);
    }
    // Against a high pressure the flow reverses along the curve: rise 300 + 200 + 50 at q = -1.
    setAir(b.N, 1.2041f);
    b.ctrl = 1.0f;
    EXPECT_NEAR(b.flow(-550.0), -2.0, 1e-9);
    // Free delivery (no pressure difference): 300 - 200 q - 50 q^3 = 0.
    double q = b.flow(0.0) / 2.0;
    EXPECT_NEAR(300 - 200 * q - 50 * q * q * q, 0.0, 1e-8);
}

TEST(Fan, AtOrBelowItsOffValueTheFanIsALeak)
{
    AfeFan f = testFan();
    AfePlr p{f.lam, f.turb, f.expt};
    LinkBench fan(AFE_FAN_FAN, &f), plr(AFE_PLR_ORFC, &p);
    fan.L.mult = plr.L.mult = 3.0;
    for (float speed : {0.1f, 0.05f, 0.0f}) {
        fan.ctrl = speed; // the control value is not applied to the leak
        for (double dP : {-20.0, 5.0}) {
            EXPECT_DOUBLE_EQ(fan.flow(dP), plr.flow(dP)) << speed;
            EXPECT_DOUBLE_EQ(fan.L.dFdP, plr.L.dFdP);
        }
    }
}

TEST(ConstantFlowFans, IgnorePressureAndScaleByControlAndMultiplier)
{
    AfeCnf mass{0.25f}, vol{0.2f};
    LinkBench b;
    setAir(b.N, 1.1);
    setAir(b.M, 1.3);
    b.ctrl = 0.5f;
    b.L.mult = 2.0;
    for (int type : {AFE_FAN_CMF, AFE_DCT_CMF}) {
        b.use(type, &mass);
        for (double dP : {-100.0, 0.0, 100.0}) {
            EXPECT_NEAR(b.flow(dP), 0.25, 1e-9);
            EXPECT_EQ(b.L.dFdP, 0.0);
        }
    }
    for (int type : {AFE_FAN_CVF, AFE_DCT_CVF}) {
        b.use(type, &vol);
        for (double dP : {-100.0, 100.0}) // the density of node N either way
            EXPECT_NEAR(b.flow(dP), 0.2 * 1.1, 1e-7);
    }
}
