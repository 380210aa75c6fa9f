// Duct elements: friction factors, the Darcy-Weisbach segment in its three ranges, the duct
// leak and the terminal, with their preparation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "link_bench.h"

namespace
{

// Colebrook's friction factor, 1/sqrt(f) = -2 log10(rr/3.7 + 2.51/(Re sqrt(f))), by bisection.
double colebrook(double rr, double Re)
{
    double lo = 0.1, hi = 100.0; // g = 1/sqrt(f)
    for (int i = 0; i < 200; i++) {
        double g = 0.5 * (lo + hi);
        if (g + 2.0 * std::log10(rr / 3.7 + 2.51 * g / Re) > 0.0)
            hi = g;
        else
            lo = g;
    }
    double g = 0.5 * (lo + hi);
    return 1.0 / (g * g);
}

// Friction factor of the duct law: laminar, Colebrook, and linear in Re between 2300 and 3500.
double ductFriction(double rr, double Re)
{
    if (Re <= 2300.0) return 64.0 / Re;
    if (Re >= 3500.0) return colebrook(rr, Re);
    double f1 = 64.0 / 2300.0, f2 = colebrook(rr, 3500.0);
    return f1 + (f2 - f1) * (Re - 2300.0) / 1200.0;
}

} // namespace

TEST(FrictionFactor, ColebrookAboveTransitionLaminarBelowLinearBetween)
{
    TestState s;
    struct {
        double rr, Re, f0;
    } cases[] = {{0.0, 4000, 0.04},  {0.0, 1e5, 0.04},   {1e-4, 1e5, 0.01},  {1e-3, 1e6, 0.04},
                 {0.05, 5e4, 0.1},   {1e-3, 3500, 0.04}, {1e-3, 1000, 0.04}, {1e-3, 2300, 0.0},
                 {1e-3, 2900, 0.04}, {0.0, 3200, 0.04}};
    for (auto& c : cases) {
        double want = ductFriction(c.rr, c.Re);
        EXPECT_NEAR(ffdwc(s.fms, c.rr, c.Re, c.f0), want, 1e-6 * want) << c.rr << " " << c.Re;
    }
}

TEST(FrictionFactor, NonPositiveReynoldsOrStartIsFatal)
{
    TestState s;
    s.openLog();
    s->errorFcn = quietErrors;
    ChildResult r = runChild([&] { ffdwc(s.fms, 0.0, 0.0, 0.04); });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(s.log().find("Re <= 0:      0"), std::string::npos);
    r = runChild([&] { ffdwc(s.fms, 0.0, 5000.0, 0.0); });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(s.log().find("f <= 0:      0"), std::string::npos);
}

TEST(FrictionFactor, HostVariantWithSmoothPipeLaws)
{
    auto blend = [](double Re, double fc) { return ((3500 - Re) * 64 / Re + (Re - 2300) * fc) / 1200; };
    struct {
        double rr, Re, f0, want, tol;
    } cases[] = {
        {1e-3, 1000, 0.02, 0.064, 1e-12},
        {1e-3, 1e5, 0.02, colebrook(1e-3, 1e5), 1e-4},
        {1e-3, 1e5, 0.0, colebrook(1e-3, 1e5), 1e-4}, // start from the fully rough value
        {0.0, 5e4, 0.0, 0.3164 / std::pow(5e4, 0.25), 1e-12},
        {0.0, 2e5, 0.0, 0.221 / std::pow(2e5, 0.237) + 0.0032, 1e-12},
        {0.0, 2900, 0.0, blend(2900, 0.3164 / std::pow(2900, 0.25)), 1e-12},
        {1e-3, 2900, 0.0, blend(2900, colebrook(1e-3, 2900)), 1e-4},
    };
    for (auto& c : cases)
        EXPECT_NEAR(ffdwc_w(c.rr, c.Re, c.f0), c.want, c.tol * c.want) << c.rr << " " << c.Re;
}

TEST(LaminarCoefficient, LaminarAndTurbulentLawsMeetAtTheTransitionFlow)
{
    TestState s;
    s.openLog();
    struct {
        int form;
        double factor;
    } forms[] = {{0, 1.2041}, {1, 1.097315}, {2, 1.0}};
    for (auto& f : forms) {
        float Cl = setLamCoef(s.fms, 0.01f, 0.6f, 0.04f, 0.2f, 2300.0f, f.form, "vent");
        double Ft = 2300.0 * 1.81625e-5 * 0.04 / 0.2;
        double dPt = std::pow(Ft / (0.01 * f.factor), 1.0 / 0.6);
        EXPECT_NEAR(Cl * 1.2041 / 1.81625e-5 * dPt, Ft, 1e-5 * Ft) << f.form;
    }
    float Cl = setLamCoef(s.fms, 0.01f, 0.5f, 0.04f, 0.2f, 2300.0f, 2, "grille");
    double Ft = (float)(2300.0f * 1.81625e-5f * 0.04f / 0.2f);
    double dPt = std::pow(Ft / (double)0.01f, 2.0);
    char want[256];
    snprintf(want, sizeof want, "grille: Cl %g, Ct %g, expt %g\n   Re %g, F %g, Ft %g, Fl %g\n", Cl, 0.01f,
             0.5, 2300.0, Ft, (double)0.01f * std::pow(dPt, 0.5), Cl * 1.2041 * dPt / 1.81625e-5);
    EXPECT_NE(s.log().find(want), std::string::npos) << s.log();
    // An unknown form has no turbulent law: the pressure falls to its floor, no Ft is listed.
    Cl = setLamCoef(s.fms, 0.01f, 0.5f, 0.04f, 0.2f, 2300.0f, 7, "odd");
    EXPECT_NEAR(Cl, (float)(Ft * 1.81625e-5 / (1e-10 * 1.2041)), 1e-6 * Cl);
    EXPECT_NE(s.log().find("Re 2300, F 0.00835475, Fl"), std::string::npos) << s.log();
}

namespace
{

struct DuctBench : LinkBench {
    AfeDwc e{};
    DuctBench(float len, float sumC)
    {
        e.rough = 1e-4f;
        e.D = 0.2f;
        e.A = 0.0314159f;
        e.rr = e.rough / e.D;
        use(AFE_DCT_DWC, &e);
        dd.len = len;
        dd.sumC = sumC;
        afe_duct_prep(fms(), &L);
    }
    // The duct's pressure drop (f L/D + sumC) rho V^2 / 2 for the flow of the last evaluation.
    double lawDp() const
    {
        const AirNode& U = L.dP > 0 ? N : M;
        double F = std::fabs(L.Flow[0]);
        double Re = F * e.D / (U.mu * e.A);
        double V = F / (U.rho * e.A);
        return (ductFriction(e.rr, Re) * dd.len / e.D + dd.sumC) * U.rho * V * V / 2.0;
    }
    // Flow once the one-step-per-call turbulent law has settled.
    double settled(double dP)
    {
        for (int i = 0; i < 40; i++)
            eval(dP);
        return L.Flow[0];
    }
    // dP at which X reaches a range limit.
    double dpAt(double X) const
    {
        float Dmu = e.D / N.mu;
        return X / ((double)Dmu * Dmu * 2.0 * N.rho);
    }
};

} // namespace

TEST(DarcyWeisbachDuct, PreparationSetsRangeLimitsOnTheFrictionLaw)
{
    DuctBench b(10.0f, 0.5f);
    EXPECT_EQ(b.L.mult, (double)0.02f);
    EXPECT_EQ(b.L.lastX, 0.04f);
    EXPECT_EQ(b.dd.g, 5.0f);
    EXPECT_EQ(b.dd.Re, 2900.0f);
    double LD = 10.0 / 0.2f;
    double Xlam = 2300.0 * 2300.0 * (64.0 / 2300.0 * LD + 0.5);
    double Xturb = 3500.0 * 3500.0 * (colebrook(b.e.rr, 3500.0) * LD + 0.5);
    EXPECT_NEAR(b.dd.Xlam, Xlam, 1e-6 * Xlam);
    EXPECT_NEAR(b.dd.Xturb, Xturb, 1e-6 * Xturb);
    // The transition cubic joins both ends.
    for (double Re : {2300.0, 3500.0}) {
        double X = (b.dd.c3 * Re + b.dd.c2) * Re * Re;
        EXPECT_NEAR(X, Re == 2300.0 ? Xlam : Xturb, 1e-5 * X);
    }
    // Other duct elements only get the unit multiplier.
    AfePlr p{1e-6f, 0.01f, 0.6f};
    b.use(AFE_DCT_PLR, &p);
    afe_duct_prep(b.fms(), &b.L);
    EXPECT_EQ(b.L.mult, 1.0);
}

TEST(DarcyWeisbachDuct, FlowSatisfiesTheFrictionLawInEachRange)
{
    DuctBench b(10.0f, 0.5f);
    setAir(b.M, airDensity(273.15), 1.72e-5, 273.15);
    struct {
        double dP;
        int range; // 0 laminar, 1 transition, 2 turbulent
    } cases[] = {{0.01, 0}, {-0.01, 0}, {0.06, 1}, {-0.07, 1}, {1.0, 2}, {50.0, 2}, {-5.0, 2}};
    for (auto& c : cases) {
        b.s->nDwcLam = b.s->nDwcTrns = b.s->nDwcTurb = 0;
        double F = b.settled(c.dP);
        SCOPED_TRACE(testing::Message() << "dP " << c.dP);
        EXPECT_EQ(F < 0, c.dP < 0);
        EXPECT_NEAR(b.lawDp(), std::fabs(c.dP), 1e-5 * std::fabs(c.dP));
        int counts[3] = {b.s->nDwcLam, b.s->nDwcTrns, b.s->nDwcTurb};
        EXPECT_EQ(counts[c.range], 40);
        // Slope against a central difference of settled flows.
        double h = 1e-5 * std::fabs(c.dP);
        double num = (b.settled(c.dP + h) - b.settled(c.dP - h)) / (2 * h);
        b.settled(c.dP);
        EXPECT_NEAR(b.L.dFdP, num, 1e-4 * std::fabs(num));
    }
}

TEST(DarcyWeisbachDuct, FlowIsContinuousAcrossTheRangeLimits)
{
    DuctBench b(10.0f, 0.5f);
    for (double X : {(double)b.dd.Xlam, (double)b.dd.Xturb}) {
        double dP = b.dpAt(X);
        double below = b.settled(dP * (1 - 1e-7)), above = b.settled(dP * (1 + 1e-7));
        EXPECT_NEAR(above, below, 1e-5 * below) << X;
    }
}

TEST(DarcyWeisbachDuct, SegmentWithoutLengthIsPureDynamicLoss)
{
    DuctBench b(0.0f, 0.8f);
    for (double dP : {1e-4, 0.003, 0.02, 3.0, -3.0}) {
        double F = b.settled(dP);
        double want = std::copysign(b.e.A * std::sqrt(2 * kRho0 * std::fabs(dP) / 0.8), dP);
        EXPECT_NEAR(F, want, 1e-5 * std::fabs(want)) << dP;
    }
    // At rest such a law has no finite slope; the model keeps one.
    b.eval(0.0);
    EXPECT_EQ(b.L.Flow[0], 0.0);
    EXPECT_TRUE(std::isfinite(b.L.dFdP));
    EXPECT_GT(b.L.dFdP, 0.0);
}

TEST(DarcyWeisbachDuct, LaminarCoefficientPassesTheReynolds30Flow)
{
    TestState s;
    AfeDwc e{1e-4f, 0.0f, 0.2f, 0.0314159f, 5e-4f, {}};
    float Clin = afe_dwc_clin(s.fms, &e, 10.0f, 0.5f);
    double Ft = 30.0 * 1.81625e-5 * e.A / e.D;
    double V = Ft / (1.2041 * e.A);
    double dPt = (64.0 / 30.0 * 10.0 / e.D + 0.5) * 1.2041 * V * V / 2;
    EXPECT_NEAR(Clin * 1.2041 / 1.81625e-5 * dPt, Ft, 1e-5 * Ft);
}

TEST(DuctLeak, LinearBelowOneMillipascalPowerLawAbove)
{
    LinkBench b(AFE_D_LEAK, nullptr);
    b.dd.Cleak = 0.01f;
    const double rhoM = airDensity(273.15);
    setAir(b.M, rhoM, 1.72e-5, 273.15);
    double K = 0.01f * kRho0;
    EXPECT_NEAR(b.flow(10.0), K * std::pow(10.0, 0.65), 1e-12);
    EXPECT_NEAR(b.L.dFdP, 0.65 * b.L.Flow[0] / 10.0, 1e-12);
    EXPECT_NEAR(b.flow(-10.0), -0.01f * rhoM * std::pow(10.0, 0.65), 1e-12);
    EXPECT_NEAR(b.flow(0.0005), K * std::pow(0.001, 0.65) * 0.5, 1e-15);
    EXPECT_NEAR(b.L.dFdP, K * std::pow(0.001, 0.65) / 0.001, 1e-12);
    // The two laws meet at 1 mPa.
    EXPECT_NEAR(b.flow(0.001), b.flow(0.001 * (1 + 1e-9)), 1e-8 * b.L.Flow[0]);
    // Density and viscosity correction, at exponent 0.65.
    double plain = b.flow(-10.0);
    b.s->rhoMuCorr = 1;
    double nuRatio = 1.50839e-5 * b.M.rhomu;
    EXPECT_NEAR(b.flow(-10.0) / plain, std::pow(kRho0 / rhoM, 0.65) * std::pow(nuRatio, 0.3), 1e-9);
    EXPECT_EQ(b.L.Flow[1], 0.0);
}

TEST(Terminal, PreparedCoefficientsAndDamperPositions)
{
    AfeTrm t{};
    t.loss1 = 1.0f;
    t.loss2 = 0.5f;
    t.area = 0.05f;
    LinkBench b(AFE_D_TERM, &t);
    afe_trm_prep(b.fms(), &t, 7);
    EXPECT_EQ(b.errors(), 0);
    // Laminar and turbulent laws cross at the flow of Reynolds number 30 (Dh = sqrt(area)).
    double FLc = (double)(t.lam * b.N.rhomu);
    double crossing = t.turb * t.turb * kRho0 / FLc;
    EXPECT_NEAR(crossing, 30 * kMu0 * std::sqrt(0.05), 1e-5 * crossing);

    const double rhoM = airDensity(273.15);
    setAir(b.M, rhoM);
    struct {
        float damper;
        double dP, K;
    } cases[] = {{1.0f, 10.0, 1.5},  {1.0f, -10.0, 1.5},       {0.5f, 10.0, 2.5},
                 {0.25f, -4.0, 4.5}, {1e-7f, 10.0, 1e6 + 1.5}, {0.0f, 10.0, 1e6 + 1.5}};
    for (auto& c : cases) {
        b.ctrl = c.damper;
        double rho = c.dP > 0 ? kRho0 : rhoM;
        double want = std::copysign(0.05 * std::sqrt(2 * rho * std::fabs(c.dP) / c.K), c.dP);
        EXPECT_NEAR(b.flow(c.dP), want, 1e-6 * std::fabs(want)) << c.damper << " " << c.dP;
        EXPECT_NEAR(b.L.dFdP, want / (2 * c.dP), 1e-6 * std::fabs(want / c.dP));
    }
    b.ctrl = 1.0f;
    EXPECT_NEAR(b.flow(1e-9), FLc * 1e-9, 1e-6 * FLc * 1e-9); // laminar near rest
    EXPECT_NEAR(b.L.dFdP, FLc, 1e-9 * FLc);

    AfeTrm bad{};
    bad.area = 0.05f;
    afe_trm_prep(b.fms(), &bad, 7);
    EXPECT_EQ(b.errors(), 1);
    EXPECT_NE(b.log().find("Invalid loss coefficient for terminal 7"), std::string::npos);
}
