// Reading wind pressure profiles and fitting them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "airflow/wind_read.h"
#include "section_file.h"

static const char* PROFILES = R"(4 ! profiles
1 5 1 flat
linear profile
 0 0.6
 90 -0.3
 180 -0.6
 270 -0.3
 360 0.6
2 5 2 round
! comment
spline profile
 0 0.6
 90 -0.3
 180 -0.6
 270 -0.3
 360 0.6
3 9 3 trig
trigonometric profile
 0 0.6
 45 0.1
 90 -0.3
 135 -0.5
 180 -0.6
 225 -0.5
 270 -0.4
 315 0.1
 360 0.6
4 3 7 odd
an unknown type reads as linear
 0 0.5
 180 -0.5
 360 0.5
-999
)";

TEST(WindRead, ProfilesOfAllThreeTypes)
{
    SectionFile f(PROFILES);
    FlowmirState* fms = f.fms();
    ASSERT_EQ(wind_read(fms, &f.pool), 4);
    ASSERT_EQ(f.errors(), 0) << f.log();
    EXPECT_TRUE(f.logHas("WindP Profile section read successfully.\n"));
    ASSERT_EQ(fms->nwpf, 4);

    Wpf* lin = fms->WpfLst[1];
    EXPECT_EQ(lin->nr, 1);
    EXPECT_EQ(lin->npts, 5);
    EXPECT_EQ(lin->type, WPF_LINEAR);
    EXPECT_FLOAT_EQ(lin->azm[2], 180.0f);
    EXPECT_FLOAT_EQ(lin->coef[2], -0.6f);
    EXPECT_EQ(lin->seg, nullptr);

    // Periodic spline by hand: h = 90, M = (-1/2250, 1/4500, 0, 1/4500).
    Wpf* spl = fms->WpfLst[2];
    EXPECT_EQ(spl->type, WPF_SPLINE);
    ASSERT_NE(spl->seg, nullptr);
    const double want[5][5] = {
        {0, 0.6, 0, -1.0 / 4500, 1.0 / 810000},
        {90, -0.3, -0.01, 1.0 / 9000, -1.0 / 2430000},
        {180, -0.6, 0, 0, 1.0 / 2430000},
        {270, -0.3, 0.01, 1.0 / 9000, -1.0 / 810000},
        {360, 0.6, 0, 0, 0},
    };
    for (int i = 0; i < 5; i++) {
        const WpSeg& s = spl->seg[i];
        const float got[5] = {s.x, s.s0, s.s1, s.s2, s.s3};
        for (int k = 0; k < 5; k++)
            EXPECT_NEAR(got[k], want[i][k], 1e-12 + 1e-6 * std::abs(want[i][k])) << i << "," << k;
    }
    // Each segment ends on the next point.
    for (int i = 0; i < 4; i++) {
        const WpSeg& s = spl->seg[i];
        double t = spl->azm[i + 1] - spl->azm[i];
        EXPECT_NEAR(((s.s3 * t + s.s2) * t + s.s1) * t + s.s0, spl->coef[i + 1], 1e-5) << i;
    }

    // Trigonometric: C0 = y0 + y180, C1 = y0 - y180, C2 = y90 + y270, C3 = y90 - y270.
    Wpf* trig = fms->WpfLst[3];
    EXPECT_EQ(trig->type, WPF_TRIG);
    EXPECT_FLOAT_EQ(trig->trig[0], 0.0f);
    EXPECT_FLOAT_EQ(trig->trig[1], 1.2f);
    EXPECT_FLOAT_EQ(trig->trig[2], -0.7f);
    EXPECT_NEAR(trig->trig[3], 0.1f, 1e-7);

    EXPECT_EQ(fms->WpfLst[4]->type, WPF_LINEAR);

    wind_free_list(fms);
    EXPECT_EQ(fms->WpfLst, nullptr);
    EXPECT_TRUE(f.balanced());
}

// A spline that cannot be fitted falls back to linear interpolation with an error.
TEST(WindRead, SplineProfilesThatCannotBeFitted)
{
    struct Case {
        const char* points;
        int npts;
        const char* message;
    };
    const Case cases[] = {
        {" 0 0.5\n 360 0.5\n", 2, "too few data points for spline"},
        {" 0 0.5\n 180 -0.5\n 360 0.4\n", 3, " Wind pressure profile data is not periodic"},
    };
    for (const Case& c : cases) {
        SectionFile f("1\n1 " + std::to_string(c.npts) + " 2 bad\nd\n" + c.points + "-999\n");
        wind_read(f.fms(), &f.pool);
        EXPECT_EQ(f.errors(), 1) << c.message;
        EXPECT_TRUE(f.logHas(std::string(c.message) + "\n")) << f.log();
        EXPECT_EQ(f.fms()->WpfLst[1]->type, WPF_LINEAR);
        EXPECT_EQ(f.fms()->WpfLst[1]->seg, nullptr);
        EXPECT_TRUE(f.logHas("WindP Profile section read successfully."));
    }
}

TEST(WindRead, TrigonometricFitNeedsTheFiveQuarterAngles)
{
    struct Case {
        std::vector<float> x, y;
        int ok;
        float c[4];
    };
    const Case cases[] = {
        // angles within 0.01 degree count
        {{0.005f, 89.995f, 180, 270.005f, 359.995f}, {1, 2, 3, 4, 1}, 1, {4, -2, 6, -2}},
        // 360 missing
        {{0, 90, 180, 270}, {1, 2, 3, 4}, 0, {9, 9, 9, 9}},
        // out of sequence: 90 before 0 is not seen
        {{90, 0, 180, 270, 360}, {2, 1, 3, 4, 1}, 0, {9, 9, 9, 9}},
        // 0.02 degree off
        {{0, 90.02f, 180, 270, 360}, {1, 2, 3, 4, 1}, 0, {9, 9, 9, 9}},
    };
    for (const Case& c : cases) {
        float trig[4] = {9, 9, 9, 9};
        EXPECT_EQ(wp_htrig(static_cast<int>(c.x.size()), c.x.data(), c.y.data(), trig), c.ok);
        for (int k = 0; k < 4; k++)
            EXPECT_FLOAT_EQ(trig[k], c.c[k]);
    }

    // In a file, a profile without them keeps zero coefficients and no error.
    SectionFile f("1\n1 4 3 t\nd\n 0 1\n 90 2\n 180 3\n 270 4\n-999\n");
    wind_read(f.fms(), &f.pool);
    EXPECT_EQ(f.errors(), 0);
    Wpf* w = f.fms()->WpfLst[1];
    EXPECT_EQ(w->type, WPF_TRIG);
    for (float v : w->trig)
        EXPECT_EQ(v, 0.0f);
}

TEST(WindRead, ThreePointSplineSharesOneColumn)
{
    // Two unknowns: both neighbours of each row are the other unknown.
    // h = 180: [720 360; 360 720] M = 6 (d0 - d1, d1 - d0), d = -2/180, +2/180.
    float x[3] = {0, 180, 360}, y[3] = {1, -1, 1};
    WpSeg seg[3];
    TestState s;
    ASSERT_EQ(wp_ccspl(s.fms, 3, x, y, seg), 1);
    double M0 = -24.0 / 180 / 360, M1 = 24.0 / 180 / 360; // M1 = -M0, (720 - 360) M0 = -24/180
    EXPECT_NEAR(seg[0].s2, M0 / 2, 1e-9);
    EXPECT_NEAR(seg[1].s2, M1 / 2, 1e-9);
    EXPECT_NEAR(seg[0].s1, -1.0 / 90 - (2 * M0 + M1) * 30, 1e-9);
    EXPECT_NEAR(seg[0].s3, (M1 - M0) / 1080, 1e-12);
    EXPECT_EQ(seg[2].x, 360.0f);
    EXPECT_EQ(seg[2].s0, 1.0f);
    EXPECT_EQ(s->bytesAllocated, s->bytesFreed);
}

TEST(WindRead, SectionErrors)
{
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"2\n1 2 1 a\nd\n 0 1\n 360 1\n3 2 1 b\nd\n 0 1\n 360 1\n-999\n", "Wind number mis-match: 2\n"},
        {"1\n1 2 1 a\nd\n 0 1\n 360 1\n999\n",
         "PRJ read error in WindP Profile section; enable the echo feature then see Log file for where error "
         "occurred\n"},
        {"1\n1 3 1 a\nd\n 0 1\n 180 2\n 180 1\n-999\n",
         "Wind pressure profile 1: angles must increase, at 180\n"},
        {"1\n1 1 1 a\nd\n 0 1\n-999\n", "Wind pressure profile 1 needs at least 2 points, has 1\n"},
    };
    for (const Case& c : cases) {
        SectionFile f(c.text);
        wind_read(f.fms(), &f.pool);
        EXPECT_GE(f.errors(), 1) << c.message;
        EXPECT_TRUE(f.logHas(c.message)) << f.log();
    }
}

TEST(WindRead, EmptySection)
{
    SectionFile f("0\n-999\n");
    EXPECT_EQ(wind_read(f.fms(), &f.pool), 0);
    EXPECT_EQ(f.errors(), 0);
    EXPECT_EQ(f.fms()->WpfLst, nullptr);
    wind_free_list(f.fms());
    EXPECT_TRUE(f.balanced());
}
