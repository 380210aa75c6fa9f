// Node air properties, stack terms, wind pressures and gage pressures against hand values.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "airflow/pressures.h"
#include "airflow/wpf.h"
#include "network/airnet.h"
#include "project/components.h"
#include "testutil.h"

namespace {

// Two zones at different heights and temperatures and the ambient; one path between each zone
// and the ambient, one between the zones.
struct Net {
    TestState s;
    Level lev{};
    AirNode z1{}, z2{}, amb{};
    AirLink p1{}, p2{}, p3{};
    float zero = 0.0f;
    float wP[3] = {0, 0, 0};
    float wS[3] = {0, 1.0f, -1.0f};

    Net()
    {
        FlowmirState* f = s.fms;
        f->Pambt = 101325.0;
        f->gravity = 9.8055f;
        f->Tambt = 273.15f;
        lev.elevation = 3.0f;
        f->levels = &lev;
        AirNode* nodes[3] = {&z1, &z2, &amb};
        double T[3] = {293.15, 303.15, 273.15};
        float h[3] = {3.0f, 6.0f, 0.0f};
        for (int i = 0; i < 3; i++) {
            nodes[i]->nr = i + 1;
            nodes[i]->T = T[i];
            nodes[i]->R = 287.055;
            nodes[i]->hgt = h[i];
            nodes[i]->level = &lev;
            nodes[i]->next = i < 2 ? nodes[i + 1] : nullptr;
        }
        f->nodeList = &z1;
        f->ambt = &amb;
        link(p1, amb, z1, 1.0f, 4.0f);
        link(p2, z1, z2, 4.5f, 4.5f);
        link(p3, z2, amb, 7.0f, 7.0f);
        p1.next = &p2;
        p2.next = &p3;
        f->linkList = &p1;
        f->nenv = 2;
        f->wPenv = wP;
        f->wSign = wS;
    }
    void link(AirLink& l, AirNode& n, AirNode& m, float Z, float zAbs)
    {
        l.nodeN = &n;
        l.nodeM = &m;
        l.Z = zAbs;
        l.dHn = zAbs - n.hgt;
        l.dHm = zAbs - m.hgt;
        l.windP = &zero;
        (void)Z;
    }
};

}  // namespace

TEST(Pressures, LinearStackTermsAndProperties)
{
    Net n;
    n.z1.P = 2.0;
    n.z2.P = -1.0;
    calc_sP(n.s.fms);
    double rho1 = 101325.0 / (293.15 * 287.055), rho2 = 101325.0 / (303.15 * 287.055);
    double rhoa = 101325.0 / (273.15 * 287.055);
    EXPECT_DOUBLE_EQ(n.z1.rho, rho1);
    EXPECT_FLOAT_EQ(n.z1.mu, (float)(293.15 * 4.9286e-8 + 3.7143e-6));
    EXPECT_FLOAT_EQ(n.z1.rhomu, (float)(rho1 / n.z1.mu));
    double g = 9.8055f;
    // Path 2 at 4.5 m: 1.5 m above zone 1, 1.5 m below zone 2.
    EXPECT_NEAR(n.p2.dPs, g * -1.5 * rho2 - g * 1.5 * rho1, 1e-12);
    EXPECT_NEAR(n.p2.dP, 3.0 + n.p2.dPs, 1e-12);
    // Path 3 from zone 2 to the ambient node at 0 m, opening at 7 m.
    EXPECT_NEAR(n.p3.dPs, g * 7.0 * rhoa - g * 1.0 * rho2, 1e-12);

    n.s->densZP = 1;
    n.s->afRelcnvg = 1e-4f;
    calc_sP(n.s.fms);
    EXPECT_DOUBLE_EQ(n.z1.rho, (101325.0 + 2.0) / (293.15 * 287.055));
    EXPECT_TRUE(airNodeDensitiesHaveConverged(n.s.fms));
    n.z1.P = 500.0;  // density no longer matches the pressure
    EXPECT_FALSE(airNodeDensitiesHaveConverged(n.s.fms));
}

TEST(Pressures, ExponentialStackAndDuctRise)
{
    Net n;
    n.s->stackD = 1;
    calc_sP(n.s.fms);
    double g = 9.8055f, Pb = 101325.0;
    double e = (exp(-g * -1.5 / (303.15 * 287.055)) - 1.0) * Pb;  // the link is 1.5 m below zone 2
    double a = (exp(-g * 1.5 / (293.15 * 287.055)) - 1.0) * Pb;
    EXPECT_NEAR(n.p2.dPs, a - e, 1e-9);

    n.p2.styp = LINK_DUCT;
    n.p2.dH = 3.0f;
    n.s->stackD = 0;
    calc_sP(n.s.fms);
    EXPECT_NEAR(n.p2.dPs, -g * 3.0 * Pb / (298.15 * 287.055), 1e-9);
    n.p2.dH = 0.0f;
    calc_sP(n.s.fms);
    EXPECT_EQ(n.p2.dPs, 0.0);
}

TEST(Pressures, InvalidDensityIsFatal)
{
    ChildResult r = runChild([] {
        Net n;
        n.z2.T = 1e7;
        calc_sP(n.s.fms);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FATAL Node 2 - invalid air density: "), std::string::npos) << r.err;
}

// A linear profile through 0.6 facing the wind, -0.3 on the sides and -0.5 behind.
struct AxisProfile {
    float azm[5] = {0, 90, 180, 270, 360};
    float cp[5] = {0.6f, -0.3f, -0.5f, -0.3f, 0.6f};
    Wpf lin{};
    AxisProfile()
    {
        lin.npts = 5;
        lin.type = WPF_LINEAR;
        lin.azm = azm;
        lin.coef = cp;
    }
};

TEST(Pressures, WindFromProfilesAndConstants)
{
    Net n;
    AxisProfile profile;
    Wpf& lin = profile.lin;
    n.p1.flags = LF_WIND;
    n.p1.envIdx = 1;
    n.p1.windProf = &lin;
    n.p1.windMod = 0.8f;
    n.p1.azimuth = 300.0f;
    n.p3.flags = LF_WIND;
    n.p3.envIdx = 2;
    n.p3.windConst = 4.0f;
    n.s->Wspd = 5.0f;
    n.s->Wdir = 15.0f;  // seen at 75 degrees by the wall facing 300
    calc_wP(n.s.fms);
    double rhoa = 101325.0 / (273.15 * 287.055);
    double q = 0.5 * rhoa * 25.0;
    double cp75 = (75.0 * -0.3 + 15.0 * 0.6) / 90.0;
    EXPECT_NEAR(n.wP[1], cp75 * 0.8 * q, 1e-4);
    EXPECT_FLOAT_EQ(n.wP[2], -4.0f);

    // Trigonometric profile through the same four values reproduces them at the axes.
    Wpf trig{};
    trig.type = WPF_TRIG;
    trig.trig[0] = 0.6f + -0.5f;
    trig.trig[1] = 0.6f - -0.5f;
    trig.trig[2] = -0.6f;
    trig.trig[3] = 0.0f;
    EXPECT_NEAR(wpf_cp(n.s.fms, &trig, 0.0f), 0.6, 1e-6);
    EXPECT_NEAR(wpf_cp(n.s.fms, &trig, 180.0f), -0.5, 1e-6);
    EXPECT_NEAR(wpf_cp(n.s.fms, &trig, 90.0f), -0.3, 1e-5);

    // Values supplied from elsewhere are left alone.
    n.wP[1] = 99.0f;
    n.s->_useWPCwp = 1;
    calc_wP(n.s.fms);
    EXPECT_EQ(n.wP[1], 99.0f);
}

// Near Cp = 0 the interpolation keeps double precision: single-precision products are off
// by tens of their ulps there.
TEST(Pressures, ProfileInterpolationInDoublePrecision)
{
    TestState ts;
    float azm[3] = {45.0f, 90.0f, 135.0f};
    float cp[3] = {0.45f, 0.018f, -0.443f};
    Wpf lin{};
    lin.npts = 3;
    lin.type = WPF_LINEAR;
    lin.azm = azm;
    lin.coef = cp;
    const float theta = 91.7470093f;
    double want = ((double)theta - 90.0) * (double)-0.443f / 45.0 + (135.0 - (double)theta) * (double)0.018f / 45.0;
    EXPECT_NEAR(want, 1.02860204576e-4, 1e-15);
    EXPECT_NEAR(wpf_cp(ts.fms, &lin, theta), 1.02860204576e-4, 1.02860204576e-4 * 1e-12);

    // A spline segment's offset from its start: theta - x is exact in double, not in float.
    WpSeg seg[2] = {};
    seg[0].x = 0.1f;
    seg[0].s0 = 0.0f;
    seg[0].s1 = 1.0f;
    seg[1].x = 135.0f;
    Wpf spl{};
    spl.npts = 2;
    spl.type = WPF_SPLINE;
    spl.seg = seg;
    EXPECT_EQ(wpf_cp(ts.fms, &spl, theta), (double)theta - (double)0.1f);
    EXPECT_NE((double)(theta - 0.1f), (double)theta - (double)0.1f);
}

// Angles of any size are reduced at once (a loop of turns never ends for 1e10); angles that
// are not numbers stop the run.
TEST(Pressures, WindAnglesOfAnySize)
{
    AxisProfile profile;
    Wpf& lin = profile.lin;
    const struct {
        float dir, azimuth, seen;
    } cases[] = {{15.0f, 300.0f, 75.0f}, {350.0f, -20.0f, 10.0f}, {1e10f, 0.0f, std::fmod(1e10f, 360.0f)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.azimuth);
        Net n;
        n.p1.flags = LF_WIND;
        n.p1.envIdx = 1;
        n.p1.windProf = &lin;
        n.p1.windMod = 1.0f;
        n.p1.azimuth = c.azimuth;
        n.s->Wspd = 5.0f;
        n.s->Wdir = c.dir;
        calc_wP(n.s.fms);
        double q = 0.5 * (101325.0 / (273.15 * 287.055)) * 25.0;
        EXPECT_NEAR(n.wP[1], wpf_cp(n.s.fms, &lin, c.seen) * q, 1e-5);
    }
    ChildResult r = runChild([&] {
        Net n;
        n.p1.flags = LF_WIND;
        n.p1.envIdx = 1;
        n.p1.windProf = &lin;
        n.p1.azimuth = 0.0f;
        n.s->Wdir = std::numeric_limits<float>::infinity();
        calc_wP(n.s.fms);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FATAL Invalid wind angle, path "), std::string::npos) << r.err;
}

TEST(Pressures, GagePressures)
{
    Net n;
    n.z1.P = 10.0;
    calc_sP(n.s.fms);
    n.amb.rho = 101325.0 / (273.15 * 287.055);
    findPgage(n.s.fms);
    double g = 9.8055f;
    double rhoa = n.amb.rho;
    EXPECT_NEAR(n.lev.Plev, -rhoa * (double)(9.8055f * 3.0f), 1e-9);
    // Zone 1 sits on the level floor: its gage pressure is its pressure less the level's.
    EXPECT_NEAR(n.z1.Pgage, (float)(10.0 - n.lev.Plev), 1e-4);
    EXPECT_NEAR(n.z2.Pgage, (float)(3.0 * g * rhoa - n.lev.Plev), 1e-4);
    EXPECT_EQ(n.amb.Pgage, 0.0f);
}

TEST(Pressures, MoistAirDensity)
{
    EXPECT_FLOAT_EQ(PsyRhoAirFnPbTdbW(101325.0, 20.0, 0.0), (float)(101325.0 / (287.0 * 293.15 * (1 + 1.6077687 * (double)1e-5f))));
    EXPECT_FLOAT_EQ(PsyRhoAirFnPbTdbW(101325.0, 20.0, 0.01), (float)(101325.0 / (287.0 * 293.15 * 1.016077687)));
}
