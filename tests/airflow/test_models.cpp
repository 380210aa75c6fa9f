// Flow models of the path elements: power laws, dampers, quadratic law, vent, doors, AHS links,
// spline elements, and the binding of models to elements.
#include <gtest/gtest.h>

#include "strip_flow.h"

#include <cmath>
#include <functional>
#include <vector>

#include "airflow/spline.h"
#include "link_bench.h"

namespace
{

// Air at 40 C: lighter and more viscous than the standard.
const double kRhoWarm = airDensity(313.15);
const double kMuWarm = 1.91e-5;
const double kRhoCold = airDensity(273.15);

struct PlrCase {
    int type;
    double dP;
    bool laminar; // which branch the case must land on
};

// Turbulent coefficient's density factor of each power-law form.
double formDensity(int type, double rho)
{
    switch (type) {
    case AFE_PLR_FCN:
    case AFE_DCT_FCN:
        return 1.0;
    case AFE_PLR_QCN:
    case AFE_DCT_QCN:
        return rho;
    default:
        return std::sqrt(rho);
    }
}

} // namespace

TEST(PowerLaw, FlowsFollowTheLaminarOrTurbulentLawWhicheverIsSmaller)
{
    AfePlr p{2e-6f, 0.01f, 0.65f};
    DctPlr dp{};
    dp.plr = p;
    LinkBench b;
    setAir(b.M, kRhoCold); // negative dP must take the upstream node M
    const PlrCase cases[] = {
        {AFE_PLR_ORFC, 1e-4, true}, {AFE_PLR_ORFC, -1e-4, true}, {AFE_PLR_ORFC, 0.01, false},
        {AFE_PLR_ORFC, 5.0, false}, {AFE_PLR_ORFC, -5.0, false}, {AFE_PLR_CRACK, 50.0, false},
        {AFE_PLR_FCN, 1e-4, true},  {AFE_PLR_FCN, 0.01, false},  {AFE_PLR_FCN, -20.0, false},
        {AFE_PLR_QCN, 1e-4, true},  {AFE_PLR_QCN, 0.05, false},  {AFE_PLR_QCN, -20.0, false},
        {AFE_DCT_PLR, -3.0, false}, {AFE_DCT_PLR, 2e-4, true},
    };
    for (const PlrCase& c : cases) {
        b.use(c.type, c.type == AFE_DCT_PLR ? (void*)&dp : (void*)&p);
        EXPECT_EQ(b.eval(c.dP), 1);
        const AirNode& U = c.dP >= 0 ? b.N : b.M;
        double laminar = 2e-6 * (U.rho / U.mu) * c.dP;
        double turbulent =
            std::copysign(0.01 * formDensity(c.type, U.rho) * std::pow(std::fabs(c.dP), 0.65), c.dP);
        double want = c.laminar ? laminar : turbulent;
        SCOPED_TRACE(testing::Message() << "type " << c.type << " dP " << c.dP);
        ASSERT_EQ(std::fabs(laminar) < std::fabs(turbulent), c.laminar) << "case not on its branch";
        EXPECT_NEAR(b.L.Flow[0], want, 1e-6 * std::fabs(want));
        double slope = c.laminar ? 2e-6 * U.rho / U.mu : 0.65 * want / c.dP;
        EXPECT_NEAR(b.L.dFdP, slope, 1e-6 * std::fabs(slope));
        EXPECT_EQ(b.L.Flow[1], 0.0);
    }
}

TEST(PowerLaw, ZeroPressureGivesZeroFlowAndTheScaledLaminarSlope)
{
    AfePlr p{3e-6f, 0.02f, 0.6f};
    AfeBid bd{3e-6f, 0.02f, 0.6f, 0.01f, 0.7f};
    LinkBench b;
    setAir(b.M, kRhoCold);
    b.ctrl = 0.5f;
    b.L.mult = 4.0;
    double rmN = b.N.rhomu, rmM = b.M.rhomu;
    struct {
        int type;
        void* data;
        double slope; // before control value and multiplier
    } cases[] = {
        {AFE_PLR_ORFC, &p, 3e-6 * rmN},
        {AFE_PLR_FCN, &p, 3e-6 * rmN},
        {AFE_PLR_QCN, &p, 3e-6 * rmN},
        {AFE_PLR_BDF, &bd, 3e-6 * rmN},
        {AFE_PLR_BDQ, &bd, 3e-6 * 0.5 * (rmN + rmM)},
    };
    for (auto& c : cases) {
        b.use(c.type, c.data);
        b.eval(0.0);
        EXPECT_EQ(b.L.Flow[0], 0.0) << c.type;
        EXPECT_NEAR(b.L.dFdP, 2.0 * c.slope, 1e-6 * c.slope) << c.type;
    }
}

TEST(PowerLaw, ControlValueAndMultiplierScaleFlowAndSlope)
{
    AfePlr p{2e-6f, 0.01f, 0.65f};
    LinkBench b(AFE_PLR_ORFC, &p);
    double F1 = b.flow(7.0), d1 = b.L.dFdP;
    b.ctrl = 0.25f;
    b.L.mult = 3.0;
    EXPECT_NEAR(b.flow(7.0), 0.75 * F1, 1e-12);
    EXPECT_NEAR(b.L.dFdP, 0.75 * d1, 1e-12);
}

// With rhoMuCorr the turbulent flow scales by (nu0/nu)^(2n-1) (rho0/rho)^m, m by form.
TEST(PowerLaw, DensityAndViscosityCorrection)
{
    AfePlr p{2e-7f, 0.01f, 0.65f};
    AfePlr half{2e-7f, 0.01f, 0.5f};
    AfeBid bd{2e-7f, 0.01f, 0.65f, 0.01f, 0.5f};
    LinkBench b;
    setAir(b.N, kRhoWarm, kMuWarm, 313.15);
    setAir(b.M, kRhoWarm, kMuWarm, 313.15);
    double visc = std::pow(1.50839e-5 / (kMuWarm / kRhoWarm), 0.3); // n = 0.65
    double dens = kRho0 / kRhoWarm;
    struct {
        int type;
        void* data;
        double dP;
        double factor;
    } cases[] = {
        {AFE_PLR_ORFC, &p, 10.0, visc * std::pow(dens, 0.15)},
        {AFE_PLR_FCN, &p, 10.0, visc * std::pow(dens, -0.35)},
        {AFE_PLR_QCN, &p, -10.0, visc * std::pow(dens, 0.65)},
        // exponent 0.5: no correction for the simple laws, whatever the form
        {AFE_PLR_ORFC, &half, 10.0, 1.0},
        {AFE_PLR_FCN, &half, 10.0, 1.0},
        {AFE_PLR_QCN, &half, 10.0, 1.0},
        // dampers are corrected at every exponent: negative side has n = 0.5
        {AFE_PLR_BDQ, &bd, 10.0, visc * std::pow(dens, 0.65)},
        {AFE_PLR_BDQ, &bd, -10.0, std::pow(dens, 0.5)},
        {AFE_PLR_BDF, &bd, -10.0, std::pow(dens, -0.5)},
    };
    for (auto& c : cases) {
        b.use(c.type, c.data);
        b.s->rhoMuCorr = 0;
        double plain = b.flow(c.dP);
        b.s->rhoMuCorr = 1;
        double corrected = b.flow(c.dP);
        EXPECT_NEAR(corrected / plain, c.factor, 1e-6) << c.type << " dP " << c.dP;
    }
}

TEST(BackdraftDamper, EachDirectionUsesItsOwnCoefficientsAndUpstreamNode)
{
    AfeBid bd{1e-4f, 0.02f, 0.6f, 0.005f, 0.8f}; // laminar law far above: turbulent
    LinkBench b(AFE_PLR_BDQ, &bd);
    setAir(b.M, kRhoCold);
    // The coefficients are single precision: 1e-6 relative.
    EXPECT_NEAR(b.flow(12.0), 0.02 * kRho0 * std::pow(12.0, 0.6), 1e-7);
    EXPECT_NEAR(b.flow(-12.0), -0.005 * kRhoCold * std::pow(12.0, 0.8), 5e-8);
    b.use(AFE_PLR_BDF, &bd);
    EXPECT_NEAR(b.flow(12.0), 0.02 * std::pow(12.0, 0.6), 1e-7);
    EXPECT_NEAR(b.flow(-12.0), -0.005 * std::pow(12.0, 0.8), 5e-8);
}

TEST(QuadraticLaw, FlowSolvesTheQuadraticInBothDirections)
{
    LinkBench b;
    setAir(b.M, kRhoCold, 1.72e-5, 273.15);
    struct {
        int type;
        float a, b;
        double dP;
        int corr;
    } cases[] = {
        {AFE_QFR_FAB, 2.0f, 30.0f, 5.0, 0},    {AFE_QFR_FAB, 2.0f, 30.0f, -5.0, 0},
        {AFE_QFR_QAB, 2.0f, 30.0f, 5.0, 0},    {AFE_QFR_CRACK, 2.0f, 30.0f, -0.3, 0},
        {AFE_QFR_TEST2, 50.f, 1e-3f, 1e-3, 0}, // nearly linear: no cancellation
        {AFE_QFR_FAB, 4.0f, 0.0f, 8.0, 0},     // b = 0 is the linear law
        {AFE_QFR_QAB, 1e-4f, 30.0f, 5.0, 1},   {AFE_QFR_FAB, 1e-4f, 30.0f, -5.0, 1},
    };
    for (auto& c : cases) {
        AfeQfr q{c.a, c.b};
        b.use(c.type, &q);
        b.s->rhoMuCorr = c.corr;
        b.eval(c.dP);
        const AirNode& U = c.dP >= 0 ? b.N : b.M;
        bool volume = c.type == AFE_QFR_QAB || c.type == AFE_QFR_CRACK;
        double Q = b.L.Flow[0] / (volume ? U.rho : 1.0);
        double a = c.a, bb = c.b;
        if (c.corr) {
            a /= U.rhomu * 1.50839e-5;
            bb *= U.T / 293.15;
        }
        SCOPED_TRACE(testing::Message() << "type " << c.type << " dP " << c.dP);
        EXPECT_NEAR(a * std::fabs(Q) + bb * Q * Q, std::fabs(c.dP), 1e-9 * std::fabs(c.dP));
        EXPECT_EQ(Q < 0, c.dP < 0);
        double h = 1e-6 * std::fabs(c.dP);
        EXPECT_NEAR(b.L.dFdP, b.numericSlope(c.dP, h), 1e-5 * std::fabs(b.L.dFdP));
    }
}

TEST(QuadraticLaw, NegativeDiscriminantIsFatal)
{
    AfeQfr q{1.0f, -1.0f};
    LinkBench b(AFE_QFR_FAB, &q);
    ChildResult r = runChild([&] { b.eval(1.0); });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(b.log().find("sqrt( -x )"), std::string::npos);
}

TEST(SelfRegulatingVent, ApproachesItsLimitsExponentially)
{
    AfeJwa v{0.05f, 10.0f, 0.2f};
    LinkBench b(AFE_SRV_JWA, &v);
    setAir(b.M, kRhoCold);
    b.ctrl = 0.5f;
    b.L.mult = 2.0;
    EXPECT_NEAR(b.flow(10.0), kRho0 * 0.05 * (1 - std::exp(-1.0)), 1e-9);
    EXPECT_NEAR(b.L.dFdP, kRho0 * 0.05 / 10.0 * std::exp(-1.0), 1e-9);
    EXPECT_NEAR(b.flow(-4.0), -kRhoCold * 0.05 * 0.2 * (1 - std::exp(-2.0)), 1e-9);
    EXPECT_NEAR(b.L.dFdP, kRhoCold * 0.05 / 10.0 * std::exp(-2.0), 1e-9);
    EXPECT_NEAR(b.flow(1e6), kRho0 * 0.05, 1e-9);
}

// Slopes of the models that give one, against central differences away from law switches.
TEST(ModelSlopes, MatchCentralDifferences)
{
    AfePlr p{2e-6f, 0.01f, 0.65f};
    AfeBid bd{2e-6f, 0.02f, 0.6f, 0.005f, 0.8f};
    AfeJwa v{0.05f, 10.0f, 0.2f};
    LinkBench b;
    setAir(b.M, kRhoCold);
    b.ctrl = 0.8f;
    b.L.mult = 2.0;
    struct {
        int type;
        void* data;
    } elems[] = {{AFE_PLR_ORFC, &p}, {AFE_PLR_FCN, &p},  {AFE_PLR_QCN, &p},
                 {AFE_PLR_BDQ, &bd}, {AFE_PLR_BDF, &bd}, {AFE_SRV_JWA, &v}};
    for (int corr = 0; corr <= 1; corr++) {
        b.s->rhoMuCorr = corr;
        for (auto& e : elems) {
            b.use(e.type, e.data);
            for (double dP : {-30.0, -2.0, 1e-4, 0.5, 40.0}) {
                double h = 1e-5 * std::fabs(dP);
                double num = b.numericSlope(dP, h);
                b.eval(dP);
                EXPECT_NEAR(b.L.dFdP, num, 1e-5 * std::fabs(num))
                    << e.type << " dP " << dP << " corr " << corr;
            }
        }
    }
}

TEST(Door, TwoWayFlowMatchesTheOrificeFlowSummedOverTheHeight)
{
    AfeDor d{1e-6f, 0.5f, 0.5f, 2.0f, 0.9f, 0.78f};
    LinkBench b(AFE_DOR_DOOR, &d);
    b.ctrl = 0.5f;
    b.L.mult = 2.0; // together a factor 1
    const double T20 = airDensity(293.15), T0 = airDensity(273.15);
    struct {
        double rhoN, rhoM, dP;
        int flows;
    } cases[] = {
        {T20, T0, 0.3, 2}, {T20, T0, -0.5, 2}, {T20, T0, 2.0, 1}, {T20, T0, -3.0, 1},
        {T0, T20, 0.3, 2}, {T0, T20, -0.6, 2}, {T0, T20, 1.5, 1}, {T0, T20, -2.5, 1},
    };
    for (auto& c : cases) {
        setAir(b.N, c.rhoN);
        setAir(b.M, c.rhoM);
        SCOPED_TRACE(testing::Message() << "rhoN " << c.rhoN << " dP " << c.dP);
        ASSERT_EQ(b.eval(c.dP), c.flows);
        StripFlow want = stripFlow(c.dP, c.rhoN, c.rhoM, 2.0, 0.9, 0.78);
        double F0 = b.L.Flow[0], F1 = b.L.Flow[1];
        if (c.flows == 1) {
            EXPECT_EQ(F1, 0.0);
            EXPECT_NEAR(F0, want.pos + want.neg, 2e-5 * std::fabs(F0));
        } else {
            EXPECT_LT(F0 * F1, 0.0); // opposite directions
            EXPECT_NEAR(std::max(F0, F1), want.pos, 2e-5 * want.pos);
            EXPECT_NEAR(std::min(F0, F1), want.neg, 2e-5 * std::fabs(want.neg));
        }
    }
}

TEST(Door, SmallDensityDifferenceIsThePowerLaw)
{
    AfeDor d{2e-6f, 0.3f, 0.55f, 2.0f, 0.9f, 0.78f};
    AfePlr p{2e-6f, 0.3f, 0.55f};
    LinkBench door(AFE_DOR_DOOR, &d), plr(AFE_PLR_ORFC, &p);
    setAir(door.M, kRho0 + 0.05); // |dP| 1e-4 >= 0.05 from 500 Pa on
    setAir(plr.M, kRho0 + 0.05);
    for (double dP : {600.0, -900.0}) {
        EXPECT_EQ(door.eval(dP), 1);
        plr.eval(dP);
        EXPECT_DOUBLE_EQ(door.L.Flow[0], plr.L.Flow[0]);
        EXPECT_DOUBLE_EQ(door.L.dFdP, plr.L.dFdP);
        EXPECT_EQ(door.L.Flow[1], 0.0);
    }
    setAir(door.M, kRho0); // equal densities: a power law at any dP, also 0
    EXPECT_EQ(door.eval(0.0), 1);
    EXPECT_EQ(door.L.Flow[0], 0.0);
}

TEST(Door, TwoOpeningDoorIsTwoPowerLawsAtTheirStackPressures)
{
    AfePl2 d{2e-6f, 0.1f, 0.5f, 0.75f, 0.0f};
    AfePlr p{2e-6f, 0.1f, 0.5f};
    LinkBench door(AFE_DOR_PL2, &d), plr(AFE_PLR_ORFC, &p);
    door.s->gravity = 9.80665f;
    door.ctrl = 0.5f;
    door.L.mult = 3.0;
    const double rhoN = airDensity(293.15), rhoM = airDensity(263.15);
    for (LinkBench* b : {&door, &plr}) {
        setAir(b->N, rhoN);
        setAir(b->M, rhoM);
    }
    double h = (double)(9.80665f * 0.75f);
    for (double dP : {0.2, -0.1, 3.0}) {
        ASSERT_EQ(door.eval(dP), 2);
        double up = plr.flow(dP - (rhoN - rhoM) * h), low = plr.flow(dP + (rhoN - rhoM) * h);
        EXPECT_NEAR(door.L.Flow[0], 1.5 * up, 1e-12) << dP;
        EXPECT_NEAR(door.L.Flow[1], 1.5 * low, 1e-12) << dP;
    }
    // At dP = 0 the stack pressure drives air both ways.
    door.eval(0.0);
    EXPECT_LT(door.L.Flow[0] * door.L.Flow[1], 0.0);
}

TEST(AirHandlingSystem, SupplyRecirculationOutdoorAirAndExhaustBalance)
{
    LinkBench b(AFE_AHS_SR, nullptr);
    b.L.designFlow = 0.4f;
    b.L.s_nr = 3;
    b.ctrl = 0.75f;
    b.L.dP = 12.0;
    EXPECT_EQ(afe_ahs(b.fms(), &b.L), 1);
    EXPECT_NEAR(b.L.Flow[0], 0.3, 1e-7);
    EXPECT_EQ(b.L.dP, 0.0);
    EXPECT_EQ(b.L.dFdP, 0.0);

    // Recirculation from the return node N to the supply node M.
    b.use(AFE_AHS_XOR, nullptr);
    b.M.sumF = 1.0;        // supply
    b.N.sumF = 0.9;        // return
    b.L.designFlow = 0.2f; // minimum outdoor air
    b.ctrl = 0.3f;         // outdoor-air fraction
    b.L.flags = LF_AHR;
    EXPECT_EQ(b.eval(5.0), 1);
    EXPECT_NEAR(b.L.Flow[0], 0.7, 1e-7);
    EXPECT_NEAR(b.M.ahsFlow, 0.3, 1e-7);
    EXPECT_NEAR(b.N.ahsFlow, 0.2, 1e-7);
    b.L.flags = LF_AHO; // into the supply node M
    b.eval(0.0);
    EXPECT_NEAR(b.L.Flow[0], 0.3, 1e-7);
    b.L.flags = LF_AHX; // out of the return node N
    b.eval(0.0);
    EXPECT_NEAR(b.L.Flow[0], 0.2, 1e-7);
    EXPECT_EQ(b.errors(), 0);

    // More outdoor air than supply leaves a negative recirculation.
    b.L.flags = LF_AHR;
    b.ctrl = 1.2f;
    b.eval(0.0);
    EXPECT_EQ(b.errors(), 1);
    EXPECT_NE(b.log().find("Invalid recirculation air flow"), std::string::npos);

    b.use(AFE_AHS_SR, nullptr);
    b.ctrl = -0.5f;
    b.eval(0.0);
    EXPECT_NE(b.log().find("AHS Path 3: control = -0.50 m^3\n"), std::string::npos);
}

namespace
{

// A fitted spline record from (x, y) points.
struct Curve {
    std::vector<CsfPoint> pts;
    AfeCsf csf{};
    Curve(FlowmirState* fms, std::initializer_list<std::pair<double, double>> xy)
    {
        for (auto [x, y] : xy)
            pts.push_back(CsfPoint{x, y, 0, 0, 0});
        csf.npts = (int)pts.size();
        csf.pts = pts.data();
        csf.status = CSFinit(fms, csf.npts, csf.pts);
    }
};

} // namespace

TEST(SplineModels, FlowCurvesReadTheCurveAtDp)
{
    LinkBench b;
    setAir(b.M, kRhoCold);
    Curve c(b.fms(), {{-20, -0.3}, {-5, -0.12}, {0, 0}, {4, 0.1}, {25, 0.3}});
    ASSERT_EQ(c.csf.status, 0);
    ASSERT_EQ(CSFchk(b.fms(), "fsp", c.csf.npts, c.csf.pts, CSF_AIRFLOW, nullptr, nullptr), 0);
    b.ctrl = 0.5f;
    b.L.mult = 3.0;
    for (auto& pt : c.pts) {
        b.use(AFE_CSF_FSP, &c.csf);
        EXPECT_NEAR(b.flow(pt.x), 1.5 * pt.y, 1e-12);
        b.use(AFE_CSF_QSP, &c.csf);
        EXPECT_NEAR(b.flow(pt.x), 1.5 * pt.y * (pt.x >= 0 ? kRho0 : kRhoCold), 1e-12);
    }
    // Beyond the data the end secants continue.
    b.use(AFE_CSF_FSP, &c.csf);
    EXPECT_NEAR(b.flow(46.0), 1.5 * (0.3 + 21 * 0.2 / 21), 1e-12);
    EXPECT_NEAR(b.L.dFdP, 1.5 * 0.2 / 21, 1e-12);
    for (int type : {AFE_CSF_FSP, AFE_CSF_QSP})
        for (double dP : {-12.0, 2.0, 10.0}) {
            b.use(type, &c.csf);
            double num = b.numericSlope(dP, 1e-5);
            b.eval(dP);
            EXPECT_NEAR(b.L.dFdP, num, 1e-6 * std::fabs(num)) << type << " " << dP;
        }
}

TEST(SplineModels, PressureCurvesAreInvertedForTheFlow)
{
    LinkBench b;
    setAir(b.M, kRhoCold);
    // dP as a function of flow, steep near zero flow.
    Curve c(b.fms(), {{-1.0, -40}, {-0.3, -6}, {0.0, 0.0}, {0.2, 3}, {0.5, 15}, {1.2, 70}});
    ASSERT_EQ(c.csf.status, 0);
    ASSERT_EQ(CSFchk(b.fms(), "psf", c.csf.npts, c.csf.pts, CSF_AIRFLOW, nullptr, nullptr), 0);
    b.ctrl = 0.5f;
    b.L.mult = 2.0;
    for (int type : {AFE_CSF_PSF, AFE_CSF_PSQ}) {
        b.use(type, &c.csf);
        // A data point's ordinate returns its abscissa, from any starting point.
        for (const CsfPoint& pt : c.pts) {
            b.L.lastX = -pt.x + 0.7f;
            b.L.lastSeg = 4;
            double rho = pt.y >= 0 ? kRho0 : kRhoCold;
            double scale = type == AFE_CSF_PSQ ? rho : 1.0;
            EXPECT_NEAR(b.flow(pt.y), pt.x * scale, 1e-10) << type << " y " << pt.y;
        }
        for (double dP : {-55.0, -3.0, 0.7, 9.0, 200.0}) {
            b.eval(dP);
            double rho = dP >= 0 ? kRho0 : kRhoCold;
            double x = b.L.Flow[0] / (type == AFE_CSF_PSQ ? rho : 1.0);
            double dydx;
            int seg = 0;
            EXPECT_NEAR(CSFintrp(x, c.csf.npts, c.csf.pts, &seg, &dydx, nullptr), dP, 1e-9 * std::fabs(dP));
            EXPECT_NEAR(b.L.lastX, (float)x, 1e-6);
            double num = b.numericSlope(dP, 1e-5 * std::fabs(dP));
            b.eval(dP);
            EXPECT_NEAR(b.L.dFdP, num, 1e-5 * std::fabs(num)) << type << " " << dP;
        }
    }
}

TEST(SplineModels, CurveThatNeverReachesTheTargetIsFatal)
{
    LinkBench b;
    Curve c(b.fms(), {{0, 1}, {1, 1}, {2, 1}, {3, 1}});
    b.use(AFE_CSF_PSF, &c.csf);
    ChildResult r = runChild([&] { b.eval(5.0); });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(b.log().find("Too many iterations; call Orvo"), std::string::npos);
}

TEST(SplineModels, SlopeAtZeroForTheLinearStart)
{
    LinkBench b;
    Curve line(b.fms(), {{-2, -4}, {-1, -2}, {1, 2}, {3, 6}});
    Afe e{&line.csf, nullptr, 1, AFE_CSF_FSP, "line"};
    EXPECT_NEAR(afe_csf_slope0(&e), 2.0, 1e-12);
    // Zero inside the straight first segment of another curve.
    Curve c(b.fms(), {{-1, -3}, {1, 1}, {2, 4}, {3, 9}});
    DctCsf dc{};
    dc.csf = c.csf;
    Afe d{&dc, nullptr, 1, AFE_DCT_PSF, "duct"};
    EXPECT_NEAR(afe_csf_slope0(&d), 2.0, 1e-12);
}

TEST(Binding, ModelsFollowTypeCodesAndAhsFlags)
{
    TestState s;
    s.openLog();
    Afe a[4] = {{nullptr, nullptr, 1, AFE_PLR_QCN, "a"},
                {nullptr, nullptr, 2, AFE_DOR_DOOR, "b"},
                {nullptr, nullptr, 3, AFE_SUP_AFE, "c"},
                {nullptr, nullptr, 1, AFE_DCT_DWC, "d"}};
    Afe* afe[4] = {nullptr, &a[0], &a[1], &a[2]};
    Afe* dfe[2] = {nullptr, &a[3]};
    s->nafe = 3;
    s->AfeLst = afe;
    s->ndfe = 1;
    s->DfeLst = dfe;

    // Implicit elements reached through the links only.
    Afe ahr{nullptr, nullptr, 0, AFE_AHS_XOR, "ahr"}, ahx{nullptr, nullptr, 0, AFE_AHS_XOR, "ahx"};
    Afe jlk{nullptr, nullptr, 0, AFE_D_LEAK, "jlk"}, trm{nullptr, nullptr, 0, AFE_D_TERM, "trm"};
    AirLink l[6] = {};
    Afe* elems[6] = {&a[0], &a[1], &ahr, &ahx, &jlk, &trm};
    for (int i = 0; i < 6; i++) {
        l[i].elem = elems[i];
        l[i].nr = i + 1;
        l[i].next = i < 5 ? &l[i + 1] : nullptr;
    }
    l[2].flags = LF_AHR;
    l[3].flags = LF_AHX;
    s->linkList = &l[0];

    afe_bind_models(s.fms);
    EXPECT_EQ(a[0].model, &afe_qcn);
    EXPECT_EQ(a[1].model, &afe_dor);
    EXPECT_EQ(a[2].model, nullptr); // a super element has no model of its own
    EXPECT_EQ(a[3].model, &afe_dwc);
    EXPECT_EQ(ahr.model, &afe_ahr);
    EXPECT_EQ(ahx.model, &afe_ahx);
    EXPECT_EQ(jlk.model, &afe_jlk);
    EXPECT_EQ(trm.model, &afe_trm);

    // Only the doors are differentiated numerically.
    setNmDrv(s.fms);
    for (int i = 0; i < 6; i++)
        EXPECT_EQ((l[i].flags & LF_NUMDRV) != 0, i == 1) << i;

    // A path using the super element cannot be evaluated.
    l[5].elem = &a[2];
    ChildResult r = runChild([&] { afe_bind_models(s.fms); });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(s.log().find("Airflow element c (type 28) of link 6 has no flow model"), std::string::npos);
    s->AfeLst = nullptr;
    s->DfeLst = nullptr;
    s->linkList = nullptr;
}
