// Spline curves of the spline elements: fit, evaluation and check.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "airflow/spline.h"
#include "support/error.h"
#include "support/log.h"
#include "testutil.h"

static int quiet(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

static std::vector<CsfPoint> points(std::initializer_list<std::pair<double, double>> xy)
{
    std::vector<CsfPoint> p;
    for (auto [x, y] : xy)
        p.push_back(CsfPoint{x, y, 0, 0, 0});
    return p;
}

struct SplineTest : ::testing::Test {
    TestState s;
    void SetUp() override
    {
        s.openLog();
        s->errorFcn = quiet;
    }
    int errors() { return error(s.fms, -1, __FILE__, __LINE__, ""); }
};

TEST_F(SplineTest, FourPointsHaveSecantEndsAndACubicMiddle)
{
    auto p = points({{0, 0}, {1, 1}, {2, 4}, {3, 9}});
    ASSERT_EQ(CSFinit(s.fms, 4, p.data()), 0);
    // Secants 1, 3, 5: the middle segment has slopes 1 and 5 at its ends: y = 1 + t + 2t^2.
    const double want[4][3] = {{1, 0, 0}, {1, 2, 0}, {5, 0, 0}, {5, 0, 0}};
    for (int i = 0; i < 4; i++) {
        EXPECT_DOUBLE_EQ(p[i].b, want[i][0]) << i;
        EXPECT_DOUBLE_EQ(p[i].c, want[i][1]) << i;
        EXPECT_DOUBLE_EQ(p[i].d, want[i][2]) << i;
    }
    EXPECT_EQ(s->bytesAllocated, s->bytesFreed); // work arrays released
}

TEST_F(SplineTest, FivePointsSolveTheInnerSlope)
{
    // Secants 1, 3, 5, 7; ends fixed to 1 and 7; inner row 1 + 4 m2 + 7 = 3 (3 + 5) gives m2 = 4.
    auto p = points({{0, 0}, {1, 1}, {2, 4}, {3, 9}, {4, 16}});
    ASSERT_EQ(CSFinit(s.fms, 5, p.data()), 0);
    EXPECT_DOUBLE_EQ(p[1].b, 1.0);
    EXPECT_DOUBLE_EQ(p[1].c, 3.0);
    EXPECT_DOUBLE_EQ(p[1].d, -1.0);
    EXPECT_DOUBLE_EQ(p[2].b, 4.0);
    EXPECT_NEAR(p[2].c, 0.0, 1e-14);
    EXPECT_DOUBLE_EQ(p[2].d, 1.0);
    EXPECT_DOUBLE_EQ(p[3].b, 7.0);
    EXPECT_EQ(p[3].c, 0.0);
}

// Uneven spacing: the curve passes the points with a continuous slope, and with a continuous
// curvature at the points 2..n-3.
TEST_F(SplineTest, UnevenPointsJoinSmoothly)
{
    auto p = points({{-2, -30}, {-0.5, -4}, {0, 0}, {0.7, 3}, {2, 8}, {5, 11}, {6.5, 30}});
    int n = static_cast<int>(p.size());
    ASSERT_EQ(CSFinit(s.fms, n, p.data()), 0);
    for (int i = 1; i < n; i++) {
        int seg = i - 1;
        double dy, d2y;
        double yLeft = CSFintrp(p[i].x - 1e-9, n, p.data(), &seg, &dy, &d2y);
        EXPECT_EQ(seg, i - 1);
        EXPECT_NEAR(yLeft, p[i].y, 1e-6) << i;
        const CsfPoint& q = p[i - 1];
        double t = p[i].x - q.x;
        double slopeLeft = (3 * q.d * t + 2 * q.c) * t + q.b;
        double curvLeft = 6 * q.d * t + 2 * q.c;
        if (i < n - 1) {
            EXPECT_NEAR(slopeLeft, p[i].b, 1e-9 * (1 + std::fabs(p[i].b))) << i;
            if (i >= 2 && i <= n - 3) {
                EXPECT_NEAR(curvLeft, 2 * p[i].c, 1e-9 * (1 + std::fabs(p[i].c))) << i;
            }
        }
    }
}

TEST_F(SplineTest, EvaluationExtendsTheEndSecantsAndTracksTheSegment)
{
    auto p = points({{0, 0}, {1, 1}, {2, 4}, {3, 9}});
    CSFinit(s.fms, 4, p.data());
    struct Case {
        double x;
        int seg0;
        double y, dy, d2y;
        int seg;
    };
    const Case cases[] = {
        {-1.0, 2, -1.0, 1.0, 0.0, 0}, {0.5, 0, 0.5, 1.0, 0.0, 0},  {1.5, 0, 2.0, 3.0, 4.0, 1},
        {2.0, 0, 4.0, 5.0, 0.0, 2},   {5.0, 0, 19.0, 5.0, 0.0, 2}, {1.0, 9, 1.0, 1.0, 4.0, 1},
        {1.5, -4, 2.0, 3.0, 4.0, 1},
    };
    for (const Case& c : cases) {
        int seg = c.seg0;
        double dy = 0, d2y = 0;
        double y = CSFintrp(c.x, 4, p.data(), &seg, &dy, &d2y);
        EXPECT_DOUBLE_EQ(y, c.y) << c.x;
        EXPECT_DOUBLE_EQ(dy, c.dy) << c.x;
        EXPECT_DOUBLE_EQ(d2y, c.d2y) << c.x;
        EXPECT_EQ(seg, c.seg) << c.x;
    }
    int seg = 0;
    double dy;
    EXPECT_DOUBLE_EQ(CSFintrp(1.5, 4, p.data(), &seg, &dy, nullptr), 2.0);
}

TEST_F(SplineTest, FewPointsGiveStraightSegments)
{
    auto two = points({{0, 1}, {2, 5}});
    ASSERT_EQ(CSFinit(s.fms, 2, two.data()), 0);
    int seg = 0;
    double dy;
    EXPECT_DOUBLE_EQ(CSFintrp(3.0, 2, two.data(), &seg, &dy, nullptr), 7.0);

    auto three = points({{0, 0}, {1, 2}, {3, 3}});
    ASSERT_EQ(CSFinit(s.fms, 3, three.data()), 0);
    EXPECT_DOUBLE_EQ(three[0].b, 2.0);
    EXPECT_DOUBLE_EQ(three[1].b, 0.5);
    EXPECT_DOUBLE_EQ(CSFintrp(2.0, 3, three.data(), &seg, &dy, nullptr), 2.5);
    EXPECT_EQ(errors(), 0);

    auto one = points({{0, 0}});
    EXPECT_EQ(CSFinit(s.fms, 1, one.data()), 1);
    EXPECT_EQ(errors(), 1);
}

TEST_F(SplineTest, FitRefusesRepeatedOrDescendingAbscissae)
{
    struct Case {
        std::vector<CsfPoint> p;
        const char* message;
    };
    Case cases[] = {
        {points({{0, 0}, {1, 1}, {2, 2}, {2, 3}, {4, 4}}), "Multiple data points  at x =    2\n"},
        {points({{0, 0}, {1, 1}, {0.25, 2}, {4, 4}}), "Data points out of order at x = 0.25\n"},
    };
    for (Case& c : cases) {
        EXPECT_EQ(CSFinit(s.fms, static_cast<int>(c.p.size()), c.p.data()), 1);
        EXPECT_NE(s.log().find(c.message), std::string::npos) << s.log();
    }
    EXPECT_EQ(errors(), 2);
}

TEST_F(SplineTest, CheckListsTheCurveAndPassesARisingOne)
{
    auto p = points({{0, 0}, {1, 1}, {2, 4}, {3, 9}});
    CSFinit(s.fms, 4, p.data());
    int flags[3] = {7, 7, 7};
    EXPECT_EQ(CSFchk(s.fms, "rise", 4, p.data(), CSF_AIRFLOW, flags, nullptr), 0);
    EXPECT_EQ(flags[0] + flags[1] + flags[2], 0);
    std::string log = s.log();
    EXPECT_NE(log.find("CSFchk: rise\nseg #    x            y            y'           y\"\n"
                       "   0    0.0000e+00   0.0000e+00   1.0000e+00   0.0000e+00\n"
                       "   1    1.0000e+00   1.0000e+00   1.0000e+00   4.0000e+00\n"
                       "   2    2.0000e+00   4.0000e+00   5.0000e+00   0.0000e+00\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(errors(), 0);
}

TEST_F(SplineTest, CheckFindsFallingAndFlatAirflowCurves)
{
    // A flat middle: the slope dips to zero inside segment 1 (at t = (3 -+ sqrt 3)/6).
    auto flat = points({{0, 0}, {1, 1}, {2, 1}, {3, 2}});
    CSFinit(s.fms, 4, flat.data());
    int flags[3];
    const char* reasons[3];
    EXPECT_EQ(CSFchk(s.fms, "flat", 4, flat.data(), CSF_AIRFLOW, flags, reasons), 1);
    EXPECT_EQ(flags[0], 0);
    EXPECT_EQ(flags[1], 1);
    EXPECT_STREQ(reasons[1], "y' = 0");
    EXPECT_EQ(flags[2], 0);
    char line[80];
    snprintf(line, sizeof line, "     y' = 0 at x = %g, segment 1\n", 1.0 + (3.0 - std::sqrt(3.0)) / 6.0);
    EXPECT_NE(s.log().find(line), std::string::npos) << s.log();

    // A falling last part fails at its start.
    auto fall = points({{0, 0}, {1, 1}, {2, 2}, {3, 1.5}});
    CSFinit(s.fms, 4, fall.data());
    EXPECT_EQ(CSFchk(s.fms, "fall", 4, fall.data(), CSF_AIRFLOW, flags, reasons), 1);
    EXPECT_EQ(flags[2], 1);
    EXPECT_STREQ(reasons[2], "y' <= 0");
    EXPECT_NE(s.log().find("     y' <= 0 at x = 2, segment 2\n"), std::string::npos) << s.log();
    EXPECT_EQ(errors(), 0); // a failed check is not an input error
}

TEST_F(SplineTest, CheckOfBoundedCurves)
{
    // An efficiency-like curve that overshoots 1 at its end and inside a segment.
    auto p = points({{0, 0.2}, {1, 0.2}, {2, 0.95}, {3, 0.95}, {4, 1.2}});
    CSFinit(s.fms, 5, p.data());
    int flags[4];
    const char* reasons[4];
    EXPECT_EQ(CSFchk(s.fms, "eff", 5, p.data(), CSF_BOUNDED, flags, reasons), 1);
    EXPECT_EQ(flags[0], 0); // flat start: slope 0 at x0
    EXPECT_EQ(flags[3], 1);
    EXPECT_STREQ(reasons[3], "y > 1");
    std::string log = s.log();
    EXPECT_NE(log.find("     y > 1 at x = 4, segment 3\n"), std::string::npos) << log;

    // Decreasing kind: any rise fails.
    auto d = points({{0, 0.9}, {1, 0.9}, {2, 0.5}, {3, 0.6}});
    CSFinit(s.fms, 4, d.data());
    EXPECT_EQ(CSFchk(s.fms, "dec", 4, d.data(), CSF_DECREASING, flags, reasons), 1);
    EXPECT_EQ(flags[2], 1);
    EXPECT_STREQ(reasons[2], "y' > 0");
}

TEST_F(SplineTest, CheckOfAnUnknownKindIsFatal)
{
    auto p = points({{0, 0}, {1, 1}});
    CSFinit(s.fms, 2, p.data());
    ChildResult r = runChild([&] { CSFchk(s.fms, "x", 2, p.data(), 4, nullptr, nullptr); });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(s.log().find("Invalid value for equation type: 4"), std::string::npos);
}
