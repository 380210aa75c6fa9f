// Duct balancing through the host, on a fan with a curve supplying a room through a short
// branch (duct F = 0.1 dP^0.5, terminal of 0.1 kg/s) and a long one (F = 0.03 dP^0.5, terminal
// of 0.05 kg/s); both terminals have a face of 0.05 m2 and a loss coefficient of 1.
#include <gtest/gtest.h>

#include <cmath>

#include "airflow/afe.h"
#include "bldgtest/bldgtest.h"
#include "bt_fixture.h"

static const double kRho = 101325.0 / (287.055 * 293.15);

// Pressure drop of a terminal of 0.05 m2 carrying F with the loss coefficient K.
static double terminalDrop(double F, double K)
{
    return F * F * K / (2.0 * kRho * 0.05 * 0.05);
}

// Rise of the fixture's fan curve 200 - 200 q - 10000 q^3 at speed ratio s (fan laws).
static double curveRise(double F, double s)
{
    double q = F / s;
    return (200.0 - 200.0 * q - 10000.0 * q * q * q) * s * s;
}

// The long branch is never throttled: its terminal keeps its coefficient (0, or 3 given in
// the project) and sets the pressure at the branching; the short branch's damper takes what is
// left: 1 + Cb = (dP(long) - (0.1/0.1)^2) / terminalDrop(0.1, 1).
TEST(DuctBalancing, TwoTerminalsReachTheirDesignFlows)
{
    for (double loss2 : {0.0, 3.0}) {
        SCOPED_TRACE(loss2);
        std::string text = btFixture("bal_two.prj");
        if (loss2 > 0.0) text = replaceFirst(text, "0.05 0 0.05 1 0 0", "0.05 0 0.05 1 3 0");
        BtRun r = btRun(text);
        ASSERT_EQ(r.r.status, 0) << r.r.err;
        auto l = btLines(r.file(".bal"));
        ASSERT_EQ(l.size(), 7u) << r.file(".bal");
        EXPECT_EQ(l[0], "0 ! Flow balance iterations converged");
        EXPECT_EQ(l[1], "!fan\tduct #\tflow [kg/s]\tPrise [Pa]\tRPMratio");
        EXPECT_EQ(l[2], "!trm\tjctn #\trel-flow [-]\tCb [-]");
        EXPECT_EQ(l[6], "end");

        double branch = std::pow(0.05 / 0.03, 2) + terminalDrop(0.05, 1.0 + loss2);
        double CbShort = (branch - 1.0) / terminalDrop(0.1, 1.0) - 1.0;
        // The fan lifts the branch pressure, the room's (0.15 through the crack) and the intake's.
        double room = std::pow(0.15 / (0.5 * std::sqrt(kRho)), 2);
        double rise = branch + room + 0.15 * 0.15 / (2.0 * kRho * 0.1 * 0.1);

        auto fan = btFields(l[3]);
        ASSERT_EQ(fan.size(), 5u);
        EXPECT_EQ(fan[0], "fan");
        EXPECT_EQ(fan[1], "1");
        EXPECT_NEAR(btNum(fan[2]), 0.15, 1e-9);  // the sum of the design flows
        EXPECT_NEAR(btNum(fan[3]), rise, 2e-3 * rise);
        double s = btNum(fan[4]);
        EXPECT_GT(s, 0.0);
        EXPECT_NEAR(curveRise(0.15, s), btNum(fan[3]), 1e-3 * rise);

        auto near = btFields(l[4]), far = btFields(l[5]);
        EXPECT_EQ(near[1], "3");
        EXPECT_EQ(far[1], "4");
        EXPECT_NEAR(btNum(near[2]), 1.0, 1e-4);  // tol = 10 x afRelcnvg
        EXPECT_NEAR(btNum(far[2]), 1.0, 1e-4);
        EXPECT_NEAR(btNum(near[3]), CbShort, 2e-3 * CbShort);
        EXPECT_NEAR(btNum(far[3]), loss2, 1e-6);

        std::string xlog = r.file(".xlog");
        EXPECT_NE(xlog.find("Duct balancing function called\n"), std::string::npos);
        EXPECT_NE(xlog.find("Iteration 1:\n Fan system 2 (2 terminals):\n  Relative Flows:\n   1.000000 "),
                  std::string::npos);
        EXPECT_NE(xlog.find("Duct balancing complete"), std::string::npos);
        EXPECT_TRUE(r.has(".sim"));  // the balanced flows are results too
    EXPECT_NE(xlog.find(" freed, 0 net\nSimulation completed successfully.\n"), std::string::npos);
    }
}

// At most twice the airflow iteration limit of network solutions.
TEST(DuctBalancing, IterationLimit)
{
    BtRun r = btRun(replaceFirst(btFixture("bal_two.prj"), "2 1 50 1e-5", "2 1 1 1e-5"));
    ASSERT_EQ(r.r.status, 0) << r.r.err;
    EXPECT_EQ(btLines(r.file(".bal"))[0], "1 ! Flow balance iterations did not converge");
    std::string xlog = r.file(".xlog");
    EXPECT_NE(xlog.find("Iteration 2:\n"), std::string::npos);
    EXPECT_EQ(xlog.find("Iteration 3:\n"), std::string::npos);
    EXPECT_NE(xlog.find("Duct balance failed to converge in 2 iterations"), std::string::npos);
}

TEST(DuctBalancing, SpeedRatio)
{
    AfeFan fan{};
    fan.a0 = 100.0f;  // P(s) = 100 s^2 h
    EXPECT_EQ(bal_speed_ratio(&fan, 0.1f, 100.0f, 1.0f), 1.0f);
    EXPECT_NEAR(bal_speed_ratio(&fan, 0.1f, 25.0f, 1.0f), 0.5f, 2e-5f);
    EXPECT_NEAR(bal_speed_ratio(&fan, 0.1f, 400.0f, 1.0f), 2.0f, 2e-5f);
    EXPECT_NEAR(bal_speed_ratio(&fan, 0.1f, 50.0f, 0.5f), 1.0f, 2e-5f);
    // Beyond 128 times (or below 1/128 of) its speed the fan gives no ratio.
    EXPECT_EQ(bal_speed_ratio(&fan, 0.1f, 100.0f * 129.0f * 129.0f, 1.0f), 0.0f);
    EXPECT_EQ(bal_speed_ratio(&fan, 0.1f, 100.0f / (129.0f * 129.0f), 1.0f), 0.0f);
    fan.a0 = 200.0f;
    fan.a1 = -200.0f;
    fan.a3 = -10000.0f;
    float s = bal_speed_ratio(&fan, 0.15f, 50.0f, 1.0f);
    EXPECT_NEAR(curveRise(0.15, s), 50.0, 0.01);
}
